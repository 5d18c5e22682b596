// libFuzzer target: the text assembler through the Word reader on arbitrary
// bytes, written to a file first because the reader registry opens files by
// name. Only EPagelet may come out; a document the reader cannot lay out
// (Fallback) stops there, the converter's text being fuzz_converter's.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "FuzzInput.h"
#include "common/Error.h"
#include "common/Utf.h"
#include "loading/DocumentReader.h"
#include "loading/TextAssembler.h"

namespace {

// Counts the text and answers full once it has `limit` code units.
class TCountingSink final : public pagelet::TTextSink {
public:
    explicit TCountingSink(size_t limit) : limit_(limit) {}
    void Append(std::u16string_view text) override { units_ += text.size(); }
    bool Full() const { return units_ >= limit_; }

private:
    size_t limit_;
    size_t units_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = pagelet::fuzz::WriteInput("pagelet-fuzz-reading", data, size);
    if (path.empty()) return 0;

    // The settings vary with the input so that every road is taken, a text
    // no longer wanted part of the way included.
    static const struct {
        int32_t cp;
        bool forceCP;
        size_t limit;
    } kSettings[] = {{1251, false, SIZE_MAX}, {1252, true, 64}, {932, true, SIZE_MAX}, {0, false, 20000}};
    const auto& s = kSettings[size % 4];
    try {
        auto reader = pagelet::OpenDocumentReader(pagelet::Utf8ToUtf16(path), {s.cp, s.forceCP});
        if (!reader) return 0;
        TCountingSink sink(s.limit);
        const std::function<bool()> full = [&sink] { return sink.Full(); };
        pagelet::TTextAssembler out(sink, full);
        reader->Read(out);
    } catch (const pagelet::EPagelet&) {}
    return 0;
}
