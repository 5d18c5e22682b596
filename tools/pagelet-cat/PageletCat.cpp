// pagelet-cat: prints the text of Word 97-2003 and Word 6/95 documents as
// UTF-8: the reading layout, or with --raw the converter's plain text.

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#if defined(__x86_64__) && defined(__GNUC__)
#define PAGELET_CAT_SSSE3 1
#include <immintrin.h>
#endif

#include "Console.h"
#include "common/Error.h"
#include "common/Utf.h"
#include "converter/WordConverter.h"
#include "converter/WordFib.h"
#include "loading/DocumentReader.h"
#include "loading/ReadingLayout.h"

namespace pagelet {
namespace {

constexpr int kExitText = 0;
constexpr int kExitNoText = 1;
constexpr int kExitError = 2;
constexpr int kExitEncrypted = 3;

constexpr const char* kUsage =
    "Usage: pagelet-cat [--raw | --reading] [--printable] [--codepage N] FILE...\n"
    "Prints the text of Word 97-2003 and Word 6/95 documents (.doc, .dot) as\n"
    "UTF-8, as their reader sees it (the reading layout): fields show their\n"
    "result, not their code (a form check box shows U+2610 or U+2612, a\n"
    "drop-down its selected entry); each table row is a line with its cells\n"
    "separated by tabs; list paragraphs get their numbers and bullets; note\n"
    "references show their numbers; hidden and deleted text is left out;\n"
    "line, page and column breaks end the line; pictures, drawings and\n"
    "embedded objects are dropped, unless the document shows nothing else:\n"
    "then each stands on a line as [picture], [drawing] or [object: CLASS].\n"
    "Footnotes, endnotes, comments, text boxes and headers and footers follow\n"
    "the main text, each under a heading line of its own. 8-bit text is\n"
    "decoded in the code page it was written in (Word 6/95: by the font's\n"
    "character set or the text's language); --codepage still wins.\n"
    "Line breaks (CR, LF, CR LF) become one newline; NUL characters are\n"
    "dropped. A file that holds another format Word opens (RTF) is read by\n"
    "that format's reader, the same way with --raw and without (RTF names\n"
    "its own code pages: --codepage applies to its 8-bit text only where it\n"
    "names none).\n"
    "\n"
    "  --raw          print the converter's plain text instead: the document's\n"
    "                 characters in order with Word's control characters\n"
    "                 (field codes, cell marks), 8-bit text decoded in the\n"
    "                 system's ANSI code page\n"
    "  --reading      print the reading layout (the default)\n"
    "  --printable    keep only printable characters and line breaks\n"
    "  --codepage N   decode 8-bit text with Windows code page N (for example\n"
    "                 1251, 866, 932, 65001) instead of the system's ANSI code\n"
    "                 page (on Linux the one of the locale's language: LC_ALL,\n"
    "                 LC_CTYPE or LANG, 1252 when it has none)\n"
    "  --help         show this help\n"
    "\n"
    "When both --raw and --reading are given, the last one counts.\n"
    "\n"
    "Exit status: 0 when text was printed (with the reading layout also for a\n"
    "Word document with nothing visible in it), 1 when a file holds no text\n"
    "this tool reads (not a Word document, or no text), 2 on an error, 3 when\n"
    "a document is encrypted with a password (and no other file failed).\n";

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

#ifdef PAGELET_CAT_SSSE3
// For each set of two-byte characters among eight (bit k: character k), the
// byte indices that gather each character's UTF-8 from its 16-bit lane: the
// low byte, and the high byte when the character takes two.
struct TPackTable {
    alignas(16) uint8_t index[256][16];
    uint8_t length[256];  // 8 plus the number of two-byte characters
};
constexpr TPackTable MakePackTable() {
    TPackTable table{};
    for (unsigned mask = 0; mask < 256; ++mask) {
        unsigned at = 0;
        for (unsigned k = 0; k < 8; ++k) {
            table.index[mask][at++] = static_cast<uint8_t>(2 * k);
            if (mask & (1u << k)) table.index[mask][at++] = static_cast<uint8_t>(2 * k + 1);
        }
        table.length[mask] = static_cast<uint8_t>(at);
        while (at < 16) table.index[mask][at++] = 0x80;  // a zero byte
    }
    return table;
}
constexpr TPackTable kPackTable = MakePackTable();

// The group encoders this processor runs, found once: eight units at a
// time with SSSE3, sixteen with AVX2 (each also counts with POPCNT).
struct TGroupWidths {
    bool eight = false;
    bool sixteen = false;
};
const TGroupWidths& GroupWidths() {
    static const TGroupWidths widths = [] {
        __builtin_cpu_init();
        const bool popcnt = __builtin_cpu_supports("popcnt");
        return TGroupWidths{popcnt && __builtin_cpu_supports("ssse3"), popcnt && __builtin_cpu_supports("avx2")};
    }();
    return widths;
}

// The 16-bit lanes of a group of 8 or 16 units, as the compiler's generic
// vectors: what follows is written once for both widths and inlined into
// each encoder, which gives it that encoder's instructions.
typedef uint16_t TLanes8 __attribute__((vector_size(16)));
typedef uint16_t TLanes16 __attribute__((vector_size(32)));

// Each unit's UTF-8 in its lane, for units U+0000 to U+07FF: one byte, or
// the lead byte low and the trail byte high; and the lanes of the units that
// take two bytes (all ones).
template <typename TLanes>
[[gnu::always_inline]] inline void Utf8Lanes(const TLanes& c, TLanes& lanes, TLanes& twoBytes) {
    twoBytes = reinterpret_cast<TLanes>(c >= 0x80);
    const TLanes pair = ((c >> 6) | 0xC0) | (((c & 0x3F) | 0x80) << 8);
    lanes = (pair & twoBytes) | (c & ~twoBytes);
}

// Stores a group's 16 bytes (the UTF-8 of its eight units first) at out
// and moves out past the UTF-8 of its first k units, bit j of twoByteUnits
// set for each unit j that takes two bytes: true when that is all eight;
// false when a unit stopped the group (the bytes after are overwritten later).
[[gnu::always_inline]] inline bool PutGroup(char*& out, const __m128i& bytes, unsigned twoByteUnits, unsigned k) {
    std::memcpy(out, &bytes, sizeof bytes);
    if (k < 8) {
        out += k + static_cast<unsigned>(std::popcount(twoByteUnits & ((1u << k) - 1)));
        return false;
    }
    out += kPackTable.length[twoByteUnits];
    return true;
}

// Groups of eight code units, while each unit of a group is U+0001 to
// U+07FF and not CR (most of a European document) and out does not pass
// limit: each group's UTF-8 (8 to 16 bytes) goes to out, which moves on.
// In the group that stops them, the units before the first one out of range
// are written too. Returns how many units were written.
__attribute__((target("ssse3,popcnt"))) size_t EncodeShortGroups(const char16_t* p, size_t n, char*& out,
                                                                 const char* limit) {
    size_t i = 0;
    while (i + 8 <= n && out <= limit) {
        TLanes8 c;
        std::memcpy(&c, p + i, sizeof c);
        // Signed compares: units from U+8000 up count as negative, so out of range.
        const __m128i units = reinterpret_cast<__m128i>(c);
        const __m128i inRange =
            _mm_and_si128(_mm_cmpgt_epi16(units, _mm_setzero_si128()), _mm_cmplt_epi16(units, _mm_set1_epi16(0x800)));
        const __m128i valid = _mm_andnot_si128(_mm_cmpeq_epi16(units, _mm_set1_epi16(0x0D)), inRange);
        const auto validBits = static_cast<unsigned>(_mm_movemask_epi8(valid));
        TLanes8 lanes, twoBytes;
        Utf8Lanes(c, lanes, twoBytes);
        const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(
                                  _mm_packs_epi16(reinterpret_cast<__m128i>(twoBytes), _mm_setzero_si128()))) &
                              0xFF;
        const __m128i order = _mm_load_si128(reinterpret_cast<const __m128i*>(kPackTable.index[mask]));
        // The units before the first that is not in range are written.
        const unsigned k = validBits == 0xFFFF ? 8 : static_cast<unsigned>(std::countr_one(validBits)) / 2;
        if (!PutGroup(out, _mm_shuffle_epi8(reinterpret_cast<__m128i>(lanes), order), mask, k)) return i + k;
        i += 8;
    }
    return i;
}

// The same for two groups at once, which also take a CR that no LF follows
// (a paragraph's end in Word's text) as a newline: a CR LF stops them, and so
// does a CR as the last unit of the text given (an LF may begin the next
// part), which they never reach as they look one unit ahead.
__attribute__((target("avx2,popcnt"))) size_t EncodeShortGroups16(const char16_t* p, size_t n, char*& out,
                                                                  const char* limit) {
    size_t i = 0;
    while (i + 17 <= n && out <= limit) {
        const __m256i raw = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i));
        const __m256i next = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i + 1));
        const __m256i isCR = _mm256_cmpeq_epi16(raw, _mm256_set1_epi16(0x0D));
        const __m256i inRange = _mm256_and_si256(_mm256_cmpgt_epi16(raw, _mm256_setzero_si256()),
                                                 _mm256_cmpgt_epi16(_mm256_set1_epi16(0x800), raw));
        const __m256i crLf = _mm256_and_si256(isCR, _mm256_cmpeq_epi16(next, _mm256_set1_epi16(0x0A)));
        const auto validBits = static_cast<unsigned>(_mm256_movemask_epi8(_mm256_andnot_si256(crLf, inRange)));
        // CR (0x0D) becomes LF (0x0A).
        const auto c =
            reinterpret_cast<TLanes16>(_mm256_xor_si256(raw, _mm256_and_si256(isCR, _mm256_set1_epi16(0x07))));
        TLanes16 lanes, twoBytes;
        Utf8Lanes(c, lanes, twoBytes);
        // Packed within each half: bits 0-7 tell the first group's two-byte
        // characters, bits 16-23 the second group's.
        const auto masks = static_cast<unsigned>(
            _mm256_movemask_epi8(_mm256_packs_epi16(reinterpret_cast<__m256i>(twoBytes), _mm256_setzero_si256())));
        const unsigned first = masks & 0xFF, second = (masks >> 16) & 0xFF;
        const __m256i order = _mm256_inserti128_si256(
            _mm256_castsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(kPackTable.index[first]))),
            _mm_load_si128(reinterpret_cast<const __m128i*>(kPackTable.index[second])), 1);
        const __m256i packed = _mm256_shuffle_epi8(reinterpret_cast<__m256i>(lanes), order);
        // The units before the first one that stops the groups are written.
        const unsigned k = validBits == 0xFFFFFFFFu ? 16 : static_cast<unsigned>(std::countr_one(validBits)) / 2;
        if (!PutGroup(out, _mm256_castsi256_si128(packed), first, k) ||
            !PutGroup(out, _mm256_extracti128_si256(packed, 1), second, k - 8))
            return i + k;
        i += 16;
    }
    return i;
}
#endif

// stdout refused the bytes.
class EWriteFailed : public std::exception {};

bool IsHighSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// Writes UTF-16 text to stdout as UTF-8 through one fixed buffer, as the
// converter decodes it, part by part: a CR LF or a surrogate pair may be cut
// between two parts.
class TTextWriter final : public TTextSink {
public:
    // A file's text begins; UnitsOfFile() counts its code units.
    void BeginFile() {
        units_ = 0;
        pendingCR_ = false;
        pendingHigh_ = 0;
    }
    // A file's text has ended: a high surrogate left alone becomes U+FFFD.
    void EndFile() {
        if (pendingHigh_ != 0) {
            char* out = Room();
            used_ = static_cast<size_t>(WriteThree(0xFFFD, out) - buffer_);
        }
        pendingCR_ = false;
        pendingHigh_ = 0;
    }
    uint64_t UnitsOfFile() const { return units_; }

    void Append(std::u16string_view text) override {
        const char16_t* p = text.data();
        const size_t n = text.size();
        units_ += n;
        size_t i = 0;
        if (n != 0 && pendingCR_ && p[0] == u'\n') i = 1;
        pendingCR_ = false;
        // Locals, not members: stores through a char pointer could alias them.
        char* out = Room();
        if (pendingHigh_ != 0 && i < n) {
            if (IsLowSurrogate(p[i])) {
                out = WritePair(pendingHigh_, p[i], out);
                ++i;
            } else {
                out = WriteThree(0xFFFD, out);
            }
            pendingHigh_ = 0;
        }
        // Room for the widest run of stores between two checks of out:
        // eight characters one by one, or two groups of eight.
        char* const limit = buffer_ + sizeof buffer_ - 64;
#ifdef PAGELET_CAT_SSSE3
        const bool eightAtOnce = GroupWidths().eight;
        const bool sixteenAtOnce = GroupWidths().sixteen;
#endif
        while (i < n) {
            if (out > limit) {
                used_ = static_cast<size_t>(out - buffer_);
                Flush();
                out = buffer_;
            }
            size_t stop = n;  // where the characters one by one end
#ifdef PAGELET_CAT_SSSE3
            if (eightAtOnce && i + 8 <= n) {
                if (sixteenAtOnce) i += EncodeShortGroups16(p + i, n - i, out, limit);
                i += EncodeShortGroups(p + i, n - i, out, limit);
                if (out > limit) continue;
                // The unit that stopped them goes alone (the last units of
                // the text all one by one); then groups again.
                stop = i + 8 <= n ? i + 1 : n;
            }
#endif
            while (i < stop && out <= limit) {
                // Four printable ASCII characters (U+0020 to U+007F) at once:
                // most of a Western document.
                if constexpr (std::endian::native == std::endian::little) {
                    if (i + 4 <= n) {
                        uint64_t v;
                        std::memcpy(&v, p + i, 8);
                        if ((v & 0xFF80FF80FF80FF80u) == 0 &&
                            ((v + 0x0060006000600060u) & 0x0080008000800080u) == 0x0080008000800080u) {
                            out[0] = static_cast<char>(v);
                            out[1] = static_cast<char>(v >> 16);
                            out[2] = static_cast<char>(v >> 32);
                            out[3] = static_cast<char>(v >> 48);
                            out += 4;
                            i += 4;
                            continue;
                        }
                    }
                }
                const char32_t c = p[i];
                // The common case, U+0001 to U+07FF without CR: its one or two
                // bytes and their count from a table, without a branch (real
                // text mixes one- and two-byte characters at random).
                if (c - 1 < 0x7FF && c != u'\r') {
                    const uint32_t entry = kUtf8Short[c];
                    StoreLE(out, entry);
                    out += entry >> 24;
                    ++i;
                    continue;
                }
                i = WriteOther(p, n, i, out) + 1;
            }
        }
        used_ = static_cast<size_t>(out - buffer_);
    }

    // Throws EWriteFailed when stdout refuses the bytes.
    void Flush() {
        if (used_ != 0 && std::fwrite(buffer_, 1, used_, stdout) != used_) throw EWriteFailed();
        used_ = 0;
        if (std::fflush(stdout) != 0) throw EWriteFailed();
    }

private:
    // The write position with room for a few bytes.
    char* Room() {
        if (used_ > sizeof buffer_ - 8) Flush();
        return buffer_ + used_;
    }

    // Writes the character at i that is NUL, CR or at U+0800 and above (and
    // what belongs to it); returns the index of its last code unit.
    size_t WriteOther(const char16_t* p, size_t n, size_t i, char*& out) {
        const char32_t c = p[i];
        if (c == 0) return i;
        if (c == u'\r') {
            *out++ = '\n';
            if (i + 1 == n) pendingCR_ = true;
            return i + 1 < n && p[i + 1] == u'\n' ? i + 1 : i;
        }
        if (IsHighSurrogate(c)) {
            if (i + 1 == n) {
                pendingHigh_ = c;  // its partner may begin the next part
                return i;
            }
            if (IsLowSurrogate(p[i + 1])) {
                out = WritePair(c, p[i + 1], out);
                return i + 1;
            }
        }
        out = WriteThree(IsLowSurrogate(c) || IsHighSurrogate(c) ? 0xFFFD : c, out);
        return i;
    }

    static char* WritePair(char32_t high, char32_t low, char* out) {
        const char32_t cp = 0x10000 + ((high - 0xD800) << 10) + (low - 0xDC00);
        *out++ = static_cast<char>(0xF0 | (cp >> 18));
        *out++ = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        *out++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        *out++ = static_cast<char>(0x80 | (cp & 0x3F));
        return out;
    }

    static char* WriteThree(char32_t c, char* out) {
        *out++ = static_cast<char>(0xE0 | (c >> 12));
        *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *out++ = static_cast<char>(0x80 | (c & 0x3F));
        return out;
    }

    // Stores four bytes, the lowest first; the caller keeps 1 to 3 of them.
    static void StoreLE(char* out, uint32_t bytes) {
        if constexpr (std::endian::native == std::endian::little) {
            std::memcpy(out, &bytes, 4);
        } else {
            for (int k = 0; k < 4; ++k) out[k] = static_cast<char>(bytes >> (8 * k));
        }
    }

    char buffer_[256 * 1024];
    size_t used_ = 0;
    uint64_t units_ = 0;
    bool pendingCR_ = false;
    char32_t pendingHigh_ = 0;
};

void Report(const std::u16string& file, std::u16string_view message) {
    std::fflush(stdout);
    std::fprintf(stderr, "pagelet-cat: %s: %s\n", Utf16ToUtf8(file).c_str(), Utf16ToUtf8(message).c_str());
}

// Whether the file is a Word document that a password opens: its text is
// not stored readably. A file whose FIB cannot be read is left to the
// extraction, which reports what is wrong with it.
bool EncryptedDocument(const std::u16string& file) {
    try {
        return ReadWordFibFlags(file).Encrypted;
    } catch (const std::exception&) {
        return false;
    }
}

// The reading layout as the converter's text stage, noting whether the
// layout itself read the document (not the converter in its place).
void UseReadingLayout(TWordConverter& converter, bool on, bool& laidOut) {
    laidOut = false;
    if (!on) {
        UseReadingLayout(converter, false);
        return;
    }
    converter.SetTextStage([&laidOut](TStorage& storage, int32_t cp, bool forceCP, TTextSink& sink,
                                      const std::function<bool()>& full, TStreamReading reading) {
        const TStageResult result = ExtractReadingLayout(storage, cp, forceCP, sink, full, reading);
        laidOut = result == TStageResult::Done;
        return result;
    });
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
    bool reading = true;
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
        } else if (arg == u"--reading") {
            reading = true;
        } else if (arg == u"--raw") {
            reading = false;
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

    // The writer hands stdout large blocks: no second buffer in between.
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    TTextWriter writer;
    int status = kExitText;
    for (const std::u16string& file : files) {
        const std::u16string problem = FileProblem(file);
        if (!problem.empty()) {
            Report(file, problem);
            status = kExitError;
            continue;
        }
        if (EncryptedDocument(file)) {
            Report(file, u"encrypted with a password");
            if (status == kExitText || status == kExitNoText) status = kExitEncrypted;
            continue;
        }
        writer.BeginFile();
        bool laidOut = false;
        try {
            // Each piece goes from the file through the writer's buffer.
            TWordConverter converter;
            UseReadingLayout(converter, reading, laidOut);
            if (!converter.ExtractText(file, printable, cp, forceCP, writer)) {
                // Not a Word document: a reader of another format may know
                // it, and its text is the same with --raw and without.
                const std::function<bool()> never = [] { return false; };
                laidOut = ExtractReaderText(file, cp, forceCP, printable, writer, never) == TReadingResult::Done;
            }
            writer.EndFile();
            writer.Flush();
        } catch (const EWriteFailed&) {
            Report(file, u"cannot write the text to the standard output");
            return kExitError;
        } catch (const std::exception& e) {
            writer.EndFile();
            try {
                writer.Flush();
            } catch (const EWriteFailed&) {}
            Report(file, ExceptionMessage(e));
            status = kExitError;
            continue;
        }
        // A document the layout read whole has nothing visible: no fault.
        if (writer.UnitsOfFile() == 0 && !laidOut) {
            Report(file, u"no text (not a Word 97-2003 or Word 6/95 document, or an empty one)");
            if (status == kExitText) status = kExitNoText;
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
