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
    // Timers of the main window and the host's pace.
    static constexpr UINT_PTR kBatchTimer = 1;
    static constexpr UINT_PTR kStepTimer = 2;
    static constexpr UINT_PTR kSettleTimer = 3;
    static constexpr UINT_PTR kCloseRetryTimer = 4;
    // Time for the viewer to paint before the batch steps start, between two
    // commands or typed keys, and for the keys handed back to arrive before the
    // host closes.
    static constexpr UINT kBatchDelayMs = 500;
    static constexpr UINT kStepDelayMs = 100;
    static constexpr UINT kSettleDelayMs = 1000;
    static constexpr UINT kBoxWatchMs = 250;
    static constexpr UINT kCloseRetryMs = 200;
    // Posted by a forwarded Esc: the key-up that the plug-in posted right after
    // the key-down is still logged before the lister goes.
    static constexpr UINT kCloseOnEscMessage = WM_APP + 1;

    // Counts a call into the plug-in that is under way. A message box or dialog
    // of the plug-in runs a message loop inside such a call, where the host's
    // timers and menu keep firing: the host must not type the next key or tear
    // the viewer down under the plug-in's feet.
    class TPluginCall {
    public:
        explicit TPluginCall(TListerHost& host) : fHost(host) { ++fHost.fPluginCalls; }
        ~TPluginCall() { --fHost.fPluginCalls; }
        TPluginCall(const TPluginCall&) = delete;
        TPluginCall& operator=(const TPluginCall&) = delete;

    private:
        TListerHost& fHost;
    };

    // Life cycle and calls into the plug-in (ListerHost.cpp).
    void SetDefaultParams();
    void LogDetectString();
    HWND FindRichEdit() const;
    int DisplayFlags() const;
    // ListLoadW, or ListLoad where the plug-in lacks it or --ansi asks for it.
    HWND LoadFile(const std::wstring& fullPath);
    // --next: the second document into the open viewer, or anew through ListLoad.
    bool LoadNextFile(const std::wstring& fullPath);
    // --thumbnail: the plug-in's picture made on a worker thread, saved.
    int MakeThumbnail(const std::wstring& fullPath);
    void SendCommand(int command, int parameter);
    void ToggleWrap();
    void Close(const wchar_t* reason);
    bool Busy() const;

    // Window classes, menu and handed-back keys (ListerHostWindows.cpp).
    template <LRESULT (TListerHost::*Handler)(HWND, UINT, WPARAM, LPARAM)>
    static LRESULT CALLBACK BoundWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    bool RegisterClasses();
    bool CreateWindows(const std::wstring& fullPath);
    LRESULT MainMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT PanelMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT ListerMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void OnListerKey(UINT message, WPARAM key);
    void OnCommand(WORD id);

    // The batch script (ListerHostBatch.cpp).
    void PrintViewerText();
    void BatchStep();
    void NextScriptStep();
    void RunCommand(const THostCommand& command);
    void TypeKey(const TKeyStroke& key);
    void LogSelection();
    static void CALLBACK BoxWatchTimerProc(HWND, UINT, UINT_PTR, DWORD);
    static BOOL CALLBACK DismissBoxProc(HWND window, LPARAM lParam);

    // The find and go-to dialogs (ListerHostDialogs.cpp).
    void OpenFindDialog();
    void OnFindMessage(const FINDREPLACEW& find);
    void StartSearch(const std::wstring& text, bool backwards, bool matchCase, bool wholeWords);
    void Search(const std::wstring& text, int flags);
    void GoToPercent();
    static INT_PTR CALLBACK PercentDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

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
    size_t fNextStep = 0;  // of fOptions.Commands, then fOptions.Keys
    int fPluginCalls = 0;  // calls into the plug-in under way
    std::wstring fPendingClose;

    static TListerHost* sBoxWatcher;
};

// Runs the lister host for the parsed command line; returns the exit status.
int RunListerHost(const THostOptions& options);

}  // namespace pagelet
