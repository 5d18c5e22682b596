#include "plugin/ViewerOpen.h"

#include <optional>

#include "common/Error.h"
#include "viewer/ViewerCore.h"

namespace pagelet {

lister::TWindow OpenViewer(TViewerWindows& windows, lister::TWindow parentWin, const std::u16string& fileToView,
                           int displayFlags) {
    std::optional<TLoadedDocument> document = OpenDocument(fileToView, windows.LoadSettings());
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

}  // namespace pagelet
