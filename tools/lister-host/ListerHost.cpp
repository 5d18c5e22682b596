// The host's life cycle and its calls into the plug-in: settings path,
// detect string, ListLoad, the message loop, commands, and the close.
#include "ListerHost.h"

#include <ole2.h>

#include <cstring>
#include <thread>

#include "HostOutput.h"
#include "HostResource.h"
#include "HostText.h"
#include "WindowImage.h"
#include "common/Handles.h"

namespace pagelet {

namespace {

BOOL CALLBACK FindRichEditProc(HWND window, LPARAM lParam) {
    if (!IsRichEdit(window)) return TRUE;
    *reinterpret_cast<HWND*>(lParam) = window;
    return FALSE;
}

}  // namespace

TListerHost* TListerHost::sBoxWatcher = nullptr;

TListerHost::TListerHost(const THostOptions& options, TListerPlugin& plugin)
    : fOptions(options), fPlugin(plugin), fInstance(GetModuleHandleW(nullptr)) {}

TListerHost::~TListerHost() {
    if (fBoxWatchTimer) KillTimer(nullptr, fBoxWatchTimer);
    if (sBoxWatcher == this) sBoxWatcher = nullptr;
    if (fViewerWin && fPlugin.ListCloseWindow) fPlugin.ListCloseWindow(fViewerWin);
    if (fMainWin) DestroyWindow(fMainWin);
}

void TListerHost::SetDefaultParams() {
    if (!fPlugin.ListSetDefaultParams) return;
    const std::wstring ini =
        fOptions.IniPath.empty() ? ProgramDirectory() + L"lister-host.ini" : FullPath(fOptions.IniPath);
    lister::TDefaultParams params{};
    params.Size = sizeof params;
    params.PluginInterfaceVersionLow = 0;
    params.PluginInterfaceVersionHi = 2;
    const std::string ansi = AnsiPath(ini);
    std::strncpy(params.DefaultIniName, ansi.c_str(), MAX_PATH - 1);
    fPlugin.ListSetDefaultParams(&params);
    WriteOutLine(L"default settings file: " + ini);
}

void TListerHost::LogDetectString() {
    if (!fPlugin.ListGetDetectString) return;
    char buffer[2048] = {};
    fPlugin.ListGetDetectString(buffer, sizeof buffer);
    buffer[sizeof buffer - 1] = '\0';
    WriteOutLine(L"detect string: " + FromAnsi(buffer));
}

int TListerHost::Run() {
    if (!RegisterClasses()) {
        WriteErrLine(L"lister-host: cannot register the window classes");
        return 2;
    }
    fFindMessage = RegisterWindowMessageW(FINDMSGSTRINGW);
    fWrap = fOptions.Wrap;
    const std::wstring fullPath = FullPath(fOptions.FileName);

    SetDefaultParams();
    LogDetectString();
    if (!fOptions.ThumbnailPath.empty()) return MakeThumbnail(fullPath);
    if (!CreateWindows(fullPath)) return 2;
    fAccelerators = LoadAcceleratorsW(fInstance, MAKEINTRESOURCEW(IDA_LISTER));
    if (fOptions.Batch()) {
        // A thread timer fires inside any message loop of this thread, the
        // modal loop of a message box too.
        sBoxWatcher = this;
        fBoxWatchTimer = SetTimer(nullptr, 0, kBoxWatchMs, &BoxWatchTimerProc);
    }

    fViewerWin = LoadFile(fullPath);
    if (!fViewerWin) {
        WriteErrLine(L"lister-host: the plug-in did not open " + fullPath);
        fClosing = true;
        DestroyWindow(fMainWin);
        return 1;
    }
    RECT client{};
    GetClientRect(fListerWin, &client);
    MoveWindow(fViewerWin, 0, 0, client.right, client.bottom, TRUE);
    WriteOutLine(L"loaded: " + fullPath);

    if (fOptions.PrintText) PrintViewerText();
    if (!fOptions.NextFileName.empty()) {
        if (!LoadNextFile(FullPath(fOptions.NextFileName))) {
            fExitCode = 1;
            fClosing = true;
            DestroyWindow(fMainWin);
            return 1;
        }
        if (fOptions.PrintText) PrintViewerText();
    }
    if (fOptions.Batch()) SetTimer(fMainWin, kBatchTimer, kBatchDelayMs, nullptr);

    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (fFindDialog && IsDialogMessageW(fFindDialog, &msg)) continue;
        if (fMainWin && fAccelerators && TranslateAcceleratorW(fMainWin, fAccelerators, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return fExitCode;
}

int TListerHost::DisplayFlags() const {
    return (fWrap ? lister::kDisplayWrapText : 0) | (fOptions.Dark ? lister::kDisplayDarkMode : 0);
}

HWND TListerHost::LoadFile(const std::wstring& fullPath) {
    TPluginCall call(*this);
    if (fPlugin.ListLoadW && !fOptions.Ansi) {
        std::wstring path = fullPath;
        return fPlugin.ListLoadW(fListerWin, path.data(), DisplayFlags());
    }
    std::string ansiPath = AnsiPath(fullPath);
    return fPlugin.ListLoad(fListerWin, ansiPath.data(), DisplayFlags());
}

bool TListerHost::LoadNextFile(const std::wstring& fullPath) {
    const bool wide = fPlugin.ListLoadNextW && !fOptions.Ansi;
    int result = lister::kListerError;
    if (wide || fPlugin.ListLoadNext) {
        TPluginCall call(*this);
        std::wstring path = fullPath;
        std::string ansiPath = AnsiPath(fullPath);
        result = wide ? fPlugin.ListLoadNextW(fListerWin, fViewerWin, path.data(), DisplayFlags())
                      : fPlugin.ListLoadNext(fListerWin, fViewerWin, ansiPath.data(), DisplayFlags());
    }
    if (result == lister::kListerOk) {
        WriteOutLine(L"next: " + fullPath + L": shown in the same viewer");
        return true;
    }
    // As a file manager does: the viewer goes, the file is loaded anew.
    WriteOutLine(L"next: " + fullPath + L": refused, loading it anew");
    if (fPlugin.ListCloseWindow) {
        TPluginCall call(*this);
        fPlugin.ListCloseWindow(fViewerWin);
    }
    fViewerWin = LoadFile(fullPath);
    if (!fViewerWin) {
        WriteErrLine(L"lister-host: the plug-in did not open " + fullPath);
        return false;
    }
    RECT client{};
    GetClientRect(fListerWin, &client);
    MoveWindow(fViewerWin, 0, 0, client.right, client.bottom, TRUE);
    WriteOutLine(L"loaded: " + fullPath);
    return true;
}

int TListerHost::MakeThumbnail(const std::wstring& fullPath) {
    if (!fPlugin.ListGetPreviewBitmapW && !fPlugin.ListGetPreviewBitmap) {
        WriteErrLine(L"lister-host: the plug-in makes no thumbnails");
        return 1;
    }
    const SIZE box = fOptions.ThumbnailSize;
    HBITMAP bitmap = nullptr;
    // A file manager asks for thumbnails from its worker threads.
    std::thread worker([&] {
        std::wstring path = fullPath;
        std::string ansiPath = AnsiPath(fullPath);
        bitmap = fPlugin.ListGetPreviewBitmapW && !fOptions.Ansi
                     ? fPlugin.ListGetPreviewBitmapW(path.data(), box.cx, box.cy, nullptr, 0)
                     : fPlugin.ListGetPreviewBitmap(ansiPath.data(), box.cx, box.cy, nullptr, 0);
    });
    worker.join();
    if (!bitmap) {
        WriteErrLine(L"lister-host: no thumbnail of " + fullPath);
        return 1;
    }
    SIZE size{};
    std::wstring error;
    const std::wstring out = FullPath(fOptions.ThumbnailPath);
    const TGdiObject owned(bitmap);
    const bool saved = SaveBitmapImage(bitmap, out, size, error);
    if (!saved) {
        WriteErrLine(L"lister-host: " + error);
        return 1;
    }
    WriteOutLine(L"thumbnail: " + std::to_wstring(size.cx) + L"x" + std::to_wstring(size.cy) + L" in " +
                 std::to_wstring(box.cx) + L"x" + std::to_wstring(box.cy) + L": " + out);
    return 0;
}

HWND TListerHost::FindRichEdit() const {
    if (!fViewerWin) return nullptr;
    if (IsRichEdit(fViewerWin)) return fViewerWin;
    HWND found = nullptr;
    EnumChildWindows(fViewerWin, &FindRichEditProc, reinterpret_cast<LPARAM>(&found));
    return found;
}

void TListerHost::SendCommand(int command, int parameter) {
    if (!fViewerWin || !fPlugin.ListSendCommand) return;
    int result;
    {
        TPluginCall call(*this);
        result = fPlugin.ListSendCommand(fViewerWin, command, parameter);
    }
    WriteOutLine(L"command " + std::to_wstring(command) + L" (" + std::to_wstring(parameter) + L"): " +
                 (result == 0 ? L"done" : L"failed"));
}

void TListerHost::ToggleWrap() {
    fWrap = !fWrap;
    SendCommand(lister::kCommandNewParams, DisplayFlags());
}

bool TListerHost::Busy() const { return fPluginCalls > 0 || (fMainWin && !IsWindowEnabled(fMainWin)); }

void TListerHost::Close(const wchar_t* reason) {
    if (fClosing) return;
    if (Busy()) {
        // Inside a call of the plug-in, or under a modal window: close once it is over.
        fPendingClose = reason;
        SetTimer(fMainWin, kCloseRetryTimer, kCloseRetryMs, nullptr);
        return;
    }
    fClosing = true;
    WriteOutLine(std::wstring(L"closing: ") + reason);
    if (fFindDialog) {
        DestroyWindow(fFindDialog);
        fFindDialog = nullptr;
    }
    if (fViewerWin) {
        const HWND viewer = fViewerWin;
        fViewerWin = nullptr;
        // Without ListCloseWindow, destroying the lister window below tears the viewer down.
        if (fPlugin.ListCloseWindow) fPlugin.ListCloseWindow(viewer);
    }
    if (fMainWin) DestroyWindow(fMainWin);
}

int RunListerHost(const THostOptions& options) {
    const HRESULT ole = OleInitialize(nullptr);
    int exitCode = 2;
    {
        TListerPlugin plugin;
        const std::wstring pluginPath =
            options.PluginPath.empty() ? ProgramDirectory() + PluginFileName() : FullPath(options.PluginPath);
        std::wstring error;
        if (!plugin.Load(pluginPath, error)) {
            WriteErrLine(L"lister-host: " + error);
        } else {
            TListerHost host(options, plugin);
            exitCode = host.Run();
        }
    }
    if (SUCCEEDED(ole)) OleUninitialize();
    return exitCode;
}

}  // namespace pagelet
