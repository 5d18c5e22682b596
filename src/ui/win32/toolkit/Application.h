#pragma once

// The process-wide application object: the owner window of the library's own
// top-level windows and dialogs, the exception hook for exceptions that leave
// an event handler, and the components it owns until the library unloads.

#include <windows.h>

#include <exception>
#include <functional>
#include <string>
#include <vector>

namespace pagelet {

// Anything the application object or a form can own.
class TComponent {
public:
    virtual ~TComponent() = default;
};

// sender: the component whose handler failed (may be null).
using TExceptionEvent = std::function<void(TComponent* sender, const std::exception& e)>;

class TApplication {
public:
    TApplication() = default;
    ~TApplication();
    TApplication(const TApplication&) = delete;
    TApplication& operator=(const TApplication&) = delete;

    // Owner window of the library's top-level windows and dialogs; 0 for none.
    HWND Handle = nullptr;

    // The hook gets every exception that leaves an event handler; hookOwner
    // names the component the hook belongs to, so that it can be cleared
    // when that component goes.
    void SetExceptionHook(TComponent* hookOwner, TExceptionEvent hook);
    // Clears the hook when it belongs to hookOwner; answers whether it did.
    bool ClearExceptionHook(const TComponent* hookOwner);
    TComponent* ExceptionHookOwner() const { return hookOwner_; }
    const TExceptionEvent& ExceptionHook() const { return hook_; }

    void InsertComponent(TComponent* component);
    void RemoveComponent(const TComponent* component);
    bool OwnsComponent(const TComponent* component) const;

    // Hands an exception to the hook, or shows "Exception:\r<message>" when
    // there is none. Never throws.
    void HandleException(TComponent* sender, const std::exception& e) noexcept;

    // Runs an event handler; whatever it throws goes to HandleException.
    template <typename F>
    void Guard(TComponent* sender, F&& handler) noexcept {
        try {
            handler();
        } catch (const std::exception& e) {
            HandleException(sender, e);
        } catch (...) {
            HandleUnknownException(sender);
        }
    }

private:
    void HandleUnknownException(TComponent* sender) noexcept;

    TExceptionEvent hook_;
    TComponent* hookOwner_ = nullptr;
    std::vector<TComponent*> components_;
};

// The one application object; lives as long as the library.
TApplication& Application();

// The library's own module handle (for window classes and resources).
HINSTANCE ModuleInstance();

// The caption of every message box the library shows.
inline constexpr wchar_t kMessageCaption[] = L"Pagelet - document reader";

// A modal error box owned by owner, with that caption and the error icon.
void ShowError(HWND owner, const std::u16string& text);

}  // namespace pagelet
