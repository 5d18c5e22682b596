// libFuzzer targets: the Word 2007+ package reader (zip or flat package:
// fuzz_opc) and the Word 2003 XML reader (fuzz_wordxml) on arbitrary bytes,
// through the text assembler. Only EPagelet may come out.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

#include "common/Error.h"
#include "loading/TextAssembler.h"
#include "loading/WordMl.h"

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
    std::vector<uint8_t> bytes(data, data + size);
    try {
#ifdef PAGELET_FUZZ_OPC
        auto reader = pagelet::WordPackageReader(std::move(bytes));
#else
        auto reader = pagelet::WordXmlReader(std::move(bytes));
#endif
        if (!reader) return 0;
        // Now and then the text stops being wanted part of the way.
        TCountingSink sink(size % 3 == 0 ? 64 : SIZE_MAX);
        const std::function<bool()> full = [&sink] { return sink.Full(); };
        pagelet::TTextAssembler out(sink, full);
        reader->Read(out);
    } catch (const pagelet::EPagelet&) {}
    return 0;
}
