#pragma once

// Which keys belong to the host, for every window system, and the zoom's steps.

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
inline constexpr uint16_t kKeyPageUp = 0x21;
inline constexpr uint16_t kKeyPageDown = 0x22;
inline constexpr uint16_t kKeyEnd = 0x23;
inline constexpr uint16_t kKeyHome = 0x24;
inline constexpr uint16_t kKeyLeft = 0x25;
inline constexpr uint16_t kKeyUp = 0x26;
inline constexpr uint16_t kKeyRight = 0x27;
inline constexpr uint16_t kKeyDown = 0x28;

// One key message handed back to the host's lister window.
struct TKeyPost {
    bool Down = true;  // key-down, else key-up
    uint16_t Key = 0;
    bool operator==(const TKeyPost&) const = default;
};

// How the host's window comes to the keys the viewer does not keep.
enum class THostKeys {
    // It sees none of the viewer's keys (the viewer is a child window of its
    // own, on Windows): the keys it acts on are posted to it.
    Posted,
    // A key the viewer's widget lets through goes up to it (the widget
    // tree of GTK): it gets every key but those that move in the text.
    PassedUp,
};

// Where a key-down in the viewer goes.
struct TKeyRoute {
    bool ToViewer = true;         // the viewer's widget handles it; else it is kept from the widget
    std::vector<TKeyPost> Posts;  // to post to the host's lister window, in order (Posted only)
};

// The key policy. Posted: Esc (Tab down, Esc up in the quick-view panel),
// 1 to 8, N, P, W (on the key's low 8 bits), F5 and F7 without modifiers;
// Shift+F5 and Shift+F7 (Ctrl or Alt may be held too) with Shift around
// them; every other key is the viewer's. PassedUp: the arrows, Page Up,
// Page Down, Home and End (with any modifiers) are the viewer's, every
// other key the host's. key: a virtual-key code (kKey...), 0 for a key
// that has none.
TKeyRoute RouteKey(uint16_t key, TShiftState shift, THostKeys host, bool quickView);

// The zoom after a Ctrl+wheel turn of wheelDelta (120 a notch: 10 percent),
// never below 1 percent.
int32_t NextZoom(int32_t percent, int wheelDelta);

}  // namespace pagelet
