// The compound file reader (every preset) and the storage seam (own reader
// on Linux, ole32 on Windows), on files made by the test writer.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

#include "common/Error.h"
#include "common/Utf.h"
#include "converter/CfbReader.h"
#include "converter/CompoundFile.h"
#include "support/CfbWriter.h"

namespace pagelet {
namespace {

std::vector<uint8_t> Pattern(size_t size, uint8_t seed) {
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(seed + i * 7 + (i >> 9));
    return bytes;
}

std::vector<TCfbStream> WordLikeStreams() {
    return {
        {u"WordDocument", Pattern(9000, 1), u""},
        {u"1Table", Pattern(700, 2), u""},
        {u"\x05SummaryInformation", Pattern(4096, 3), u""},
        {u"Data", Pattern(0, 4), u""},
        {u"CompObj", Pattern(65, 5), u""},
    };
}

std::optional<std::vector<uint8_t>> ReadViaSeam(const std::vector<uint8_t>& file, const std::u16string& name) {
    TTempFile temp(file);
    EXPECT_TRUE(StorageIsCompoundFile(temp.Path()));
    TStoragePtr storage = StorageOpen(temp.Path());
    return StorageReadStream(*storage, name);
}

// --- Round trips -----------------------------------------------------------

struct TRoundTrip {
    const char* label;
    TCfbOptions options;
    std::vector<TCfbStream> streams;
};

std::vector<TRoundTrip> RoundTrips() {
    std::vector<TCfbStream> sizes;
    for (size_t size : {1u, 63u, 64u, 65u, 4095u, 4096u, 4097u, 5000u, 70000u})
        sizes.push_back({u"S" + AsciiToUtf16(std::to_string(size)), Pattern(size, static_cast<uint8_t>(size)), u""});
    std::vector<TCfbStream> many;
    for (int i = 0; i < 40; ++i)
        many.push_back(
            {u"Stream" + AsciiToUtf16(std::to_string(i * 37)), Pattern(100 + i, static_cast<uint8_t>(i)), u""});
    return {
        {"v3 word-like", {3, false, 0}, WordLikeStreams()},
        {"v4 word-like", {4, false, 0}, WordLikeStreams()},
        {"v3 sizes around the mini cutoff", {3, false, 0}, sizes},
        {"v4 sizes around the mini cutoff", {4, false, 0}, sizes},
        {"v3 forty streams", {3, false, 0}, many},
        {"v3 DIFAT forced", {3, true, 0}, WordLikeStreams()},
        {"v4 DIFAT forced", {4, true, 0}, WordLikeStreams()},
        {"v3 two DIFAT sectors", {3, false, 109 + 128}, WordLikeStreams()},
    };
}

TEST(CfbReader, RoundTripsEveryStream) {
    for (const TRoundTrip& c : RoundTrips()) {
        SCOPED_TRACE(c.label);
        std::vector<uint8_t> file = BuildCompoundFile(c.streams, c.options);
        TCfbReader reader(file);
        EXPECT_EQ(reader.SectorSize(), c.options.MajorVersion == 4 ? 4096u : 512u);
        for (const TCfbStream& s : c.streams) {
            std::optional<std::vector<uint8_t>> got = reader.ReadStream(s.Name);
            ASSERT_TRUE(got.has_value()) << Utf16ToUtf8(s.Name);
            EXPECT_EQ(*got, s.Data) << Utf16ToUtf8(s.Name);
            // Reads from any offset, across sectors and past the end.
            std::optional<TCfbReader::TStream> stream = reader.OpenStream(s.Name);
            ASSERT_TRUE(stream.has_value());
            EXPECT_EQ(stream->size, s.Data.size());
            for (size_t offset : {size_t{0}, size_t{1}, size_t{63}, size_t{511}, size_t{4097}, s.Data.size() / 2}) {
                std::vector<uint8_t> part(1500, 0xEE);
                const size_t n = reader.ReadAt(*stream, offset, part.data(), part.size());
                const size_t expected = offset < s.Data.size() ? std::min(part.size(), s.Data.size() - offset) : 0;
                ASSERT_EQ(n, expected) << "offset " << offset;
                EXPECT_TRUE(std::equal(part.begin(), part.begin() + static_cast<std::ptrdiff_t>(n),
                                       s.Data.begin() + static_cast<std::ptrdiff_t>(std::min(offset, s.Data.size()))))
                    << "offset " << offset;
            }
        }
    }
}

TEST(StorageSeam, RoundTripsEveryStream) {
    for (const TRoundTrip& c : RoundTrips()) {
        SCOPED_TRACE(c.label);
        TTempFile temp(BuildCompoundFile(c.streams, c.options));
        ASSERT_TRUE(StorageIsCompoundFile(temp.Path()));
        TStoragePtr storage = StorageOpen(temp.Path());
        for (const TCfbStream& s : c.streams) {
            std::optional<std::vector<uint8_t>> got = StorageReadStream(*storage, s.Name);
            ASSERT_TRUE(got.has_value()) << Utf16ToUtf8(s.Name);
            EXPECT_EQ(*got, s.Data) << Utf16ToUtf8(s.Name);
            // Read from any offset, in parts that straddle sectors, up to and past the end.
            for (TStreamReading reading : {TStreamReading::Whole, TStreamReading::OnDemand}) {
                std::unique_ptr<TStorageStream> stream = StorageOpenStream(*storage, s.Name, reading);
                ASSERT_NE(stream, nullptr);
                ASSERT_EQ(stream->Size(), s.Data.size());
                std::vector<uint8_t> parts(s.Data.size() + 1000);
                size_t done = 0;
                while (size_t got = stream->ReadAt(done, parts.data() + done, 1000)) done += got;
                parts.resize(done);
                EXPECT_EQ(parts, s.Data) << Utf16ToUtf8(s.Name)
                                         << (reading == TStreamReading::Whole ? " whole" : " on demand");
            }
        }
    }
}

TEST(StorageSeam, OpensFilesWithNonAsciiNames) {
    std::vector<TCfbStream> streams = WordLikeStreams();
    TTempFile temp(BuildCompoundFile(streams), "-\xC3\x9Cml\xC3\xA4ut-\xD0\x96.doc");
    ASSERT_NE(temp.Path().find(u"\u00DCml\u00E4ut-\u0416"), std::u16string::npos);
    ASSERT_TRUE(StorageIsCompoundFile(temp.Path()));
    TStoragePtr storage = StorageOpen(temp.Path());
    EXPECT_EQ(StorageReadStream(*storage, u"WordDocument"), streams[0].Data);
}

// A FAT of more than 109 sectors because the content needs it: 7 MB in
// 512-byte sectors takes 112 FAT sectors.
TEST(StorageSeam, LargeStreamNeedsDifat) {
    std::vector<TCfbStream> streams = {{u"WordDocument", Pattern(7 << 20, 9), u""}, {u"0Table", Pattern(300, 8), u""}};
    std::vector<uint8_t> file = BuildCompoundFile(streams);
    ASSERT_GT(GetLE32(file, cfb::kOffNumFatSectors), 109u);
    ASSERT_EQ(GetLE32(file, cfb::kOffNumDifatSectors), 1u);
    EXPECT_EQ(TCfbReader(file).ReadStream(u"WordDocument"), streams[0].Data);
    EXPECT_EQ(ReadViaSeam(file, u"WordDocument"), streams[0].Data);
    EXPECT_EQ(ReadViaSeam(file, u"0Table"), streams[1].Data);
}

// --- Names -----------------------------------------------------------------

TEST(StorageSeam, FindsRootStreamsByNameIgnoringCase) {
    std::vector<TCfbStream> streams = WordLikeStreams();
    streams.push_back({u"0Table", Pattern(50, 7), u"ObjectPool"});  // not in the root
    streams.push_back({u"Other", Pattern(50, 7), u"ObjectPool"});
    std::vector<uint8_t> file = BuildCompoundFile(streams);
    TTempFile temp(file);
    TStoragePtr storage = StorageOpen(temp.Path());
    TCfbReader reader(file);

    struct TLookup {
        std::u16string name;
        std::optional<std::vector<uint8_t>> expected;
    } lookups[] = {
        {u"WordDocument", streams[0].Data}, {u"worddocument", streams[0].Data}, {u"WORDDOCUMENT", streams[0].Data},
        {u"1table", streams[1].Data},       {u"Data", std::vector<uint8_t>()},  // a stream of 0 bytes
        {u"0Table", std::nullopt},                                              // only in a sub-storage
        {u"Other", std::nullopt},           {u"ObjectPool", std::nullopt},      // a storage, not a stream
        {u"WordDocumen", std::nullopt},     {u"WordDocumentX", std::nullopt},
    };
    for (const TLookup& l : lookups) {
        SCOPED_TRACE(Utf16ToUtf8(l.name));
        EXPECT_EQ(reader.ReadStream(l.name), l.expected);
        EXPECT_EQ(StorageReadStream(*storage, l.name), l.expected);
    }
}

TEST(CfbReader, ComparesNamesLengthFirstThenUpperCased) {
    EXPECT_LT(TCfbReader::CompareNames(u"Zz", u"aaa"), 0);
    EXPECT_EQ(TCfbReader::CompareNames(u"1Table", u"1TABLE"), 0);
    EXPECT_LT(TCfbReader::CompareNames(u"abc", u"ABD"), 0);
    EXPECT_EQ(TCfbReader::CompareNames(u"\u00e9t\u00e9", u"\u00c9T\u00c9"), 0);
    EXPECT_GT(TCfbReader::CompareNames(u"b", u"A"), 0);
}

// --- Not a compound file ---------------------------------------------------

TEST(StorageSeam, OtherFilesAreNotCompoundFiles) {
    TTempFile text(std::vector<uint8_t>{'p', 'l', 'a', 'i', 'n', ' ', 't', 'e', 'x', 't', '\r', '\n'});
    EXPECT_FALSE(StorageIsCompoundFile(text.Path()));
    TTempFile empty(std::vector<uint8_t>{});
    EXPECT_FALSE(StorageIsCompoundFile(empty.Path()));
    std::u16string missing = text.Path() + u".missing";
    EXPECT_FALSE(StorageIsCompoundFile(missing));
    EXPECT_FALSE(StorageIsCompoundFile(std::filesystem::temp_directory_path().u16string()));
    EXPECT_FALSE(TCfbReader::HasSignature(std::vector<uint8_t>{0xD0, 0xCF, 0x11, 0xE0}));

    try {
        StorageOpen(missing);
        ADD_FAILURE() << "opening a missing file succeeded";
    } catch (const EPagelet& e) {
        EXPECT_LT(e.Code(), 0);
        EXPECT_FALSE(e.Message().empty());
    }
}

// A header that passes the signature test but points past the end of the
// file fails to open, with a code and a message.
TEST(StorageSeam, OpenErrorCarriesCodeAndMessage) {
    std::vector<uint8_t> file = BuildCompoundFile(WordLikeStreams());
    PutLE32(file, cfb::kOffFirstDirSector, 5000);
    PutLE32(file, cfb::kOffDifat, 4000);
    TTempFile temp(file);
    ASSERT_TRUE(StorageIsCompoundFile(temp.Path()));
    try {
        TStoragePtr storage = StorageOpen(temp.Path());
        ADD_FAILURE() << "opening a damaged file succeeded";
    } catch (const EPagelet& e) {
        EXPECT_LT(e.Code(), 0);
        EXPECT_FALSE(e.Message().empty());
        EXPECT_NE(e.Message().back(), u'.');
        EXPECT_GT(e.Message().back(), u' ');
    }
}

// --- Damaged files ---------------------------------------------------------

enum class TOutcome { Ok, None, OpenError, ReadError };

struct TDamage {
    const char* label;
    std::function<void(std::vector<uint8_t>&)> breakIt;
    std::u16string stream;  // read after opening
    TOutcome outcome;       // of our own reader
    int major = 3;
    bool unbroken = false;  // the platform's storage must read the same
    // A loop on the way to the stream: ole32 under Wine follows a looping
    // directory tree for ever and a looping chain until memory runs out, so
    // the storage seam finds it first and fails as for a damaged file, on
    // every platform.
    bool loops = false;
};

size_t Entry(const std::vector<uint8_t>& f, std::u16string_view name) {
    return CfbDirEntryOffset(f, CfbFindEntry(f, name));
}
uint32_t StartOf(const std::vector<uint8_t>& f, std::u16string_view name) {
    return GetLE32(f, Entry(f, name) + cfb::kOffEntryStart);
}
// Offset of the FAT entry of a regular sector (the writer puts the FAT first).
size_t FatEntry(const std::vector<uint8_t>& f, uint32_t sector) { return CfbSectorOffset(f, 0) + 4 * size_t{sector}; }

std::vector<TDamage> Damages() {
    return {
        {.label = "valid",
         .breakIt = [](auto&) {},
         .stream = u"WordDocument",
         .outcome = TOutcome::Ok,
         .unbroken = true},
        {.label = "valid v4",
         .breakIt = [](auto&) {},
         .stream = u"WordDocument",
         .outcome = TOutcome::Ok,
         .major = 4,
         .unbroken = true},
        {"truncated header", [](auto& f) { f.resize(100); }, u"WordDocument", TOutcome::OpenError},
        {"sector shift 10", [](auto& f) { PutLE16(f, cfb::kOffSectorShift, 10); }, u"WordDocument",
         TOutcome::OpenError},
        {"sector shift 40", [](auto& f) { PutLE16(f, cfb::kOffSectorShift, 40); }, u"WordDocument",
         TOutcome::OpenError},
        {"mini sector shift 7", [](auto& f) { PutLE16(f, cfb::kOffMiniSectorShift, 7); }, u"1Table",
         TOutcome::OpenError},
        {"FAT sector count beyond the file", [](auto& f) { PutLE32(f, cfb::kOffNumFatSectors, 0x7FFFFFFF); },
         u"WordDocument", TOutcome::OpenError},
        {"FAT sector id out of range", [](auto& f) { PutLE32(f, cfb::kOffDifat, 0xFFFFFFF0); }, u"WordDocument",
         TOutcome::OpenError},
        {"FAT sector listed twice",
         [](auto& f) {
             PutLE32(f, cfb::kOffNumFatSectors, 2);
             PutLE32(f, cfb::kOffDifat + 4, GetLE32(f, cfb::kOffDifat));
         },
         u"WordDocument", TOutcome::OpenError},
        {"directory sector out of range", [](auto& f) { PutLE32(f, cfb::kOffFirstDirSector, 100000); }, u"WordDocument",
         TOutcome::OpenError},
        {.label = "directory chain loops",
         .breakIt =
             [](auto& f) {
                 uint32_t dir = GetLE32(f, cfb::kOffFirstDirSector);
                 PutLE32(f, FatEntry(f, dir), dir);
             },
         .stream = u"WordDocument",
         .outcome = TOutcome::OpenError,
         .loops = true},
        {"root entry is a storage", [](auto& f) { f[CfbDirEntryOffset(f, 0) + cfb::kOffEntryType] = 1; },
         u"WordDocument", TOutcome::OpenError},
        {"root child out of range", [](auto& f) { PutLE32(f, CfbDirEntryOffset(f, 0) + cfb::kOffEntryChild, 5000); },
         u"WordDocument", TOutcome::ReadError},
        {.label = "directory tree loops",
         .breakIt =
             [](auto& f) {
                 // Every right link points back to the tree's root: a search for a
                 // name that sorts last goes round.
                 uint32_t root = GetLE32(f, CfbDirEntryOffset(f, 0) + cfb::kOffEntryChild);
                 for (uint32_t i = 1; i <= 5; ++i) PutLE32(f, CfbDirEntryOffset(f, i) + cfb::kOffEntryRight, root);
             },
         .stream = u"ZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZ",
         .outcome = TOutcome::ReadError,
         .loops = true},
        {"stream entry turned into a storage", [](auto& f) { f[Entry(f, u"WordDocument") + cfb::kOffEntryType] = 1; },
         u"WordDocument", TOutcome::None},
        {"name length beyond the name field",
         [](auto& f) { PutLE16(f, Entry(f, u"WordDocument") + cfb::kOffEntryNameLength, 0xFFFF); }, u"WordDocument",
         TOutcome::Ok},
        {"stream size beyond the file",
         [](auto& f) { PutLE32(f, Entry(f, u"WordDocument") + cfb::kOffEntrySize, 0x7FFFFFF0); }, u"WordDocument",
         TOutcome::ReadError},
        {"stream size beyond its chain",
         [](auto& f) { PutLE32(f, Entry(f, u"WordDocument") + cfb::kOffEntrySize, 9000 + 1024); }, u"WordDocument",
         TOutcome::ReadError},
        {"stream start out of range",
         [](auto& f) { PutLE32(f, Entry(f, u"WordDocument") + cfb::kOffEntryStart, 0xFFFFFFF9); }, u"WordDocument",
         TOutcome::ReadError},
        {"stream chain ends early", [](auto& f) { PutLE32(f, FatEntry(f, StartOf(f, u"WordDocument")), 0xFFFFFFFE); },
         u"WordDocument", TOutcome::ReadError},
        {.label = "stream chain loops",
         .breakIt =
             [](auto& f) {
                 uint32_t s = StartOf(f, u"WordDocument");
                 PutLE32(f, FatEntry(f, s + 1), s);
             },
         .stream = u"WordDocument",
         .outcome = TOutcome::ReadError,
         .loops = true},
        {"stream cut off by the end of the file",
         [](auto& f) { f.resize(CfbSectorOffset(f, StartOf(f, u"WordDocument")) + 1000); }, u"WordDocument",
         TOutcome::ReadError},
        {"v3 size with garbage in the upper half",
         [](auto& f) { PutLE32(f, Entry(f, u"WordDocument") + cfb::kOffEntrySize + 4, 0xDEADBEEF); }, u"WordDocument",
         TOutcome::Ok},
        {"mini stream start out of range", [](auto& f) { PutLE32(f, Entry(f, u"1Table") + cfb::kOffEntryStart, 5000); },
         u"1Table", TOutcome::ReadError},
        {"mini FAT missing", [](auto& f) { PutLE32(f, cfb::kOffFirstMiniFatSector, 0xFFFFFFFE); }, u"1Table",
         TOutcome::ReadError},
        {"mini stream of the root cut to nothing",
         [](auto& f) { PutLE32(f, CfbDirEntryOffset(f, 0) + cfb::kOffEntrySize, 0); }, u"1Table", TOutcome::ReadError},
        {.label = "mini chain loops",
         .breakIt =
             [](auto& f) {
                 uint32_t miniFat = GetLE32(f, cfb::kOffFirstMiniFatSector);
                 uint32_t s = StartOf(f, u"1Table");
                 PutLE32(f, CfbSectorOffset(f, miniFat) + 4 * size_t{s}, s);
             },
         .stream = u"1Table",
         .outcome = TOutcome::ReadError,
         .loops = true},
        {.label = "mini FAT chain loops",
         .breakIt =
             [](auto& f) {
                 uint32_t miniFat = GetLE32(f, cfb::kOffFirstMiniFatSector);
                 PutLE32(f, FatEntry(f, miniFat), miniFat);
             },
         .stream = u"1Table",
         .outcome = TOutcome::ReadError,
         .loops = true},
        {.label = "mini stream chain loops",
         .breakIt =
             [](auto& f) {
                 uint32_t first = GetLE32(f, CfbDirEntryOffset(f, 0) + cfb::kOffEntryStart);
                 PutLE32(f, FatEntry(f, first), first);
             },
         .stream = u"1Table",
         .outcome = TOutcome::ReadError,
         .loops = true},
        {"large stream unaffected by a broken mini FAT",
         [](auto& f) { PutLE32(f, cfb::kOffFirstMiniFatSector, 0xFFFFFFF0); }, u"WordDocument", TOutcome::Ok},
    };
}

// DIFAT faults need a file whose FAT has more sectors than the header lists.
std::vector<TDamage> DifatDamages() {
    auto difatNext = [](std::vector<uint8_t>& f) {
        return CfbSectorOffset(f, GetLE32(f, cfb::kOffFirstDifatSector)) + 512 - 4;
    };
    return {
        {.label = "DIFAT valid",
         .breakIt = [](auto&) {},
         .stream = u"WordDocument",
         .outcome = TOutcome::Ok,
         .unbroken = true},
        {"DIFAT chain loops", [=](auto& f) { PutLE32(f, difatNext(f), GetLE32(f, cfb::kOffFirstDifatSector)); },
         u"WordDocument", TOutcome::OpenError},
        {"DIFAT chain ends early", [=](auto& f) { PutLE32(f, difatNext(f), 0xFFFFFFFE); }, u"WordDocument",
         TOutcome::OpenError},
        {"DIFAT sector out of range", [](auto& f) { PutLE32(f, cfb::kOffFirstDifatSector, 1000000); }, u"WordDocument",
         TOutcome::OpenError},
        {"FAT sector listed twice in the DIFAT",
         [](auto& f) {
             PutLE32(f, CfbSectorOffset(f, GetLE32(f, cfb::kOffFirstDifatSector)) + 4 * 5, GetLE32(f, cfb::kOffDifat));
         },
         u"WordDocument", TOutcome::OpenError},
    };
}

void CheckDamage(const TDamage& d, const std::vector<uint8_t>& original, const TCfbStream* expected) {
    SCOPED_TRACE(d.label);
    std::vector<uint8_t> file = original;
    d.breakIt(file);

    // The loop check finds exactly the loops.
    const std::u16string_view names[] = {d.stream};
    const TCfbSpanSource source(file);
    EXPECT_EQ(TCfbReader::FindLoop(source, names).empty(), !d.loops) << TCfbReader::FindLoop(source, names);

    // Our own reader: exactly the expected outcome.
    std::optional<TCfbReader> reader;
    try {
        reader.emplace(file);
    } catch (const EPagelet& e) {
        EXPECT_EQ(d.outcome, TOutcome::OpenError) << "open failed: " << e.what();
        EXPECT_NE(e.Code(), 0);
    }
    if (reader) {
        EXPECT_NE(d.outcome, TOutcome::OpenError) << "opened";
        try {
            std::optional<std::vector<uint8_t>> got = reader->ReadStream(d.stream);
            if (got) {
                EXPECT_EQ(d.outcome, TOutcome::Ok) << "read a stream";
                if (expected) {
                    EXPECT_EQ(*got, expected->Data);
                }
            } else {
                EXPECT_EQ(d.outcome, TOutcome::None) << "no stream";
            }
        } catch (const EPagelet& e) {
            EXPECT_EQ(d.outcome, TOutcome::ReadError) << "read failed: " << e.what();
        }
    }

    // The platform's storage (ole32 under Windows): an answer or an
    // EPagelet; a file with a loop fails as damaged.
    TTempFile temp(file);
    try {
        if (StorageIsCompoundFile(temp.Path())) {
            TStoragePtr storage = StorageOpen(temp.Path(), names);
            std::optional<std::vector<uint8_t>> got = StorageReadStream(*storage, d.stream);
            EXPECT_FALSE(d.loops) << "read a looping file";
            if (d.unbroken) {
                EXPECT_EQ(got, expected->Data);
            }
        }
    } catch (const EPagelet& e) {
        EXPECT_FALSE(d.unbroken) << e.what();
#ifdef _WIN32
        if (d.loops) {
            EXPECT_EQ(static_cast<uint32_t>(e.Code()), 0x80030109u) << e.what();  // STG_E_DOCFILECORRUPT
        }
#endif
    }
}

TEST(StorageSeam, DamagedFilesFailCleanly) {
    std::vector<TCfbStream> streams = WordLikeStreams();
    std::vector<uint8_t> v3 = BuildCompoundFile(streams, {3, false, 0});
    std::vector<uint8_t> v4 = BuildCompoundFile(streams, {4, false, 0});
    for (const TDamage& d : Damages())
        CheckDamage(d, d.major == 4 ? v4 : v3, d.stream == u"WordDocument" ? &streams[0] : nullptr);
    // 237 FAT sectors: 109 in the header, 127 in the first DIFAT sector, one in the second.
    std::vector<uint8_t> difat = BuildCompoundFile(streams, {3, false, 109 + 128});
    ASSERT_EQ(GetLE32(difat, cfb::kOffNumDifatSectors), 2u);
    for (const TDamage& d : DifatDamages()) CheckDamage(d, difat, &streams[0]);
}

// --- Tables read as chains need them ----------------------------------------

// A source over a buffer that counts the bytes read, and reads zeros beyond
// the stored bytes up to an apparent size, as a sparse file does.
class TSparseSource final : public TCfbSource {
public:
    TSparseSource(std::vector<uint8_t> stored, uint64_t apparentSize)
        : stored_(std::move(stored)), size_(apparentSize) {}
    uint64_t Size() const override { return size_; }
    void ReadAt(uint64_t offset, void* dest, size_t n) const override {
        if (offset > size_ || n > size_ - offset) throw EPagelet(u"read beyond the end");
        auto* out = static_cast<uint8_t*>(dest);
        std::fill(out, out + n, uint8_t{0});
        if (offset < stored_.size()) {
            const size_t take = static_cast<size_t>(std::min<uint64_t>(n, stored_.size() - offset));
            std::copy_n(stored_.begin() + static_cast<std::ptrdiff_t>(offset), take, out);
        }
        bytesRead_ += n;
    }
    uint64_t BytesRead() const { return bytesRead_; }
    size_t StoredSize() const { return stored_.size(); }

private:
    std::vector<uint8_t> stored_;
    uint64_t size_;
    mutable uint64_t bytesRead_ = 0;
};

// Lays a regular stream's sectors out backwards, so that its chain steps
// down through the file (and through the FAT's sectors).
void ReverseChain(std::vector<uint8_t>& f, std::u16string_view name) {
    const uint32_t start = StartOf(f, name);
    const uint32_t count = static_cast<uint32_t>((GetLE32(f, Entry(f, name) + cfb::kOffEntrySize) + 511) / 512);
    std::vector<uint8_t> bytes(f.begin() + static_cast<std::ptrdiff_t>(CfbSectorOffset(f, start)),
                               f.begin() + static_cast<std::ptrdiff_t>(CfbSectorOffset(f, start + count)));
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t at = start + count - 1 - i;
        std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(size_t{i} * 512), 512,
                    f.begin() + static_cast<std::ptrdiff_t>(CfbSectorOffset(f, at)));
        PutLE32(f, FatEntry(f, at), i + 1 < count ? at - 1 : 0xFFFFFFFE);
    }
    PutLE32(f, Entry(f, name) + cfb::kOffEntryStart, start + count - 1);
}

// A FAT of 300 sectors of which the content needs two: the directory's
// chain needs one, a stream whose chain runs backwards over the next one
// needs both, and the mini FAT is read for a small stream.
TEST(CfbReader, ReadsFatSectorsAsChainsNeedThem) {
    std::vector<TCfbStream> streams = {{u"WordDocument", Pattern(70000, 1), u""}, {u"1Table", Pattern(700, 2), u""}};
    std::vector<uint8_t> file = BuildCompoundFile(streams, {3, false, 300});
    ASSERT_EQ(GetLE32(file, cfb::kOffNumFatSectors), 300u);
    ReverseChain(file, u"WordDocument");
    // Past the FAT's own 300 sectors and the DIFAT's two, the FAT's third
    // sector maps the directory and the mini stream; the stream's chain
    // starts in what the fourth maps and steps down into the third's.
    ASSERT_EQ(GetLE32(file, cfb::kOffFirstDirSector) / 128, 2u);
    ASSERT_EQ(StartOf(file, u"WordDocument") / 128, 3u);

    TCfbReader reader(file);
    EXPECT_EQ(reader.TableReads().fatSectors, 1u);
    EXPECT_EQ(reader.ReadStream(u"WordDocument"), streams[0].Data);
    EXPECT_EQ(reader.TableReads().fatSectors, 2u);
    EXPECT_EQ(reader.TableReads().miniFatSectors, 0u);
    EXPECT_EQ(reader.ReadStream(u"1Table"), streams[1].Data);
    EXPECT_EQ(reader.TableReads().fatSectors, 2u);
    EXPECT_EQ(reader.TableReads().miniFatSectors, 1u);
    // Reading again reads no table sector again.
    EXPECT_EQ(reader.ReadStream(u"WordDocument"), streams[0].Data);
    EXPECT_EQ(reader.TableReads().fatSectors, 2u);
}

// A header that claims a FAT far larger than the file stores, the claimed
// sectors lying in a sparse stretch of zeros: listing one sector again and
// again is refused at once, distinct sectors cost nothing until a chain
// reaches them (none does here), whatever their number.
TEST(CfbReader, ClaimedFatCostsOnlyWhatChainsRead) {
    const std::vector<TCfbStream> streams = WordLikeStreams();
    const std::vector<uint8_t> file = BuildCompoundFile(streams);
    struct TCase {
        const char* label;
        uint32_t extraFatSectors;
        uint64_t apparentSize;
        bool repeat;
    } cases[] = {
        // The header lists 2 million FAT sectors (1 GB of FAT), each the first one.
        {"the first FAT sector listed again and again", 2000000, uint64_t{1} << 30, true},
        {"distinct FAT sectors over a sparse stretch", 20000, uint64_t{1} << 30, false},
        // 2^28 sectors and a FAT that maps 18 million: the visited sets grow
        // with what is walked instead of being sized from these claims.
        {"a FAT too large for a bitmap of its sectors", 140000, uint64_t{1} << 37, false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.label);
        const TSparseSource source(BuildClaimedFatFile(file, c.extraFatSectors, c.apparentSize, c.repeat),
                                   c.apparentSize);
        if (c.repeat) {
            try {
                TCfbReader reader(source);
                ADD_FAILURE() << "a FAT sector listed twice was accepted";
            } catch (const EPagelet& e) {
                EXPECT_EQ(e.Code(), kStgErrDocfileCorrupt);
                EXPECT_NE(std::string(e.what()).find("listed twice"), std::string::npos) << e.what();
            }
            EXPECT_LE(source.BytesRead(), 4096u);
            continue;
        }
        const TCfbReader reader(source);
        for (const TCfbStream& s : streams) EXPECT_EQ(reader.ReadStream(s.Name), s.Data) << Utf16ToUtf8(s.Name);
        EXPECT_EQ(reader.TableReads().fatSectors, 1u);
        EXPECT_EQ(reader.TableReads().miniFatSectors, 1u);
        const std::u16string_view names[] = {u"WordDocument", u"1Table"};
        EXPECT_EQ(reader.FindLoop(names), "");
        // The DIFAT is read once, the rest is what the streams need.
        EXPECT_LE(source.BytesRead(), source.StoredSize() + 65536);
    }
}

// The same files on disk, through the storage seam (on Windows the own
// reader refuses the repeated listing before ole32 reads the file).
TEST(StorageSeam, ClaimedFatOverZeros) {
    const std::vector<TCfbStream> streams = WordLikeStreams();
    const std::vector<uint8_t> file = BuildCompoundFile(streams);
    constexpr uint64_t kApparent = uint64_t{16} << 20;
    for (bool repeat : {true, false}) {
        SCOPED_TRACE(repeat ? "one FAT sector listed again and again" : "distinct FAT sectors over zeros");
        TTempFile temp(BuildClaimedFatFile(file, 20000, kApparent, repeat));
        std::filesystem::resize_file(std::filesystem::path(temp.Path()), kApparent);
        ASSERT_TRUE(StorageIsCompoundFile(temp.Path()));
        try {
            const std::u16string_view names[] = {u"WordDocument", u"1Table"};
            TStoragePtr storage = StorageOpen(temp.Path(), names);
            EXPECT_FALSE(repeat) << "a FAT sector listed twice was accepted";
            for (const TCfbStream& s : streams)
                EXPECT_EQ(StorageReadStream(*storage, s.Name), s.Data) << Utf16ToUtf8(s.Name);
        } catch (const EPagelet& e) {
            EXPECT_TRUE(repeat) << e.what();
            EXPECT_EQ(e.Code(), kStgErrDocfileCorrupt) << e.what();
        }
    }
}

// Every prefix of a small valid file, .stream = placed at the very end of a buffer of
// exactly its size, .outcome = so that a sanitizer catches any read past it.
TEST(CfbReader, EveryTruncationFailsCleanly) {
    std::vector<TCfbStream> streams = {{u"WordDocument", Pattern(5000, 1), u""}, {u"1Table", Pattern(200, 2), u""}};
    const std::vector<uint8_t> file = BuildCompoundFile(streams);
    size_t opened = 0, read = 0;
    for (size_t n = 0; n < file.size(); ++n) {
        std::unique_ptr<uint8_t[]> exact(new uint8_t[n == 0 ? 1 : n]);
        std::copy(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(n), exact.get());
        try {
            TCfbReader reader(std::span<const uint8_t>(exact.get(), n));
            ++opened;
            for (const TCfbStream& s : streams) {
                try {
                    std::optional<std::vector<uint8_t>> got = reader.ReadStream(s.Name);
                    ASSERT_TRUE(got.has_value()) << n;
                    EXPECT_EQ(*got, s.Data) << n;  // whatever is returned is whole
                    ++read;
                } catch (const EPagelet&) {}
            }
        } catch (const EPagelet&) {}
    }
    EXPECT_GT(opened, 0u);
    EXPECT_GT(read, 0u);
}

// The fuzz regression files (our seed documents and fuzz finds), .major = replayed.
TEST(CfbReader, ReplaysRegressionFiles) {
    std::filesystem::path dir = std::filesystem::path(PAGELET_SOURCE_DIR) / "fuzz" / "regress";
    ASSERT_TRUE(std::filesystem::is_directory(dir)) << "no regression files in " << dir.string();
    size_t replayed = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        if (!entry.is_regular_file() || entry.path().extension() == ".md") continue;
        SCOPED_TRACE(entry.path().filename().string());
        std::ifstream in(entry.path(), std::ios::binary);
        std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        ++replayed;
        try {
            TCfbReader reader(bytes);
            for (const char16_t* name : {u"WordDocument", u"0Table", u"1Table"}) {
                try {
                    reader.ReadStream(name);
                } catch (const EPagelet&) {}
            }
        } catch (const EPagelet&) {}
    }
    EXPECT_GT(replayed, 0u);
}

// --- Documents cut short ----------------------------------------------------

std::vector<uint8_t> ReadWholeFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The FAT and directory sectors of a real document (the first 109 FAT
// sectors, which covers the corpus), in chain order.
struct TLayout {
    uint32_t sectorSize = 0;
    std::vector<uint32_t> fatSectors, dirSectors;
};

TLayout LayoutOf(const std::vector<uint8_t>& file) {
    TLayout layout;
    layout.sectorSize = 1u << (file[cfb::kOffSectorShift] | file[cfb::kOffSectorShift + 1] << 8);
    const uint32_t numFat = std::min<uint32_t>(GetLE32(file, cfb::kOffNumFatSectors), 109);
    std::vector<uint32_t> fat;
    for (uint32_t i = 0; i < numFat; ++i) {
        const uint32_t id = GetLE32(file, cfb::kOffDifat + 4 * size_t{i});
        layout.fatSectors.push_back(id);
        for (uint32_t k = 0; k < layout.sectorSize / 4; ++k)
            fat.push_back(GetLE32(file, CfbSectorOffset(file, id) + 4 * size_t{k}));
    }
    for (uint32_t id = GetLE32(file, cfb::kOffFirstDirSector); id < fat.size() && layout.dirSectors.size() < 1000;
         id = fat[id])
        layout.dirSectors.push_back(id);
    return layout;
}

size_t EntryOffset(const std::vector<uint8_t>& file, const TLayout& layout, uint32_t index) {
    const uint32_t perSector = layout.sectorSize / 128;
    return CfbSectorOffset(file, layout.dirSectors.at(index / perSector)) + size_t{index % perSector} * 128;
}

// Where a real document can be cut so that ole32 meets the damage: at and in
// the middle of each FAT and directory sector, and at 10, 50 and 90 %.
std::vector<size_t> CutPoints(const std::vector<uint8_t>& file) {
    const TLayout layout = LayoutOf(file);
    std::vector<uint32_t> sectors = layout.fatSectors;
    sectors.insert(sectors.end(), layout.dirSectors.begin(), layout.dirSectors.end());
    std::vector<size_t> cuts;
    for (uint32_t id : sectors) {
        const size_t at = CfbSectorOffset(file, id);
        for (size_t cut : {at, at + layout.sectorSize / 2})
            if (cut < file.size()) cuts.push_back(cut);
    }
    for (size_t percent : {10, 50, 90}) cuts.push_back(file.size() * percent / 100);
    std::sort(cuts.begin(), cuts.end());
    cuts.erase(std::unique(cuts.begin(), cuts.end()), cuts.end());
    return cuts;
}

// What the own reader makes of a file: the streams' bytes, or the error.
struct TReading {
    std::optional<std::string> error;
    std::vector<std::optional<std::vector<uint8_t>>> streams;
};

constexpr std::u16string_view kWordStreams[] = {u"WordDocument", u"0Table", u"1Table"};

TReading ReadOwn(const std::vector<uint8_t>& file) {
    TReading r;
    try {
        TCfbReader reader(file);
        for (std::u16string_view name : kWordStreams) r.streams.push_back(reader.ReadStream(name));
    } catch (const EPagelet& e) {
        r.error = e.what();
    }
    return r;
}

TReading ReadSeam(const std::vector<uint8_t>& file) {
    TReading r;
    TTempFile temp(file);
    try {
        if (!StorageIsCompoundFile(temp.Path())) throw EPagelet(u"not a compound file");
        TStoragePtr storage = StorageOpen(temp.Path(), kWordStreams);
        for (std::u16string_view name : kWordStreams)
            r.streams.push_back(StorageReadStream(*storage, std::u16string(name)));
    } catch (const EPagelet& e) {
        r.error = e.what();
    }
    return r;
}

// Real documents cut short (an interrupted download), and one whose directory
// links past its end: ole32 under Wine walked such files for ever. Each must
// give the streams or an error, never hang (the test's time limit); what the
// own reader refuses the platform's storage refuses too, and what both read
// is the same.
TEST(StorageSeam, DocumentsCutShortFailCleanly) {
    const std::filesystem::path docs = std::filesystem::path(PAGELET_CORPUS_DIR) / "docs";
    if (!std::filesystem::is_directory(docs)) GTEST_SKIP() << "corpus not found at " << docs.string();
    struct TCase {
        std::string label;
        std::vector<uint8_t> file;
    };
    std::vector<TCase> cases;
    for (const char* name : {"nwe-test01.doc", "poi-Word95.doc", "poi-simple-table.doc", "poi-Lists.doc"}) {
        const std::vector<uint8_t> whole = ReadWholeFile(docs / name);
        ASSERT_GT(whole.size(), 1024u) << name;
        for (size_t cut : CutPoints(whole))
            cases.push_back({std::string(name) + " cut at " + std::to_string(cut),
                             std::vector<uint8_t>(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut))});
        // Both links of the root's first child point outside the directory.
        std::vector<uint8_t> linked = whole;
        const TLayout layout = LayoutOf(linked);
        const size_t child =
            EntryOffset(linked, layout, GetLE32(linked, EntryOffset(linked, layout, 0) + cfb::kOffEntryChild));
        PutLE32(linked, child + cfb::kOffEntryLeft, 2424833);
        PutLE32(linked, child + cfb::kOffEntryRight, 2424833);
        cases.push_back({std::string(name) + " with a sibling outside the directory", linked});
    }
    size_t refused = 0;
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.label);
        const TReading own = ReadOwn(c.file);
        const TReading seam = ReadSeam(c.file);
        if (own.error) {
            EXPECT_TRUE(seam.error.has_value()) << "the own reader says: " << *own.error;
            ++refused;
        } else if (!seam.error) {
            EXPECT_EQ(seam.streams, own.streams);
        }
    }
    EXPECT_GT(refused, cases.size() / 2);
}

// The real documents: every one opens or fails with EPagelet, .unbroken = and those that
// hold text have a "WordDocument" stream.
TEST(StorageSeam, CorpusDocumentsOpen) {
    std::filesystem::path docs = std::filesystem::path(PAGELET_CORPUS_DIR) / "docs";
    if (!std::filesystem::is_directory(docs)) GTEST_SKIP() << "corpus not found at " << docs.string();
    size_t withText = 0;
    for (const auto& entry : std::filesystem::directory_iterator(docs)) {
        SCOPED_TRACE(entry.path().filename().string());
        std::u16string path = entry.path().u16string();
        if (!StorageIsCompoundFile(path)) continue;
        try {
            TStoragePtr storage = StorageOpen(path);
            if (StorageReadStream(*storage, u"WordDocument")) ++withText;
            StorageReadStream(*storage, u"0Table");
            StorageReadStream(*storage, u"1Table");
        } catch (const EPagelet& e) {
            std::string name = entry.path().filename().string();
            EXPECT_TRUE(name.find("bad") != std::string::npos || name.find("fuzz") != std::string::npos)
                << "failed: " << e.what();
        }
    }
    EXPECT_GT(withText, 50u);
}

}  // namespace
}  // namespace pagelet
