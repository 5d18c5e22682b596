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
#include "settings/IniFile.h"

#include <fstream>
#include <iterator>
#include <optional>
#include <string_view>
#include <vector>

#include "common/Utf.h"

namespace pagelet {

namespace {

constexpr size_t kMaxValueChars = 300;

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

std::optional<TIniFile> LoadIni(const std::u16string& fileName) {
    std::ifstream in(Utf16ToUtf8(fileName), std::ios::binary);
    if (!in) return std::nullopt;
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return std::nullopt;

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

void SaveIni(const TIniFile& ini, const std::u16string& fileName) {
    std::string bytes = ini.Bom;
    for (size_t i = 0; i < ini.Lines.size(); ++i) {
        bytes += ini.Lines[i].Raw;
        if (i + 1 < ini.Lines.size() || ini.EndsWithLineEnd) bytes += ini.LineEnd;
    }
    std::ofstream out(Utf16ToUtf8(fileName), std::ios::binary | std::ios::trunc);
    if (!out) return;  // a failed write is not reported
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
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
        const std::optional<TIniFile> ini = LoadIni(fileName);
        if (!ini) return fallback;
        const std::optional<size_t> index = FindKey(*ini, Trim(section), Trim(key));
        if (!index) return fallback;
        return Unquote(ini->Lines[*index].Value);
    } catch (const std::exception&) {
        return fallback;  // reading a setting never fails
    }
}

void WriteIniString(const std::u16string& section, const std::u16string& key, const std::u16string& value,
                    const std::u16string& fileName) {
    try {
        TIniFile ini = LoadIni(fileName).value_or(TIniFile{});
        const std::u16string_view sectionName = Trim(section);
        const std::u16string_view keyName = Trim(key);
        if (const std::optional<size_t> index = FindKey(ini, sectionName, keyName)) {
            TIniLine& line = ini.Lines[*index];
            line.Raw = Utf16ToUtf8(line.Name) + "=" + Utf16ToUtf8(value);
            SaveIni(ini, fileName);
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
        SaveIni(ini, fileName);
    } catch (const std::exception&) {
        // a failed write is not reported
    }
}

}  // namespace pagelet
