#include "loading/WordMlWalker.h"

#include <algorithm>
#include <climits>
#include <string_view>

#include "loading/ReadingTables.h"

namespace pagelet {

using namespace reading;

namespace {

// Word's XML namespaces: Word 2007+ (transitional and strict) and Word 2003.
bool IsWordNs(std::u16string_view ns) {
    return ns == u"http://schemas.openxmlformats.org/wordprocessingml/2006/main" ||
           ns == u"http://purl.oclc.org/ooxml/wordprocessingml/main" ||
           ns == u"http://schemas.microsoft.com/office/word/2003/wordml";
}

// Fields nest at most this deep; deeper ones are counted, not kept.
constexpr size_t kMaxFieldDepth = 64;
// A list label is at most this long.
constexpr size_t kMaxLabel = 256;
// Styles are based on others at most this many steps deep (a loop ends there).
constexpr int kMaxStyleHops = 16;
// Header and footer parts named at most (the assembler keeps no more parts of them).
constexpr size_t kMaxHeaderIds = 1024;
// Items between two questions to the layout whether it still wants the text.
constexpr uint64_t kItemsPerAsk = 256;

bool IsOff(const std::u16string* value) {
    return value != nullptr && (*value == u"0" || *value == u"false" || *value == u"off");
}

int32_t Integer(const std::u16string* value, int32_t otherwise) {
    if (value == nullptr || value->empty()) return otherwise;
    int64_t v = 0;
    size_t i = 0;
    const bool negative = (*value)[0] == u'-';
    if (negative) i = 1;
    if (i == value->size()) return otherwise;
    for (; i < value->size(); ++i) {
        const char16_t c = (*value)[i];
        if (c < u'0' || c > u'9') return otherwise;
        v = std::min<int64_t>(v * 10 + (c - u'0'), INT32_MAX);
    }
    return static_cast<int32_t>(negative ? -v : v);
}

uint8_t FormatCode(const std::u16string& name) {
    if (!name.empty() && name[0] >= u'0' && name[0] <= u'9') return static_cast<uint8_t>(std::min(Integer(&name, 0), 255));
    // Word 2007+ names, and Word 2003's (with hyphens).
    if (name == u"upperRoman" || name == u"upper-roman") return 1;
    if (name == u"lowerRoman" || name == u"lower-roman") return 2;
    if (name == u"upperLetter" || name == u"upper-letter") return 3;
    if (name == u"lowerLetter" || name == u"lower-letter") return 4;
    if (name == u"ordinal") return 5;
    if (name == u"chicago") return 9;
    if (name == u"decimalZero") return 22;
    if (name == u"bullet") return 23;
    if (name == u"none") return 255;
    return 0;
}

// The w: elements the walk tells apart; any other is walked through.
enum class TW : uint8_t {
    Other, Body, P, PPr, PStyle, NumPr, ListPr, Ilvl, NumId, Ilfo, R, RPr, RStyle, Vanish, T, Tab, PTab, Br, Cr,
    Sym, NoBreakHyphen, FldChar, Del, Skipped, Tbl, Tr, Tc, Hdr, HeaderReference, FootnoteReference,
    EndnoteReference, Footnote, Endnote, TextBox, FootnoteRef, EndnoteRef, Comment, Styles, Lists, NoteSettings
};

TW WordElement(std::u16string_view name) {
    static const std::unordered_map<std::u16string_view, TW> kNames = {
        {u"body", TW::Body},
        {u"p", TW::P},
        {u"pPr", TW::PPr},
        {u"pStyle", TW::PStyle},
        {u"numPr", TW::NumPr},
        {u"listPr", TW::ListPr},
        {u"ilvl", TW::Ilvl},
        {u"numId", TW::NumId},
        {u"ilfo", TW::Ilfo},
        {u"r", TW::R},
        {u"rPr", TW::RPr},
        {u"rStyle", TW::RStyle},
        {u"vanish", TW::Vanish},
        {u"specVanish", TW::Vanish},
        {u"t", TW::T},
        {u"tab", TW::Tab},
        {u"ptab", TW::PTab},
        {u"br", TW::Br},
        {u"cr", TW::Cr},
        {u"sym", TW::Sym},
        {u"noBreakHyphen", TW::NoBreakHyphen},
        {u"fldChar", TW::FldChar},
        {u"del", TW::Del},
        {u"moveFrom", TW::Del},
        // What shows no text: deleted and instruction text, properties of
        // tables, rows and cells, content controls' own properties, objects
        // and pictures' data, form fields' data, fonts. (Drawings and
        // pictures are walked through for their text boxes.)
        {u"delText", TW::Skipped},
        {u"delInstrText", TW::Skipped},
        {u"instrText", TW::Skipped},
        {u"tblPr", TW::Skipped},
        {u"tblGrid", TW::Skipped},
        {u"trPr", TW::Skipped},
        {u"tcPr", TW::Skipped},
        {u"tblPrEx", TW::Skipped},
        {u"sdtPr", TW::Skipped},
        {u"sdtEndPr", TW::Skipped},
        {u"txbxContent", TW::TextBox},
        // Properties as they were before a tracked change.
        {u"pPrChange", TW::Skipped},
        {u"rPrChange", TW::Skipped},
        {u"tblPrChange", TW::Skipped},
        {u"trPrChange", TW::Skipped},
        {u"tcPrChange", TW::Skipped},
        {u"sectPrChange", TW::Skipped},
        {u"numberingChange", TW::Skipped},
        {u"object", TW::Skipped},
        {u"binData", TW::Skipped},
        {u"fldData", TW::Skipped},
        {u"ffData", TW::Skipped},
        {u"fonts", TW::Skipped},
        {u"fontTable", TW::Skipped},
        {u"latentStyles", TW::Skipped},
        {u"tbl", TW::Tbl},
        {u"tr", TW::Tr},
        {u"tc", TW::Tc},
        {u"hdr", TW::Hdr},
        {u"ftr", TW::Hdr},
        {u"headerReference", TW::HeaderReference},
        {u"footerReference", TW::HeaderReference},
        {u"footnoteReference", TW::FootnoteReference},
        {u"endnoteReference", TW::EndnoteReference},
        {u"footnote", TW::Footnote},
        {u"endnote", TW::Endnote},
        {u"footnoteRef", TW::FootnoteRef},
        {u"endnoteRef", TW::EndnoteRef},
        {u"comment", TW::Comment},
        {u"styles", TW::Styles},
        {u"lists", TW::Lists},
        {u"numbering", TW::Lists},
        {u"settings", TW::NoteSettings},
        {u"docPr", TW::NoteSettings},
    };
    const auto it = kNames.find(name);
    return it == kNames.end() ? TW::Other : it->second;
}

}  // namespace

// What an open element asks of its end.
enum class TWordMlWalker::TKind : uint8_t { Other, P, PPr, R, RPr, T, Tbl, Tr, Tc, Comment };

void TWordMlWalker::Walk(TXmlReader& in) {
    // Each part starts afresh: fields, runs and tables left open by the
    // last one (cut short) end with it.
    const size_t base = open_.size();
    fields_.clear();
    fieldOverflow_ = hiding_ = 0;
    runDepth_ = pPrDepth_ = rPrDepth_ = textDepth_ = tableDepth_ = 0;
    pending_ = false;
    for (;;) {
        if (++items_ % kItemsPerAsk == 0 && !out_.Wanted()) return;
        if (out_.Stopped()) return;
        in.Next(item_);
        switch (item_.node) {
        case TXmlNode::Finished:
            while (open_.size() > base) End();
            FlushParagraph();
            return;
        case TXmlNode::Start:
            Start(in, item_);
            break;
        case TXmlNode::End:
            if (open_.size() > base) End();
            break;
        case TXmlNode::Text:
            if (textDepth_ > 0) Characters(item_.text);
            break;
        }
    }
}

void TWordMlWalker::Skip(TXmlReader& in, const TXmlItem& root) {
    if (root.empty) return;
    TXmlItem item;
    for (int depth = 1; depth > 0;) {
        in.Next(item);
        if (item.node == TXmlNode::Finished) return;
        if (item.node == TXmlNode::Start && !item.empty) ++depth;
        if (item.node == TXmlNode::End) --depth;
    }
}

void TWordMlWalker::Record(TXmlReader& in, const TXmlItem& root, std::vector<TRecord>& to, std::u16string number) {
    // The element's content, without the element itself.
    auto items = std::make_shared<std::vector<TXmlItem>>();
    if (!root.empty) {
        TXmlItem item;
        for (int depth = 1;;) {
            in.Next(item);
            if (item.node == TXmlNode::Finished) break;
            if (item.node == TXmlNode::Start && !item.empty) ++depth;
            if (item.node == TXmlNode::End && --depth == 0) break;
            items->push_back(item);
        }
    }
    to.push_back({std::move(items), std::move(number)});
}

void TWordMlWalker::Start(TXmlReader& in, const TXmlItem& item) {
    if (!IsWordNs(item.ns)) {
        // Word 2003's tracked changes and comments are aml:annotation
        // elements: a comment's text is kept for its story, a deletion left
        // out (its text is w:delText). Of alternative content the choice is
        // walked, its fallback (the same content again) not.
        const std::u16string* type = item.Attribute(u"type");
        if (item.localName == u"annotation" && type != nullptr && *type == u"Word.Comment") {
            const std::u16string* initials = item.Attribute(u"initials");
            Record(in, item, comments, initials ? *initials : std::u16string());
            return;
        }
        if (item.localName == u"Fallback" || item.localName == u"binData") {
            Skip(in, item);
            return;
        }
        if (!item.empty) open_.push_back(TKind::Other);
        return;
    }
    TKind kind = TKind::Other;
    const std::u16string* val = item.Attribute(u"val");
    switch (WordElement(item.localName)) {
    case TW::Skipped:
        Skip(in, item);
        return;
    case TW::Del:
        if (rPrDepth_ > 0 || pPrDepth_ > 0) {
            if (pPrDepth_ > 0) para_.markHidden = true;  // a deleted paragraph mark: the paragraphs join
            break;
        }
        Skip(in, item);
        return;
    case TW::Styles:
        ReadStyles(in, item);
        return;
    case TW::Lists:
        ReadLists(in, item);
        return;
    case TW::NoteSettings:
        ReadNoteSettings(in, item);
        return;
    case TW::TextBox:
        Record(in, item, textBoxes, {});
        return;
    case TW::Hdr:
        // The root of a header part; in Word 2003 XML, a header in its section's properties.
        if (open_.empty()) break;
        Record(in, item, headers, {});
        return;
    case TW::P:
        FlushParagraph();
        out_.Wanted();
        para_ = {};
        para_.depth = tableDepth_;
        kind = TKind::P;
        break;
    case TW::PPr:
        ++pPrDepth_;
        kind = TKind::PPr;
        break;
    case TW::PStyle:
        if (pPrDepth_ > 0 && val) para_.style = *val;
        break;
    case TW::Ilvl:
        if (pPrDepth_ > 0) para_.level = Integer(val, 0);
        break;
    case TW::NumId:
    case TW::Ilfo:
        if (pPrDepth_ > 0 && val) para_.listId = *val;
        break;
    case TW::R:
        if (runDepth_++ == 0) run_ = {};
        kind = TKind::R;
        break;
    case TW::RPr:
        ++rPrDepth_;
        kind = TKind::RPr;
        break;
    case TW::RStyle:
        if (rPrDepth_ > 0 && pPrDepth_ == 0 && val) run_.style = *val;
        break;
    case TW::Vanish:
        if (rPrDepth_ > 0) {
            if (pPrDepth_ > 0)
                para_.markHidden = !IsOff(val);
            else
                run_.hidden = IsOff(val) ? 0 : 1;
        }
        break;
    case TW::T:
        if (pPrDepth_ == 0) {
            ++textDepth_;
            kind = TKind::T;
        }
        break;
    case TW::Tab:
    case TW::PTab:
        if (runDepth_ > 0 && pPrDepth_ == 0 && rPrDepth_ == 0 && Visible()) out_.Tab(0);
        break;
    case TW::Br:
    case TW::Cr:
        if (runDepth_ > 0 && pPrDepth_ == 0 && rPrDepth_ == 0 && Visible()) {
            const std::u16string* type = item.Attribute(u"type");
            const TBreak kind2 = type == nullptr      ? TBreak::Line
                                 : *type == u"page"   ? TBreak::Page
                                 : *type == u"column" ? TBreak::Column
                                                      : TBreak::Line;
            out_.Break(kind2, para_.depth, 0);
        }
        break;
    case TW::Sym:
        if (runDepth_ > 0 && rPrDepth_ == 0 && Visible()) {
            const std::u16string* code = item.Attribute(u"char");
            const std::u16string* font = item.Attribute(u"font");
            uint32_t c = 0;
            for (char16_t h : code ? *code : std::u16string()) {
                const int digit = h >= u'0' && h <= u'9'   ? h - u'0'
                                  : h >= u'a' && h <= u'f' ? h - u'a' + 10
                                  : h >= u'A' && h <= u'F' ? h - u'A' + 10
                                                           : -1;
                if (digit < 0 || c > 0xFFF) {
                    c = 0;
                    break;
                }
                c = c * 16 + static_cast<uint32_t>(digit);
            }
            const char16_t shown =
                SymbolToUnicode(SymbolFontOf(font ? *font : std::u16string(), 0), static_cast<char16_t>(c));
            if (shown >= 0x20 && !(shown >= 0xD800 && shown < 0xE000)) out_.Text(&shown, 1, 0);
        }
        break;
    case TW::NoBreakHyphen:
        if (runDepth_ > 0 && Visible()) out_.Text(u"-", 0);
        break;
    case TW::FldChar: {
        const std::u16string* type = item.Attribute(u"fldCharType");
        if (type == nullptr) break;
        if (*type == u"begin") {
            if (fields_.size() < kMaxFieldDepth) {
                fields_.push_back(false);
                ++hiding_;
            } else {
                ++fieldOverflow_;
            }
        } else if (*type == u"separate") {
            if (fieldOverflow_ == 0 && !fields_.empty() && !fields_.back()) {
                fields_.back() = true;
                --hiding_;
            }
        } else if (*type == u"end") {
            if (fieldOverflow_ > 0) {
                --fieldOverflow_;
            } else if (!fields_.empty()) {
                if (!fields_.back()) --hiding_;
                fields_.pop_back();
            }
        }
        break;
    }
    case TW::Tbl:
        FlushParagraph();
        ++tableDepth_;
        kind = TKind::Tbl;
        break;
    case TW::Tr:
        kind = TKind::Tr;
        break;
    case TW::Tc:
        kind = TKind::Tc;
        break;
    case TW::HeaderReference: {
        const std::u16string* id = item.Attribute(u"id");
        if (id != nullptr && headerIds.size() < kMaxHeaderIds &&
            std::find(headerIds.begin(), headerIds.end(), *id) == headerIds.end())
            headerIds.push_back(*id);
        break;
    }
    case TW::FootnoteReference:
    case TW::EndnoteReference: {
        const bool endnote = WordElement(item.localName) == TW::EndnoteReference;
        const std::u16string* custom = item.Attribute(u"customMarkFollows");
        const std::u16string number = NoteNumber(endnote, item.Attribute(u"id"));
        if (Visible() && (custom == nullptr || IsOff(custom))) out_.NoteReference(number, 0);
        break;
    }
    case TW::Footnote:
    case TW::Endnote: {
        const bool endnote = WordElement(item.localName) == TW::Endnote;
        if (runDepth_ > 0) {
            // Word 2003: the note's text is in its reference.
            const std::u16string number = NoteNumber(endnote, nullptr);
            if (Visible()) out_.NoteReference(number, 0);
            Record(in, item, endnote ? endnotes : footnotes, number);
            return;
        }
        // A note of the notes part; the separators show nothing.
        const std::u16string* type = item.Attribute(u"type");
        if (type != nullptr && *type != u"normal") {
            Skip(in, item);
            return;
        }
        const std::u16string* id = item.Attribute(u"id");
        auto& numbers = endnote ? endNumbers_ : footNumbers_;
        const auto it = id ? numbers.find(*id) : numbers.end();
        note_ = it != numbers.end() ? it->second : NoteNumber(endnote, nullptr);
        break;
    }
    case TW::FootnoteRef:
    case TW::EndnoteRef:
        if (Visible()) out_.NoteReference(note_, 0);
        break;
    case TW::Comment: {
        FlushParagraph();
        const std::u16string* initials = item.Attribute(u"initials");
        if (!out_.BeginPart(initials ? *initials : std::u16string())) {
            Skip(in, item);
            return;
        }
        kind = TKind::Comment;
        break;
    }
    default:
        break;
    }
    if (!item.empty) {
        open_.push_back(kind);
    } else if (kind != TKind::Other) {
        // An empty element with an end to give: given at once.
        open_.push_back(kind);
        End();
    }
}

void TWordMlWalker::End() {
    const TKind kind = open_.back();
    open_.pop_back();
    switch (kind) {
    case TKind::P:
        pending_ = true;
        pendingDepth_ = para_.depth;
        pendingJoin_ = para_.markHidden && para_.depth == 0;
        break;
    case TKind::PPr:
        --pPrDepth_;
        break;
    case TKind::R:
        --runDepth_;
        break;
    case TKind::RPr:
        --rPrDepth_;
        break;
    case TKind::T:
        --textDepth_;
        break;
    case TKind::Tbl:
        FlushParagraph();
        --tableDepth_;
        break;
    case TKind::Tr:
        FlushParagraph();
        if (tableDepth_ > 0) out_.RowEnd(tableDepth_);
        break;
    case TKind::Tc:
        // The cell's last paragraph ends it.
        pending_ = false;
        if (tableDepth_ > 0) out_.CellEnd(tableDepth_);
        break;
    case TKind::Comment:
        FlushParagraph();
        out_.EndPart();
        break;
    case TKind::Other:
        break;
    }
}

void TWordMlWalker::FlushParagraph() {
    if (!pending_) return;
    pending_ = false;
    if (pendingJoin_)
        out_.JoinParagraph();
    else
        out_.ParagraphEnd(pendingDepth_);
}

bool TWordMlWalker::Visible() const {
    if (hiding_ != 0) return false;
    if (run_.hidden >= 0) return run_.hidden == 0;
    return !StyleHidden(run_.style) && !StyleHidden(para_.style);
}

const TWordMlWalker::TStyle* TWordMlWalker::StyleOf(const std::u16string& id) const {
    if (id.empty()) return nullptr;
    const auto it = styles_.find(id);
    return it == styles_.end() ? nullptr : &it->second;
}

bool TWordMlWalker::StyleHidden(const std::u16string& id) const {
    const TStyle* style = StyleOf(id);
    for (int hop = 0; style != nullptr && hop < kMaxStyleHops; ++hop) {
        if (style->hidden >= 0) return style->hidden == 1;
        style = StyleOf(style->basedOn);
    }
    return false;
}

void TWordMlWalker::Characters(const std::u16string& text) {
    if (runDepth_ == 0 || rPrDepth_ > 0 || !Visible()) return;
    size_t i = 0;
    while (i < text.size()) {
        size_t j = i;
        while (j < text.size() && text[j] >= 0x20) ++j;
        if (j > i) out_.Text(text.data() + i, j - i, 0);
        if (j < text.size() && text[j] == u'\t') out_.Tab(0);
        i = j + 1;
    }
}

TParagraphProps TWordMlWalker::OpenParagraph(uint64_t) {
    TParagraphProps props;
    props.tableDepth = para_.depth;
    props.label = Label();
    return props;
}

std::u16string TWordMlWalker::Label() {
    std::u16string listId = para_.listId;
    int level = para_.level;
    if (listId.empty()) {
        const TStyle* style = StyleOf(para_.style);
        for (int hop = 0; style != nullptr && hop < kMaxStyleHops; ++hop) {
            if (!style->listId.empty()) {
                listId = style->listId;
                if (level < 0) level = style->level;
                break;
            }
            style = StyleOf(style->basedOn);
        }
    }
    if (listId.empty() || listId == u"0") return {};
    level = std::clamp(level, 0, 8);
    const auto list = lists_.find(listId);
    if (list == lists_.end()) return {};
    TList& ov = list->second;
    const auto abstract = abstracts_.find(ov.abstractId);
    if (abstract == abstracts_.end()) return {};
    TAbstractList& a = abstract->second;
    const TLevel& shown = a.levels[level];
    // Count this level; a level's first use in a list that sets its start begins there.
    if (ov.hasStart[level] && !ov.startUsed[level]) {
        a.counters[level] = ov.start[level];
        ov.startUsed[level] = true;
    } else if (!a.started[level]) {
        a.counters[level] = shown.start;
    } else if (a.counters[level] < INT32_MAX) {
        ++a.counters[level];
    }
    a.started[level] = true;
    for (int deeper = level + 1; deeper < 9; ++deeper) a.started[deeper] = false;

    std::u16string label;
    if (shown.nfc == 23) {
        label = u"\u2022";
    } else {
        for (char16_t c : shown.text) {
            if (label.size() >= kMaxLabel) break;
            if (c < 9) {
                const int32_t value = a.started[c] ? a.counters[c] : a.levels[c].start;
                label += FormatNumber(value, a.levels[c].nfc);
            } else if (c >= 0x20) {
                label += c;
            }
        }
        if (label.size() > kMaxLabel) label.resize(kMaxLabel);
    }
    if (label.empty()) return label;
    if (shown.follow == 0) label += u'\t';
    if (shown.follow == 1) label += u' ';
    return label;
}

std::u16string TWordMlWalker::NoteNumber(bool endnote, const std::u16string* id) {
    int32_t& count = endnote ? endCount_ : footCount_;
    if (count < INT32_MAX) ++count;
    std::u16string number = FormatNumber(count, endnote ? endNfc_ : footNfc_);
    if (id != nullptr) (endnote ? endNumbers_ : footNumbers_)[*id] = number;
    return number;
}

void TWordMlWalker::ReadStyles(TXmlReader& in, const TXmlItem& root) {
    if (root.empty) return;
    TXmlItem item;
    TStyle* style = nullptr;
    int styleDepth = 0, rPr = 0;
    for (int depth = 1; depth > 0;) {
        in.Next(item);
        if (item.node == TXmlNode::Finished) return;
        if (item.node == TXmlNode::End) {
            if (item.localName == u"rPr" && rPr > 0) --rPr;
            if (--depth < styleDepth) style = nullptr;
            continue;
        }
        if (item.node != TXmlNode::Start) continue;
        const std::u16string* val = item.Attribute(u"val");
        if (item.localName == u"style") {
            const std::u16string* id = item.Attribute(u"styleId");
            style = id ? &styles_[*id] : nullptr;
            styleDepth = depth + 1;
        } else if (style != nullptr) {
            if (item.localName == u"basedOn" && val) style->basedOn = *val;
            if ((item.localName == u"numId" || item.localName == u"ilfo") && val) style->listId = *val;
            if (item.localName == u"ilvl") style->level = Integer(val, 0);
            if (item.localName == u"rPr" && !item.empty) ++rPr;
            if (item.localName == u"vanish" && rPr > 0) style->hidden = IsOff(val) ? 0 : 1;
        }
        if (!item.empty) ++depth;
    }
}

void TWordMlWalker::ReadLists(TXmlReader& in, const TXmlItem& root) {
    if (root.empty) return;
    TXmlItem item;
    TAbstractList* abstract = nullptr;
    TList* list = nullptr;
    TLevel* level = nullptr;
    int overrideLevel = -1;
    for (int depth = 1; depth > 0;) {
        in.Next(item);
        if (item.node == TXmlNode::Finished) return;
        if (item.node == TXmlNode::End) {
            --depth;
            if (item.localName == u"abstractNum" || item.localName == u"listDef") abstract = nullptr;
            if (item.localName == u"num" || item.localName == u"list") list = nullptr;
            if (item.localName == u"lvl") level = nullptr;
            if (item.localName == u"lvlOverride") overrideLevel = -1;
            continue;
        }
        if (item.node != TXmlNode::Start) continue;
        if (!item.empty) ++depth;
        const std::u16string& name = item.localName;
        const std::u16string* val = item.Attribute(u"val");
        if (name == u"abstractNum" || name == u"listDef") {
            const std::u16string* id = item.Attribute(name == u"abstractNum" ? u"abstractNumId" : u"listDefId");
            abstract = id ? &abstracts_[*id] : nullptr;
            list = nullptr;
        } else if (name == u"num" || name == u"list") {
            const std::u16string* id = item.Attribute(name == u"num" ? u"numId" : u"ilfo");
            list = id ? &lists_[*id] : nullptr;
            abstract = nullptr;
        } else if (name == u"lvl") {
            const int k = Integer(item.Attribute(u"ilvl"), 0);
            level = abstract != nullptr && k >= 0 && k < 9 ? &abstract->levels[k] : nullptr;
        } else if (name == u"lvlOverride") {
            overrideLevel = Integer(item.Attribute(u"ilvl"), -1);
            if (overrideLevel > 8) overrideLevel = -1;
        } else if ((name == u"abstractNumId" || name == u"ilst") && list != nullptr && val) {
            list->abstractId = *val;
        } else if (name == u"startOverride" && list != nullptr && overrideLevel >= 0) {
            list->start[overrideLevel] = Integer(val, 0);
            list->hasStart[overrideLevel] = true;
        } else if (level != nullptr && val) {
            if (name == u"start") level->start = Integer(val, 1);
            if (name == u"numFmt" || name == u"nfc") level->nfc = FormatCode(*val);
            if (name == u"suff") level->follow = (*val)[0] == u's' || (*val)[0] == u'S' ? 1 : (*val)[0] == u'n' || (*val)[0] == u'N' ? 2 : 0;
            if (name == u"lvlText") {
                level->text.clear();
                for (size_t i = 0; i < val->size() && level->text.size() < kMaxLabel; ++i) {
                    const char16_t c = (*val)[i];
                    if (c == u'%' && i + 1 < val->size() && (*val)[i + 1] >= u'1' && (*val)[i + 1] <= u'9') {
                        level->text += static_cast<char16_t>((*val)[++i] - u'1');
                    } else {
                        level->text += c;
                    }
                }
            }
        }
    }
}

void TWordMlWalker::ReadNoteSettings(TXmlReader& in, const TXmlItem& root) {
    if (root.empty) return;
    TXmlItem item;
    int notes = 0;  // 1 footnotes, 2 endnotes
    for (int depth = 1; depth > 0;) {
        in.Next(item);
        if (item.node == TXmlNode::Finished) return;
        if (item.node == TXmlNode::End) {
            if (item.localName == u"footnotePr" || item.localName == u"endnotePr") notes = 0;
            --depth;
            continue;
        }
        if (item.node != TXmlNode::Start) continue;
        if (!item.empty) ++depth;
        if (item.localName == u"footnotePr") notes = item.empty ? 0 : 1;
        if (item.localName == u"endnotePr") notes = item.empty ? 0 : 2;
        const std::u16string* val = item.Attribute(u"val");
        if (item.localName == u"numFmt" && val && notes != 0) (notes == 1 ? footNfc_ : endNfc_) = FormatCode(*val);
    }
}

}  // namespace pagelet
