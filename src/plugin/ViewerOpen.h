#pragma once

// Opening a document into a viewer, the same for every window system: the
// document is loaded before any window is made, a viewer is made only for a
// document that can be shown, and the next document replaces the text of an
// open viewer only when it can be shown (otherwise the viewer stays exactly
// as it was). A window system makes, shows and finds its viewers
// (TViewerWindows); these routines decide what happens in which order and
// what the user is told.

#include <memory>
#include <string>

#include "loading/Loaders.h"
#include "plugin/ListerApi.h"
#include "settings/Settings.h"

namespace pagelet {

class TViewerCore;

// A viewer while it is made. Released before Keep, it undoes what was done
// for it, newest first, so that nothing refers to it any more.
class TNewViewer {
public:
    virtual ~TNewViewer() = default;
    virtual TViewerCore& Core() = 0;
    // Shows the viewer with the document in it: its first part at once, the
    // rest in steps.
    virtual void Show(TLoadedDocument document) = 0;
    // Links the viewer to the host's window for good; answers the window
    // handed to the host.
    virtual lister::TWindow Keep() = 0;
};

class TViewerWindows {
public:
    virtual ~TViewerWindows() = default;
    // The settings of one load, read afresh for every document.
    virtual TLoadSettings LoadSettings() = 0;
    // True when a document that cannot be shown opens a viewer with the
    // reason as its text (CannotShowReason) instead of an error box.
    virtual bool ReasonInViewer() const { return false; }
    // A modal error box owned by owner.
    virtual void ShowError(lister::TWindow owner, const std::u16string& message) = 0;
    // Makes a viewer in parentWin for fileToView; throws when it cannot.
    virtual std::unique_ptr<TNewViewer> MakeViewer(lister::TWindow parentWin, const std::u16string& fileToView) = 0;
    // The core of the viewer that window is; null for any other window.
    virtual TViewerCore* FindViewer(lister::TWindow window) = 0;
    // Tells the user that the host's search for text found nothing in the
    // viewer listWin (the host ignores the answer); by default nothing is said.
    virtual void SayNotFound(lister::TWindow /*listWin*/, TViewerCore& /*core*/, const std::u16string& /*text*/) {}
};

// ListLoad: the viewer window for fileToView in parentWin, or null. A
// document that cannot be shown gets "Error opening document:" with its
// path; a failure while the viewer is made is undone and shown as
// "Exception:" with its message. The converter's errors pass to the caller.
// Why fileToView cannot be shown, as a viewer shows it: "This file cannot be
// shown: " and "encrypted with a password.", "damaged: " with error (the
// converter's message; empty: the document gave no text) or "not a Word
// document".
std::u16string CannotShowReason(const std::u16string& fileToView, const std::u16string& error);

// ListLoad: the viewer window for fileToView in parentWin, or null. Where the
// window system shows the reason in the viewer (ReasonInViewer), a document
// that cannot be shown, or whose converter fails, opens a viewer with
// CannotShowReason as its text; otherwise:
lister::TWindow OpenViewer(TViewerWindows& windows, lister::TWindow parentWin, const std::u16string& fileToView,
                           int displayFlags);

// ListLoadNext: true when fileToView is shown in the viewer listWin (the
// dark scheme following displayFlags). False, with the viewer as it was and
// nothing shown to the user, when listWin is no viewer or the document
// cannot be shown: the host then loads it through ListLoad, which tells why.
bool LoadNextIntoViewer(TViewerWindows& windows, lister::TWindow listWin, const std::u16string& fileToView,
                        int displayFlags);

// ListSendCommand: kListerOk when the viewer listWin ran command;
// kListerError for a window that is no viewer or a command that failed.
int SendCommandToViewer(TViewerWindows& windows, lister::TWindow listWin, int command, int parameter) noexcept;

// ListSearchTextW: kListerOk when a match was selected; kListerError when
// the text does not occur (the selection stays and the window system says
// so: SayNotFound), for a window that is no viewer, a null text or a search
// that could not run.
int SearchInViewer(TViewerWindows& windows, lister::TWindow listWin, const lister::TWideChar* searchString,
                   int searchParameter) noexcept;

}  // namespace pagelet
