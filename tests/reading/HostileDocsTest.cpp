// Documents built to cost a reader as much as they can for their size: what
// the layout makes, keeps and reads stays in proportion to the file, and a
// layout no longer wanted stops at once. The CTest time limit catches a
// layout that runs away; AddressSanitizer and UndefinedBehaviorSanitizer
// (native-asan) the rest.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "converter/CompoundFile.h"
#include "converter/WordConverter.h"
#include "loading/ReadingLayout.h"
#include "support/CfbWriter.h"
#include "support/DocBuilder.h"
#include "support/HostileDocs.h"

namespace pagelet {
namespace {

// Collects the text; with cancelAfter, says the text is no longer wanted
// once that many parts came.
class TTestSink final : public TTextSink {
public:
    explicit TTestSink(size_t cancelAfter = SIZE_MAX) : cancelAfter_(cancelAfter) {}
    void Append(std::u16string_view part) override {
        text += part;
        ++parts;
    }
    bool Cancelled() const override { return parts >= cancelAfter_; }
    std::u16string text;
    size_t parts = 0;

private:
    size_t cancelAfter_;
};

struct TLaidOut {
    std::u16string text;
    TReadingCost cost;
    size_t fileBytes = 0;
};

TLaidOut Lay(const THostileDoc& doc, size_t cancelAfter = SIZE_MAX) {
    // With PAGELET_READING_SEEDS set to a folder, the document goes there too: a fuzz seed.
    if (const char* dir = std::getenv("PAGELET_READING_SEEDS")) {
        std::ofstream out(std::filesystem::path(dir) / ("hostile-" + doc.name + ".doc"), std::ios::binary);
        out.write(reinterpret_cast<const char*>(doc.bytes.data()), static_cast<std::streamsize>(doc.bytes.size()));
    }
    TTempFile file(doc.bytes);
    TStoragePtr storage = StorageOpen(file.Path());
    TTestSink sink(cancelAfter);
    TLaidOut out;
    out.fileBytes = doc.bytes.size();
    EXPECT_EQ(ExtractReadingLayout(*storage, 0, false, sink, [&] { return sink.Cancelled(); },
                                   TStreamReading::Whole, out.cost),
              TReadingResult::Done);
    out.text = std::move(sink.text);
    return out;
}

// The layout's own bound: 8 code units a byte of "WordDocument" and 512K,
// and the line that ends a cut.
void ExpectWithinBudget(const TLaidOut& laid) {
    EXPECT_LE(laid.cost.units, 8 * laid.cost.streamBytes + 512 * 1024);
    EXPECT_LE(laid.text.size(), 8 * laid.cost.streamBytes + 512 * 1024 + 200);
}

size_t Count(const std::u16string& text, char16_t c) { return static_cast<size_t>(std::count(text.begin(), text.end(), c)); }

// Form fields that all name one large drop-down's data: what they read of
// the "Data" stream is bounded, past it they show their results.
THostileDoc SharedFormFieldDataDoc(size_t fields) {
    std::vector<std::u16string> entries(2000, std::u16string(14, u'e'));
    entries[0] = u"first";
    TRichDocBuilder doc;
    doc.FormField(u"FORMDROPDOWN", FormFieldData(2, 0, 0, entries), u"r");
    for (size_t k = 1; k < fields; ++k) doc.FormField(u"FORMDROPDOWN", {}, u"r", 0);
    return {"shared-form-field-data", doc.Para(u"").Build()};
}

TEST(HostileDocs, CostStaysInProportion) {
    struct TShape {
        THostileDoc doc;
        std::function<void(const TLaidOut&)> check;
    };
    const TShape shapes[] = {
        // Styles based on each other with long property lists: every run
        // shown, their properties worked out once.
        {StyleChainDoc(20000, 60000),
         [](const TLaidOut& laid) {
             EXPECT_EQ(Count(laid.text, u'x'), 20000u - 20000u / 64);
             ExpectWithinBudget(laid);
         }},
        // Labels of 64 long letter numbers: at most 256 characters each, and
        // the text ends where the budget does, saying so.
        {ListLabelDoc(100000),
         [](const TLaidOut& laid) {
             ExpectWithinBudget(laid);
             size_t longest = 0, start = 0;
             for (size_t end; (end = laid.text.find(u'\n', start)) != std::u16string::npos; start = end + 1)
                 longest = std::max(longest, end - start);
             EXPECT_LE(longest, 258u);
             EXPECT_NE(laid.text.find(u"of the document are not shown"), std::u16string::npos);
         }},
        // Runs whose property lists overlap: each page kept once.
        {OverlappingRunsDoc(2000),
         [](const TLaidOut& laid) {
             EXPECT_LE(laid.cost.pageBytes, 2000u * 512 + 512);
             EXPECT_NE(laid.text.find(u"overlapping runs"), std::u16string::npos);
         }},
        // Seven tables naming one block: read once.
        {SharedBlockDoc(4u << 20),
         [](const TLaidOut& laid) {
             EXPECT_LE(laid.cost.blockBytes, (4u << 20) + 64 * 1024);
             EXPECT_EQ(laid.text.substr(0, 25), u"one block for every table");
         }},
        {SharedFormFieldDataDoc(1000),
         [](const TLaidOut& laid) {
             EXPECT_LE(laid.cost.blockBytes, (16u << 20) + (1u << 20));
             EXPECT_EQ(laid.text.substr(0, 10), u"firstfirst");
             EXPECT_EQ(laid.text.substr(laid.text.size() - 3), u"rr\n");
         }},
        // Table depths that would overflow: kept in range.
        {DeepTableDoc(),
         [](const TLaidOut& laid) {
             EXPECT_NE(laid.text.find(u"deep"), std::u16string::npos);
             EXPECT_NE(laid.text.find(u"after"), std::u16string::npos);
         }},
    };
    for (const TShape& shape : shapes) {
        SCOPED_TRACE(shape.doc.name);
        shape.check(Lay(shape.doc));
        // The converter's own text is bounded by its pieces.
        TTempFile file(shape.doc.bytes);
        TWordConverter converter;
        EXPECT_LE(converter.LoadText(file.Path(), false, 0, false).size(), shape.doc.bytes.size());
    }
}

// A viewer closed over a long hidden tail: the layout stops at the next run,
// not when it next hands text over (hidden text never is).
TEST(HostileDocs, CancelIsAnsweredInsideTheWalk) {
    const THostileDoc doc = StyleChainDoc(20000, 60000, 70000);
    const TLaidOut whole = Lay(doc);
    EXPECT_GE(whole.cost.characters, 70000u + 20000u);
    const TLaidOut cancelled = Lay(doc, 1);
    EXPECT_LT(cancelled.cost.characters, 70000u);
    EXPECT_LT(cancelled.text.size(), whole.text.size());
}

}  // namespace
}  // namespace pagelet
