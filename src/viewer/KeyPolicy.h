#pragma once

// Which keys belong to the host, and the zoom's steps.

#include <cstdint>
#include <vector>

namespace pagelet {

// Modifiers held with a key or a wheel turn.
using TShiftState = uint8_t;
inline constexpr TShiftState ssShift = 1;
inline constexpr TShiftState ssAlt = 2;
inline constexpr TShiftState ssCtrl = 4;

// Key codes as the host's lister protocol names them (Windows virtual keys).
inline constexpr uint16_t kKeyTab = 0x09;
inline constexpr uint16_t kKeyShift = 0x10;
inline constexpr uint16_t kKeyEscape = 0x1B;
inline constexpr uint16_t kKeyF5 = 0x74;
inline constexpr uint16_t kKeyF7 = 0x76;

// One key message handed back to the host's lister window.
struct TKeyPost {
    bool Down = true;  // key-down, else key-up
    uint16_t Key = 0;
    bool operator==(const TKeyPost&) const = default;
};

// What a key-down in the viewer hands back to the host, in order: Esc (Tab
// down, Esc up in the quick-view panel), 1 to 8, N, P, W (on the key's low
// 8 bits), F5 and F7 without modifiers; Shift+F5 and Shift+F7 (Ctrl or Alt
// may be held too) with Shift around them. Empty when the viewer keeps the
// key; a key handed back is kept from the widget.
std::vector<TKeyPost> KeysForHost(uint16_t key, TShiftState shift, bool quickView);

// The zoom after a Ctrl+wheel turn of wheelDelta (120 a notch: 10 percent),
// never below 1 percent.
int32_t NextZoom(int32_t percent, int wheelDelta);

}  // namespace pagelet
