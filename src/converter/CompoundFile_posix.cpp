// Compound files on Linux: the file is mapped read-only into memory and read
// by TCfbReader.

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <limits>

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

// The file's bytes stay mapped while the storage is open; TCfbReader reads
// them through a span.
class TStorage {
public:
    TStorage(const void* base, size_t size)
        : base_(base), size_(size), reader_(std::span<const uint8_t>(static_cast<const uint8_t*>(base), size)) {}
    ~TStorage() {
        if (base_ != nullptr) ::munmap(const_cast<void*>(base_), size_);
    }
    TStorage(const TStorage&) = delete;
    TStorage& operator=(const TStorage&) = delete;

    std::optional<std::vector<uint8_t>> ReadStream(const std::u16string& name) {
        std::optional<std::vector<uint8_t>> stream = reader_.ReadStream(name);
        // The caller works on the copy: let the kernel drop the mapped pages
        // so that a large document is not held twice.
        ::madvise(const_cast<void*>(base_), size_, MADV_DONTNEED);
        return stream;
    }

private:
    const void* base_;
    size_t size_;
    TCfbReader reader_;
};

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

TStoragePtr StorageOpen(const std::u16string& fileName) {
    TFileDescriptor fd(::open(Utf16ToUtf8(fileName).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.Get() < 0) FailErrno(errno);
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0) FailErrno(errno);
    if (!S_ISREG(st.st_mode)) throw EPagelet(u"Not a regular file", kStgErrFileNotFound);
    if (st.st_size <= 0) return TStoragePtr(new TStorage(nullptr, 0));  // TCfbReader reports the missing header
    if (static_cast<uint64_t>(st.st_size) > std::numeric_limits<size_t>::max())
        throw EPagelet(u"File too large", kStgErrReadFault);
    size_t size = static_cast<size_t>(st.st_size);
    void* base = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd.Get(), 0);
    if (base == MAP_FAILED) FailErrno(errno);
    try {
        return TStoragePtr(new TStorage(base, size));
    } catch (...) {
        ::munmap(base, size);
        throw;
    }
}

std::optional<std::vector<uint8_t>> StorageReadStream(TStorage& storage, const std::u16string& streamName) {
    return storage.ReadStream(streamName);
}

}  // namespace pagelet
