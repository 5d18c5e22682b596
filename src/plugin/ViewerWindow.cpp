#include "plugin/ViewerWindow.h"

#include <map>
#include <memory>

#include "common/Error.h"
#include "plugin/ViewerOpen.h"
#include "settings/Locations.h"
#include "settings/Settings.h"
#include "ui/win32/FormMain.h"
#include "ui/win32/toolkit/Application.h"

namespace pagelet {

namespace {

// Every live link record by its window. GWLP_USERDATA of a window that is
// not ours may hold anything; a record is trusted only when it is here.
std::map<HWND, TViewerWindowLink*> LiveLinks;

void Unlink(HWND window, TViewerWindowLink* link) {
    LiveLinks.erase(window);
    if (IsWindow(window) && GetWindowLongPtrW(window, GWLP_USERDATA) == reinterpret_cast<LONG_PTR>(link))
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    delete link;
}

}  // namespace

TViewerWindowLink* FindViewerWindowLink(HWND window) {
    if (!window) return nullptr;
    auto found = LiveLinks.find(window);
    if (found == LiveLinks.end()) return nullptr;
    auto* stored = reinterpret_cast<TViewerWindowLink*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    return stored == found->second ? stored : nullptr;
}

namespace {

// A viewer form while it is made. The application object's owner window and
// exception hook follow the newest load: Keep hands them to this form, and
// an undo gives them back to the viewer that had them.
class TNewViewerForm final : public TNewViewer {
public:
    TNewViewerForm(HWND parentWin, const std::u16string& fileToView)
        : parentWin_(parentWin),
          previousOwner_(Application().Handle),
          previousHookOwner_(Application().ExceptionHookOwner()),
          previousHook_(Application().ExceptionHook()),
          form_(TFormMain::CreateParented(parentWin, fileToView)) {}
    TNewViewerForm(const TNewViewerForm&) = delete;
    TNewViewerForm& operator=(const TNewViewerForm&) = delete;
    // Undoes what was done, newest first, so that nothing refers to the form.
    ~TNewViewerForm() override {
        if (!form_) return;
        try {
            TApplication& app = Application();
            HWND window = form_->Handle();
            if (link_) {
                if (link_->OldWindowProc)
                    SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(link_->OldWindowProc));
                Unlink(window, link_);
            }
            app.RemoveComponent(form_.get());
            if (app.ExceptionHookOwner() == form_.get()) app.SetExceptionHook(previousHookOwner_, previousHook_);
            app.Handle = previousOwner_;
        } catch (...) {}
        form_.reset();
    }

    TViewerCore& Core() override { return *form_->Core; }
    void Show(TLoadedDocument document) override {
        form_->Document = std::move(document);
        form_->Show();
        // The first screen is painted as soon as the host's loop runs: paint
        // comes before the load's next step.
    }
    HWND Keep() override {
        TApplication& app = Application();
        app.Handle = parentWin_;
        TFormMain* hookForm = form_.get();
        app.SetExceptionHook(
            hookForm, [hookForm](TComponent* sender, const std::exception& e) { hookForm->AppException(sender, e); });
        app.InsertComponent(hookForm);

        HWND window = form_->Handle();
        link_ = new TViewerWindowLink;
        link_->Form = hookForm;
        LiveLinks[window] = link_;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(link_));
        link_->OldWindowProc = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ViewerWindowProc)));
        if (!form_->QuickView) PostMessageW(window, WM_SETFOCUS, 0, 0);
        form_.release();
        return window;
    }

private:
    HWND parentWin_;
    // What the application object had before this load.
    HWND previousOwner_;
    TComponent* previousHookOwner_;
    TExceptionEvent previousHook_;
    std::unique_ptr<TFormMain> form_;
    TViewerWindowLink* link_ = nullptr;
};

class TWin32ViewerWindows final : public TViewerWindows {
public:
    TLoadSettings LoadSettings() override { return ReadLoadSettings(SettingsFilePath()); }
    void ShowError(HWND owner, const std::u16string& message) override { pagelet::ShowError(owner, message); }
    std::unique_ptr<TNewViewer> MakeViewer(HWND parentWin, const std::u16string& fileToView) override {
        return std::make_unique<TNewViewerForm>(parentWin, fileToView);
    }
    TViewerCore* FindViewer(HWND window) override {
        TViewerWindowLink* link = FindViewerWindowLink(window);
        if (!link || !link->Form || !link->Form->Viewer) return nullptr;
        return link->Form->Core;
    }
};

}  // namespace

TViewerWindows& Win32Viewers() {
    static TWin32ViewerWindows windows;
    return windows;
}

void DestroyViewerWindow(HWND window) {
    TViewerWindowLink* link = FindViewerWindowLink(window);
    if (!link) return;
    TFormMain* form = link->Form;
    try {
        TApplication& app = Application();
        app.RemoveComponent(form);
        app.Handle = nullptr;
        // A hook must never reach a freed form.
        app.ClearExceptionHook(form);
        SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(link->OldWindowProc));
        // Freeing the form destroys its window, unless the form is already
        // being freed (by the application object at unload).
        if (!form->Destroying()) delete form;
    } catch (const std::exception& e) {
        ShowError(window, u"Exception in DestroyWindow:\r" + ExceptionMessage(e));
    }
    Unlink(window, link);
}

LRESULT CALLBACK ViewerWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    try {
        TViewerWindowLink* link = FindViewerWindowLink(window);
        if (!link) return DefWindowProcW(window, message, wParam, lParam);
        if (message == WM_DESTROY) {
            DestroyViewerWindow(window);
            return 0;
        }
        return CallWindowProcW(link->OldWindowProc, window, message, wParam, lParam);
    } catch (...) {
        return 0;
    }
}

}  // namespace pagelet
