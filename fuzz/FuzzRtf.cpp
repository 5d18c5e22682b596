// libFuzzer target: the RTF reader and the text assembler on arbitrary
// bytes (those that begin as RTF does get past the format test; the seeds
// do). Only EPagelet may come out.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

#include "common/Error.h"
#include "loading/RtfReader.h"
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
    // The settings vary with the input so that every road is taken: a
    // forced code page (valid or not) and a text no longer wanted part of the way.
    static const struct {
        int32_t cp;
        bool forceCP;
        size_t limit;
    } kSettings[] = {{1251, false, SIZE_MAX}, {1252, true, 64}, {932, true, SIZE_MAX}, {12345, true, 20000}};
    const auto& s = kSettings[size % 4];
    try {
        auto reader = pagelet::OpenRtfReader(std::vector<uint8_t>(data, data + size), s.cp, s.forceCP);
        if (!reader) return 0;
        TCountingSink sink(s.limit);
        const std::function<bool()> full = [&sink] { return sink.Full(); };
        pagelet::TTextAssembler out(sink, full);
        reader->Read(out);
    } catch (const pagelet::EPagelet&) {}
    return 0;
}
