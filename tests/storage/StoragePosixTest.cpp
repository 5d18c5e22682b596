// Linux only: files that are not regular files, and a file that another
// process cuts short while it is read.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>

#include "common/Error.h"
#include "common/Utf.h"
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

}  // namespace
}  // namespace pagelet
