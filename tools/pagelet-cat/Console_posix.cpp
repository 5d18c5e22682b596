#include "Console.h"

#include <fcntl.h>
#include <limits.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "common/Utf.h"

namespace pagelet {

std::vector<std::u16string> CommandLineArguments(int argc, char** argv) {
    std::vector<std::u16string> args;
    for (int i = 1; i < argc; ++i) args.push_back(Utf8ToUtf16(argv[i]));
    return args;
}

void SetBinaryStdout() {}

std::u16string FileProblem(const std::u16string& file) {
    const std::string path = Utf16ToUtf8(file);
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd >= 0) {
        ::close(fd);
        return {};
    }
    switch (errno) {
    case ENOENT:
    case ENOTDIR:
        return u"no such file";
    case EACCES:
    case EPERM:
        return u"permission denied";
    case ENAMETOOLONG:
        return Utf8ToUtf16("file name too long: the system allows " + std::to_string(PATH_MAX - 1) +
                           " bytes for a path and " + std::to_string(NAME_MAX) + " for each of its names");
    default: {
        std::string text = std::strerror(errno);
        if (!text.empty() && text[0] >= 'A' && text[0] <= 'Z') text[0] = static_cast<char>(text[0] - 'A' + 'a');
        return Utf8ToUtf16(text);
    }
    }
}

}  // namespace pagelet
