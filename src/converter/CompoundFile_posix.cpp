// Compound files on Linux: TCfbReader reads the file in bounded pieces
// (pread), never through a mapping, so that a file that another process
// cuts short while it is read gives an error instead of SIGBUS.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>

#include "common/Error.h"
#include "common/Utf.h"
#include "converter/CfbReader.h"
#include "converter/CompoundFile.h"

namespace pagelet {

namespace {

class TFileDescriptor {
public:
    explicit TFileDescriptor(int fd) : fd_(fd) {}
    ~TFileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    TFileDescriptor(const TFileDescriptor&) = delete;
    TFileDescriptor& operator=(const TFileDescriptor&) = delete;
    int Get() const { return fd_; }
    int Release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }

private:
    int fd_;
};

[[noreturn]] void FailErrno(int err) {
    int32_t code = err == ENOENT || err == ENOTDIR ? kStgErrFileNotFound
                   : err == EACCES || err == EPERM ? kStgErrAccessDenied
                                                   : kStgErrReadFault;
    throw EPagelet(Utf8ToUtf16(std::strerror(err)), code);
}

}  // namespace

// The file as TCfbReader's source: its size when it was opened, and reads
// at offsets that fail clearly when the file has become shorter since.
class TFileSource final : public TCfbSource {
public:
    TFileSource(int fd, uint64_t size) : fd_(fd), size_(size) {}
    ~TFileSource() override { ::close(fd_); }
    TFileSource(const TFileSource&) = delete;
    TFileSource& operator=(const TFileSource&) = delete;

    uint64_t Size() const override { return size_; }
    void ReadAt(uint64_t offset, void* dest, size_t n) const override {
        auto* out = static_cast<uint8_t*>(dest);
        while (n != 0) {
            const size_t want = std::min<size_t>(n, size_t{1} << 30);
            const ssize_t got = ::pread(fd_, out, want, static_cast<off_t>(offset));
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) FailErrno(errno);
            if (got == 0) throw EPagelet(u"The file became shorter while it was read", kStgErrReadFault);
            out += got;
            offset += static_cast<uint64_t>(got);
            n -= static_cast<size_t>(got);
        }
    }

private:
    int fd_;
    uint64_t size_;
};

class TStorage {
public:
    TStorage(int fd, uint64_t size) : source_(fd, size), reader_(source_) {}
    TStorage(const TStorage&) = delete;
    TStorage& operator=(const TStorage&) = delete;

    const TCfbReader& Reader() const { return reader_; }

private:
    TFileSource source_;  // declared first: the reader reads it while it is made
    TCfbReader reader_;
};

namespace {

class TCfbStorageStream final : public TStorageStream {
public:
    TCfbStorageStream(const TCfbReader& reader, TCfbReader::TStream stream)
        : reader_(reader), stream_(std::move(stream)) {}
    uint64_t Size() const override { return stream_.size; }
    size_t ReadAt(uint64_t offset, void* dest, size_t n) override { return reader_.ReadAt(stream_, offset, dest, n); }

private:
    const TCfbReader& reader_;
    TCfbReader::TStream stream_;
};

}  // namespace

void TStorageCloser::operator()(TStorage* storage) const noexcept { delete storage; }

// Files are opened with O_NONBLOCK so that a named pipe cannot stall the
// open; anything but a regular file is then turned away.
bool StorageIsCompoundFile(const std::u16string& fileName) {
    TFileDescriptor fd(::open(Utf16ToUtf8(fileName).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.Get() < 0) return false;
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    uint8_t head[8] = {};
    ssize_t got = ::pread(fd.Get(), head, sizeof(head), 0);
    return got == static_cast<ssize_t>(sizeof(head)) && TCfbReader::HasSignature(head);
}

TStoragePtr StorageOpen(const std::u16string& fileName, std::span<const std::u16string_view>) {
    TFileDescriptor fd(::open(Utf16ToUtf8(fileName).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.Get() < 0) FailErrno(errno);
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0) FailErrno(errno);
    if (!S_ISREG(st.st_mode)) throw EPagelet(u"Not a regular file", kStgErrFileNotFound);
    // The storage owns the descriptor from here, also when the reader fails.
    return TStoragePtr(new TStorage(fd.Release(), static_cast<uint64_t>(st.st_size)));
}

std::optional<std::vector<uint8_t>> StorageReadStream(TStorage& storage, const std::u16string& streamName) {
    return storage.Reader().ReadStream(streamName);
}

std::unique_ptr<TStorageStream> StorageOpenStream(TStorage& storage, const std::u16string& streamName,
                                                  TStreamReading) {
    std::optional<TCfbReader::TStream> stream = storage.Reader().OpenStream(streamName);
    if (!stream) return nullptr;
    return std::make_unique<TCfbStorageStream>(storage.Reader(), std::move(*stream));
}

}  // namespace pagelet
