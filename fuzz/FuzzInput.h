#pragma once

// The fuzz targets' input as a file: the converter takes a file name. One
// file per process (in /dev/shm where it can), removed at exit.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace pagelet::fuzz {

// Writes data to this process's input file (its name made of stem and the
// process id) and returns the file's path; empty when it cannot be written.
inline std::string WriteInput(const char* stem, const uint8_t* data, size_t size) {
    static const std::string path = [stem] {
        const char* dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : std::getenv("TMPDIR");
        return std::string(dir != nullptr ? dir : "/tmp") + "/" + stem + "-" + std::to_string(getpid()) + ".doc";
    }();
    static const bool cleanup = std::atexit([] { std::remove(path.c_str()); }) == 0;
    (void)cleanup;
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return {};
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    return path;
}

}  // namespace pagelet::fuzz
