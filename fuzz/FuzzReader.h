#pragma once

// What the readers' fuzz targets share: the settings an input is read with,
// and one read of a document through the text assembler.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>

#include "common/Error.h"
#include "loading/TextAssembler.h"

namespace pagelet::fuzz {

// Counts the text and answers full once it has `limit` code units.
class TCountingSink final : public TTextSink {
public:
    explicit TCountingSink(size_t limit) : limit_(limit) {}
    void Append(std::u16string_view text) override { units_ += text.size(); }
    bool Full() const { return units_ >= limit_; }

private:
    size_t limit_;
    size_t units_ = 0;
};

// The settings vary with the input so that every road is taken: a forced
// code page, one the platform lacks, the system's, and a text no longer
// wanted part of the way.
struct TSettings {
    int32_t cp;
    bool forceCP;
    size_t limit;
};
inline const TSettings& SettingsFor(size_t size) {
    static const TSettings kSettings[] = {
        {1251, false, SIZE_MAX}, {1252, true, 64}, {932, true, SIZE_MAX}, {12345, true, 20000}, {0, false, 20000}};
    return kSettings[size % (sizeof kSettings / sizeof kSettings[0])];
}

// Opens a reader with open() and reads its document to the end or to the
// limit. Only EPagelet may come out of a reader; it is the answer for a file
// that cannot be read.
template <typename TOpen>
void ReadThrough(TOpen open, size_t limit) {
    try {
        auto reader = open();
        if (!reader) return;
        TCountingSink sink(limit);
        const std::function<bool()> full = [&sink] { return sink.Full(); };
        TTextAssembler out(sink, full);
        reader->Read(out);
    } catch (const EPagelet&) {
    }
}

}  // namespace pagelet::fuzz
