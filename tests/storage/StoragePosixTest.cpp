// Linux only: files that are not regular files, a file that another
// process cuts short while it is read, and sparse files.

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>

#include "common/Error.h"
#include "common/Utf.h"
#include "converter/CfbReader.h"
#include "converter/CompoundFile.h"
#include "support/CfbWriter.h"

namespace pagelet {
namespace {

// Opening a named pipe for reading would wait for a writer.
TEST(StoragePosix, NamedPipeIsNotOpened) {
    std::filesystem::path fifo =
        std::filesystem::temp_directory_path() / ("pagelet-test-fifo-" + std::to_string(::getpid()) + ".doc");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(StorageIsCompoundFile(fifo.u16string()));
    EXPECT_THROW(StorageOpen(fifo.u16string()), EPagelet);
    std::filesystem::remove(fifo);
}

// The file is cut between the open and the read: the reader is told so
// (no SIGBUS as from a mapping of the file), also through an open stream.
TEST(StoragePosix, FileCutShortWhileReadFailsClearly) {
    std::vector<uint8_t> big(300000);
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<uint8_t>(i * 13);
    const std::vector<uint8_t> file = BuildCompoundFile({{u"WordDocument", big, u""}, {u"1Table", {1, 2, 3}, u""}});
    TTempFile temp(file);
    const std::filesystem::path path(Utf16ToUtf8(temp.Path()));

    TStoragePtr storage = StorageOpen(temp.Path());
    std::unique_ptr<TStorageStream> stream = StorageOpenStream(*storage, u"WordDocument");
    ASSERT_NE(stream, nullptr);
    std::filesystem::resize_file(path, file.size() / 2);
    std::vector<uint8_t> bytes(big.size());
    for (auto read : std::initializer_list<std::function<void()>>{
             [&] { StorageReadStream(*storage, u"WordDocument"); },
             [&] { stream->ReadAt(0, bytes.data(), bytes.size()); },
         }) {
        try {
            read();
            ADD_FAILURE() << "a read of the cut file succeeded";
        } catch (const EPagelet& e) {
            EXPECT_EQ(Utf16ToUtf8(e.Message()), "The file became shorter while it was read");
            EXPECT_LT(e.Code(), 0);
        }
    }
    // What still lies in the file reads as before.
    EXPECT_EQ(stream->ReadAt(0, bytes.data(), 1000), 1000u);
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.begin() + 1000, big.begin()));
}

long PeakRssKb() {
    struct rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// A file of 1 GB whose stored 8 MB are mostly a DIFAT listing 2 million FAT
// sectors (a 1 GB FAT); the rest of the file is a hole. Listed as one
// sector again and again it is refused as damaged; listed as distinct
// sectors of the hole it reads like the small file it holds, and the
// process's peak memory grows by far less than the claimed FAT.
TEST(StoragePosix, SparseFileClaimingAHugeFat) {
    std::vector<uint8_t> word(9000), table(700);
    for (size_t i = 0; i < word.size(); ++i) word[i] = static_cast<uint8_t>(i * 7);
    for (size_t i = 0; i < table.size(); ++i) table[i] = static_cast<uint8_t>(i * 3);
    const std::vector<uint8_t> file = BuildCompoundFile({{u"WordDocument", word, u""}, {u"1Table", table, u""}});
    constexpr uint64_t kApparent = uint64_t{1} << 30;
    for (bool repeat : {true, false}) {
        SCOPED_TRACE(repeat ? "one FAT sector listed again and again" : "distinct FAT sectors in the hole");
        TTempFile temp(BuildClaimedFatFile(file, 2000000, kApparent, repeat));
        ASSERT_EQ(::truncate(Utf16ToUtf8(temp.Path()).c_str(), static_cast<off_t>(kApparent)), 0);
        const long before = PeakRssKb();
        try {
            TStoragePtr storage = StorageOpen(temp.Path());
            EXPECT_FALSE(repeat) << "a FAT sector listed twice was accepted";
            EXPECT_EQ(StorageReadStream(*storage, u"WordDocument"), word);
            EXPECT_EQ(StorageReadStream(*storage, u"1Table"), table);
        } catch (const EPagelet& e) {
            EXPECT_TRUE(repeat) << e.what();
            EXPECT_EQ(e.Code(), kStgErrDocfileCorrupt);
        }
        EXPECT_LT(PeakRssKb() - before, 256 * 1024);
    }
}

}  // namespace
}  // namespace pagelet
