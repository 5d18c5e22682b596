#pragma once

// A popup menu from a MENU resource: the first submenu of the resource is
// the menu; each item is found by its command id.

#include <windows.h>

#include <cstdint>
#include <functional>
#include <vector>

#include "ui/win32/toolkit/Application.h"
#include "common/Handles.h"
#include "viewer/KeyPolicy.h"

namespace pagelet {

// Modifier keys: TShiftState, ssShift, ssAlt, ssCtrl (viewer/KeyPolicy.h).

// 0x4000 for Ctrl plus the virtual-key code (0x2000 Shift, 0x8000 Alt).
using TShortCut = uint16_t;
TShortCut ShortCut(uint16_t key, TShiftState shift);

class TMenuItem : public TComponent {
public:
    explicit TMenuItem(UINT command, TShortCut shortCut = 0) : Command(command), Shortcut(shortCut) {}
    const UINT Command;
    const TShortCut Shortcut;
    std::function<void()> OnClick;
};

class TPopupMenu : public TComponent {
public:
    // resourceId names a MENU resource of the library.
    explicit TPopupMenu(UINT resourceId);

    void Add(TMenuItem* item) { items_.push_back(item); }
    HMENU Handle() const;
    // Opens the menu at screen point pt for owner and runs the chosen item's OnClick.
    void Popup(HWND owner, POINT pt);
    // Runs the OnClick of the item with this shortcut; answers whether there was one.
    bool IsShortCut(uint16_t key, TShiftState shift);
    // Runs the OnClick of the item with this command id.
    bool Click(UINT command);

private:
    TMenuHandle menu_;
    std::vector<TMenuItem*> items_;
};

}  // namespace pagelet
