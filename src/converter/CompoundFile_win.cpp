// Compound files on Windows: ole32 structured storage.

#include <windows.h>
#include <objbase.h>

#include <algorithm>
#include <cstring>
#include <limits>

#include "common/Error.h"
#include "common/Handles.h"
#include "common/Win32Text.h"
#include "converter/CfbReader.h"
#include "converter/CompoundFile.h"

namespace pagelet {

namespace {

// Failures of ole32 calls become EPagelet with the system's text.
constexpr void (*Check)(HRESULT) = &ThrowIfFailed;

constexpr DWORD kReadMode = STGM_READ | STGM_SHARE_EXCLUSIVE;
// The root denies writers only, so that several readers (a viewer and the
// host's thumbnail threads) can have the same file open at once.
constexpr DWORD kRootReadMode = STGM_READ | STGM_SHARE_DENY_WRITE;
constexpr ULONG kChunk = 1 << 20;

// The file as TCfbReader's source, for the loop check before ole32 opens it.
class TFileSource final : public TCfbSource {
public:
    explicit TFileSource(HANDLE file) : file_(file) {
        LARGE_INTEGER size{};
        if (::GetFileSizeEx(file_, &size)) size_ = static_cast<uint64_t>(size.QuadPart);
    }
    ~TFileSource() override { ::CloseHandle(file_); }
    TFileSource(const TFileSource&) = delete;
    TFileSource& operator=(const TFileSource&) = delete;

    uint64_t Size() const override { return size_; }
    void ReadAt(uint64_t offset, void* dest, size_t n) const override {
        auto* out = static_cast<uint8_t*>(dest);
        while (n != 0) {
            OVERLAPPED at{};
            at.Offset = static_cast<DWORD>(offset);
            at.OffsetHigh = static_cast<DWORD>(offset >> 32);
            const DWORD want = static_cast<DWORD>(std::min<size_t>(n, kChunk));
            DWORD got = 0;
            if (!::ReadFile(file_, out, want, &got, &at) || got == 0)
                throw EPagelet(u"Stream read error", kStgErrReadFault);
            out += got;
            offset += got;
            n -= got;
        }
    }

private:
    HANDLE file_;
    uint64_t size_ = 0;
};

// ole32 follows loops in a chain or in the directory tree for ever (or until
// the address space is gone): such a file is turned away as damaged before
// ole32 sees it. A file that cannot be opened here is left to ole32.
void RejectLoops(const std::u16string& fileName, std::span<const std::u16string_view> streams) {
    HANDLE file = ::CreateFileW(WStr(fileName), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    std::string loop;
    {
        TFileSource source(file);
        loop = TCfbReader::FindLoop(source, streams);
    }
    if (!loop.empty()) throw EPagelet(HResultMessage(STG_E_DOCFILECORRUPT), static_cast<int32_t>(STG_E_DOCFILECORRUPT));
}

// A whole stream read into memory at once (ole32 reports a broken chain
// there, as before), in a buffer that is not filled with zeros first.
class TMemoryStorageStream final : public TStorageStream {
public:
    TMemoryStorageStream(std::unique_ptr<uint8_t[]> bytes, uint64_t size) : bytes_(std::move(bytes)), size_(size) {}
    uint64_t Size() const override { return size_; }
    const uint8_t* Data() const override { return bytes_.get(); }
    size_t ReadAt(uint64_t offset, void* dest, size_t n) override {
        if (offset >= size_) return 0;
        n = static_cast<size_t>(std::min<uint64_t>(n, size_ - offset));
        std::memcpy(dest, bytes_.get() + offset, n);
        return n;
    }

private:
    std::unique_ptr<uint8_t[]> bytes_;
    uint64_t size_;
};

}  // namespace

class TStorage {
public:
    TStorage(IStorage* storage, uint64_t fileSize) : storage_(storage), fileSize_(fileSize) {}
    ~TStorage() { storage_->Release(); }
    TStorage(const TStorage&) = delete;
    TStorage& operator=(const TStorage&) = delete;

    IStorage* Get() const { return storage_; }
    uint64_t FileSize() const { return fileSize_; }

private:
    IStorage* storage_;
    uint64_t fileSize_;
};

void TStorageCloser::operator()(TStorage* storage) const noexcept { delete storage; }

bool StorageIsCompoundFile(const std::u16string& fileName) { return ::StgIsStorageFile(WStr(fileName)) == S_OK; }

TStoragePtr StorageOpen(const std::u16string& fileName, std::span<const std::u16string_view> streams) {
    RejectLoops(fileName, streams);
    TComPtr<IStorage> storage;
    Check(::StgOpenStorageEx(WStr(fileName), kRootReadMode, STGFMT_DOCFILE, 0, nullptr, nullptr, IID_IStorage,
                             reinterpret_cast<void**>(storage.Out())));
    if (storage.Get() == nullptr) throw EPagelet(HResultMessage(E_POINTER), static_cast<int32_t>(E_POINTER));
    // The size of the file bounds what any of its streams can hold.
    WIN32_FILE_ATTRIBUTE_DATA info{};
    uint64_t fileSize = std::numeric_limits<uint64_t>::max();
    if (::GetFileAttributesExW(WStr(fileName), GetFileExInfoStandard, &info))
        fileSize = (uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
    TStoragePtr result(new TStorage(storage.Get(), fileSize));
    storage.Detach();
    return result;
}

namespace {

// The named stream's size, with ole32's stream left at its start; false when
// there is no such stream.
bool OpenOleStream(TStorage& storage, const std::u16string& streamName, TComPtr<IStream>& stream, uint64_t& size) {
    // The result of OpenStream is not examined: no stream back means none.
    storage.Get()->OpenStream(WStr(streamName), nullptr, kReadMode, 0, stream.Out());
    if (stream.Get() == nullptr) return false;
    LARGE_INTEGER zero{};
    ULARGE_INTEGER position{}, end{};
    Check(stream->Seek(zero, STREAM_SEEK_SET, nullptr));
    Check(stream->Seek(zero, STREAM_SEEK_CUR, &position));
    Check(stream->Seek(zero, STREAM_SEEK_END, &end));
    LARGE_INTEGER back{};
    back.QuadPart = static_cast<LONGLONG>(position.QuadPart);
    Check(stream->Seek(back, STREAM_SEEK_SET, nullptr));
    size = end.QuadPart;
    return true;
}

// Reads n bytes in chunks; a short read is "Stream read error".
void ReadOle(IStream& stream, uint8_t* dest, uint64_t n) {
    uint64_t done = 0;
    while (done < n) {
        ULONG want = static_cast<ULONG>(std::min<uint64_t>(kChunk, n - done));
        ULONG got = 0;
        Check(stream.Read(dest + done, want, &got));
        if (got != want) throw EPagelet(u"Stream read error");
        done += want;
    }
}

}  // namespace

std::optional<std::vector<uint8_t>> StorageReadStream(TStorage& storage, const std::u16string& streamName) {
    TComPtr<IStream> stream;
    uint64_t size = 0;
    if (!OpenOleStream(storage, streamName, stream, size)) return std::nullopt;
    std::vector<uint8_t> bytes;
    // A damaged directory may claim any size: reserve no more than the file
    // holds and let the short read below end the copy.
    bytes.reserve(static_cast<size_t>(std::min<uint64_t>({size, storage.FileSize(), uint64_t{1} << 30})));
    while (bytes.size() < size) {
        ULONG want = static_cast<ULONG>(std::min<uint64_t>(kChunk, size - bytes.size()));
        size_t old = bytes.size();
        if (old > bytes.max_size() - want) throw EPagelet(u"Stream read error");
        bytes.resize(old + want);
        ReadOle(*stream.Get(), bytes.data() + old, want);
    }
    return bytes;
}

std::unique_ptr<TStorageStream> StorageOpenStream(TStorage& storage, const std::u16string& streamName) {
    TComPtr<IStream> stream;
    uint64_t size = 0;
    if (!OpenOleStream(storage, streamName, stream, size)) return nullptr;
    // A stream cannot hold more bytes than the file: a larger size is a
    // damaged directory, and the read would come up short.
    if (size > storage.FileSize() || size > SIZE_MAX) throw EPagelet(u"Stream read error");
    std::unique_ptr<uint8_t[]> bytes(new uint8_t[size != 0 ? static_cast<size_t>(size) : 1]);
    ReadOle(*stream.Get(), bytes.get(), size);
    return std::make_unique<TMemoryStorageStream>(std::move(bytes), size);
}

}  // namespace pagelet
