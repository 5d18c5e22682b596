#pragma once

// Platform seam of the loading module: a whole file into memory
// (FileBytes_win.cpp, FileBytes_posix.cpp). Internal to loading/.

#include <cstdint>
#include <string>
#include <vector>

namespace pagelet {

// Reads the whole file, opened for reading while other writers are shut out.
// False when it cannot be opened or read.
bool ReadFileBytes(const std::u16string& fileName, std::vector<uint8_t>& bytes);

// Reads the file's first bytes, at most maxBytes (all of a shorter file), to
// tell its format before it is read whole. False when it cannot be opened
// or read.
bool ReadFileHead(const std::u16string& fileName, size_t maxBytes, std::vector<uint8_t>& bytes);

}  // namespace pagelet
