// ListGetPreviewBitmapW of documents: the median time of a thumbnail of the
// given size, beside the floor of reading the whole file once. Figures, not
// a pass/fail test.
//
//   bench-thumbnail.exe PLUGIN.wlx WIDTH HEIGHT RUNS DOCUMENT...

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "BenchClock.h"
#include "common/Handles.h"
#include "ListerLibrary.h"
#include "plugin/ListerApi.h"

namespace {

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Reads the whole file; its size, or -1.
long long ReadWhole(const std::wstring& path) {
    const pagelet::TKernelHandle file(
        CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file) return -1;
    std::vector<char> buffer(1 << 20);
    long long total = 0;
    DWORD got = 0;
    while (ReadFile(file.Get(), buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr) && got > 0) total += got;
    return total;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 6) {
        std::fprintf(stderr, "usage: bench-thumbnail PLUGIN WIDTH HEIGHT RUNS DOCUMENT...\n");
        return 2;
    }
    pagelet::lister::TListerExports plugin;
    std::string error;
    pagelet::OpenListerLibrary(argv[1], plugin, error);
    const auto preview = plugin.ListGetPreviewBitmapW;
    if (!preview) {
        std::fprintf(stderr, "bench-thumbnail: cannot load the plug-in or its ListGetPreviewBitmapW\n");
        return 2;
    }
    const int width = _wtoi(argv[2]), height = _wtoi(argv[3]), runs = std::max(1, _wtoi(argv[4]));
    std::printf("| document | size | thumbnail %dx%d | floor: read the file |\n|---|---:|---:|---:|\n", width, height);
    for (int i = 5; i < argc; ++i) {
        std::wstring path = argv[i];
        std::vector<double> thumbnail, floor;
        long long size = 0;
        bool made = true;
        for (int run = 0; run < runs; ++run) {
            double start = Now();
            size = ReadWhole(path);
            floor.push_back(Now() - start);
            start = Now();
            const pagelet::TGdiObject bitmap(preview(path.data(), width, height, nullptr, 0));
            thumbnail.push_back(Now() - start);
            made = made && bitmap;
        }
        const std::wstring name = path.substr(path.find_last_of(L"\\/") + 1);
        std::printf("| %ls | %.1f MB | %.0f ms%s | %.0f ms |\n", name.c_str(), static_cast<double>(size) / 1e6,
                    Median(thumbnail) * 1000, made ? "" : " (no bitmap)", Median(floor) * 1000);
    }
    return 0;
}
