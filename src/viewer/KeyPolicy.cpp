#include "viewer/KeyPolicy.h"

#include <cstdint>
#include <limits>

namespace pagelet {

namespace {

bool IsForwardedPlainKey(uint16_t key) {
    const uint8_t low = static_cast<uint8_t>(key & 0xFF);
    return (low >= '1' && low <= '8') || low == 'N' || low == 'P' || low == 'W';
}

bool IsF5OrF7(uint16_t key) { return key == kKeyF5 || key == kKeyF7; }

std::vector<TKeyPost> PostsForHost(uint16_t key, TShiftState shift, bool quickView) {
    if (shift == 0) {
        if (key == kKeyEscape) return {{true, quickView ? kKeyTab : kKeyEscape}, {false, kKeyEscape}};
        if (IsForwardedPlainKey(key) || IsF5OrF7(key)) return {{true, key}, {false, key}};
        return {};
    }
    if ((shift & ssShift) && IsF5OrF7(key)) return {{true, kKeyShift}, {true, key}, {false, kKeyShift}, {false, key}};
    return {};
}

bool MovesInTheText(uint16_t key) { return key >= kKeyPageUp && key <= kKeyDown; }

}  // namespace

TKeyRoute RouteKey(uint16_t key, TShiftState shift, THostKeys host, bool quickView) {
    TKeyRoute route;
    if (host == THostKeys::PassedUp) {
        route.ToViewer = MovesInTheText(key);
        return route;
    }
    route.Posts = PostsForHost(key, shift, quickView);
    route.ToViewer = route.Posts.empty();
    return route;
}

int32_t NextZoom(int32_t percent, int wheelDelta) {
    int64_t next = static_cast<int64_t>(percent) + wheelDelta / 12;
    if (next < 1) next = 1;
    // No upper bound but the integer's own.
    if (next > std::numeric_limits<int32_t>::max()) next = std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(next);
}

}  // namespace pagelet
