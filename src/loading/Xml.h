#pragma once

// Platform seam: a pull reader of an XML document held in memory.
// Windows: XmlLite (Xml_win.cpp, xmllite.dll loaded at run time). Linux:
// libxml2's xmlTextReader (Xml_posix.cpp). Internal to loading/.
//
// Both sides read the document alone: no DTD is loaded, no external entity
// is fetched, nothing goes to the network, and entities are not expanded
// (each side says how it is set up for that).

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace pagelet {

enum class TXmlNode { Start, End, Text, Finished };

struct TXmlAttribute {
    std::u16string localName;
    std::u16string ns;
    std::u16string value;
};

// What the reader is on: a start tag (its names and attributes, and whether
// it is empty: no End follows it), an end tag, or character data (text,
// white space, CDATA).
struct TXmlItem {
    TXmlNode node = TXmlNode::Finished;
    std::u16string localName;
    std::u16string ns;
    std::vector<TXmlAttribute> attributes;
    bool empty = false;
    std::u16string text;

    // The value of the attribute of that local name in namespace ns (any
    // namespace for nullptr); nullptr when there is none.
    const std::u16string* Attribute(std::u16string_view name, const char16_t* inNs = nullptr) const {
        for (const TXmlAttribute& a : attributes) {
            if (a.localName == name && (inNs == nullptr || a.ns == inNs)) return &a.value;
        }
        return nullptr;
    }
};

class TXmlReader {
public:
    virtual ~TXmlReader() = default;
    // Moves to the next item and fills item; Finished at the end. Throws
    // EPagelet "The document is damaged: ..." for XML that is not well formed.
    virtual void Next(TXmlItem& item) = 0;
};

// Elements nest at most this deep in a document read (deeper is damaged).
inline constexpr int kMaxXmlDepth = 256;

// A reader of bytes, which must outlive it. Throws EPagelet when the
// platform's XML reader cannot be had.
std::unique_ptr<TXmlReader> OpenXmlReader(std::span<const uint8_t> bytes);

}  // namespace pagelet
