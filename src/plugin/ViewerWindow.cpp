#include "plugin/ViewerWindow.h"

#include <map>
#include <memory>
#include <optional>

#include "common/Error.h"
#include "loading/DocumentText.h"
#include "loading/Loaders.h"
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

HWND CreateViewerWindow(HWND parentWin, const std::u16string& fileToView, int32_t displayFlags) {
    TLoadSettings settings = ReadLoadSettings(SettingsFilePath());
    std::optional<TLoadedDocument> document = OpenDocument(fileToView, settings);
    if (!document) {
        ShowError(parentWin, u"Error opening document:\r" + fileToView);
        return nullptr;
    }

    TApplication& app = Application();
    HWND previousOwner = app.Handle;
    TComponent* previousHookOwner = app.ExceptionHookOwner();
    TExceptionEvent previousHook = app.ExceptionHook();
    std::unique_ptr<TFormMain> form;
    TViewerWindowLink* link = nullptr;
    try {
        form = TFormMain::CreateParented(parentWin, fileToView);
        form->Core->SetDisplayFlags(displayFlags);
        form->Document = std::move(*document);
        form->Show();
        // The first screen is painted as soon as the host's loop runs: paint
        // comes before the load's next step.
        app.Handle = parentWin;
        TFormMain* hookForm = form.get();
        app.SetExceptionHook(
            hookForm, [hookForm](TComponent* sender, const std::exception& e) { hookForm->AppException(sender, e); });
        app.InsertComponent(hookForm);

        HWND window = form->Handle();
        link = new TViewerWindowLink;
        link->Form = hookForm;
        LiveLinks[window] = link;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(link));
        link->OldWindowProc = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ViewerWindowProc)));
        if (!form->QuickView) PostMessageW(window, WM_SETFOCUS, 0, 0);
        form.release();
        return window;
    } catch (const std::exception& e) {
        // Undo what was done, newest first, so that nothing refers to the form.
        if (form) {
            HWND window = form->Handle();
            if (link) {
                if (link->OldWindowProc)
                    SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(link->OldWindowProc));
                Unlink(window, link);
            }
            app.RemoveComponent(form.get());
            if (app.ExceptionHookOwner() == form.get()) app.SetExceptionHook(previousHookOwner, previousHook);
            app.Handle = previousOwner;
            form.reset();
        }
        ShowError(parentWin, u"Exception:\r" + ExceptionMessage(e));
        return nullptr;
    }
}

bool LoadNextDocument(HWND parentWin, HWND listWin, const std::u16string& fileToView, int32_t displayFlags) {
    (void)parentWin;  // the viewer stays in the lister window it was made in
    TViewerWindowLink* link = FindViewerWindowLink(listWin);
    if (!link || !link->Form || !link->Form->Viewer) return false;
    TLoadSettings settings = ReadLoadSettings(SettingsFilePath());
    std::optional<TLoadedDocument> document;
    try {
        document = OpenDocument(fileToView, settings);
    } catch (...) {
        // The host loads the file again through ListLoad, which reports the error.
    }
    if (!document) {
        ClearDocumentText();
        return false;
    }
    TFormMain& form = *link->Form;
    form.Core->LoadNext(std::move(document->Text), std::move(document->Rest), displayFlags);
    return true;
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
