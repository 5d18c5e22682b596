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

}  // namespace pagelet
