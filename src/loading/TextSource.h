#pragma once

// The rest of a document's text, decoded as the viewer asks for it.

#include <cstddef>
#include <string>

namespace pagelet {

class TTextSource {
public:
    virtual ~TTextSource() = default;
    // Appends about `units` more code units of the text (in the viewer's
    // form: CR LF line ends) to text. False once the text is complete. A
    // decoding failure throws EPagelet; the source is then spent. A source
    // whose text is made on another thread appends only what has come
    // (possibly nothing) and never waits for more.
    virtual bool Produce(std::u16string& text, size_t units) = 0;
    // True when the last Produce stopped at what has come so far: more is on
    // its way, and asking again at once would give next to nothing.
    virtual bool Waiting() const { return false; }
    // About how many code units the whole text will have (0: not known), so
    // that it can be held in one block from the start: growing a text of
    // millions of characters by doubling copies all of it each time, a stall
    // of the host's thread that grows with the document.
    virtual size_t ExpectedUnits() const { return 0; }
    // About how many code units are still to come (0: none, or not known).
    virtual size_t RemainingUnits() const { return 0; }
};

}  // namespace pagelet
