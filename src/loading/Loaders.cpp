#include "loading/Loaders.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

#include "common/Error.h"
#include "converter/PrintableFilter.h"
#include "converter/WordConverter.h"
#include "loading/DocumentReader.h"
#include "loading/ReadingLayout.h"
#include "loading/DocumentText.h"

namespace pagelet {

namespace {

bool SameAsciiUpper(char16_t c, char16_t upper) { return c == upper || c == static_cast<char16_t>(upper + 32); }

}  // namespace

bool IsWordFileName(std::u16string_view fileName) {
    const size_t dot = fileName.rfind(u'.');
    if (dot == std::u16string_view::npos || dot == 0) return false;
    const size_t lastSeparator = fileName.find_last_of(u"\\:");
    if (lastSeparator != std::u16string_view::npos && lastSeparator > dot) return false;
    const std::u16string_view extension = fileName.substr(dot);
    return extension.size() == 4 && SameAsciiUpper(extension[1], u'D') && SameAsciiUpper(extension[2], u'O') &&
           (SameAsciiUpper(extension[3], u'C') || SameAsciiUpper(extension[3], u'T'));
}

namespace {

// The size of a text of `units` converter units in DocumentText's form: room
// for the LF that each paragraph mark gains (a short-paragraph text grows
// once more near its end). 0 for no count.
size_t WithLineEnds(size_t units) { return units > SIZE_MAX / 2 ? 0 : units + units / 8; }

// The converter's text as the viewer asks for it, in DocumentText's form.
// It is decoded on the caller's thread, a step at a time.
class TConverterTextSource final : public TTextSource, private TTextSink {
public:
    bool Open(const std::u16string& fileName, const TLoadSettings& settings) {
        return converter_.Open(fileName, settings.Printable, settings.CP, settings.ForceCP, *this);
    }
    bool Produce(std::u16string& text, size_t units) override {
        const size_t before = text.size();
        text += early_;
        early_.clear();
        out_ = &text;
        const bool more = converter_.DecodeMore(units);
        if (!more) normalizer_.Finish(text);
        out_ = nullptr;
        made_ += text.size() - before;
        return more;
    }
    bool HasLine() const { return normalizer_.HasLine(); }
    // The converter's text without a line is no document to show.
    bool LaidOut() const { return false; }
    size_t ExpectedUnits() const override { return WithLineEnds(expected_); }
    // The rest at the rate of line ends met so far: the converter's units
    // still to come, each taking as much room as one taken did.
    size_t RemainingUnits() const override {
        if (taken_ == 0 || taken_ >= expected_) return 0;
        const double perUnit = static_cast<double>(made_) / static_cast<double>(taken_);
        return static_cast<size_t>(static_cast<double>(expected_ - taken_) * perUnit);
    }

private:
    void Expect(size_t units) override { expected_ = units; }
    // Text that comes while the file is opened waits for the first Produce.
    void Append(std::u16string_view part) override {
        taken_ += part.size();
        normalizer_.Append(out_ ? *out_ : early_, part);
    }

    TWordConverter converter_;
    TLineEndNormalizer normalizer_;
    std::u16string* out_ = nullptr;
    std::u16string early_;
    size_t expected_ = 0;
    size_t taken_ = 0;  // converter units handed over
    size_t made_ = 0;   // code units of text made of them
};

// What a test puts in the way of the layout's worker (LayoutWorkerHookForTest).
std::mutex HookMutex;
TLayoutWorkerHook LayoutWorkerHook;

// The reading layout as the viewer asks for it. The layout is made in one
// pass over the document (its main text first, then the notes and the other
// stories), which for a large or hostile document takes far longer than the
// host may wait: it runs on a thread of its own, with a reader and a file of
// its own (picked by what the file holds; readers touch no process-wide
// state), and the viewer takes the text as it comes, never waiting for it.
// Closing the viewer cancels the layout, which looks at the flag inside its
// walks.
class TLayoutTextSource final : public TTextSource {
public:
    // word: false leaves a Word document to the converter (the raw setting
    // asks the readers only for the files the converter does not read).
    explicit TLayoutTextSource(bool word = true) : word_(word) {
        std::lock_guard<std::mutex> lock(HookMutex);
        hook_ = LayoutWorkerHook;
    }
    ~TLayoutTextSource() override {
        cancel_ = true;
        if (worker_.joinable()) worker_.join();
    }

    // Starts the layout and waits for its first part or its end, but no
    // longer than wait: false when the document is not one a reader reads;
    // its errors before any text are thrown here, as the converter's own
    // are. An answer that has not come by then comes in the viewer.
    bool Open(const std::u16string& fileName, const TLoadSettings& settings, size_t firstUnits,
              std::chrono::milliseconds wait) {
        worker_ = std::thread([this, fileName, settings] { Run(fileName, settings); });
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait_for(lock, wait, [&] { return done_ || buffer_.size() >= firstUnits; });
        // Text that came is shown, with a line for an error after it.
        if (!done_ || !buffer_.empty()) return true;
        if (error_) throw EPagelet(*error_);
        return opened_;
    }

    // What has come, up to units: never waits for the worker.
    bool Produce(std::u16string& text, size_t units) override {
        std::unique_lock<std::mutex> lock(mutex_);
        const size_t n = std::min(units, buffer_.size() - head_);
        text.append(buffer_, head_, n);
        head_ += n;
        if (head_ == buffer_.size()) {
            buffer_.clear();
            head_ = 0;
        } else if (head_ >= (1u << 20) && head_ >= buffer_.size() / 2) {
            buffer_.erase(0, head_);
            head_ = 0;
        }
        waiting_ = !done_ && head_ == buffer_.size();
        if (!done_ || head_ < buffer_.size()) return true;
        if (error_) {
            const std::u16string message = std::move(*error_);
            error_.reset();
            throw EPagelet(message);
        }
        // The viewer is shown already: a load that ended without text says
        // so in it, where the load's error box can no longer come. A
        // document the layout read to its end and found nothing to show in
        // is a valid one, shown empty.
        if (!hasLine_ && !laidOut_) text += u"[Error opening document: it has no text to show]\r\n";
        return false;
    }

    bool Waiting() const override {
        std::lock_guard<std::mutex> lock(mutex_);
        return waiting_;
    }

    bool HasLine() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return hasLine_;
    }

    // Whether the layout itself read the document to its end (not the
    // converter in its place): a document without a line is then one with
    // nothing visible in it, not one that cannot be shown.
    bool LaidOut() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return laidOut_;
    }

    size_t ExpectedUnits() const override {
        std::lock_guard<std::mutex> lock(mutex_);
        return WithLineEnds(expected_);
    }

private:
    struct TCancelled {};

    // The layout's or the converter's parts, on the worker's thread, in
    // DocumentText's form; the layout's through the printable filter when
    // asked for (the converter filters its own).
    class TWorkerSink final : public TTextSink {
    public:
        explicit TWorkerSink(TLayoutTextSource& source, bool printable = false)
            : source_(source), printable_(printable) {}
        void Expect(size_t units) override {
            std::lock_guard<std::mutex> lock(source_.mutex_);
            source_.expected_ = units;
        }
        void Append(std::u16string_view part) override {
            if (source_.cancel_) throw TCancelled{};
            std::u16string normal;
            if (printable_) {
                filtered_.assign(part);
                FilterPrintableInPlace(filtered_);
                part = filtered_;
            }
            normalizer_.Append(normal, part);
            Deliver(normal);
        }
        // The layout asks this inside its walks: a closed viewer stops it
        // there, also where it hands nothing over (hidden text).
        bool Cancelled() const override { return source_.cancel_; }
        void Finish() {
            std::u16string normal;
            normalizer_.Finish(normal);
            Deliver(normal);
        }

    private:
        void Deliver(const std::u16string& normal) {
            {
                std::lock_guard<std::mutex> lock(source_.mutex_);
                source_.buffer_ += normal;
                source_.hasLine_ = normalizer_.HasLine();
            }
            source_.changed_.notify_all();
        }

        TLayoutTextSource& source_;
        bool printable_;
        std::u16string filtered_;
        TLineEndNormalizer normalizer_;
    };

    void Run(const std::u16string& fileName, const TLoadSettings& settings) {
        std::optional<std::u16string> error;
        bool opened = false;
        bool laidOut = false;
        try {
            if (hook_) hook_([this] { return cancel_.load(); });
            if (cancel_) throw TCancelled{};
            TReadingResult result = TReadingResult::NotWord;
            if (auto reader =
                    OpenDocumentReader(fileName, {settings.CP, settings.ForceCP, TStreamReading::OnDemand, word_})) {
                TWorkerSink sink(*this, settings.Printable);
                const std::function<bool()> full = [this] { return cancel_.load(); };
                TTextAssembler out(sink, full);
                result = reader->Read(out);
                if (cancel_) throw TCancelled{};
                if (result == TReadingResult::Done) {
                    opened = true;
                    laidOut = true;
                    sink.Finish();
                }
            }
            if (result == TReadingResult::Fallback) {
                // A document the layout cannot lay out gives the converter's own text.
                TWordConverter converter;
                TWorkerSink sink(*this);
                opened = converter.Open(fileName, settings.Printable, settings.CP, settings.ForceCP, sink);
                while (opened && converter.DecodeMore(256 * 1024)) {
                    if (cancel_) throw TCancelled{};
                }
                if (cancel_) throw TCancelled{};
                if (opened) sink.Finish();
            }
        } catch (const TCancelled&) {
        } catch (const std::exception& e) {
            error = ExceptionMessage(e);
        } catch (...) {
            error = u"Unknown error";
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            opened_ = opened;
            laidOut_ = laidOut && !error;
            error_ = std::move(error);
            done_ = true;
        }
        changed_.notify_all();
    }

    TLayoutWorkerHook hook_;
    const bool word_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::u16string buffer_;  // the text made and not yet taken, from head_ on
    size_t head_ = 0;
    size_t expected_ = 0;
    bool hasLine_ = false;
    bool opened_ = false;
    bool laidOut_ = false;
    bool done_ = false;
    bool waiting_ = false;  // the last Produce took all there was, and more is to come
    std::optional<std::u16string> error_;
    std::atomic<bool> cancel_{false};
    std::thread worker_;  // last: it starts after everything it uses is made
};

// Decoded before ListLoad returns: enough to know that the document has a
// line of text, and the first screen.
constexpr size_t kFirstUnits = 16 * 1024;

// The first part of an opened document's text, and its source for the rest.
// A text without a line is none to show (but for a document the reading
// layout read whole: it is shown empty): decoding goes on until one comes
// (at once, in real documents) or the text ends. A source on another thread
// gives what has come, and a text that has not come yet is shown as it comes.
template <typename TSource>
std::optional<TLoadedDocument> FirstPart(std::unique_ptr<TSource> source) {
    TLoadedDocument document;
    bool more = true;
    do {
        more = source->Produce(document.Text, kFirstUnits);
    } while (more && !source->Waiting() && (!source->HasLine() || document.Text.size() < kFirstUnits));
    if (!more && !source->HasLine() && !source->LaidOut()) return std::nullopt;
    if (more) document.Rest = std::move(source);
    return document;
}

}  // namespace

TLayoutWorkerHook LayoutWorkerHookForTest(TLayoutWorkerHook hook) {
    std::lock_guard<std::mutex> lock(HookMutex);
    std::swap(LayoutWorkerHook, hook);
    return hook;
}

std::optional<TLoadedDocument> OpenDocument(const std::u16string& fileName, const TLoadSettings& settings,
                                            std::chrono::milliseconds layoutWait) {
    if (settings.MSWord) {
        std::optional<std::u16string> text = LoadWithMSWord(fileName);
        if (!text) return std::nullopt;
        TLoadedDocument document;
        document.Text = std::move(*text);
        return document;
    }
    // What decides whether the document can be shown runs now; the pieces
    // are decoded while it is shown.
    if (!IsWordFileName(fileName)) return std::nullopt;
    if (settings.ReadingLayout) {
        auto source = std::make_unique<TLayoutTextSource>();
        // An answer known by then (a document without text, an error) is
        // given as the load's own.
        if (!source->Open(fileName, settings, kFirstUnits, layoutWait)) return std::nullopt;
        return FirstPart(std::move(source));
    }
    auto source = std::make_unique<TConverterTextSource>();
    if (source->Open(fileName, settings)) return FirstPart(std::move(source));
    // A file the converter does not read (RTF, a web page, ...) has no raw
    // text: it shows its reader's text, as with the reading layout.
    auto other = std::make_unique<TLayoutTextSource>(false);
    if (!other->Open(fileName, settings, kFirstUnits, layoutWait)) return std::nullopt;
    return FirstPart(std::move(other));
}

std::u16string ReadWholeText(TLoadedDocument document) {
    std::u16string text = std::move(document.Text);
    if (!document.Rest) return text;
    while (document.Rest->Produce(text, 256 * 1024)) {
        if (document.Rest->Waiting()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return text;
}

}  // namespace pagelet
