// pagelet-cat: prints the plain text of Word 97-2003 and Word 6/95 documents
// as UTF-8.

#include <array>
#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <system_error>
#include <string>
#include <string_view>
#include <vector>

#include "Console.h"
#include "common/Error.h"
#include "common/Utf.h"
#include "converter/WordConverter.h"

namespace pagelet {
namespace {

constexpr int kExitText = 0;
constexpr int kExitNoText = 1;
constexpr int kExitError = 2;

constexpr const char* kUsage =
    "Usage: pagelet-cat [--printable] [--codepage N] FILE...\n"
    "Prints the plain text of Word 97-2003 and Word 6/95 documents (.doc, .dot)\n"
    "as UTF-8. Line breaks (CR, LF, CR LF) become one newline; NUL characters\n"
    "are dropped.\n"
    "\n"
    "  --printable    keep only printable characters and line breaks\n"
    "  --codepage N   decode 8-bit text with Windows code page N (for example\n"
    "                 1251, 866, 932, 65001) instead of the system's ANSI code\n"
    "                 page (1252 on Linux)\n"
    "  --help         show this help\n"
    "\n"
    "Exit status: 0 when text was printed, 1 when a file holds no text this\n"
    "tool reads (not a Word document, or no text), 2 on an error.\n";

// UTF-8 of U+0000 to U+07FF: the bytes in the low 16 bits, lowest first, and
// their count in the top 8 bits.
constexpr std::array<uint32_t, 0x800> MakeUtf8Short() {
    std::array<uint32_t, 0x800> table{};
    for (uint32_t c = 0; c < 0x800; ++c) {
        table[c] = c < 0x80 ? (c | 1u << 24) : ((0xC0 | (c >> 6)) | ((0x80 | (c & 0x3F)) << 8) | 2u << 24);
    }
    return table;
}
constexpr std::array<uint32_t, 0x800> kUtf8Short = MakeUtf8Short();

// Writes UTF-16 text to stdout as UTF-8 through one fixed buffer.
class TTextWriter {
public:
    // False when stdout refused the bytes.
    bool Write(std::u16string_view text) {
        const char16_t* p = text.data();
        const size_t n = text.size();
        // Locals, not members: stores through a char pointer could alias them.
        char* out = buffer_ + used_;
        char* const limit = buffer_ + sizeof buffer_ - 4;
        for (size_t i = 0; i < n; ++i) {
            if (out > limit) {
                used_ = static_cast<size_t>(out - buffer_);
                if (!Flush()) return false;
                out = buffer_;
            }
            const char32_t c = p[i];
            // The common case, U+0001 to U+07FF without CR: its one or two
            // bytes and their count from a table, without a branch (real
            // text mixes one- and two-byte characters at random).
            if (c - 1 < 0x7FF && c != u'\r') {
                const uint32_t entry = kUtf8Short[c];
                StoreLE(out, entry);
                out += entry >> 24;
                continue;
            }
            i = WriteOther(p, n, i, out);
        }
        used_ = static_cast<size_t>(out - buffer_);
        return true;
    }

    bool Flush() {
        if (used_ != 0 && std::fwrite(buffer_, 1, used_, stdout) != used_) return false;
        used_ = 0;
        return std::fflush(stdout) == 0;
    }

private:
    // Writes the character at i that is NUL, CR or at U+0800 and above (and
    // what belongs to it); returns the index of its last code unit.
    static size_t WriteOther(const char16_t* p, size_t n, size_t i, char*& out) {
        char32_t c = p[i];
        if (c == 0) return i;
        if (c == u'\r') {
            *out++ = '\n';
            return i + 1 < n && p[i + 1] == u'\n' ? i + 1 : i;
        }
        if (c >= 0xD800 && c <= 0xDFFF) {
            if (c <= 0xDBFF && i + 1 < n && p[i + 1] >= 0xDC00 && p[i + 1] <= 0xDFFF) {
                const char32_t cp = 0x10000 + ((c - 0xD800) << 10) + (p[i + 1] - 0xDC00);
                *out++ = static_cast<char>(0xF0 | (cp >> 18));
                *out++ = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
                *out++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
                *out++ = static_cast<char>(0x80 | (cp & 0x3F));
                return i + 1;
            }
            c = 0xFFFD;  // an unpaired surrogate
        }
        *out++ = static_cast<char>(0xE0 | (c >> 12));
        *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *out++ = static_cast<char>(0x80 | (c & 0x3F));
        return i;
    }

    // Stores four bytes, the lowest first; the caller keeps 1 to 3 of them.
    static void StoreLE(char* out, uint32_t bytes) {
        if constexpr (std::endian::native == std::endian::little) {
            std::memcpy(out, &bytes, 4);
        } else {
            for (int k = 0; k < 4; ++k) out[k] = static_cast<char>(bytes >> (8 * k));
        }
    }

    char buffer_[64 * 1024];
    size_t used_ = 0;
};

void Report(const std::u16string& file, std::u16string_view message) {
    std::fflush(stdout);
    std::fprintf(stderr, "pagelet-cat: %s: %s\n", Utf16ToUtf8(file).c_str(), Utf16ToUtf8(message).c_str());
}

void UsageError(const std::string& message) {
    std::fprintf(stderr, "pagelet-cat: %s\nTry 'pagelet-cat --help'.\n", message.c_str());
}

bool ParseCodePage(const std::u16string& text, int32_t& cp) {
    if (text.empty() || text.size() > 10) return false;
    int64_t value = 0;
    for (char16_t c : text) {
        if (c < u'0' || c > u'9') return false;
        value = value * 10 + (c - u'0');
    }
    if (value > INT32_MAX) return false;
    cp = static_cast<int32_t>(value);
    return true;
}

int Run(const std::vector<std::u16string>& args) {
    bool printable = false;
    bool forceCP = false;
    int32_t cp = 0;
    std::vector<std::u16string> files;
    bool optionsEnd = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::u16string& arg = args[i];
        if (optionsEnd || arg.empty() || arg[0] != u'-' || arg == u"-") {
            files.push_back(arg);
        } else if (arg == u"--") {
            optionsEnd = true;
        } else if (arg == u"--help" || arg == u"-h") {
            std::fputs(kUsage, stdout);
            return kExitText;
        } else if (arg == u"--printable") {
            printable = true;
        } else if (arg == u"--codepage" || arg.starts_with(u"--codepage=")) {
            std::u16string value;
            if (arg == u"--codepage") {
                if (i + 1 == args.size()) {
                    UsageError("--codepage needs a code page number");
                    return kExitError;
                }
                value = args[++i];
            } else {
                value = arg.substr(11);
            }
            if (!ParseCodePage(value, cp)) {
                UsageError("not a code page number: " + Utf16ToUtf8(value));
                return kExitError;
            }
            forceCP = true;
        } else {
            UsageError("unknown option " + Utf16ToUtf8(arg));
            return kExitError;
        }
    }
    if (files.empty()) {
        UsageError("no file given");
        return kExitError;
    }

    TTextWriter writer;
    int status = kExitText;
    for (const std::u16string& file : files) {
        std::error_code ec;
        if (!std::filesystem::exists(std::filesystem::path(file), ec)) {
            Report(file, u"no such file");
            status = kExitError;
            continue;
        }
        std::u16string text;
        try {
            TWordConverter converter;
            text = converter.LoadText(file, printable, cp, forceCP);
        } catch (const std::exception& e) {
            Report(file, ExceptionMessage(e));
            status = kExitError;
            continue;
        }
        if (text.empty()) {
            Report(file, u"no text (not a Word 97-2003 or Word 6/95 document, or an empty one)");
            if (status == kExitText) status = kExitNoText;
            continue;
        }
        if (!writer.Write(text) || !writer.Flush()) {
            Report(file, u"cannot write the text to the standard output");
            return kExitError;
        }
    }
    return status;
}

}  // namespace
}  // namespace pagelet

int main(int argc, char** argv) {
    try {
        pagelet::SetBinaryStdout();
        return pagelet::Run(pagelet::CommandLineArguments(argc, argv));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "pagelet-cat: %s\n", e.what());
        return 2;
    }
}
