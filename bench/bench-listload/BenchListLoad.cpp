// ListLoad of one document as the host sees it, against a bare RICHEDIT20W
// given the whole text by one WM_SETTEXT. Figures, not a pass/fail test.
//
//   bench-listload.exe viewer PLUGIN.wlx DOCUMENT [RUNS]
//   bench-listload.exe close PLUGIN.wlx DOCUMENT [RUNS]
//   bench-listload.exe bare DOCUMENT [RUNS]
//   bench-listload.exe shape marks|bel COUNT OUT.doc
//
// viewer: from the call of ListLoad, the time until the control shows text
// with nothing left to paint (first paint), until its text stops growing
// (whole text: the last change before 2 s without one) and the longest gap
// between ticks of a 10 ms timer on the host's thread after the first paint
// (the longest the host was blocked), and how long ListCloseWindow took
// then. close: the viewer closed as soon as ListLoad returns, while the
// document may still be loading: ListLoad's time and the close's. bare:
// the converter's text given to a bare control in one WM_SETTEXT, timed
// until it is painted; the thread is blocked all that time. Medians of RUNS runs, each line "name value".
// shape: writes a document whose text is COUNT paragraph marks, or COUNT
// BEL characters (0x07: one endless line), the control's hardest shapes.

#include <windows.h>
#include <richedit.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "support/DocBuilder.h"
#include "loading/Loaders.h"
#include "BenchClock.h"
#include "ListerLibrary.h"
#include "plugin/ListerApi.h"

namespace lister = pagelet::lister;

namespace {

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
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = L"BenchLister";
    RegisterClassW(&wc);
    LoadLibraryW(L"RICHED20.DLL");
    HWND wnd = CreateWindowExW(0, L"BenchLister", L"Lister", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 800, 600, nullptr,
                               nullptr, GetModuleHandleW(nullptr), nullptr);
    UpdateWindow(wnd);
    PumpUntilIdle();
    return wnd;
}

// The host's 10 ms timer: the longest gap between its ticks since Arm.
double LastTick = 0;
double LongestGap = 0;
void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
    double now = Now();
    LongestGap = std::max(LongestGap, now - LastTick);
    LastTick = now;
}
void ArmGapMeter() {
    LastTick = Now();
    LongestGap = 0;
}

LONG TextLength(HWND control) {
    GETTEXTLENGTHEX query{GTL_NUMCHARS, 1200};
    return static_cast<LONG>(SendMessageW(control, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&query), 0));
}

bool Painted(HWND control) { return TextLength(control) > 0 && !GetUpdateRect(control, nullptr, FALSE); }

// closeAtOnce: the viewer is closed as soon as ListLoad returns, while the
// document may still be loading; only ListLoad's and ListCloseWindow's times.
int RunViewer(const char* pluginPath, char* document, int runs, bool closeAtOnce) {
    lister::TListerExports plugin;
    std::string error;
    if (!pagelet::OpenListerLibrary(pluginPath, plugin, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    const auto listLoad = plugin.ListLoad;
    const auto listClose = plugin.ListCloseWindow;
    const auto setDefaults = plugin.ListSetDefaultParams;
    if (!listLoad || !listClose || !setDefaults) {
        std::fprintf(stderr, "%s lacks the lister exports\n", pluginPath);
        return 1;
    }
    // Settings in the temporary folder: the defaults, or the reading layout
    // when PAGELET_BENCH_READING is 1.
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    const std::string settingsDir = std::string(temp) + "bench-listload";
    const std::string settingsFile = settingsDir + "\\Pagelet.ini";
    CreateDirectoryA(settingsDir.c_str(), nullptr);
    const char* reading = std::getenv("PAGELET_BENCH_READING");
    if (reading && std::strcmp(reading, "1") == 0)
        WritePrivateProfileStringA("Options", "ReadingLayout", "-1", settingsFile.c_str());
    else
        DeleteFileA(settingsFile.c_str());
    lister::TDefaultParams params{};
    params.Size = sizeof(params);
    params.PluginInterfaceVersionLow = 10;
    params.PluginInterfaceVersionHi = 2;
    std::snprintf(params.DefaultIniName, sizeof(params.DefaultIniName), "%sbench-listload\\lsplugin.ini", temp);
    setDefaults(&params);

    HWND lister = MakeLister();
    SetTimer(nullptr, 0, 10, Tick);
    std::vector<double> firstPaints, wholes, gaps, returns, closes;
    LONG shown = 0;
    for (int run = 0; run < runs; ++run) {
        PumpUntilIdle();
        double start = Now();
        HWND viewer = listLoad(lister, document, 0);
        double returned = Now() - start;
        if (!viewer) {
            std::fprintf(stderr, "ListLoad failed for %s\n", document);
            return 1;
        }
        if (closeAtOnce) {
            const double closeStart = Now();
            listClose(viewer);
            const double closed = Now() - closeStart;
            returns.push_back(returned);
            closes.push_back(closed);
            std::fprintf(stderr, "run %d: return %.1f ms, close %.1f ms\n", run + 1, returned * 1000, closed * 1000);
            PumpUntilIdle();
            continue;
        }
        HWND control = FindWindowExW(viewer, nullptr, L"RICHEDIT20W", nullptr);
        MSG msg;
        while (!Painted(control) && GetMessageW(&msg, nullptr, 0, 0)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        double firstPaint = Now() - start;
        ArmGapMeter();
        LONG length = TextLength(control);
        double lastChange = Now();
        double gapAtLastChange = 0;
        while (Now() - lastChange < 2.0 && GetMessageW(&msg, nullptr, 0, 0)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
            LONG now = TextLength(control);
            if (now != length) {
                length = now;
                lastChange = Now();
                gapAtLastChange = LongestGap;
            }
        }
        returns.push_back(returned);
        firstPaints.push_back(firstPaint);
        wholes.push_back(lastChange - start);
        gaps.push_back(gapAtLastChange);
        shown = length;
        std::fprintf(stderr, "run %d: return %.1f ms, first paint %.1f ms, whole %.1f ms, longest block %.1f ms\n",
                     run + 1, returned * 1000, firstPaint * 1000, (lastChange - start) * 1000, gapAtLastChange * 1000);
        const double closeStart = Now();
        listClose(viewer);
        closes.push_back(Now() - closeStart);
        PumpUntilIdle();
    }
    if (closeAtOnce) {
        std::printf("listload_return_ms %.1f\n", Median(returns) * 1000);
        std::printf("close_ms %.1f\n", Median(closes) * 1000);
        DestroyWindow(lister);
        return 0;
    }
    std::printf("characters_shown %ld\n", static_cast<long>(shown));
    std::printf("listload_return_ms %.1f\n", Median(returns) * 1000);
    std::printf("first_paint_ms %.1f\n", Median(firstPaints) * 1000);
    std::printf("longest_block_ms %.1f\n", Median(gaps) * 1000);
    std::printf("whole_text_ms %.1f\n", Median(wholes) * 1000);
    std::printf("close_ms %.1f\n", Median(closes) * 1000);
    DestroyWindow(lister);
    return 0;
}

int RunBare(const char* document, int runs) {
    std::string name(document);
    std::optional<pagelet::TLoadedDocument> loaded =
        pagelet::OpenDocument(std::u16string(name.begin(), name.end()), pagelet::TLoadSettings{});
    if (!loaded) {
        std::fprintf(stderr, "the converter read no text from %s\n", document);
        return 1;
    }
    std::u16string text = pagelet::ReadWholeText(std::move(*loaded));
    HWND lister = MakeLister();
    std::vector<double> times;
    for (int run = 0; run < runs; ++run) {
        RECT client;
        GetClientRect(lister, &client);
        double start = Now();
        HWND bare =
            CreateWindowExW(0, L"RICHEDIT20W", L"",
                            WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE | ES_AUTOVSCROLL |
                                ES_AUTOHSCROLL | ES_READONLY | ES_NOHIDESEL,
                            0, 0, client.right, client.bottom, lister, nullptr, GetModuleHandleW(nullptr), nullptr);
        SendMessageW(bare, EM_EXLIMITTEXT, 0, 0x7FFFFFFE);
        SendMessageW(bare, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
        PumpUntilIdle();
        double took = Now() - start;
        times.push_back(took);
        std::fprintf(stderr, "run %d: %.1f ms\n", run + 1, took * 1000);
        DestroyWindow(bare);
        PumpUntilIdle();
    }
    std::printf("characters %zu\n", text.size());
    std::printf("bare_whole_text_ms %.1f\n", Median(times) * 1000);
    DestroyWindow(lister);
    return 0;
}

int WriteShape(const char* shape, long count, const char* out) {
    char16_t unit = 0;
    if (std::strcmp(shape, "marks") == 0) unit = u'\r';
    if (std::strcmp(shape, "bel") == 0) unit = u'\a';
    if (unit == 0 || count <= 0) {
        std::fprintf(stderr, "unknown shape %s or count %ld\n", shape, count);
        return 2;
    }
    const std::u16string text(static_cast<size_t>(count), unit);
    pagelet::TDocBuilder doc;
    doc.Clx(pagelet::TClxBuilder().Pcdt({0, static_cast<uint32_t>(text.size())}, {{0x800}}));
    doc.DocText16(0x800, text);
    const std::string name(out);
    pagelet::WriteFileBytes(std::u16string(name.begin(), name.end()), doc.Build());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 4 && (std::strcmp(argv[1], "viewer") == 0 || std::strcmp(argv[1], "close") == 0))
        return RunViewer(argv[2], argv[3], argc > 4 ? std::max(1, std::atoi(argv[4])) : 3,
                         std::strcmp(argv[1], "close") == 0);
    if (argc >= 3 && std::strcmp(argv[1], "bare") == 0)
        return RunBare(argv[2], argc > 3 ? std::max(1, std::atoi(argv[3])) : 3);
    if (argc == 5 && std::strcmp(argv[1], "shape") == 0) return WriteShape(argv[2], std::atol(argv[3]), argv[4]);
    std::fprintf(stderr,
                 "usage: bench-listload viewer PLUGIN.wlx DOCUMENT [RUNS]\n"
                 "       bench-listload close PLUGIN.wlx DOCUMENT [RUNS]\n"
                 "       bench-listload bare DOCUMENT [RUNS]\n"
                 "       bench-listload shape marks|bel COUNT OUT.doc\n");
    return 2;
}
