#include "converter/WordFib.h"

#include <filesystem>
#include <memory>
#include <string_view>
#include <system_error>

#include "converter/CompoundFile.h"
#include "converter/WordFormat.h"

namespace pagelet {

namespace {

// Both FIB layouts keep wIdent at 0 and the flags word at 0x0A.
constexpr size_t kFibHeadSize = 0x0C;

constexpr std::u16string_view kFibStreams[] = {u"WordDocument"};

}  // namespace

TWordFibFlags ReadWordFibFlags(const std::u16string& fileName) {
    TWordFibFlags out;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(std::filesystem::path(fileName), ec)) return out;
    if (!StorageIsCompoundFile(fileName)) return out;
    TStoragePtr storage = StorageOpen(fileName, kFibStreams);
    std::unique_ptr<TStorageStream> doc = StorageOpenStream(*storage, u"WordDocument", TStreamReading::OnDemand);
    if (!doc) {
        // A Word 2007+ package encrypted with a password is a compound file
        // holding the package in "EncryptedPackage".
        out.Encrypted = StorageOpenStream(*storage, u"EncryptedPackage", TStreamReading::OnDemand) != nullptr;
        return out;
    }
    const word::TFibHead head = word::ReadFibHead(*doc);
    if (head.bytes < kFibHeadSize) return out;
    if (head.wIdent == word::kWIdentWord97)
        out.Kind = TWordFibKind::Word97;
    else if (head.wIdent == word::kWIdentWord6)
        out.Kind = TWordFibKind::Word6;
    else
        return out;
    out.Encrypted = (head.flags & word::kFibEncrypted) != 0;
    out.WriteReserved = (head.flags & word::kFibWriteReservation) != 0;
    return out;
}

}  // namespace pagelet
