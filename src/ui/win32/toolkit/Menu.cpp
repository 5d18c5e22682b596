#include "ui/win32/toolkit/Menu.h"

#include "common/Error.h"

namespace pagelet {

TShortCut ShortCut(uint16_t key, TShiftState shift) {
    TShortCut result = key & 0xFF;
    if (shift & ssShift) result |= 0x2000;
    if (shift & ssCtrl) result |= 0x4000;
    if (shift & ssAlt) result |= 0x8000;
    return result;
}

TPopupMenu::TPopupMenu(UINT resourceId) : menu_(LoadMenuW(ModuleInstance(), MAKEINTRESOURCEW(resourceId))) {
    if (!menu_) throw EPagelet(u"Cannot load the context menu", static_cast<int32_t>(GetLastError()));
}

HMENU TPopupMenu::Handle() const { return GetSubMenu(menu_.Get(), 0); }

void TPopupMenu::Popup(HWND owner, POINT pt) {
    UINT command = static_cast<UINT>(
        TrackPopupMenu(Handle(), TPM_LEFTALIGN | TPM_RIGHTBUTTON | TPM_RETURNCMD, pt.x, pt.y, 0, owner, nullptr));
    if (command != 0) Click(command);
}

bool TPopupMenu::IsShortCut(uint16_t key, TShiftState shift) {
    TShortCut wanted = ShortCut(key, shift);
    for (TMenuItem* item : items_) {
        if (item->Shortcut != 0 && item->Shortcut == wanted) {
            if (item->OnClick) item->OnClick();
            return true;
        }
    }
    return false;
}

bool TPopupMenu::Click(UINT command) {
    for (TMenuItem* item : items_) {
        if (item->Command == command) {
            if (item->OnClick) item->OnClick();
            return true;
        }
    }
    return false;
}

}  // namespace pagelet
