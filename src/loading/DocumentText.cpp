#include "loading/DocumentText.h"

#include "common/Utf.h"
#include "common/CodePage.h"
#include "loading/FileBytes.h"

namespace pagelet {

TDocumentText* DocumentText = nullptr;

namespace {

std::u16string DecodeByMark(const std::vector<uint8_t>& bytes) {
    const uint8_t* data = bytes.data();
    const size_t size = bytes.size();
    if (size >= 3 && data[0] == 0xEF && data[1] == 0xBB && data[2] == 0xBF) {
        return Utf8ToUtf16(std::string_view(reinterpret_cast<const char*>(data + 3), size - 3));
    }
    if (size >= 2 && data[0] == 0xFF && data[1] == 0xFE) return DecodeUtf16Bytes(data + 2, size - 2, false);
    if (size >= 2 && data[0] == 0xFE && data[1] == 0xFF) return DecodeUtf16Bytes(data + 2, size - 2, true);
    return PlatformDecode(SystemAnsiCodePage(), data, size, false).value_or(std::u16string());
}

}  // namespace

void TDocumentTextBuilder::Expect(size_t units) {
    // Room for the parts and a little more for CR LF pairs made of lone CRs.
    if (units <= text_.max_size() - units / 16 - 2) text_.reserve(units + units / 16 + 2);
}

void TLineEndNormalizer::Append(std::u16string& out, std::u16string_view part) {
    // Runs of ordinary characters go over in one piece each.
    size_t run = 0;
    for (size_t i = 0; i < part.size(); ++i) {
        const char16_t c = part[i];
        if (c != u'\0' && c != u'\r' && c != u'\n') {
            afterCr_ = false;
            lineOpen_ = true;
            continue;
        }
        out.append(part.data() + run, i - run);
        run = i + 1;
        // NUL characters occur inside real documents' text (fields, padding
        // runs): they are dropped and the text goes on after them.
        if (c == u'\0') continue;
        if (c == u'\n' && afterCr_) {
            afterCr_ = false;
            continue;
        }
        afterCr_ = c == u'\r';
        out.append(u"\r\n", 2);
        ++lines_;
        lineOpen_ = false;
    }
    out.append(part.data() + run, part.size() - run);
}

void TLineEndNormalizer::Finish(std::u16string& out) {
    if (lineOpen_) {
        out.append(u"\r\n", 2);
        ++lines_;
        lineOpen_ = false;
    }
}

void TDocumentTextBuilder::Append(std::u16string_view part) { normalizer_.Append(text_, part); }

void TDocumentTextBuilder::Finish(TDocumentText& target) {
    normalizer_.Finish(text_);
    target.text_ = std::move(text_);
    target.count_ = normalizer_.Lines();
    *this = TDocumentTextBuilder();
}

void TDocumentText::Clear() {
    text_ = std::u16string();
    count_ = 0;
}

std::u16string TDocumentText::TakeText() {
    std::u16string text = std::move(text_);
    Clear();
    return text;
}

void TDocumentText::SetText(std::u16string_view text) {
    TDocumentTextBuilder builder;
    builder.Expect(text.size());
    builder.Append(text);
    builder.Finish(*this);
}

std::vector<std::u16string> TDocumentText::Lines() const {
    std::vector<std::u16string> lines;
    lines.reserve(count_);
    const std::u16string& text = text_;
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t end = text.find(u"\r\n", pos);
        lines.emplace_back(text, pos, end - pos);
        pos = end + 2;
    }
    return lines;
}

bool TDocumentText::LoadFromFile(const std::u16string& fileName) {
    std::vector<uint8_t> bytes;
    if (!ReadFileBytes(fileName, bytes)) return false;
    SetText(DecodeByMark(bytes));
    return true;
}

void ClearDocumentText() {
    if (DocumentText != nullptr) DocumentText->Clear();
}

void LoadingModuleInit() {
    if (DocumentText == nullptr) DocumentText = new TDocumentText;
}

void LoadingModuleDone() {
    TDocumentText* text = DocumentText;
    DocumentText = nullptr;
    delete text;
}

}  // namespace pagelet
