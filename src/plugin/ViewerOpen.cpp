#include "plugin/ViewerOpen.h"

#include <optional>

#include "common/Error.h"
#include "converter/WordFib.h"
#include "viewer/ViewerCore.h"

namespace pagelet {

std::u16string CannotShowReason(const std::u16string& fileToView, const std::u16string& error) {
    const std::u16string lead = u"This file cannot be shown: ";
    TWordFibFlags flags;
    std::u16string fibError;
    try {
        flags = ReadWordFibFlags(fileToView);
    } catch (const std::exception& e) {
        fibError = ExceptionMessage(e);
    }
    if (flags.Encrypted) return lead + u"encrypted with a password.";
    if (!error.empty()) return lead + u"damaged: " + error;
    if (!fibError.empty()) return lead + u"damaged: " + fibError;
    if (flags.Kind == TWordFibKind::NotWord || !IsWordFileName(fileToView)) return lead + u"not a Word document";
    return lead + u"damaged: no text";
}

namespace {

// The document, or the reason it cannot be shown as one.
TLoadedDocument DocumentOrReason(TViewerWindows& windows, const std::u16string& fileToView) {
    std::optional<TLoadedDocument> document;
    std::u16string error;
    try {
        document = OpenDocument(fileToView, windows.LoadSettings());
    } catch (const std::exception& e) {
        error = ExceptionMessage(e);
        if (error.empty()) error = u"unknown error";
    }
    if (document) return std::move(*document);
    TLoadedDocument reason;
    reason.Text = CannotShowReason(fileToView, error) + u"\r\n";
    return reason;
}

}  // namespace

lister::TWindow OpenViewer(TViewerWindows& windows, lister::TWindow parentWin, const std::u16string& fileToView,
                           int displayFlags) {
    std::optional<TLoadedDocument> document;
    if (windows.ReasonInViewer())
        document = DocumentOrReason(windows, fileToView);
    else
        document = OpenDocument(fileToView, windows.LoadSettings());
    if (!document) {
        windows.ShowError(parentWin, u"Error opening document:\r" + fileToView);
        return nullptr;
    }
    try {
        std::unique_ptr<TNewViewer> viewer = windows.MakeViewer(parentWin, fileToView);
        viewer->Core().SetDisplayFlags(displayFlags);
        viewer->Show(std::move(*document));
        return viewer->Keep();
    } catch (const std::exception& e) {
        // The viewer is undone by now: the box refers to nothing of it.
        windows.ShowError(parentWin, u"Exception:\r" + ExceptionMessage(e));
        return nullptr;
    }
}

bool LoadNextIntoViewer(TViewerWindows& windows, lister::TWindow listWin, const std::u16string& fileToView,
                        int displayFlags) {
    TViewerCore* core = windows.FindViewer(listWin);
    if (!core) return false;
    std::optional<TLoadedDocument> document;
    try {
        document = OpenDocument(fileToView, windows.LoadSettings());
    } catch (...) {
        // The host loads the file again through ListLoad, which reports the error.
    }
    if (!document) return false;
    core->LoadNext(std::move(document->Text), std::move(document->Rest), displayFlags);
    return true;
}

int SendCommandToViewer(TViewerWindows& windows, lister::TWindow listWin, int command, int parameter) noexcept {
    try {
        TViewerCore* core = windows.FindViewer(listWin);
        if (!core) return lister::kListerError;
        core->HostCommand(command, parameter);
        return lister::kListerOk;
    } catch (...) {
        return lister::kListerError;
    }
}

int SearchInViewer(TViewerWindows& windows, lister::TWindow listWin, const lister::TWideChar* searchString,
                   int searchParameter) noexcept {
    try {
        TViewerCore* core = windows.FindViewer(listWin);
        if (!core || !searchString) return lister::kListerError;
        const std::u16string text(reinterpret_cast<const char16_t*>(searchString));
        if (core->HostSearch(text, searchParameter)) return lister::kListerOk;
        windows.SayNotFound(listWin, *core, text);
        return lister::kListerError;
    } catch (...) {
        return lister::kListerError;
    }
}

}  // namespace pagelet
