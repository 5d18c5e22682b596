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
    // decoding failure throws EPagelet; the source is then spent.
    virtual bool Produce(std::u16string& text, size_t units) = 0;
};

}  // namespace pagelet
