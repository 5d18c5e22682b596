#include "loading/TextFileReader.h"

#include <span>

#include "common/CodePage.h"
#include "converter/WordFormat.h"
#include "loading/FileBytes.h"
#include "loading/TextBytes.h"

namespace pagelet {

namespace {

// A binary file is told from text by its first bytes, this many.
constexpr size_t kHeadBytes = 4096;
// The reader asks whether the text is still wanted every this many lines.
constexpr size_t kCheckEveryLines = 1024;

constexpr char16_t kFormFeed = 0x0C, kCtrlZ = 0x1A;

// Whether a code unit may stand in text: not a control character other
// than tab, LF, CR and form feed.
bool IsTextUnit(char16_t c) {
    return (c >= 0x20 && c != 0x7F) || c == u'\t' || c == u'\n' || c == u'\r' || c == kFormFeed;
}

// Whether the bytes (or code units) hold text: no control character
// but those (a DOS end-of-file mark closing the file aside), and something
// other than white space.
template <typename T>
bool HoldsText(std::span<const T> units, bool cutEnd) {
    bool shows = false;
    for (size_t i = 0; i < units.size(); ++i) {
        const auto c = static_cast<char16_t>(units[i]);
        if (!IsTextUnit(c)) {
            if (c == kCtrlZ && i + 1 == units.size() && !cutEnd) continue;
            return false;
        }
        if (c > u' ') shows = true;
    }
    return shows || cutEnd;
}

class TTextFileReader final : public TDocumentReader, private TParagraphSource {
public:
    TTextFileReader(std::vector<uint8_t> bytes, const TReaderOptions& options)
        : bytes_(std::move(bytes)), options_(options) {}

    // False when the bytes hold no text.
    bool Open();
    TReadingResult Read(TTextAssembler& out) override;

private:
    TParagraphProps OpenParagraph(uint64_t) override { return {}; }

    std::vector<uint8_t> bytes_;
    TReaderOptions options_;
    std::u16string text_;  // decoded when the file is UTF-16 or UTF-8 (checked whole at open)
    bool decoded_ = false;
};

bool TTextFileReader::Open() {
    const TByteOrderMark bom = ByteOrderMarkOf(bytes_);
    const std::span<const uint8_t> body = std::span<const uint8_t>(bytes_).subspan(bom.size);
    if (bom.codePage == kCodePageUtf16LE || bom.codePage == kCodePageUtf16BE) {
        text_ = DecodeText(body, bom.codePage);
        decoded_ = true;
        return HoldsText(std::span<const char16_t>(text_), false);
    }
    return HoldsText(body, false);
}

TReadingResult TTextFileReader::Read(TTextAssembler& out) {
    out.Begin(bytes_.size(), *this);
    if (!decoded_) {
        const TByteOrderMark bom = ByteOrderMarkOf(bytes_);
        const std::span<const uint8_t> body = std::span<const uint8_t>(bytes_).subspan(bom.size);
        uint32_t codePage = kCodePageUtf8;
        if (bom.codePage == 0 && !IsValidUtf8(body)) {
            // 8-bit text in a code page the file does not name.
            word::CheckForcedCodePage(options_.cp, options_.forceCP);
            codePage = options_.forceCP && options_.cp != 0 ? static_cast<uint32_t>(options_.cp) : SystemAnsiCodePage();
        }
        text_ = DecodeText(body, codePage);
    }
    std::vector<uint8_t>().swap(bytes_);
    out.Expect(text_.size());
    out.BeginStory(TStoryKind::Main);
    const char16_t* s = text_.data();
    const size_t n = text_.size();
    size_t i = 0;
    if (out.BeginPart()) {
        size_t lines = 0;
        while (i < n) {
            if (++lines % kCheckEveryLines == 0 && !out.Wanted()) break;
            // A line: its text and tabs, up to CR LF, LF, CR or a form feed.
            size_t end = i;
            while (end < n && s[end] != u'\n' && s[end] != u'\r' && s[end] != kFormFeed) {
                if (s[end] == u'\t' || s[end] < 0x20) {
                    if (end > i) out.Text(s + i, end - i, i);
                    if (s[end] == u'\t') out.Tab(end);
                    i = end + 1;
                }
                ++end;
            }
            if (end > i) out.Text(s + i, end - i, i);
            if (end == n) {
                out.ParagraphEnd(0);
                i = n;
                break;
            }
            if (s[end] == kFormFeed) {
                out.Break(TBreak::Page, 0, end);
            } else {
                out.ParagraphEnd(0);
                if (s[end] == u'\r' && end + 1 < n && s[end + 1] == u'\n') ++end;
            }
            i = end + 1;
        }
        out.EndPart();
    }
    out.EndStory();
    out.Finish(n, i);
    return TReadingResult::Done;
}

}  // namespace

std::unique_ptr<TDocumentReader> OpenTextReader(std::vector<uint8_t> bytes, const TReaderOptions& options) {
    auto reader = std::make_unique<TTextFileReader>(std::move(bytes), options);
    if (!reader->Open()) return nullptr;
    return reader;
}

std::unique_ptr<TDocumentReader> OpenTextFile(const std::u16string& fileName, const TReaderOptions& options) {
    std::vector<uint8_t> bytes;
    if (!ReadFileHead(fileName, kHeadBytes, bytes)) return nullptr;
    // A binary file shows itself in its first bytes; a text file is then checked whole.
    const TByteOrderMark bom = ByteOrderMarkOf(bytes);
    if (bom.codePage != kCodePageUtf16LE && bom.codePage != kCodePageUtf16BE &&
        !HoldsText(std::span<const uint8_t>(bytes).subspan(bom.size), bytes.size() == kHeadBytes)) {
        return nullptr;
    }
    if (!ReadFileBytes(fileName, bytes)) return nullptr;
    return OpenTextReader(std::move(bytes), options);
}

}  // namespace pagelet
