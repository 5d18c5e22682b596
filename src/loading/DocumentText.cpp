#include "loading/DocumentText.h"

#include "common/Utf.h"
#include "converter/CodePage.h"
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

void TDocumentText::SetText(std::u16string_view text) {
    lines_.clear();
    // NUL characters occur inside real documents' text (fields, padding runs):
    // they are dropped and the text goes on after them.
    std::u16string plain;
    plain.reserve(text.size());
    for (const char16_t c : text) {
        if (c != u'\0') plain += c;
    }
    // CR, LF and CR LF each end a line; a line end at the very end adds no empty line.
    size_t pos = 0;
    const size_t size = plain.size();
    while (pos < size) {
        size_t end = pos;
        while (end < size && plain[end] != u'\r' && plain[end] != u'\n') ++end;
        lines_.emplace_back(plain, pos, end - pos);
        pos = end;
        if (pos < size && plain[pos] == u'\r') ++pos;
        if (pos < size && plain[pos] == u'\n') ++pos;
    }
}

bool TDocumentText::LoadFromFile(const std::u16string& fileName) {
    std::vector<uint8_t> bytes;
    if (!ReadFileBytes(fileName, bytes)) return false;
    SetText(DecodeByMark(bytes));
    return true;
}

std::u16string TDocumentText::WholeText() const {
    size_t total = 0;
    for (const std::u16string& line : lines_) total += line.size() + 2;
    std::u16string text;
    text.reserve(total);
    for (const std::u16string& line : lines_) {
        text += line;
        text += u"\r\n";
    }
    return text;
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
