// What the host tests a file against before it offers it to the plug-in.
#include <algorithm>
#include <cstring>
#include <type_traits>

#include "plugin/ListerApi.h"

namespace {

constexpr char kDetectString[] = "EXT=\"DOC\" | EXT=\"DOT\"";

}  // namespace

// Cut to maxLen - 1 characters for a short buffer, always NUL-terminated.
extern "C" PAGELET_LISTER_EXPORT void PAGELET_LISTER_CALL ListGetDetectString(char* detectString, int maxLen) {
    if (!detectString || maxLen <= 0) return;
    const size_t count = std::min(sizeof(kDetectString) - 1, static_cast<size_t>(maxLen) - 1);
    std::memcpy(detectString, kDetectString, count);
    detectString[count] = '\0';
}

static_assert(std::is_same_v<decltype(&ListGetDetectString), pagelet::lister::TListGetDetectString>);
