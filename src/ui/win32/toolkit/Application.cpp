#include "ui/win32/toolkit/Application.h"

#include <algorithm>

#include "common/Error.h"
#include "common/Win32Text.h"

namespace pagelet {

TApplication::~TApplication() {
    // Released newest first; a component's destructor may remove others.
    while (!components_.empty()) {
        TComponent* component = components_.back();
        components_.pop_back();
        delete component;
    }
}

void TApplication::SetExceptionHook(TComponent* hookOwner, TExceptionEvent hook) {
    hook_ = std::move(hook);
    hookOwner_ = hook_ ? hookOwner : nullptr;
}

bool TApplication::ClearExceptionHook(const TComponent* hookOwner) {
    if (hookOwner_ == nullptr || hookOwner_ != hookOwner) return false;
    hook_ = nullptr;
    hookOwner_ = nullptr;
    return true;
}

void TApplication::InsertComponent(TComponent* component) {
    if (component && !OwnsComponent(component)) components_.push_back(component);
}

void TApplication::RemoveComponent(const TComponent* component) {
    components_.erase(std::remove(components_.begin(), components_.end(), component), components_.end());
}

bool TApplication::OwnsComponent(const TComponent* component) const {
    return std::find(components_.begin(), components_.end(), component) != components_.end();
}

void TApplication::HandleException(TComponent* sender, const std::exception& e) noexcept {
    try {
        if (hook_) {
            // A copy: the hook may replace itself while it runs.
            TExceptionEvent hook = hook_;
            hook(sender, e);
        } else {
            ShowError(Handle, u"Exception:\r" + ExceptionMessage(e));
        }
    } catch (...) {
        // Nothing more can be reported.
    }
}

void TApplication::HandleUnknownException(TComponent* sender) noexcept {
    try {
        HandleException(sender, EPagelet(u"Unknown exception"));
    } catch (...) {}
}

TApplication& Application() {
    static TApplication application;
    return application;
}

HINSTANCE ModuleInstance() {
    static HINSTANCE instance = [] {
        HMODULE module = nullptr;
        GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           reinterpret_cast<LPCWSTR>(&ModuleInstance), &module);
        return static_cast<HINSTANCE>(module);
    }();
    return instance;
}

void ShowError(HWND owner, const std::u16string& text) {
    MessageBoxW(owner, WStr(text), kMessageCaption, MB_ICONERROR);
}

}  // namespace pagelet
