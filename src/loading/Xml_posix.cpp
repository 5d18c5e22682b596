#include "loading/Xml.h"

#include <libxml/xmlreader.h>

#include <climits>
#include <string>
#include <utility>
#include <unordered_map>

#include "common/Utf.h"
#include "loading/Zip.h"

namespace pagelet {

namespace {

std::u16string Decode(const xmlChar* text) {
    if (text == nullptr) return {};
    return Utf8ToUtf16(reinterpret_cast<const char*>(text));
}

class TLibXmlReader final : public TXmlReader {
public:
    explicit TLibXmlReader(std::span<const uint8_t> bytes) {
        if (bytes.size() > INT_MAX) ThrowDamaged(u"an XML part is too large");
        // The parser's own tables, made once before any thread reads with it.
        static const bool initialized = (xmlInitParser(), true);
        (void)initialized;
        // Only the document itself is read: without XML_PARSE_DTDLOAD no
        // external DTD is loaded, without XML_PARSE_NOENT entities are not
        // replaced (so no external entity is fetched and none is expanded:
        // the reader hands back references, which are skipped), and
        // XML_PARSE_NONET forbids the network whatever else asks for it.
        // Errors are not printed: they fail the read.
        constexpr int kOptions = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_NOCDATA;
        reader_ = xmlReaderForMemory(reinterpret_cast<const char*>(bytes.data()), static_cast<int>(bytes.size()),
                                     nullptr, nullptr, kOptions);
        if (reader_ == nullptr) ThrowDamaged(u"an XML part cannot be read");
        xmlTextReaderSetErrorHandler(reader_, [](void*, const char*, xmlParserSeverities, xmlTextReaderLocatorPtr) {},
                                     nullptr);
    }
    ~TLibXmlReader() override { xmlFreeTextReader(reader_); }

    void Next(TXmlItem& item) override {
        for (;;) {
            const int rc = xmlTextReaderRead(reader_);
            if (rc == 0) {
                item.node = TXmlNode::Finished;
                return;
            }
            if (rc < 0) ThrowDamaged(u"an XML part is not well formed");
            switch (xmlTextReaderNodeType(reader_)) {
            case XML_READER_TYPE_ELEMENT:
                if (xmlTextReaderDepth(reader_) >= kMaxXmlDepth) ThrowDamaged(u"an XML part nests too deep");
                item.node = TXmlNode::Start;
                item.localName = Name(xmlTextReaderConstLocalName(reader_));
                item.ns = Name(xmlTextReaderConstNamespaceUri(reader_));
                item.empty = xmlTextReaderIsEmptyElement(reader_) == 1;
                item.attributes.clear();
                while (xmlTextReaderMoveToNextAttribute(reader_) == 1) {
                    if (xmlTextReaderIsNamespaceDecl(reader_) == 1) continue;
                    item.attributes.push_back({Name(xmlTextReaderConstLocalName(reader_)),
                                               Name(xmlTextReaderConstNamespaceUri(reader_)),
                                               Decode(xmlTextReaderConstValue(reader_))});
                }
                xmlTextReaderMoveToElement(reader_);
                return;
            case XML_READER_TYPE_END_ELEMENT:
                item.node = TXmlNode::End;
                item.localName = Name(xmlTextReaderConstLocalName(reader_));
                item.ns = Name(xmlTextReaderConstNamespaceUri(reader_));
                return;
            case XML_READER_TYPE_TEXT:
            case XML_READER_TYPE_CDATA:
            case XML_READER_TYPE_WHITESPACE:
            case XML_READER_TYPE_SIGNIFICANT_WHITESPACE:
                item.node = TXmlNode::Text;
                item.text = Decode(xmlTextReaderConstValue(reader_));
                return;
            default:
                break;  // declarations, comments, processing instructions, entity references
            }
        }
    }

private:
    // Names and namespaces are the parser's own strings, as a rule one per
    // name for the reader's life: each is decoded once (and again should
    // its place come to hold another name).
    const std::u16string& Name(const xmlChar* name) {
        static const std::u16string kNone;
        if (name == nullptr) return kNone;
        auto [it, added] = names_.try_emplace(name);
        if (added || it->second.first != reinterpret_cast<const char*>(name)) {
            it->second.first = reinterpret_cast<const char*>(name);
            it->second.second = Decode(name);
        }
        return it->second.second;
    }

    xmlTextReaderPtr reader_ = nullptr;
    std::unordered_map<const xmlChar*, std::pair<std::string, std::u16string>> names_;
};

}  // namespace

std::unique_ptr<TXmlReader> OpenXmlReader(std::span<const uint8_t> bytes) {
    return std::make_unique<TLibXmlReader>(bytes);
}

}  // namespace pagelet
