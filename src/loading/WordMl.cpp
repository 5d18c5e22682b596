#include "loading/WordMl.h"

#include <algorithm>
#include <deque>
#include <filesystem>
#include <fstream>
#include <map>
#include <string_view>
#include <system_error>

#include "common/Error.h"
#include "common/Utf.h"
#include "converter/CompoundFile.h"
#include "loading/WordMlWalker.h"
#include "loading/Xml.h"
#include "loading/Zip.h"

namespace pagelet {

namespace {

// The head of a file looked at to tell what it is.
constexpr size_t kSniffBytes = 64 * 1024;

// Up to max bytes of the file (all of it by default); false when it cannot be read.
bool ReadBytes(const std::u16string& fileName, std::vector<uint8_t>& bytes, size_t max = SIZE_MAX) {
    std::ifstream in(std::filesystem::path(fileName), std::ios::binary);
    if (!in) return false;
    std::error_code ec;
    const uintmax_t size = std::filesystem::file_size(std::filesystem::path(fileName), ec);
    if (ec) return false;
    bytes.resize(static_cast<size_t>(std::min<uintmax_t>(size, max)));
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<size_t>(in.gcount()));
    return !in.bad();
}

enum class TXmlKind { None, Word2003, FlatPackage };

// What an XML document is, by what comes before and at its root element.
TXmlKind SniffXml(std::span<const uint8_t> head) {
    // UTF-16 text is looked at through its low bytes.
    std::string text;
    size_t start = 0, step = 1;
    if (head.size() >= 2 && head[0] == 0xFF && head[1] == 0xFE) start = 2, step = 2;
    if (head.size() >= 2 && head[0] == 0xFE && head[1] == 0xFF) start = 3, step = 2;
    if (head.size() >= 3 && head[0] == 0xEF && head[1] == 0xBB && head[2] == 0xBF) start = 3;
    for (size_t i = start; i < head.size() && text.size() < kSniffBytes; i += step) text += static_cast<char>(head[i]);
    bool wordInstruction = false;
    size_t i = 0;
    for (;;) {
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\r' || text[i] == '\n')) ++i;
        if (i >= text.size() || text[i] != '<') return TXmlKind::None;
        std::string_view rest(text.data() + i, text.size() - i);
        size_t end = std::string_view::npos;
        if (rest.starts_with("<?")) {
            end = rest.find("?>");
            if (end != std::string_view::npos && rest.substr(0, end).find("progid=\"Word.Document\"") != std::string_view::npos)
                wordInstruction = true;
            if (end != std::string_view::npos) end += 2;
        } else if (rest.starts_with("<!--")) {
            end = rest.find("-->");
            if (end != std::string_view::npos) end += 3;
        } else if (rest.starts_with("<!")) {
            const size_t open = rest.find('['), close = rest.find('>');
            end = open != std::string_view::npos && open < close ? rest.find("]>") : close;
            if (end != std::string_view::npos) end += rest[end] == ']' ? 2 : 1;
        } else {
            size_t n = 1;
            while (n < rest.size() && rest[n] != ' ' && rest[n] != '>' && rest[n] != '/' && rest[n] != '\t' &&
                   rest[n] != '\r' && rest[n] != '\n')
                ++n;
            std::string_view name = rest.substr(1, n - 1);
            if (const size_t colon = name.find(':'); colon != std::string_view::npos) name.remove_prefix(colon + 1);
            if (name == "wordDocument") return TXmlKind::Word2003;
            if (name == "package" && rest.find("schemas.microsoft.com/office/2006/xmlPackage") != std::string_view::npos)
                return TXmlKind::FlatPackage;
            return wordInstruction ? TXmlKind::Word2003 : TXmlKind::None;
        }
        if (end == std::string_view::npos) return TXmlKind::None;
        i += end;
    }
}

// --- Word 2003 XML ---

class TWordXmlReader final : public TDocumentReader {
public:
    explicit TWordXmlReader(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}

    TReadingResult Read(TTextAssembler& out) override {
        TWordMlWalker walker(out);
        out.Begin(bytes_.size(), walker);
        out.BeginStory(TStoryKind::Main);
        if (out.BeginPart()) {
            auto in = OpenXmlReader(bytes_);
            walker.Walk(*in);
            out.EndPart();
        }
        out.EndStory();
        // The notes, comments, headers and footers met in the main text.
        auto walkAll = [&](TStoryKind kind, const std::vector<TWordMlWalker::TRecord>& records, bool onePart) {
            out.BeginStory(kind);
            if (!onePart || out.BeginPart()) {
                // By index: a note's text may hold notes of its own, which join the list as it is walked.
                for (size_t i = 0; i < records.size() && !out.Stopped(); ++i) {
                    const TWordMlWalker::TRecord record = records[i];
                    if (!onePart && !out.BeginPart(kind == TStoryKind::Comments ? record.number : std::u16string()))
                        break;
                    walker.SetNote(record.number);
                    TRecordedXml in(record.items);
                    walker.Walk(in);
                    if (!onePart) out.EndPart();
                }
                if (onePart) out.EndPart();
            }
            out.EndStory();
        };
        walkAll(TStoryKind::Footnotes, walker.footnotes, true);
        walkAll(TStoryKind::Endnotes, walker.endnotes, true);
        walkAll(TStoryKind::Comments, walker.comments, false);
        walkAll(TStoryKind::TextBoxes, walker.textBoxes, true);
        walkAll(TStoryKind::Headers, walker.headers, false);
        out.Finish(bytes_.size(), bytes_.size());
        return TReadingResult::Done;
    }

private:
    std::vector<uint8_t> bytes_;
};

// --- Word 2007+ packages ---

std::string LowerAscii(std::string_view name) {
    std::string out(name);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

// A part name without its leading '/', as the package's key.
std::string PartKey(std::string_view name) {
    if (!name.empty() && name.front() == '/') name.remove_prefix(1);
    return LowerAscii(name);
}

// The part a relationship of `source` points to: its target resolved against the source's folder.
std::string ResolveTarget(std::string_view source, std::string_view target) {
    std::vector<std::string> parts;
    auto add = [&](std::string_view path) {
        while (!path.empty()) {
            const size_t slash = path.find('/');
            const std::string_view step = path.substr(0, slash);
            if (step == "..") {
                if (!parts.empty()) parts.pop_back();
            } else if (!step.empty() && step != ".") {
                parts.emplace_back(step);
            }
            if (slash == std::string_view::npos) break;
            path.remove_prefix(slash + 1);
        }
    };
    if (target.empty() || target.front() != '/') {
        const size_t slash = source.rfind('/');
        if (slash != std::string_view::npos) add(source.substr(0, slash));
    }
    add(target);
    std::string out;
    for (const std::string& step : parts) {
        if (!out.empty()) out += '/';
        out += step;
    }
    return out;
}

// The relationships part of a part: "word/document.xml" -> "word/_rels/document.xml.rels".
std::string RelsOf(std::string_view part) {
    const size_t slash = part.rfind('/');
    if (slash == std::string_view::npos) return "_rels/" + std::string(part) + ".rels";
    return std::string(part.substr(0, slash + 1)) + "_rels/" + std::string(part.substr(slash + 1)) + ".rels";
}

bool IsMainContentType(std::string_view type) {
    return type == "application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml" ||
           type == "application/vnd.openxmlformats-officedocument.wordprocessingml.template.main+xml" ||
           type == "application/vnd.ms-word.document.macroEnabled.main+xml" ||
           type == "application/vnd.ms-word.template.macroEnabledTemplate.main+xml";
}

struct TRelationship {
    std::string id, type, target;  // type: its last step ("styles", "header"...); target: the part
};

// The parts of a package, zipped or flat.
class TPackage {
public:
    virtual ~TPackage() = default;
    virtual bool Has(const std::string& key) const = 0;
    // A reader of the part; nullptr when there is none.
    virtual std::unique_ptr<TXmlReader> Open(const std::string& key) = 0;
    // The part's size, for the layout's budget.
    virtual uint64_t SizeOf(const std::string& key) const = 0;
};

class TZipPackage final : public TPackage {
public:
    explicit TZipPackage(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)), zip_(bytes_) {
        for (const TZipEntry& entry : zip_.Entries()) entries_.emplace(PartKey(entry.name), &entry);
    }
    bool Has(const std::string& key) const override { return entries_.count(key) != 0; }
    std::unique_ptr<TXmlReader> Open(const std::string& key) override {
        const auto it = entries_.find(key);
        if (it == entries_.end()) return nullptr;
        const std::string& held = parts_.emplace_back(zip_.Read(*it->second));
        return OpenXmlReader({reinterpret_cast<const uint8_t*>(held.data()), held.size()});
    }
    uint64_t SizeOf(const std::string& key) const override {
        const auto it = entries_.find(key);
        return it == entries_.end() ? 0 : it->second->size;
    }

private:
    std::vector<uint8_t> bytes_;
    TZipArchive zip_;
    std::map<std::string, const TZipEntry*> entries_;
    std::deque<std::string> parts_;  // the parts inflated, read by their readers
};

// Base64 text to bytes; what is not of the alphabet is passed over.
std::string DecodeBase64(std::u16string_view text) {
    std::string out;
    uint32_t bits = 0;
    int count = 0;
    for (char16_t c : text) {
        int v = -1;
        if (c >= u'A' && c <= u'Z') v = c - u'A';
        if (c >= u'a' && c <= u'z') v = c - u'a' + 26;
        if (c >= u'0' && c <= u'9') v = c - u'0' + 52;
        if (c == u'+') v = 62;
        if (c == u'/') v = 63;
        if (v < 0) continue;
        bits = bits << 6 | static_cast<uint32_t>(v);
        if (++count == 4) {
            out += static_cast<char>(bits >> 16);
            out += static_cast<char>(bits >> 8 & 0xFF);
            out += static_cast<char>(bits & 0xFF);
            bits = 0;
            count = 0;
        }
    }
    if (count == 3) {
        out += static_cast<char>(bits >> 10);
        out += static_cast<char>(bits >> 2 & 0xFF);
    } else if (count == 2) {
        out += static_cast<char>(bits >> 4);
    }
    return out;
}

// An unzipped package in one XML document: pkg:package with a pkg:part
// (pkg:name) for each part, its XML in pkg:xmlData, other bytes in base64 in pkg:binaryData.
class TFlatPackage final : public TPackage {
public:
    explicit TFlatPackage(std::span<const uint8_t> bytes) {
        auto in = OpenXmlReader(bytes);
        TXmlItem item;
        std::string key;
        std::vector<TXmlItem>* recording = nullptr;
        std::u16string* binary = nullptr;
        int depth = 0, recordDepth = 0;
        for (;;) {
            in->Next(item);
            if (item.node == TXmlNode::Finished) break;
            if (recording != nullptr) {
                if (item.node == TXmlNode::End && --recordDepth == 0) {
                    recording = nullptr;
                    --depth;
                    continue;
                }
                if (item.node == TXmlNode::Start && !item.empty) ++recordDepth;
                recording->push_back(item);
                continue;
            }
            if (item.node == TXmlNode::Text) {
                if (binary != nullptr) *binary += item.text;
                continue;
            }
            if (item.node == TXmlNode::End) {
                --depth;
                binary = nullptr;
                continue;
            }
            if (item.localName == u"part") {
                const std::u16string* name = item.Attribute(u"name");
                key = name ? PartKey(Utf16ToUtf8(*name)) : std::string();
            } else if (item.localName == u"xmlData" && !item.empty && !key.empty()) {
                auto items = std::make_shared<std::vector<TXmlItem>>();
                recording = items.get();
                recordDepth = 1;
                xml_[key] = std::move(items);
            } else if (item.localName == u"binaryData" && !item.empty && !key.empty()) {
                binary = &binary_[key];
            }
            if (!item.empty) ++depth;
        }
    }
    bool Has(const std::string& key) const override { return xml_.count(key) != 0 || binary_.count(key) != 0; }
    std::unique_ptr<TXmlReader> Open(const std::string& key) override {
        if (const auto it = xml_.find(key); it != xml_.end()) return std::make_unique<TRecordedXml>(it->second);
        const auto it = binary_.find(key);
        if (it == binary_.end()) return nullptr;
        const std::string& held = parts_.emplace_back(DecodeBase64(it->second));
        return OpenXmlReader({reinterpret_cast<const uint8_t*>(held.data()), held.size()});
    }
    uint64_t SizeOf(const std::string& key) const override {
        if (const auto it = xml_.find(key); it != xml_.end()) return it->second->size() * 16;
        const auto it = binary_.find(key);
        return it == binary_.end() ? 0 : it->second.size();
    }

private:
    std::map<std::string, std::shared_ptr<const std::vector<TXmlItem>>> xml_;
    std::map<std::string, std::u16string> binary_;
    std::deque<std::string> parts_;
};

std::vector<TRelationship> ReadRelationships(TPackage& package, const std::string& source) {
    std::vector<TRelationship> out;
    auto in = package.Open(PartKey(RelsOf(source)));
    if (!in) return out;
    TXmlItem item;
    for (in->Next(item); item.node != TXmlNode::Finished; in->Next(item)) {
        if (item.node != TXmlNode::Start || item.localName != u"Relationship") continue;
        const std::u16string* mode = item.Attribute(u"TargetMode");
        const std::u16string* id = item.Attribute(u"Id");
        const std::u16string* type = item.Attribute(u"Type");
        const std::u16string* target = item.Attribute(u"Target");
        if ((mode && *mode == u"External") || !id || !type || !target) continue;
        std::string kind = Utf16ToUtf8(*type);
        if (const size_t slash = kind.rfind('/'); slash != std::string::npos) kind.erase(0, slash + 1);
        out.push_back({Utf16ToUtf8(*id), kind, PartKey(ResolveTarget(source, Utf16ToUtf8(*target)))});
    }
    return out;
}

class TPackageReader final : public TDocumentReader {
public:
    TPackageReader(std::unique_ptr<TPackage> package, uint64_t fileBytes)
        : package_(std::move(package)), fileBytes_(fileBytes) {}

    TReadingResult Read(TTextAssembler& out) override {
        const std::string main = MainPart();
        if (main.empty()) ThrowDamaged(u"the package has no main document part");
        const std::vector<TRelationship> relationships = ReadRelationships(*package_, main);
        auto partOf = [&](std::string_view type) {
            for (const TRelationship& r : relationships)
                if (r.type == type && package_->Has(r.target)) return r.target;
            return std::string();
        };
        // The layout's budget: the file and the parts walked, as they are inflated.
        uint64_t bytes = fileBytes_ + package_->SizeOf(main);
        for (const TRelationship& r : relationships) bytes += package_->SizeOf(r.target);
        bytes = std::min<uint64_t>(bytes, TZipArchive::kMaxTotal);

        TWordMlWalker walker(out);
        out.Begin(bytes, walker);
        auto walk = [&](const std::string& key) {
            if (key.empty() || out.Stopped()) return;
            if (auto in = package_->Open(key)) walker.Walk(*in);
        };
        // What the text needs first: styles, lists, the notes' number formats.
        walk(partOf("styles"));
        walk(partOf("numbering"));
        walk(partOf("settings"));

        out.BeginStory(TStoryKind::Main);
        if (out.BeginPart()) {
            walk(main);
            out.EndPart();
        }
        out.EndStory();
        for (const auto& [kind, type] : {std::pair{TStoryKind::Footnotes, "footnotes"}, {TStoryKind::Endnotes, "endnotes"}}) {
            out.BeginStory(kind);
            const std::string part = partOf(type);
            if (!part.empty() && out.BeginPart()) {
                walk(part);
                out.EndPart();
            }
            out.EndStory();
        }
        out.BeginStory(TStoryKind::Comments);
        walk(partOf("comments"));
        out.EndStory();
        // The text boxes met in the main text and its notes.
        out.BeginStory(TStoryKind::TextBoxes);
        if (out.BeginPart()) {
            for (size_t i = 0; i < walker.textBoxes.size() && !out.Stopped(); ++i) {
                TRecordedXml in(walker.textBoxes[i].items);
                walker.Walk(in);
            }
            out.EndPart();
        }
        out.EndStory();
        // The headers and footers the sections name, in their order.
        out.BeginStory(TStoryKind::Headers);
        std::vector<std::string> walked;
        for (const std::u16string& id : walker.headerIds) {
            const std::string key = Utf16ToUtf8(id);
            const auto r = std::find_if(relationships.begin(), relationships.end(),
                                        [&](const TRelationship& x) { return x.id == key; });
            if (r == relationships.end() || (r->type != "header" && r->type != "footer")) continue;
            // Each part once, however many sections name it.
            if (std::find(walked.begin(), walked.end(), r->target) != walked.end()) continue;
            walked.push_back(r->target);
            if (out.Stopped() || !out.BeginPart()) break;
            walk(r->target);
            out.EndPart();
        }
        out.EndStory();
        out.Finish(bytes, bytes);
        return TReadingResult::Done;
    }

private:
    // The main document part: the package's officeDocument relationship, or
    // the part its content types name so.
    std::string MainPart() {
        std::map<std::string, std::string> types;
        if (auto in = package_->Open(PartKey("[Content_Types].xml"))) {
            TXmlItem item;
            for (in->Next(item); item.node != TXmlNode::Finished; in->Next(item)) {
                if (item.node != TXmlNode::Start || item.localName != u"Override") continue;
                const std::u16string* name = item.Attribute(u"PartName");
                const std::u16string* type = item.Attribute(u"ContentType");
                if (name && type) types[PartKey(Utf16ToUtf8(*name))] = Utf16ToUtf8(*type);
            }
        }
        for (const TRelationship& r : ReadRelationships(*package_, "")) {
            if (r.type != "officeDocument" || !package_->Has(r.target)) continue;
            const auto type = types.find(r.target);
            if (type == types.end() || IsMainContentType(type->second)) return r.target;
        }
        for (const auto& [name, type] : types)
            if (IsMainContentType(type) && package_->Has(name)) return name;
        return {};
    }

    std::unique_ptr<TPackage> package_;
    uint64_t fileBytes_;
};

// The answer for a package encrypted with a password: nothing to read.
class TEncryptedPackageReader final : public TDocumentReader {
public:
    TReadingResult Read(TTextAssembler&) override { throw EPagelet(kEncryptedMessage); }
};

bool IsRegularFile(const std::u16string& fileName) {
    std::error_code ec;
    return std::filesystem::is_regular_file(std::filesystem::path(fileName), ec);
}

}  // namespace

std::unique_ptr<TDocumentReader> OpenEncryptedPackage(const std::u16string& fileName, const TReaderOptions&) {
    if (!StorageIsCompoundFile(fileName)) return nullptr;
    TStoragePtr storage = StorageOpen(fileName);
    if (!StorageOpenStream(*storage, u"EncryptedPackage", TStreamReading::OnDemand)) return nullptr;
    return std::make_unique<TEncryptedPackageReader>();
}

std::unique_ptr<TDocumentReader> WordPackageReader(std::vector<uint8_t> bytes) {
    if (TZipArchive::LooksLikeZip(bytes)) {
        // A zip is a package when it holds content types; one that does not is no Word document.
        const uint64_t size = bytes.size();
        auto package = std::make_unique<TZipPackage>(std::move(bytes));
        if (!package->Has(PartKey("[Content_Types].xml"))) return nullptr;
        return std::make_unique<TPackageReader>(std::move(package), size);
    }
    if (SniffXml(std::span(bytes).first(std::min(bytes.size(), kSniffBytes * 2))) != TXmlKind::FlatPackage)
        return nullptr;
    return std::make_unique<TPackageReader>(std::make_unique<TFlatPackage>(bytes), bytes.size());
}

std::unique_ptr<TDocumentReader> WordXmlReader(std::vector<uint8_t> bytes) {
    if (SniffXml(std::span(bytes).first(std::min(bytes.size(), kSniffBytes * 2))) != TXmlKind::Word2003) return nullptr;
    return std::make_unique<TWordXmlReader>(std::move(bytes));
}

std::unique_ptr<TDocumentReader> OpenWordPackage(const std::u16string& fileName, const TReaderOptions&) {
    if (!IsRegularFile(fileName)) return nullptr;
    std::vector<uint8_t> bytes;
    if (!ReadBytes(fileName, bytes, kSniffBytes * 2)) return nullptr;
    if (!TZipArchive::LooksLikeZip(bytes) && SniffXml(bytes) != TXmlKind::FlatPackage) return nullptr;
    if (!ReadBytes(fileName, bytes)) return nullptr;
    return WordPackageReader(std::move(bytes));
}

std::unique_ptr<TDocumentReader> OpenWordXml(const std::u16string& fileName, const TReaderOptions&) {
    if (!IsRegularFile(fileName)) return nullptr;
    std::vector<uint8_t> bytes;
    if (!ReadBytes(fileName, bytes, kSniffBytes * 2)) return nullptr;
    if (SniffXml(bytes) != TXmlKind::Word2003) return nullptr;
    if (!ReadBytes(fileName, bytes)) return nullptr;
    return WordXmlReader(std::move(bytes));
}

}  // namespace pagelet
