#include "settings/Platform.h"

#include <dlfcn.h>
#include <limits.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cstdlib>

#include "common/Utf.h"
#include "common/CodePage.h"
#include "settings/Locations.h"

namespace pagelet {

const char16_t* const kDirectorySeparators = u"/";
const char16_t kDirectorySeparator = u'/';

namespace {

std::string ModuleFilePath() {
    // The shared object or program that holds this function; a program may be
    // named relative to the start directory, so /proc/self/exe is preferred then.
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&ModuleDirectory), &info) != 0 && info.dli_fname != nullptr &&
        info.dli_fname[0] == '/') {
        return info.dli_fname;
    }
    char path[PATH_MAX + 1];
    const ssize_t length = readlink("/proc/self/exe", path, PATH_MAX);
    if (length <= 0) return std::string();
    return std::string(path, static_cast<size_t>(length));
}

}  // namespace

std::u16string ModuleDirectory() {
    const std::string path = ModuleFilePath();
    const size_t last = path.rfind('/');
    return last == std::string::npos ? std::u16string() : Utf8ToUtf16(path.substr(0, last + 1));
}

bool UsableSettingsDirectory(const std::u16string& dir) { return !dir.empty() && dir.front() == u'/'; }

bool DirectoryExists(const std::u16string& path) {
    struct stat st {};
    return stat(Utf16ToUtf8(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool MakeDirectory(const std::u16string& path) { return mkdir(Utf16ToUtf8(path).c_str(), 0777) == 0; }

std::u16string DecodeHostText(const char* text, size_t size) {
    // The host's paths on Linux are the file system's bytes, UTF-8.
    return Utf8ToUtf16(std::string_view(text, size));
}

uint64_t ClockSeed() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000000000ull + static_cast<uint64_t>(now.tv_nsec);
}

namespace {

// %NAME% is replaced by the variable's value; a reference to an undefined
// variable stays as written, both '%' included, and the scan goes on after
// it, as ExpandEnvironmentStringsW does. complete: no reference stayed.
std::u16string Expand(const std::u16string& text, bool& complete) {
    complete = true;
    std::u16string result;
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t open = text.find(u'%', pos);
        if (open == std::u16string::npos) break;
        const size_t close = text.find(u'%', open + 1);
        if (close == std::u16string::npos) break;
        result.append(text, pos, open - pos);
        const std::u16string name = text.substr(open + 1, close - open - 1);
        const char* value = name.empty() ? nullptr : std::getenv(Utf16ToUtf8(name).c_str());
        if (value != nullptr) {
            result += Utf8ToUtf16(value);
        } else {
            result.append(text, open, close - open + 1);
            complete = false;
        }
        pos = close + 1;
    }
    result.append(text, pos, std::u16string::npos);
    return result;
}

}  // namespace

std::u16string ExpandEnvironment(const std::u16string& text) {
    bool complete = true;
    return Expand(text, complete);
}

std::u16string ExpandDirectoryText(const std::u16string& text, bool& complete) { return Expand(text, complete); }

std::u16string GetTempDirectory() {
    const char* tmp = std::getenv("TMPDIR");
    std::u16string dir = Utf8ToUtf16((tmp != nullptr && tmp[0] != '\0') ? tmp : "/tmp");
    if (dir.back() != u'/') dir += u'/';
    return dir;
}

}  // namespace pagelet
