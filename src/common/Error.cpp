#include "common/Error.h"

#include "common/Utf.h"

namespace pagelet {

EPagelet::EPagelet(std::u16string message, int32_t code)
    : message_(std::move(message)), code_(code), utf8_(Utf16ToUtf8(message_)) {}

std::u16string ExceptionMessage(const std::exception& e) {
    if (auto* own = dynamic_cast<const EPagelet*>(&e)) return own->Message();
    return Utf8ToUtf16(e.what());
}

}  // namespace pagelet
