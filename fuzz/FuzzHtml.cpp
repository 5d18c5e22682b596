// libFuzzer target: the readers of web pages (HTML and MHTML) and of plain
// text on arbitrary bytes, straight from memory: the web page reader when it
// takes the bytes, else the text reader, as the registry asks them. Only
// EPagelet may come out.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

#include "common/Error.h"
#include "loading/HtmlReader.h"
#include "loading/TextAssembler.h"
#include "loading/TextFileReader.h"

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
    // The settings vary with the input so that every road is taken (a
    // forced code page, one the platform lacks, a text no longer wanted).
    static const struct {
        int32_t cp;
        bool forceCP;
        size_t limit;
    } kSettings[] = {{1251, false, SIZE_MAX}, {1251, true, 64}, {932, true, SIZE_MAX}, {12345, true, 20000}};
    const auto& s = kSettings[size % 4];
    const pagelet::TReaderOptions options{s.cp, s.forceCP};
    try {
        auto reader = pagelet::OpenHtmlReader(std::vector<uint8_t>(data, data + size), options);
        if (!reader) reader = pagelet::OpenTextReader(std::vector<uint8_t>(data, data + size), options);
        if (!reader) return 0;
        TCountingSink sink(s.limit);
        const std::function<bool()> full = [&sink] { return sink.Full(); };
        pagelet::TTextAssembler out(sink, full);
        reader->Read(out);
    } catch (const pagelet::EPagelet&) {}
    return 0;
}
