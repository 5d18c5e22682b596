// The project's own INI reader and writer, with the key=value behaviour of
// the Windows profile functions that the settings rely on:
// - "[Section]" lines and "key=value" lines; names match without regard to
//   (ASCII) case and without the blanks around them;
// - the value loses the blanks around it, then one pair of enclosing quotes
//   (" or '), and is cut to 300 characters;
// - lines starting with ';' are comments;
// - a write replaces the first matching key's value, or adds the key at the
//   end of the first matching section, or adds the section at the end of the
//   file; every other line stays byte for byte as it was.
// Files are UTF-8 (a leading byte-order mark is skipped on reading and kept
// on writing).
//
// The files sit in folders that others may share or hand over (a settings
// folder, the plug-in's folder), and the reader runs on the file manager's
// UI thread, so:
// - only a regular file is read (a symbolic link to one is followed), opened
//   without blocking and checked again once open: a FIFO or a device named
//   Pagelet.ini or config.ini reads as no file and cannot hold the caller;
// - at most the first 1 MB is read; a longer file is not written to, since
//   writing it back would lose its tail, nor is a file that may not be
//   written;
// - a write goes to a new file in the same folder, renamed over the name: a
//   symbolic link of that name is replaced, never written through, and a
//   reader never sees half a file;
// - a name that is not absolute is neither read nor written: nothing is
//   taken relative to the host's current directory.
#include "settings/IniFile.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <random>
#include <string_view>
#include <vector>

#include "common/Utf.h"

namespace pagelet {

namespace {

constexpr size_t kMaxValueChars = 300;
constexpr size_t kMaxFileBytes = 1 << 20;

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

std::u16string_view Trim(std::u16string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

char16_t AsciiLower(char16_t c) { return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c; }

bool SameName(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
    }
    return true;
}

// One line of the file as stored (without its line end) and what it means.
struct TIniLine {
    std::string Raw;
    enum class TKind { Other, Section, Key } Kind = TKind::Other;
    std::u16string Name;   // section or key name, trimmed
    std::u16string Value;  // key lines: the text after '=', trimmed
};

TIniLine ParseLine(std::string raw) {
    TIniLine line;
    line.Raw = std::move(raw);
    const std::u16string text = Utf8ToUtf16(line.Raw);
    const std::u16string_view trimmed = Trim(text);
    if (trimmed.empty() || trimmed.front() == u';') return line;
    if (trimmed.front() == u'[') {
        const size_t close = trimmed.find(u']');
        if (close != std::u16string_view::npos) {
            line.Kind = TIniLine::TKind::Section;
            line.Name = Trim(trimmed.substr(1, close - 1));
        }
        return line;
    }
    const size_t equals = trimmed.find(u'=');
    if (equals == std::u16string_view::npos) return line;
    line.Kind = TIniLine::TKind::Key;
    line.Name = Trim(trimmed.substr(0, equals));
    line.Value = Trim(trimmed.substr(equals + 1));
    return line;
}

struct TIniFile {
    std::string Bom;  // a UTF-8 byte-order mark found at the start
    std::string LineEnd = "\n";
    bool EndsWithLineEnd = true;
    std::vector<TIniLine> Lines;
};

class TFileDescriptor {
public:
    explicit TFileDescriptor(int fd) : fd_(fd) {}
    ~TFileDescriptor() {
        if (fd_ >= 0) close(fd_);
    }
    TFileDescriptor(const TFileDescriptor&) = delete;
    TFileDescriptor& operator=(const TFileDescriptor&) = delete;
    int Get() const { return fd_; }
    // Closes now and tells whether that succeeded (a write may fail only here).
    bool Close() {
        const int fd = fd_;
        fd_ = -1;
        return fd < 0 || close(fd) == 0;
    }

private:
    int fd_;
};

enum class TReadResult {
    Read,     // a regular file, whole
    Cut,      // a regular file longer than kMaxFileBytes: its first lines
    Missing,  // no file of that name (or a symbolic link to none)
    Refused,  // anything else: not a regular file, unreadable, a relative name
};

struct TFileBytes {
    TReadResult Result = TReadResult::Refused;
    std::string Bytes;
    mode_t Mode = 0;  // permission bits of the file read
};

TFileBytes ReadFileBytes(const std::string& path) {
    TFileBytes file;
    if (path.empty() || path.front() != '/') return file;
    // A first look by name keeps open() away from devices (which may act on
    // being opened) and FIFOs; the check once open catches a file swapped in
    // between.
    struct stat named {};
    if (stat(path.c_str(), &named) != 0) {
        if (errno == ENOENT) file.Result = TReadResult::Missing;
        return file;
    }
    if (!S_ISREG(named.st_mode)) return file;
    TFileDescriptor fd(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (fd.Get() < 0) {
        if (errno == ENOENT) file.Result = TReadResult::Missing;
        return file;
    }
    struct stat opened {};
    if (fstat(fd.Get(), &opened) != 0 || !S_ISREG(opened.st_mode)) return file;
    file.Mode = opened.st_mode & 0777;

    // Read up to one byte more than the limit, which tells a longer file from
    // one of exactly 1 MB; the buffer starts at the size the file has now.
    const size_t limit = kMaxFileBytes + 1;
    const size_t sizeNow = opened.st_size > 0 ? static_cast<size_t>(opened.st_size) : 0;
    std::string bytes(std::min(sizeNow + 1, limit), '\0');
    size_t got = 0;
    for (;;) {
        if (got == bytes.size()) {
            if (got == limit) break;
            bytes.resize(std::min(got * 2 + 4096, limit));  // the file grew meanwhile
        }
        const ssize_t n = read(fd.Get(), bytes.data() + got, bytes.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return file;
        if (n == 0) break;
        got += static_cast<size_t>(n);
    }
    if (got > kMaxFileBytes) {
        // Only the whole lines of the first part count.
        bytes.resize(kMaxFileBytes);
        const size_t lastEnd = bytes.rfind('\n');
        bytes.resize(lastEnd == std::string::npos ? 0 : lastEnd + 1);
        file.Result = TReadResult::Cut;
    } else {
        bytes.resize(got);
        file.Result = TReadResult::Read;
    }
    file.Bytes = std::move(bytes);
    return file;
}

TIniFile ParseIni(std::string bytes) {
    TIniFile ini;
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        ini.Bom = bytes.substr(0, 3);
        bytes.erase(0, 3);
    }
    size_t pos = 0;
    bool lineEndChosen = false;
    while (pos < bytes.size()) {
        size_t end = bytes.find('\n', pos);
        const bool hasEnd = end != std::string::npos;
        if (!hasEnd) end = bytes.size();
        size_t contentEnd = end;
        const bool crlf = contentEnd > pos && bytes[contentEnd - 1] == '\r';
        if (crlf) --contentEnd;
        if (hasEnd && !lineEndChosen) {
            ini.LineEnd = crlf ? "\r\n" : "\n";
            lineEndChosen = true;
        }
        ini.Lines.push_back(ParseLine(bytes.substr(pos, contentEnd - pos)));
        // A CR of a CR LF is part of the line end; keep a lone CR before the
        // end of the file in the line so that it is written back as it was.
        if (!hasEnd && crlf) ini.Lines.back().Raw += '\r';
        ini.EndsWithLineEnd = hasEnd;
        pos = hasEnd ? end + 1 : end;
    }
    return ini;
}

bool WriteAll(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// Writes the file as a new file beside it, then renames that over the name:
// whatever held the name (a file, a symbolic link) is replaced, and nothing
// is written through a link. keepMode: the permissions of the file replaced;
// a new file gets those that the process's umask allows.
void SaveIni(const TIniFile& ini, const std::string& path, std::optional<mode_t> keepMode) {
    std::string bytes = ini.Bom;
    for (size_t i = 0; i < ini.Lines.size(); ++i) {
        bytes += ini.Lines[i].Raw;
        if (i + 1 < ini.Lines.size() || ini.EndsWithLineEnd) bytes += ini.LineEnd;
    }
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos || slash + 1 == path.size()) return;
    const std::string folder = path.substr(0, slash + 1);
    const std::string name = path.substr(slash + 1);

    std::random_device random;
    std::string temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, ".%08X", static_cast<unsigned>(random()));
        temporary = folder + "." + name + suffix;
        // O_EXCL: a name that is taken, by a link too, is never opened.
        fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) return;  // a missing or read-only folder
    }
    if (fd < 0) return;
    TFileDescriptor out(fd);
    bool written = WriteAll(out.Get(), bytes);
    if (written && keepMode) written = fchmod(out.Get(), *keepMode) == 0;
    if (written) written = fsync(out.Get()) == 0;
    written = out.Close() && written;
    if (!written || rename(temporary.c_str(), path.c_str()) != 0) unlink(temporary.c_str());
}

// Index of the key line of the first section named `section` that holds `key`.
std::optional<size_t> FindKey(const TIniFile& ini, std::u16string_view section, std::u16string_view key) {
    bool inSection = false;
    for (size_t i = 0; i < ini.Lines.size(); ++i) {
        const TIniLine& line = ini.Lines[i];
        if (line.Kind == TIniLine::TKind::Section) {
            inSection = SameName(line.Name, section);
        } else if (inSection && line.Kind == TIniLine::TKind::Key && SameName(line.Name, key)) {
            return i;
        }
    }
    return std::nullopt;
}

std::u16string Unquote(std::u16string_view value) {
    if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') && value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
    }
    return std::u16string(value.substr(0, kMaxValueChars));
}

}  // namespace

std::u16string ReadIniString(const std::u16string& section, const std::u16string& key,
                             const std::u16string& defaultText, const std::u16string& fileName) {
    const std::u16string fallback = defaultText.substr(0, kMaxValueChars);
    try {
        TFileBytes file = ReadFileBytes(Utf16ToUtf8(fileName));
        if (file.Result != TReadResult::Read && file.Result != TReadResult::Cut) return fallback;
        const TIniFile ini = ParseIni(std::move(file.Bytes));
        const std::optional<size_t> index = FindKey(ini, Trim(section), Trim(key));
        if (!index) return fallback;
        return Unquote(ini.Lines[*index].Value);
    } catch (const std::exception&) {
        return fallback;  // reading a setting never fails
    }
}

void WriteIniString(const std::u16string& section, const std::u16string& key, const std::u16string& value,
                    const std::u16string& fileName) {
    try {
        const std::string path = Utf16ToUtf8(fileName);
        TFileBytes file = ReadFileBytes(path);
        // A file that was not read whole is left as it is: writing it back
        // would lose what was not read.
        if (file.Result != TReadResult::Read && file.Result != TReadResult::Missing) return;
        // A file made read-only stays as it is, as when it was written in place.
        if (file.Result == TReadResult::Read && access(path.c_str(), W_OK) != 0) return;
        std::optional<mode_t> keepMode;
        if (file.Result == TReadResult::Read) keepMode = file.Mode;
        TIniFile ini = ParseIni(std::move(file.Bytes));
        const std::u16string_view sectionName = Trim(section);
        const std::u16string_view keyName = Trim(key);
        if (const std::optional<size_t> index = FindKey(ini, sectionName, keyName)) {
            TIniLine& line = ini.Lines[*index];
            line.Raw = Utf16ToUtf8(line.Name) + "=" + Utf16ToUtf8(value);
            SaveIni(ini, path, keepMode);
            return;
        }

        TIniLine newLine;
        newLine.Raw = Utf16ToUtf8(keyName) + "=" + Utf16ToUtf8(value);
        // After the last key or other non-empty line of the first matching section.
        std::optional<size_t> insertAt;
        bool inSection = false;
        for (size_t i = 0; i < ini.Lines.size(); ++i) {
            const TIniLine& line = ini.Lines[i];
            if (line.Kind == TIniLine::TKind::Section) {
                if (insertAt) break;
                inSection = SameName(line.Name, sectionName);
                if (inSection) insertAt = i + 1;
            } else if (inSection && !Trim(Utf8ToUtf16(line.Raw)).empty()) {
                insertAt = i + 1;
            }
        }
        if (insertAt) {
            ini.Lines.insert(ini.Lines.begin() + static_cast<std::ptrdiff_t>(*insertAt), std::move(newLine));
        } else {
            TIniLine header;
            header.Raw = "[" + Utf16ToUtf8(sectionName) + "]";
            ini.Lines.push_back(std::move(header));
            ini.Lines.push_back(std::move(newLine));
        }
        SaveIni(ini, path, keepMode);
    } catch (const std::exception&) {
        // a failed write is not reported
    }
}

}  // namespace pagelet
