#include "support/DocBuilder.h"

#include <algorithm>

namespace pagelet {

namespace {

constexpr size_t kFibSize = 0x1AA;  // up to and including lcbClx

void Append16(std::vector<uint8_t>& b, uint16_t v) {
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}

void Append32(std::vector<uint8_t>& b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void Grow(std::vector<uint8_t>& b, size_t size) {
    if (b.size() < size) b.resize(size, 0);
}

}  // namespace

TClxBuilder& TClxBuilder::Prc(const std::vector<uint8_t>& grpprl) {
    PrcHeader(static_cast<int16_t>(grpprl.size()));
    return Raw(grpprl);
}

TClxBuilder& TClxBuilder::PrcHeader(int16_t cbGrpprl) {
    bytes_.push_back(0x01);
    Append16(bytes_, static_cast<uint16_t>(cbGrpprl));
    return *this;
}

TClxBuilder& TClxBuilder::Pcdt(const std::vector<uint32_t>& cps, const std::vector<TPcd>& pcds) {
    return PcdtWithLcb(static_cast<int32_t>(4 * cps.size() + 8 * pcds.size()), cps, pcds);
}

TClxBuilder& TClxBuilder::PcdtWithLcb(int32_t lcb, const std::vector<uint32_t>& cps, const std::vector<TPcd>& pcds) {
    bytes_.push_back(0x02);
    Append32(bytes_, static_cast<uint32_t>(lcb));
    for (uint32_t cp : cps) Append32(bytes_, cp);
    for (const TPcd& pcd : pcds) {
        bytes_.push_back(pcd.Flags);
        bytes_.push_back(pcd.Fn);
        Append32(bytes_, pcd.Fc);
        Append16(bytes_, static_cast<uint16_t>(pcd.Prm));
    }
    return *this;
}

TClxBuilder& TClxBuilder::Raw(const std::vector<uint8_t>& bytes) {
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    return *this;
}

TDocBuilder::TDocBuilder() : doc_(kFibSize, 0) { WIdent(0xA5EC); }

void TDocBuilder::Put(uint32_t offset, const uint8_t* data, size_t size) {
    Grow(doc_, size_t{offset} + size);
    std::copy(data, data + size, doc_.begin() + offset);
}

TDocBuilder& TDocBuilder::WIdent(uint16_t wIdent) {
    Grow(doc_, 2);
    PutLE16(doc_, 0x00, wIdent);
    return *this;
}

TDocBuilder& TDocBuilder::Flags(uint16_t flags) {
    Grow(doc_, 0x0C);
    PutLE16(doc_, 0x0A, flags);
    return *this;
}

TDocBuilder& TDocBuilder::Clx(const TClxBuilder& clx, uint32_t fcClx) {
    return Clx(clx, fcClx, static_cast<uint32_t>(clx.Bytes().size()));
}

TDocBuilder& TDocBuilder::Clx(const TClxBuilder& clx, uint32_t fcClx, uint32_t lcbClx) {
    std::vector<uint8_t>& table = SelectedTable() == u"1Table" ? table1_ : table0_;
    table.assign(fcClx, 0xEE);  // filler before the CLX that a wrong fcClx would trip over
    table.insert(table.end(), clx.Bytes().begin(), clx.Bytes().end());
    return FcLcbClx(fcClx, lcbClx);
}

TDocBuilder& TDocBuilder::FcLcbClx(uint32_t fcClx, uint32_t lcbClx) {
    Grow(doc_, kFibSize);
    PutLE32(doc_, 0x1A2, fcClx);
    PutLE32(doc_, 0x1A6, lcbClx);
    return *this;
}

TDocBuilder& TDocBuilder::Word6(uint32_t fcMin, uint32_t fcMac) {
    WIdent(0xA5DC);
    Grow(doc_, 0x20);
    PutLE32(doc_, 0x18, fcMin);
    PutLE32(doc_, 0x1C, fcMac);
    return *this;
}

TDocBuilder& TDocBuilder::DocBytes(uint32_t offset, std::string_view bytes) {
    Put(offset, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    return *this;
}

TDocBuilder& TDocBuilder::DocBytes(uint32_t offset, const std::vector<uint8_t>& bytes) {
    Put(offset, bytes.data(), bytes.size());
    return *this;
}

TDocBuilder& TDocBuilder::DocText16(uint32_t offset, std::u16string_view text) {
    std::vector<uint8_t> bytes;
    for (char16_t c : text) Append16(bytes, c);
    return DocBytes(offset, bytes);
}

TDocBuilder& TDocBuilder::DocSize(size_t size) {
    doc_.resize(size, 0);
    return *this;
}

TDocBuilder& TDocBuilder::Table(const std::u16string& name, const std::vector<uint8_t>& bytes) {
    (name == u"1Table" ? table1_ : table0_) = bytes;
    return *this;
}

TDocBuilder& TDocBuilder::TableSize(size_t size) {
    (SelectedTable() == u"1Table" ? table1_ : table0_).resize(size, 0);
    return *this;
}

TDocBuilder& TDocBuilder::Omit(const std::u16string& name) {
    omitted_.push_back(name);
    return *this;
}

TDocBuilder& TDocBuilder::Stream(const std::u16string& name, const std::vector<uint8_t>& bytes) {
    streams_.emplace_back(name, bytes);
    return *this;
}

std::u16string TDocBuilder::SelectedTable() const {
    const uint16_t flags = doc_.size() >= 0x0C ? static_cast<uint16_t>(doc_[0x0A] | (doc_[0x0B] << 8)) : 0;
    return (flags & 0x0200) != 0 ? u"1Table" : u"0Table";
}

std::vector<uint8_t> TDocBuilder::Build(const TCfbOptions& options) const {
    std::vector<TCfbStream> streams;
    auto add = [&](const std::u16string& name, const std::vector<uint8_t>& data) {
        if (std::find(omitted_.begin(), omitted_.end(), name) == omitted_.end()) streams.push_back({name, data, {}});
    };
    add(u"WordDocument", doc_);
    // Only table streams that hold something, but always the selected one.
    if (!table0_.empty() || SelectedTable() == u"0Table") add(u"0Table", table0_);
    if (!table1_.empty() || SelectedTable() == u"1Table") add(u"1Table", table1_);
    for (const auto& [name, bytes] : streams_) add(name, bytes);
    return BuildCompoundFile(streams, options);
}

std::unique_ptr<TTempFile> TDocBuilder::Write(const TCfbOptions& options) const {
    return std::make_unique<TTempFile>(Build(options));
}

std::vector<uint8_t> TextDocBytes(std::u16string_view text) {
    TDocBuilder doc;
    doc.Clx(TClxBuilder().Pcdt({0, static_cast<uint32_t>(text.size())}, {{0x800}}));
    doc.DocText16(0x800, text);
    return doc.Build();
}

std::unique_ptr<TTempFile> TextDoc(std::u16string_view text, std::string_view suffix) {
    return std::make_unique<TTempFile>(TextDocBytes(text), suffix);
}

}  // namespace pagelet

namespace pagelet {

namespace {

void Put16(std::vector<uint8_t>& b, size_t at, uint16_t v) {
    if (b.size() < at + 2) b.resize(at + 2, 0);
    PutLE16(b, at, v);
}
void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    if (b.size() < at + 4) b.resize(at + 4, 0);
    PutLE32(b, at, v);
}
void Add16(std::vector<uint8_t>& b, uint16_t v) { Put16(b, b.size(), v); }
void Add32(std::vector<uint8_t>& b, uint32_t v) { Put32(b, b.size(), v); }

// A PLC of CPs with fixed-size data entries.
std::vector<uint8_t> Plc(const std::vector<uint32_t>& cps, const std::vector<uint8_t>& data) {
    std::vector<uint8_t> b;
    for (uint32_t cp : cps) Add32(b, cp);
    b.insert(b.end(), data.begin(), data.end());
    return b;
}

}  // namespace

std::vector<uint8_t> Sprm(uint16_t opcode, const std::vector<uint8_t>& operand) {
    std::vector<uint8_t> b = {static_cast<uint8_t>(opcode), static_cast<uint8_t>(opcode >> 8)};
    b.insert(b.end(), operand.begin(), operand.end());
    return b;
}

std::vector<uint8_t> Sprm6(uint8_t opcode, const std::vector<uint8_t>& operand) {
    std::vector<uint8_t> b = {opcode};
    b.insert(b.end(), operand.begin(), operand.end());
    return b;
}

std::vector<uint8_t> operator+(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::vector<uint8_t> FormFieldData(uint8_t type, uint8_t res, uint16_t wDef,
                                   const std::vector<std::u16string>& entries) {
    std::vector<uint8_t> b;
    auto xstz = [&](std::u16string_view text) {
        Add16(b, static_cast<uint16_t>(text.size()));
        for (char16_t c : text) Add16(b, c);
        Add16(b, 0);
    };
    Add32(b, 0xFFFFFFFF);
    Add16(b, static_cast<uint16_t>(type | (res & 0x1F) << 2));
    Add16(b, 0);                        // cch
    Add16(b, type == 1 ? 20 : 0);       // hps
    xstz(u"Field");                     // name
    if (type == 0) xstz(u"default");    // default text
    if (type != 0) Add16(b, wDef);
    for (int k = 0; k < 5; ++k) xstz(u"");  // format, help, status, entry and exit macros
    if (type == 2) {
        Add16(b, 0xFFFF);
        Add16(b, static_cast<uint16_t>(entries.size()));
        Add16(b, 0);
        for (const std::u16string& entry : entries) {
            Add16(b, static_cast<uint16_t>(entry.size()));
            for (char16_t c : entry) Add16(b, c);
        }
    }
    return b;
}

TRichDocBuilder::TRichDocBuilder(TLayout layout) : layout_(layout) {}

namespace {

// A drawing record: version and instance, type, length, then its body.
std::vector<uint8_t> Record(uint16_t verInst, uint16_t type, const std::vector<uint8_t>& body) {
    std::vector<uint8_t> b;
    Add16(b, verInst);
    Add16(b, type);
    Add32(b, static_cast<uint32_t>(body.size()));
    b.insert(b.end(), body.begin(), body.end());
    return b;
}

// A shape container: the shape (its id) and its properties: a picture's
// index (simple) when it shows a picture, its name and, when not empty, its
// description (complex).
std::vector<uint8_t> ShapeContainer(uint32_t spid, bool picture, std::u16string_view altText) {
    auto utf16z = [](std::u16string_view text) {
        std::vector<uint8_t> b;
        for (char16_t c : text) Add16(b, c);
        Add16(b, 0);
        return b;
    };
    const std::vector<uint8_t> name = utf16z(u"Shape 1"), alt = utf16z(altText);
    std::vector<uint8_t> table, complex = name;
    uint16_t count = 1;
    if (picture) {
        Add16(table, 0x4104);
        Add32(table, 1);
        ++count;
    }
    Add16(table, 0x8380);
    Add32(table, static_cast<uint32_t>(name.size()));
    if (!altText.empty()) {
        Add16(table, 0x8381);
        Add32(table, static_cast<uint32_t>(alt.size()));
        complex.insert(complex.end(), alt.begin(), alt.end());
        ++count;
    }
    std::vector<uint8_t> fsp;
    Add32(fsp, spid);
    Add32(fsp, 0xA00);
    return Record(0x000F, 0xF004,
                  Record(0x04B2, 0xF00A, fsp) + Record(uint16_t(3 | count << 4), 0xF00B, table + complex));
}

}  // namespace

TRichDocBuilder& TRichDocBuilder::Picture(std::u16string_view altText, bool named) {
    std::vector<uint8_t> body;
    if (named) body = {4, 'l', 'o', 'g', 'o'};
    body = body + ShapeContainer(0, true, altText) + std::vector<uint8_t>(16, 0xAB);
    const auto offset = static_cast<uint32_t>(data_.size());
    Add32(data_, static_cast<uint32_t>(0x44 + body.size()));
    Add16(data_, 0x44);
    Add16(data_, named ? 0x66 : 0x64);
    data_.resize(data_.size() + 60, 0);
    data_.insert(data_.end(), body.begin(), body.end());
    return Run(u"\x01", Sprm(0x0855, {1}) + Sprm(0x6A03, {uint8_t(offset), uint8_t(offset >> 8), uint8_t(offset >> 16),
                                                           uint8_t(offset >> 24)}));
}

TRichDocBuilder& TRichDocBuilder::Drawing(bool picture, std::u16string_view altText) {
    const auto spid = static_cast<uint32_t>(1025 + shapes_.size());
    anchors_.emplace_back(static_cast<uint32_t>(text_.size()), spid);
    shapes_.push_back(ShapeContainer(spid, picture, altText));
    return Run(u"\x08", Sprm(0x0855, {1}));
}

TRichDocBuilder& TRichDocBuilder::FormField(std::u16string_view name, const std::vector<uint8_t>& ffdata,
                                            std::u16string_view result, uint32_t at) {
    // The data follows a header of 0x44 bytes that begins with the size of both.
    const auto offset = static_cast<uint32_t>(data_.size());
    Add32(data_, static_cast<uint32_t>(0x44 + ffdata.size()));
    Add16(data_, 0x44);
    data_.resize(data_.size() + 62, 0);
    data_.insert(data_.end(), ffdata.begin(), ffdata.end());
    const uint32_t location = at == 0xFFFFFFFFu ? offset : at;
    Run(u"\x13 " + std::u16string(name) + u" ");
    Run(u"\x01", Sprm(0x0855, {1}) + Sprm(0x0806, {1}) +
                     Sprm(0x6A03, {uint8_t(location), uint8_t(location >> 8), uint8_t(location >> 16),
                                   uint8_t(location >> 24)}));
    if (!result.empty()) Run(u"\x14" + std::u16string(result));
    return Run(u"\x15");
}

TRichDocBuilder& TRichDocBuilder::Run(std::u16string_view text, const std::vector<uint8_t>& chpx) {
    if (text.empty()) return *this;
    runs_.push_back({text_.size(), text_.size() + text.size(), chpx});
    text_ += text;
    ccp_[story_] += static_cast<uint32_t>(text.size());
    return *this;
}

TRichDocBuilder& TRichDocBuilder::End(const std::vector<uint8_t>& papx, char16_t mark, uint16_t istd) {
    Run(std::u16string(1, mark));
    paras_.push_back({paraStart_, text_.size(), istd, papx});
    paraStart_ = text_.size();
    return *this;
}

TRichDocBuilder& TRichDocBuilder::Para(std::u16string_view text, const std::vector<uint8_t>& papx, uint16_t istd) {
    return Run(text).End(papx, u'\r', istd);
}

TRichDocBuilder& TRichDocBuilder::HiddenEnd(const std::vector<uint8_t>& papx) {
    Run(u"\r", word6() ? Sprm6(92, {1}) : Sprm(0x083C, {1}));
    paras_.push_back({paraStart_, text_.size(), 0, papx});
    paraStart_ = text_.size();
    return *this;
}

TRichDocBuilder& TRichDocBuilder::DropCap(std::u16string_view letter) {
    // dcs: fdct 1 (dropped), three lines.
    return Para(letter, word6() ? Sprm6(46, {1 | 3 << 3, 0}) : Sprm(0x442C, {1 | 3 << 3, 0}));
}

TRichDocBuilder& TRichDocBuilder::Cell(std::u16string_view text) {
    return Run(text).End(word6() ? Sprm6(24, {1}) : Sprm(0x2416, {1}), u'\x07');
}

TRichDocBuilder& TRichDocBuilder::RowEnd() {
    return End(word6() ? Sprm6(24, {1}) + Sprm6(25, {1}) : Sprm(0x2416, {1}) + Sprm(0x2417, {1}), u'\x07');
}

TRichDocBuilder& TRichDocBuilder::Story(int story) {
    story_ = story;
    paraStart_ = text_.size();
    return *this;
}

TRichDocBuilder& TRichDocBuilder::NoteRef(bool endnote) {
    uint32_t storyStart = 0;
    for (int k = 0; k < story_; ++k) storyStart += ccp_[k];
    const uint32_t cp = static_cast<uint32_t>(text_.size());
    if (story_ == 0) {
        (endnote ? ednRefs_ : ftnRefs_).push_back(cp);
        (endnote ? ednAuto_ : ftnAuto_).push_back(1);
    } else if (story_ == 1) {
        ftnTxt_.push_back(cp - storyStart);
    } else if (story_ == 5) {
        ednTxt_.push_back(cp - storyStart);
    }
    return Run(u"\x02", word6() ? Sprm6(117, {1}) : Sprm(0x0855, {1}));
}

TRichDocBuilder& TRichDocBuilder::CustomNoteRef(std::u16string_view mark, bool endnote) {
    uint32_t storyStart = 0;
    for (int k = 0; k < story_; ++k) storyStart += ccp_[k];
    const uint32_t cp = static_cast<uint32_t>(text_.size());
    if (story_ == 0) {
        (endnote ? ednRefs_ : ftnRefs_).push_back(cp);
        (endnote ? ednAuto_ : ftnAuto_).push_back(0);
    } else if (story_ == 1) {
        ftnTxt_.push_back(cp - storyStart);
    } else if (story_ == 5) {
        ednTxt_.push_back(cp - storyStart);
    }
    return Run(mark);
}

TRichDocBuilder& TRichDocBuilder::Dop(const std::vector<uint8_t>& dop) {
    dop_ = dop;
    return *this;
}

TRichDocBuilder& TRichDocBuilder::SectionEnd(const std::vector<uint8_t>& sepx) {
    sections_.emplace_back(ccp_[0], sepx);
    return *this;
}

TRichDocBuilder& TRichDocBuilder::HeaderStory() {
    uint32_t storyStart = 0;
    for (int k = 0; k < 2; ++k) storyStart += ccp_[k];
    hdd_.push_back(static_cast<uint32_t>(text_.size()) - storyStart);
    return *this;
}

TRichDocBuilder& TRichDocBuilder::RawHeaderCps(const std::vector<uint32_t>& cps) {
    hdd_ = cps;
    rawHdd_ = true;
    return *this;
}

TRichDocBuilder& TRichDocBuilder::SecondPiece(uint32_t cp, uint16_t prm, const std::vector<uint8_t>& prc) {
    splitCp_ = cp;
    splitPrm_ = prm;
    prc_ = prc;
    return *this;
}

TRichDocBuilder& TRichDocBuilder::CommentMark(std::u16string_view initials) {
    uint32_t storyStart = 0;
    for (int k = 0; k < story_; ++k) storyStart += ccp_[k];
    const uint32_t cp = static_cast<uint32_t>(text_.size());
    if (story_ == 0) {
        atnRefs_.push_back(cp);
        initials_.emplace_back(initials);
    } else if (story_ == 4) {
        atnTxt_.push_back(cp - storyStart);
    }
    return Run(u"\x05", word6() ? Sprm6(117, {1}) : Sprm(0x0855, {1}));
}

TRichDocBuilder& TRichDocBuilder::Style(uint16_t istd, uint8_t sgc, const std::vector<uint8_t>& papx,
                                        const std::vector<uint8_t>& chpx, uint16_t istdBase, uint16_t sti) {
    styles_.push_back({istd, sgc, istdBase, sti, papx, chpx});
    return *this;
}

TRichDocBuilder& TRichDocBuilder::Font(std::u16string_view name, uint8_t charset) {
    fonts_.emplace_back(std::u16string(name), charset);
    return *this;
}

TRichDocBuilder& TRichDocBuilder::List(uint32_t lsid, const std::vector<TLevel>& given) {
    std::vector<TLevel> levels = given;
    const bool simple = levels.size() == 1;
    while (!simple && levels.size() < 9) levels.push_back({0, 1, std::u16string(1, char16_t(levels.size())) + u".", 0});
    // LSTF
    Add32(lst_, lsid);
    Add32(lst_, 0);
    for (int k = 0; k < 9; ++k) Add16(lst_, 0x0FFF);
    lst_.push_back(simple ? 0x01 : 0x00);
    lst_.push_back(0);
    for (const TLevel& level : levels) {
        Add32(lvls_, static_cast<uint32_t>(level.start));
        lvls_.push_back(level.nfc);
        lvls_.push_back(0);
        for (int k = 0; k < 9; ++k) lvls_.push_back(0);
        lvls_.push_back(level.follow);
        Add32(lvls_, 0);
        Add32(lvls_, 0);
        lvls_.push_back(0);  // cbGrpprlChpx
        lvls_.push_back(0);  // cbGrpprlPapx
        lvls_.push_back(0);
        lvls_.push_back(0);
        Add16(lvls_, static_cast<uint16_t>(level.text.size()));
        for (char16_t c : level.text) Add16(lvls_, c);
    }
    // LFO
    Add32(lfo_, lsid);
    Add32(lfo_, 0);
    Add32(lfo_, 0);
    Add32(lfo_, 0);
    ++lists_;
    return *this;
}

TRichDocBuilder& TRichDocBuilder::RawLists(const std::vector<uint8_t>& plfLst, const std::vector<uint8_t>& plfLfo) {
    rawLists_ = true;
    rawLst_ = plfLst;
    rawLfo_ = plfLfo;
    return *this;
}

TRichDocBuilder& TRichDocBuilder::RawFkpPages(bool paragraphs, const std::vector<uint8_t>& pages) {
    rawPages_[paragraphs] = true;
    rawPageBytes_[paragraphs] = pages;
    return *this;
}

TRichDocBuilder& TRichDocBuilder::SharedPlcBlock(uint32_t bytes) {
    sharedPlc_ = bytes;
    return *this;
}

TRichDocBuilder& TRichDocBuilder::RawBinTable(bool paragraphs, const std::vector<uint8_t>& bytes) {
    rawBte_[paragraphs] = true;
    rawBteBytes_[paragraphs] = bytes;
    return *this;
}

std::vector<uint8_t> TRichDocBuilder::BuildFkps(bool paragraphs, uint32_t fcText, uint32_t bpc, uint32_t firstPage,
                                                std::vector<uint8_t>& bte) const {
    struct TEntry {
        uint32_t fcStart, fcEnd;
        std::vector<uint8_t> data;  // CHPX grpprl, or istd + PAPX grpprl
    };
    std::vector<TEntry> entries;
    if (paragraphs) {
        for (const TParaInfo& p : paras_) {
            std::vector<uint8_t> data = {static_cast<uint8_t>(p.istd), static_cast<uint8_t>(p.istd >> 8)};
            data.insert(data.end(), p.papx.begin(), p.papx.end());
            entries.push_back({fcText + uint32_t(p.start) * bpc, fcText + uint32_t(p.end) * bpc, data});
        }
    } else {
        for (const TRunInfo& r : runs_)
            entries.push_back({fcText + uint32_t(r.start) * bpc, fcText + uint32_t(r.end) * bpc, r.chpx});
    }
    const size_t entrySize = paragraphs ? (word6() ? 7 : 13) : 1;
    std::vector<uint8_t> pages;
    std::vector<uint32_t> fcs;
    std::vector<uint32_t> pns;
    size_t i = 0;
    while (i < entries.size()) {
        std::vector<uint8_t> page(512, 0);
        size_t top = 511;
        size_t k = 0;
        std::vector<size_t> offsets;
        while (i + k < entries.size()) {
            const std::vector<uint8_t>& data = entries[i + k].data;
            size_t need = 0;
            if (!paragraphs)
                need = data.empty() ? 0 : 1 + data.size();
            else if (word6())
                need = 1 + 2 * ((data.size() + 1) / 2);
            else
                need = 2 * ((data.size() + 2) / 2);
            const size_t head = 4 * (k + 2) + entrySize * (k + 1);
            size_t newTop = top;
            if (need != 0) {
                newTop = (top - need) & ~size_t{1};
                if (newTop < head) break;
            } else if (head > top) {
                break;
            }
            size_t offset = 0;
            if (need != 0) {
                offset = newTop;
                top = newTop;
                if (!paragraphs) {
                    page[offset] = static_cast<uint8_t>(data.size());
                    std::copy(data.begin(), data.end(), page.begin() + long(offset) + 1);
                } else if (word6()) {
                    page[offset] = static_cast<uint8_t>((data.size() + 1) / 2);
                    std::copy(data.begin(), data.end(), page.begin() + long(offset) + 1);
                } else {
                    page[offset] = static_cast<uint8_t>((data.size() + 2) / 2);
                    std::copy(data.begin(), data.end(), page.begin() + long(offset) + 1);
                }
            }
            offsets.push_back(offset);
            ++k;
        }
        if (k == 0) break;  // an entry too large for a page
        for (size_t e = 0; e < k; ++e) PutLE32(page, 4 * e, entries[i + e].fcStart);
        PutLE32(page, 4 * k, entries[i + k - 1].fcEnd);
        for (size_t e = 0; e < k; ++e) page[4 * (k + 1) + entrySize * e] = static_cast<uint8_t>(offsets[e] / 2);
        page[511] = static_cast<uint8_t>(k);
        fcs.push_back(entries[i].fcStart);
        pns.push_back(firstPage + uint32_t(pages.size() / 512));
        pages.insert(pages.end(), page.begin(), page.end());
        i += k;
    }
    if (!fcs.empty()) fcs.push_back(entries.back().fcEnd);
    bte.clear();
    for (uint32_t fc : fcs) Add32(bte, fc);
    for (uint32_t pn : pns) {
        if (word6())
            Add16(bte, static_cast<uint16_t>(pn));
        else
            Add32(bte, pn);
    }
    return pages;
}

std::vector<uint8_t> TRichDocBuilder::BuildStylesheet() const {
    std::vector<uint8_t> b;
    if (styles_.empty()) return b;
    const uint16_t cbStshi = word6() ? 14 : 18;
    const uint16_t cbBase = word6() ? 8 : 10;
    uint16_t cstd = 0;
    for (const TStyleInfo& s : styles_) cstd = std::max<uint16_t>(cstd, static_cast<uint16_t>(s.istd + 1));
    Add16(b, cbStshi);
    std::vector<uint8_t> stshi(cbStshi, 0);
    PutLE16(stshi, 0, cstd);
    PutLE16(stshi, 2, cbBase);
    b.insert(b.end(), stshi.begin(), stshi.end());
    for (uint16_t istd = 0; istd < cstd; ++istd) {
        const TStyleInfo* style = nullptr;
        for (const TStyleInfo& s : styles_)
            if (s.istd == istd) style = &s;
        if (style == nullptr) {
            Add16(b, 0);
            continue;
        }
        std::vector<uint8_t> std(cbBase, 0);
        PutLE16(std, 0, static_cast<uint16_t>(style->sti & 0x0FFF));
        PutLE16(std, 2, static_cast<uint16_t>(style->sgc | style->istdBase << 4));
        PutLE16(std, 4, static_cast<uint16_t>(style->sgc == 1 ? 2 : 1));
        if (word6()) {
            std.insert(std.end(), {1, 'S', 0});
        } else {
            std.insert(std.end(), {1, 0, 'S', 0, 0, 0});
        }
        auto upx = [&](const std::vector<uint8_t>& data) {
            if (std.size() % 2 != 0) std.push_back(0);
            Add16(std, static_cast<uint16_t>(data.size()));
            std.insert(std.end(), data.begin(), data.end());
        };
        if (style->sgc == 1) upx(std::vector<uint8_t>{0, 0} + style->papx);
        upx(style->chpx);
        if (std.size() % 2 != 0) std.push_back(0);
        Add16(b, static_cast<uint16_t>(std.size()));
        b.insert(b.end(), std.begin(), std.end());
    }
    return b;
}

std::vector<uint8_t> TRichDocBuilder::BuildFonts() const {
    std::vector<uint8_t> b;
    if (fonts_.empty()) return b;
    if (word6()) {
        Add16(b, 0);
        for (const auto& [name, charset] : fonts_) {
            std::vector<uint8_t> ffn = {0, 0, 0x90, 0x01, charset, 0};
            for (char16_t c : name) ffn.push_back(static_cast<uint8_t>(c));
            ffn.push_back(0);
            ffn[0] = static_cast<uint8_t>(ffn.size() - 1);
            b.insert(b.end(), ffn.begin(), ffn.end());
        }
        PutLE16(b, 0, static_cast<uint16_t>(b.size()));
        return b;
    }
    Add16(b, static_cast<uint16_t>(fonts_.size()));
    Add16(b, 0);
    for (const auto& [name, charset] : fonts_) {
        std::vector<uint8_t> ffn(40, 0);
        ffn[4] = charset;
        for (char16_t c : name) Add16(ffn, c);
        Add16(ffn, 0);
        ffn[0] = static_cast<uint8_t>(ffn.size() - 1);
        b.insert(b.end(), ffn.begin(), ffn.end());
    }
    return b;
}

std::vector<uint8_t> TRichDocBuilder::Build() const {
    const uint32_t fcText = 0x800;
    const uint32_t bpc = layout_ == Word97 ? 2 : 1;
    std::vector<uint8_t> doc(fcText, 0);
    for (char16_t c : text_) {
        if (bpc == 2)
            Add16(doc, c);
        else
            doc.push_back(static_cast<uint8_t>(c));
    }
    doc.resize((doc.size() + 511) / 512 * 512, 0);
    std::vector<uint8_t> bteChpx, btePapx;
    // Raw pages: the bin table lists each, the FCs counting the pages.
    auto fkps = [&](bool paragraphs, std::vector<uint8_t>& bte) {
        const auto firstPage = uint32_t(doc.size() / 512);
        if (!rawPages_[paragraphs]) return BuildFkps(paragraphs, fcText, bpc, firstPage, bte);
        const std::vector<uint8_t>& pages = rawPageBytes_[paragraphs];
        const auto n = uint32_t(pages.size() / 512);
        std::vector<uint32_t> fcs;
        std::vector<uint8_t> pns;
        for (uint32_t k = 0; k <= n; ++k) fcs.push_back(fcText + k);
        for (uint32_t k = 0; k < n; ++k) Add32(pns, firstPage + k);
        bte = Plc(fcs, pns);
        return pages;
    };
    const std::vector<uint8_t> chpxPages = fkps(false, bteChpx);
    doc.insert(doc.end(), chpxPages.begin(), chpxPages.end());
    const std::vector<uint8_t> papxPages = fkps(true, btePapx);
    doc.insert(doc.end(), papxPages.begin(), papxPages.end());
    // The SEPXs of the sections in "WordDocument", and their SEDs.
    std::vector<uint32_t> sedCps;
    std::vector<uint8_t> seds;
    if (!sections_.empty()) {
        auto sed = [&](uint32_t fcSepx) {
            Add16(seds, 0);
            Add32(seds, fcSepx);
            Add16(seds, 0);
            Add32(seds, 0xFFFFFFFF);
        };
        sedCps.push_back(0);
        for (const auto& [cpEnd, sepx] : sections_) {
            sed(static_cast<uint32_t>(doc.size()));
            Add16(doc, static_cast<uint16_t>(sepx.size()));
            doc.insert(doc.end(), sepx.begin(), sepx.end());
            sedCps.push_back(cpEnd);
        }
        if (sections_.back().first < ccp_[0]) {
            sed(0xFFFFFFFF);
            sedCps.push_back(ccp_[0]);
        }
    }
    if (rawBte_[0]) bteChpx = rawBteBytes_[0];
    if (rawBte_[1]) btePapx = rawBteBytes_[1];

    // The tables: in the table stream, or (Word 6/95) after the FKPs.
    std::vector<uint8_t> table(word6() ? doc.size() : 0x10, 0);
    if (word6()) table = doc;
    struct TBlock {
        uint32_t fc = 0, lcb = 0;
    };
    auto place = [&](const std::vector<uint8_t>& bytes) {
        TBlock block{static_cast<uint32_t>(table.size()), static_cast<uint32_t>(bytes.size())};
        table.insert(table.end(), bytes.begin(), bytes.end());
        return block;
    };
    const uint32_t total = static_cast<uint32_t>(text_.size());
    TBlock clx;
    if (!word6()) {
        TClxBuilder c;
        auto fcAt = [&](uint32_t cp) { return layout_ == Word97 ? fcText + 2 * cp : CompressedFc(fcText + cp); };
        if (splitCp_ == 0 || splitCp_ >= total) {
            c.Pcdt({0, total}, {{fcAt(0)}});
        } else {
            if (!prc_.empty()) c.Prc(prc_);
            c.Pcdt({0, splitCp_, total}, {{fcAt(0)}, {fcAt(splitCp_), 0, 0, static_cast<int16_t>(splitPrm_)}});
        }
        clx = place(c.Bytes());
    }
    const TBlock chpx = place(bteChpx), papx = place(btePapx), stsh = place(BuildStylesheet()),
                 ffn = place(BuildFonts());
    std::vector<uint8_t> lst, lfo;
    if (rawLists_) {
        lst = rawLst_;
        lfo = rawLfo_;
    } else if (lists_ != 0) {
        Add16(lst, static_cast<uint16_t>(lists_));
        lst.insert(lst.end(), lst_.begin(), lst_.end());
        Add32(lfo, lists_);
        lfo.insert(lfo.end(), lfo_.begin(), lfo_.end());
        for (uint32_t k = 0; k < lists_; ++k) Add32(lfo, 0xFFFFFFFF);
    }
    const TBlock plfLst = place(lst);
    if (!rawLists_) table.insert(table.end(), lvls_.begin(), lvls_.end());  // the levels follow PlfLst
    const TBlock plfLfo = place(lfo);
    auto notePlcs = [&](const std::vector<uint32_t>& refs, const std::vector<uint16_t>& automatic,
                        const std::vector<uint32_t>& txt, uint32_t ccp, TBlock& refBlock, TBlock& txtBlock) {
        if (refs.empty()) return;
        std::vector<uint32_t> cps = refs;
        cps.push_back(ccp_[0] + 1);
        std::vector<uint8_t> frds;
        for (uint16_t a : automatic) Add16(frds, a);
        refBlock = place(Plc(cps, frds));
        std::vector<uint32_t> t = txt;
        t.push_back(ccp);
        txtBlock = place(Plc(t, {}));
    };
    TBlock ftnRef, ftnTxt, ednRef, ednTxt, hdd;
    notePlcs(ftnRefs_, ftnAuto_, ftnTxt_, ccp_[1], ftnRef, ftnTxt);
    notePlcs(ednRefs_, ednAuto_, ednTxt_, ccp_[5], ednRef, ednTxt);
    const TBlock dop = place(dop_);
    // The shapes' anchors (FSPA: the shape's id first) and the drawing records:
    // the group's records, a byte for the main text's drawing, then its shapes.
    TBlock spaMom, dggInfo;
    if (!anchors_.empty()) {
        std::vector<uint32_t> cps;
        std::vector<uint8_t> fspas;
        for (const auto& [cp, spid] : anchors_) {
            cps.push_back(cp);
            std::vector<uint8_t> fspa(26, 0);
            PutLE32(fspa, 0, spid);
            fspas.insert(fspas.end(), fspa.begin(), fspa.end());
        }
        cps.push_back(ccp_[0]);
        spaMom = place(Plc(cps, fspas));
        std::vector<uint8_t> shapes;
        for (const auto& shape : shapes_) shapes.insert(shapes.end(), shape.begin(), shape.end());
        std::vector<uint8_t> fdg;
        Add32(fdg, static_cast<uint32_t>(shapes_.size()));
        Add32(fdg, 1024 + static_cast<uint32_t>(shapes_.size()));
        const std::vector<uint8_t> records = Record(0x000F, 0xF000, Record(0x0000, 0xF006, std::vector<uint8_t>(16, 0))) +
                                             std::vector<uint8_t>{0} +
                                             Record(0x000F, 0xF002,
                                                    Record(0x0010, 0xF008, fdg) +
                                                        Record(0x000F, 0xF003, ShapeContainer(1024, false, {}) + shapes));
        dggInfo = place(records);
    }
    const TBlock plcfSed = sedCps.empty() ? TBlock{} : place(Plc(sedCps, seds));
    if (!hdd_.empty()) {
        std::vector<uint32_t> cps = hdd_;
        if (!rawHdd_) cps.push_back(ccp_[2]);
        hdd = place(Plc(cps, {}));
    }
    TBlock atnRef, atnTxt;
    if (!atnRefs_.empty()) {
        std::vector<uint32_t> cps = atnRefs_;
        cps.push_back(ccp_[0] + 1);
        std::vector<uint8_t> atrds;
        for (const std::u16string& initials : initials_) {
            // The ATRD begins with the initials: Word 97-2003 UTF-16 after a
            // count word (30 bytes in all), Word 6/95 8-bit after a count byte (20).
            std::vector<uint8_t> atrd(word6() ? 20 : 30, 0);
            const size_t n = std::min<size_t>(initials.size(), 9);
            if (word6()) {
                atrd[0] = static_cast<uint8_t>(n);
                for (size_t k = 0; k < n; ++k) atrd[1 + k] = static_cast<uint8_t>(initials[k]);
            } else {
                PutLE16(atrd, 0, static_cast<uint16_t>(n));
                for (size_t k = 0; k < n; ++k) PutLE16(atrd, 2 + 2 * k, initials[k]);
            }
            atrds.insert(atrds.end(), atrd.begin(), atrd.end());
        }
        atnRef = place(Plc(cps, atrds));
        std::vector<uint32_t> t = atnTxt_;
        t.push_back(ccp_[4]);
        atnTxt = place(Plc(t, {}));
    }

    if (sharedPlc_ != 0) {
        const TBlock shared = place(std::vector<uint8_t>(sharedPlc_, 0));
        ftnRef = ftnTxt = ednRef = ednTxt = hdd = atnRef = atnTxt = shared;
    }

    auto putFcLcb = [&](size_t at, const TBlock& block) {
        Put32(doc, at, block.fc);
        Put32(doc, at + 4, block.lcb);
    };
    if (word6()) {
        doc = table;
        Put16(doc, 0x00, 0xA5DC);
        Put16(doc, 0x02, 101);
        if (fibFlags_ != 0) Put16(doc, 0x0A, fibFlags_);
        if (mac_) doc[0x12] = 1;
        Put32(doc, 0x18, fcText);
        Put32(doc, 0x1C, fcText + total);
        for (int k = 0; k < 8; ++k) Put32(doc, 0x34 + 4u * k, ccp_[k]);
        putFcLcb(0x60, stsh);
        putFcLcb(0x68, ftnRef);
        putFcLcb(0x70, ftnTxt);
        putFcLcb(0x78, atnRef);
        putFcLcb(0x80, atnTxt);
        putFcLcb(0xB0, hdd);
        putFcLcb(0xB8, chpx);
        putFcLcb(0xC0, papx);
        putFcLcb(0xD0, ffn);
        putFcLcb(0x88, plcfSed);
        putFcLcb(0x150, dop);
        putFcLcb(0x1D2, ednRef);
        putFcLcb(0x1DA, ednTxt);
        Put16(doc, 0x18A, static_cast<uint16_t>((fcText + total + 511) / 512));
        Put16(doc, 0x18E, static_cast<uint16_t>(chpxPages.size() / 512));
        Put16(doc, 0x190, static_cast<uint16_t>(papxPages.size() / 512));
        TDocBuilder builder;
        builder.WIdent(0xA5DC).DocBytes(0, doc).DocSize(doc.size());
        if (fibFlags_ != 0) builder.Flags(fibFlags_);
        return builder.Build();
    }
    Put16(doc, 0x00, 0xA5EC);
    Put16(doc, 0x02, 0xC1);
    Put16(doc, 0x20, 14);
    Put16(doc, 0x3E, 22);
    Put32(doc, 0x40, static_cast<uint32_t>(doc.size()));
    for (int k = 0; k < 8; ++k) Put32(doc, 0x4C + 4u * k, ccp_[k]);
    Put16(doc, 0x98, 93);
    auto entry = [&](unsigned i, const TBlock& block) { putFcLcb(0x9A + 8u * i, block); };
    entry(1, stsh);
    entry(2, ftnRef);
    entry(3, ftnTxt);
    entry(4, atnRef);
    entry(5, atnTxt);
    entry(6, plcfSed);
    entry(11, hdd);
    entry(12, chpx);
    entry(13, papx);
    entry(15, ffn);
    entry(31, dop);
    entry(33, clx);
    entry(40, spaMom);
    entry(50, dggInfo);
    entry(46, ednRef);
    entry(47, ednTxt);
    entry(73, plfLst);
    entry(74, plfLfo);
    TDocBuilder builder;
    builder.DocBytes(0, doc).DocSize(doc.size()).Table(u"0Table", table);
    if (fibFlags_ != 0) builder.Flags(fibFlags_);
    if (!data_.empty()) builder.Stream(u"Data", data_);
    return builder.Build();
}

TRichDocBuilder& TRichDocBuilder::FibFlags(uint16_t flags) {
    fibFlags_ = flags;
    return *this;
}

TRichDocBuilder& TRichDocBuilder::Mac() {
    mac_ = true;
    return *this;
}

std::unique_ptr<TTempFile> TRichDocBuilder::Write() const { return std::make_unique<TTempFile>(Build()); }

}  // namespace pagelet
