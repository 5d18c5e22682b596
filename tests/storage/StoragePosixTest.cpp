// Linux only: files that are not regular files.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "common/Error.h"
#include "converter/CompoundFile.h"

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

}  // namespace
}  // namespace pagelet
