// The host's windows around one plug-in viewer: a top-level lister window
// (or, for quick view, a lister window inside a panel of a main window), its
// menu, find and go-to dialogs, the log of keys handed back, and the batch
// steps (print, screenshot, keys) of a run without anyone at the screen.
#pragma once

#include <windows.h>
#include <commdlg.h>

#include <string>

#include "HostOptions.h"
#include "ListerPlugin.h"

namespace pagelet {

class TListerHost {
public:
    TListerHost(const THostOptions& options, TListerPlugin& plugin);
    TListerHost(const TListerHost&) = delete;
    TListerHost& operator=(const TListerHost&) = delete;
    ~TListerHost();

    // Sets the plug-in up, loads the file into a lister window and runs the
    // message loop until the window closes. Returns the exit status.
    int Run();

private:
    class TPluginCall;

    template <LRESULT (TListerHost::*Handler)(HWND, UINT, WPARAM, LPARAM)>
    static LRESULT CALLBACK BoundWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static INT_PTR CALLBACK PercentDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
    static void CALLBACK BoxWatchTimerProc(HWND, UINT, UINT_PTR, DWORD);
    static BOOL CALLBACK DismissBoxProc(HWND window, LPARAM lParam);

    LRESULT MainMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT PanelMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT ListerMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    bool RegisterClasses();
    bool CreateWindows(const std::wstring& fullPath);
    void SetDefaultParams();
    void LogDetectString();
    void PrintViewerText();
    void StartBatch();
    void BatchStep();
    void NextScriptStep();
    void RunCommand(const THostCommand& command);
    void TypeKey(const TKeyStroke& key);
    void LogSelection();
    void StartSearch(const std::wstring& text, bool backwards, bool matchCase, bool wholeWords);
    void OnListerKey(UINT message, WPARAM key);
    void OnCommand(WORD id);
    void OnFindMessage(const FINDREPLACEW& find);
    void OpenFindDialog();
    void Search(const std::wstring& text, int flags);
    void GoToPercent();
    void ToggleWrap();
    void SendCommand(int command, int parameter);
    void Close(const wchar_t* reason);
    bool Busy() const;
    HWND FindRichEdit() const;

    const THostOptions& fOptions;
    TListerPlugin& fPlugin;
    HINSTANCE fInstance;
    HWND fMainWin = nullptr;    // the top-level window: the lister itself, or the quick-view main window
    HWND fPanelWin = nullptr;   // quick view only
    HWND fListerWin = nullptr;  // the window handed to ListLoad
    HWND fViewerWin = nullptr;  // what ListLoad returned, until ListCloseWindow
    HACCEL fAccelerators = nullptr;
    HWND fFindDialog = nullptr;
    UINT fFindMessage = 0;
    FINDREPLACEW fFind{};
    wchar_t fFindBuffer[512] = {};
    std::wstring fLastSearch;
    int fLastSearchFlags = 0;
    int fPercent = 50;
    bool fWrap = false;
    bool fClosing = false;
    int fExitCode = 0;
    UINT_PTR fBoxWatchTimer = 0;
    HWND fLastBox = nullptr;  // the message box last dismissed
    int fDismissedBoxes = 0;
    size_t fNextStep = 0;  // of fOptions.commands, then fOptions.keys
    int fPluginCalls = 0;  // calls into the plug-in under way
    std::wstring fPendingClose;

    static TListerHost* sBoxWatcher;
};

// Runs the lister host for the parsed command line; returns the exit status.
int RunListerHost(const THostOptions& options);

}  // namespace pagelet
