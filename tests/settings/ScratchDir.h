#pragma once

// Test helpers for the settings tests: a scratch directory removed at the
// end, whole-file writes and reads, and the process environment.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#ifdef _WIN32
#include <windows.h>
#endif

namespace pagelet::test {

// A fresh directory below the temporary directory, removed with its content.
class TScratchDir {
public:
    TScratchDir() {
        std::random_device random;
        path_ = std::filesystem::temp_directory_path() / ("pagelet-settings-" + std::to_string(random()));
        std::filesystem::create_directories(path_);
    }
    ~TScratchDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TScratchDir(const TScratchDir&) = delete;
    TScratchDir& operator=(const TScratchDir&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    // A path inside the directory, in the form the settings functions take.
    std::u16string Name(const std::string& relative) const {
        std::filesystem::path path = path_ / relative;
        return path.make_preferred().u16string();
    }

private:
    std::filesystem::path path_;
};

inline void WriteText(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string ReadText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Sets (or with a null value removes) a variable of this process's environment.
inline void SetEnv(const char* name, const char* value) {
#ifdef _WIN32
    SetEnvironmentVariableA(name, value);
#else
    if (value != nullptr) {
        setenv(name, value, 1);
    } else {
        unsetenv(name);
    }
#endif
}

}  // namespace pagelet::test
