#include "converter/WordFib.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string_view>
#include <system_error>

#include "converter/CompoundFile.h"

namespace pagelet {

namespace {

// The first bytes of the FIB: wIdent at 0, the flags word at 0x0A. Both FIB
// layouts keep fEncrypted in bit 8 and fWriteReservation in bit 11.
constexpr size_t kFibHeadSize = 0x0C;
constexpr size_t kFibFlags = 0x0A;
constexpr uint16_t kWIdentWord97 = 0xA5EC;
constexpr uint16_t kWIdentWord6 = 0xA5DC;
constexpr uint16_t kFEncrypted = 1u << 8;
constexpr uint16_t kFWriteReservation = 1u << 11;

constexpr std::u16string_view kFibStreams[] = {u"WordDocument"};

}  // namespace

TWordFibFlags ReadWordFibFlags(const std::u16string& fileName) {
    TWordFibFlags out;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(std::filesystem::path(fileName), ec)) return out;
    if (!StorageIsCompoundFile(fileName)) return out;
    TStoragePtr storage = StorageOpen(fileName, kFibStreams);
    std::unique_ptr<TStorageStream> doc = StorageOpenStream(*storage, u"WordDocument", TStreamReading::OnDemand);
    if (!doc) return out;
    uint8_t head[kFibHeadSize] = {};
    if (doc->ReadAt(0, head, sizeof head) < sizeof head) return out;

    const uint16_t wIdent = static_cast<uint16_t>(head[0] | head[1] << 8);
    const uint16_t flags = static_cast<uint16_t>(head[kFibFlags] | head[kFibFlags + 1] << 8);
    if (wIdent == kWIdentWord97)
        out.Kind = TWordFibKind::Word97;
    else if (wIdent == kWIdentWord6)
        out.Kind = TWordFibKind::Word6;
    else
        return out;
    out.Encrypted = (flags & kFEncrypted) != 0;
    out.WriteReserved = (flags & kFWriteReservation) != 0;
    return out;
}

}  // namespace pagelet
