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
    return BuildCompoundFile(streams, options);
}

std::unique_ptr<TTempFile> TDocBuilder::Write(const TCfbOptions& options) const {
    return std::make_unique<TTempFile>(Build(options));
}

}  // namespace pagelet
