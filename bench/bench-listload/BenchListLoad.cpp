// ListLoad of one document against the floor: a bare RICHEDIT20W control
// given the same text by WM_SETTEXT. Each run is timed from the call to the
// end of the painting that follows (the message queue pumped empty); the
// medians and their ratio are printed. Figures, not a pass/fail test.
//
//   bench-listload.exe PLUGIN.wlx DOCUMENT [RUNS]

#include <windows.h>
#include <richedit.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "plugin/ListerApi.h"

namespace lister = pagelet::lister;

namespace {

double Now() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) / static_cast<double>(frequency.QuadPart);
}

void PumpUntilIdle() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

HWND MakeLister() {
    HWND wnd = CreateWindowExW(0, L"BenchLister", L"Lister", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 800, 600, nullptr,
                               nullptr, GetModuleHandleW(nullptr), nullptr);
    UpdateWindow(wnd);
    PumpUntilIdle();
    return wnd;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: bench-listload PLUGIN.wlx DOCUMENT [RUNS]\n");
        return 2;
    }
    int runs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 5;
    HMODULE plugin = LoadLibraryA(argv[1]);
    if (!plugin) {
        std::fprintf(stderr, "cannot load %s (error %lu)\n", argv[1], GetLastError());
        return 1;
    }
    auto listLoad = reinterpret_cast<lister::TListLoad>(reinterpret_cast<void*>(GetProcAddress(plugin, "ListLoad")));
    auto listClose =
        reinterpret_cast<lister::TListCloseWindow>(reinterpret_cast<void*>(GetProcAddress(plugin, "ListCloseWindow")));
    auto setDefaults = reinterpret_cast<lister::TListSetDefaultParams>(
        reinterpret_cast<void*>(GetProcAddress(plugin, "ListSetDefaultParams")));
    if (!listLoad || !listClose || !setDefaults) {
        std::fprintf(stderr, "%s lacks the lister exports\n", argv[1]);
        return 1;
    }
    // Settings in the temporary folder: no Pagelet.ini there, so the defaults.
    lister::TDefaultParams params{};
    params.Size = sizeof(params);
    params.PluginInterfaceVersionLow = 10;
    params.PluginInterfaceVersionHi = 2;
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    std::snprintf(params.DefaultIniName, sizeof(params.DefaultIniName), "%sbench-listload\\lsplugin.ini", temp);
    setDefaults(&params);

    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = L"BenchLister";
    RegisterClassW(&wc);
    LoadLibraryW(L"RICHED20.DLL");

    HWND lister = MakeLister();
    std::vector<double> loadTimes, floorTimes;
    std::wstring text;
    for (int run = 0; run <= runs; ++run) {  // run 0 warms up and is not counted
        double start = Now();
        HWND viewer = listLoad(lister, argv[2], 0);
        PumpUntilIdle();
        double loaded = Now() - start;
        if (!viewer) {
            std::fprintf(stderr, "ListLoad failed for %s\n", argv[2]);
            return 1;
        }
        if (run == 0) {
            HWND control = FindWindowExW(viewer, nullptr, L"RICHEDIT20W", nullptr);
            text.resize(static_cast<size_t>(SendMessageW(control, WM_GETTEXTLENGTH, 0, 0)) + 1);
            text.resize(static_cast<size_t>(
                SendMessageW(control, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()))));
        } else {
            loadTimes.push_back(loaded);
        }
        listClose(viewer);
        PumpUntilIdle();

        RECT client;
        GetClientRect(lister, &client);
        start = Now();
        HWND bare =
            CreateWindowExW(0, L"RICHEDIT20W", L"",
                            WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE | ES_AUTOVSCROLL |
                                ES_AUTOHSCROLL | ES_READONLY | ES_NOHIDESEL,
                            0, 0, client.right, client.bottom, lister, nullptr, GetModuleHandleW(nullptr), nullptr);
        SendMessageW(bare, EM_EXLIMITTEXT, 0, 0x7FFFFFFE);
        SendMessageW(bare, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
        PumpUntilIdle();
        double floor = Now() - start;
        if (run > 0) floorTimes.push_back(floor);
        DestroyWindow(bare);
        PumpUntilIdle();
    }
    double load = Median(loadTimes), floor = Median(floorTimes);
    std::printf("document: %s (%zu characters shown)\n", argv[2], text.size());
    std::printf("runs: %d (median)\n", runs);
    std::printf("ListLoad:                       %8.1f ms\n", load * 1000);
    std::printf("floor (RICHEDIT20W, WM_SETTEXT): %8.1f ms\n", floor * 1000);
    std::printf("ratio:                          %8.2f\n", load / floor);
    DestroyWindow(lister);
    return 0;
}
