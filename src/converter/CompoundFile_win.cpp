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

// The file as ole32 reads it. ole32 asks for one sector at a time; each
// such read of a file is a system call of its own (about 1 s for a 43 MB
// stream under Wine), so reads are served from a window of the file kept in
// memory: the aligned megabyte around the last read. The file is opened as
// ole32 opens it to read: writers are denied while it is open.
class TFileLockBytes final : public ILockBytes {
public:
    // nullptr when the file cannot be opened here (ole32 then says why).
    static TFileLockBytes* Open(const std::u16string& fileName) {
        TKernelHandle file(::CreateFileW(WStr(fileName), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
        LARGE_INTEGER size{};
        if (!file || !::GetFileSizeEx(file.Get(), &size)) return nullptr;
        return new TFileLockBytes(std::move(file), static_cast<uint64_t>(size.QuadPart));
    }

    uint64_t Size() const { return size_; }

    // Copies up to n bytes from offset and returns how many: fewer at the end
    // of the file or when the system's read fails.
    size_t Read(uint64_t offset, void* dest, size_t n) {
        auto* out = static_cast<uint8_t*>(dest);
        size_t done = 0;
        while (done < n) {
            const uint64_t at = offset + done;
            if (at < windowStart_ || at >= windowStart_ + windowSize_) {
                // A read as large as the window bypasses it.
                if (n - done >= kWindow) {
                    const size_t got = ReadFileAt(at, out + done, n - done);
                    done += got;
                    break;
                }
                if (!Fill(at - at % kWindow)) break;
                if (at >= windowStart_ + windowSize_) break;
            }
            const size_t from = static_cast<size_t>(at - windowStart_);
            const size_t count = std::min(n - done, windowSize_ - from);
            std::memcpy(out + done, window_.get() + from, count);
            done += count;
        }
        return done;
    }

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (out == nullptr) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_ILockBytes) {
            *out = static_cast<ILockBytes*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(::InterlockedIncrement(&refs_)); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG left = ::InterlockedDecrement(&refs_);
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }

    // ILockBytes: read-only.
    HRESULT STDMETHODCALLTYPE ReadAt(ULARGE_INTEGER offset, void* dest, ULONG n, ULONG* read) override {
        if (dest == nullptr && n != 0) return STG_E_INVALIDPOINTER;
        const size_t got = offset.QuadPart < size_ ? Read(offset.QuadPart, dest, n) : 0;
        if (read != nullptr) *read = static_cast<ULONG>(got);
        // A read cut short before the end of the file is the system's failure.
        if (got < n && offset.QuadPart + got < size_) return STG_E_READFAULT;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE WriteAt(ULARGE_INTEGER, const void*, ULONG, ULONG* written) override {
        if (written != nullptr) *written = 0;
        return STG_E_ACCESSDENIED;
    }
    HRESULT STDMETHODCALLTYPE Flush() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER) override { return STG_E_ACCESSDENIED; }
    HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
        return STG_E_INVALIDFUNCTION;
    }
    HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
        return STG_E_INVALIDFUNCTION;
    }
    HRESULT STDMETHODCALLTYPE Stat(STATSTG* stat, DWORD) override {
        if (stat == nullptr) return STG_E_INVALIDPOINTER;
        *stat = STATSTG{};
        stat->type = STGTY_LOCKBYTES;
        stat->cbSize.QuadPart = size_;
        stat->grfMode = kRootReadMode;
        stat->grfLocksSupported = 0;  // the share mode of the handle does the locking
        return S_OK;
    }

private:
    static constexpr size_t kWindow = size_t{1} << 20;

    TFileLockBytes(TKernelHandle file, uint64_t size) : file_(std::move(file)), size_(size) {}
    ~TFileLockBytes() = default;

    size_t ReadFileAt(uint64_t offset, uint8_t* dest, size_t n) {
        size_t done = 0;
        while (done < n) {
            OVERLAPPED at{};
            at.Offset = static_cast<DWORD>(offset + done);
            at.OffsetHigh = static_cast<DWORD>((offset + done) >> 32);
            const DWORD want = static_cast<DWORD>(std::min<size_t>(n - done, kChunk));
            DWORD got = 0;
            if (!::ReadFile(file_.Get(), dest + done, want, &got, &at) || got == 0) break;
            done += got;
        }
        return done;
    }

    bool Fill(uint64_t start) {
        if (!window_) window_.reset(new uint8_t[kWindow]);
        windowStart_ = start;
        windowSize_ = ReadFileAt(start, window_.get(), kWindow);
        return windowSize_ != 0;
    }

    LONG refs_ = 1;
    TKernelHandle file_;
    uint64_t size_;
    std::unique_ptr<uint8_t[]> window_;
    uint64_t windowStart_ = 0;
    size_t windowSize_ = 0;
};

// The same bytes as TCfbReader's source, for the loop check.
class TLockBytesSource final : public TCfbSource {
public:
    explicit TLockBytesSource(TFileLockBytes& bytes) : bytes_(bytes) {}
    uint64_t Size() const override { return bytes_.Size(); }
    void ReadAt(uint64_t offset, void* dest, size_t n) const override {
        if (bytes_.Read(offset, dest, n) != n) throw EPagelet(u"Stream read error", kStgErrReadFault);
    }

private:
    TFileLockBytes& bytes_;
};

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
    TStorage(TComPtr<IStorage> storage, uint64_t fileSize) : storage_(std::move(storage)), fileSize_(fileSize) {}
    TStorage(const TStorage&) = delete;
    TStorage& operator=(const TStorage&) = delete;

    IStorage* Get() const { return storage_.Get(); }
    uint64_t FileSize() const { return fileSize_; }

    // The same file as the own reader sees it, which vets each stream before
    // ole32 is asked for it. Empty for a file that ole32 opened by name.
    void SetVetting(TComPtr<TFileLockBytes> bytes, std::unique_ptr<TLockBytesSource> source,
                    std::unique_ptr<TCfbReader> reader) {
        bytes_ = std::move(bytes);
        source_ = std::move(source);
        reader_ = std::move(reader);
    }

    // ole32 walks a damaged directory or chain for ever as often as not: a
    // sector past the end of the file reads as zeros, and zero links lead
    // back to the root entry. So the own reader first walks everything ole32
    // will walk for this stream (its search path in the directory tree, its
    // chain, the mini FAT and the mini stream) and the stream is refused with
    // the own reader's error for any damage there; a loop keeps the error a
    // damaged file gets from ole32.
    void Vet(const std::u16string& streamName) {
        if (!reader_ || std::find(vetted_.begin(), vetted_.end(), streamName) != vetted_.end()) return;
        try {
            reader_->OpenStream(streamName);
        } catch (const EPagelet&) {
            const std::u16string_view names[] = {streamName};
            if (!reader_->FindLoop(names).empty()) ThrowDamaged();
            throw;
        }
        vetted_.push_back(streamName);
    }

    [[noreturn]] static void ThrowDamaged() {
        throw EPagelet(HResultMessage(STG_E_DOCFILECORRUPT), static_cast<int32_t>(STG_E_DOCFILECORRUPT));
    }

private:
    // Declared first, released last: ole32's storage reads through bytes_.
    TComPtr<TFileLockBytes> bytes_;
    std::unique_ptr<TLockBytesSource> source_;
    std::unique_ptr<TCfbReader> reader_;
    std::vector<std::u16string> vetted_;
    TComPtr<IStorage> storage_;
    uint64_t fileSize_;
};

void TStorageCloser::operator()(TStorage* storage) const noexcept { delete storage; }

bool StorageIsCompoundFile(const std::u16string& fileName) { return ::StgIsStorageFile(WStr(fileName)) == S_OK; }

TStoragePtr StorageOpen(const std::u16string& fileName, std::span<const std::u16string_view> streams) {
    TComPtr<IStorage> storage;
    TComPtr<TFileLockBytes> bytes(TFileLockBytes::Open(fileName));
    std::unique_ptr<TLockBytesSource> source;
    std::unique_ptr<TCfbReader> reader;
    if (bytes) {
        // The header, the DIFAT, the FAT and the directory chain must be
        // whole, and free of loops, before ole32 sees the file.
        source = std::make_unique<TLockBytesSource>(*bytes.Get());
        try {
            reader = std::make_unique<TCfbReader>(*source);
        } catch (const EPagelet&) {
            if (!TCfbReader::FindLoop(*source, {}).empty()) TStorage::ThrowDamaged();
            throw;
        }
        // A loop on the way to any stream the caller means to read fails the
        // file at once; other damage fails the stream when it is opened, as
        // it does with the own reader.
        if (!reader->FindLoop(streams).empty()) TStorage::ThrowDamaged();
        Check(::StgOpenStorageOnILockBytes(bytes.Get(), nullptr, kRootReadMode, nullptr, 0, storage.Out()));
    } else {
        // A file that cannot be opened here is left to ole32, which says why.
        Check(::StgOpenStorageEx(WStr(fileName), kRootReadMode, STGFMT_DOCFILE, 0, nullptr, nullptr, IID_IStorage,
                                 reinterpret_cast<void**>(storage.Out())));
    }
    if (storage.Get() == nullptr) throw EPagelet(HResultMessage(E_POINTER), static_cast<int32_t>(E_POINTER));
    // The size of the file bounds what any of its streams can hold.
    const uint64_t fileSize = bytes ? bytes->Size() : std::numeric_limits<uint64_t>::max();
    TStoragePtr result(new TStorage(std::move(storage), fileSize));
    result->SetVetting(std::move(bytes), std::move(source), std::move(reader));
    return result;
}

namespace {

// The named stream's size, with ole32's stream left at its start; false when
// there is no such stream.
bool OpenOleStream(TStorage& storage, const std::u16string& streamName, TComPtr<IStream>& stream, uint64_t& size) {
    storage.Vet(streamName);
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

// A stream read where it is asked, through ole32's own stream.
class TOleStorageStream final : public TStorageStream {
public:
    TOleStorageStream(TComPtr<IStream> stream, uint64_t size) : stream_(std::move(stream)), size_(size) {}
    uint64_t Size() const override { return size_; }
    size_t ReadAt(uint64_t offset, void* dest, size_t n) override {
        if (offset >= size_) return 0;
        n = static_cast<size_t>(std::min<uint64_t>(n, size_ - offset));
        LARGE_INTEGER at{};
        at.QuadPart = static_cast<LONGLONG>(offset);
        Check(stream_->Seek(at, STREAM_SEEK_SET, nullptr));
        ReadOle(*stream_.Get(), static_cast<uint8_t*>(dest), n);
        return n;
    }

private:
    TComPtr<IStream> stream_;
    uint64_t size_;
};

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

std::unique_ptr<TStorageStream> StorageOpenStream(TStorage& storage, const std::u16string& streamName,
                                                  TStreamReading reading) {
    TComPtr<IStream> stream;
    uint64_t size = 0;
    if (!OpenOleStream(storage, streamName, stream, size)) return nullptr;
    if (reading == TStreamReading::OnDemand) return std::make_unique<TOleStorageStream>(std::move(stream), size);
    // A stream cannot hold more bytes than the file: a larger size is a
    // damaged directory, and the read would come up short.
    if (size > storage.FileSize() || size > SIZE_MAX) throw EPagelet(u"Stream read error");
    std::unique_ptr<uint8_t[]> bytes(new uint8_t[size != 0 ? static_cast<size_t>(size) : 1]);
    ReadOle(*stream.Get(), bytes.get(), size);
    return std::make_unique<TMemoryStorageStream>(std::move(bytes), size);
}

}  // namespace pagelet
