#pragma once

// The little that differs between a Linux and a Windows console program.

#include <string>
#include <vector>

namespace pagelet {

// The program's arguments after its name, as UTF-16 (Windows: the wide
// command line; Linux: argv read as UTF-8).
std::vector<std::u16string> CommandLineArguments(int argc, char** argv);

// Standard output takes bytes as they are: no newline translation.
void SetBinaryStdout();

// Why the file cannot be read, in a few words ("no such file", "permission
// denied", "file name too long..."); empty when it can be opened for
// reading (a directory included: the converter says it holds no text).
std::u16string FileProblem(const std::u16string& file);

}  // namespace pagelet
