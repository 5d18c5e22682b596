// Command line of the lister host.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "HostGrammar.h"

namespace pagelet {

// One key of --send-keys: a virtual-key code and the modifiers held with it.
struct TKeyStroke {
    WORD VirtualKey = 0;
    bool Shift = false;
    bool Ctrl = false;
    bool Alt = false;
    std::wstring Name;  // as written on the command line, for the log
};

// One host command of --command, as the menu gives it.
using THostCommand = TBasicHostCommand<wchar_t>;

struct THostOptions : TBasicHostOptions<wchar_t> {
    bool QuickView = false;
    std::wstring ThumbnailPath;  // empty: no thumbnail
    SIZE ThumbnailSize{0, 0};
    std::vector<TKeyStroke> Keys;

    // Batch mode: nobody sits at the screen. The host closes the lister by
    // itself and dismisses the plug-in's message boxes after logging them.
    bool Batch() const {
        return CloseAfterLoad || !ScreenshotPath.empty() || !Commands.empty() || !Keys.empty() || !NextFileName.empty();
    }
};

// Fills options from the arguments (without the program name). On a usage
// error returns false and says why in error.
bool ParseHostOptions(const std::vector<std::wstring>& args, THostOptions& options, std::wstring& error);

// "Esc", "F5", "Shift+F7", "Ctrl+A", "W", "0x4E"... separated by commas.
bool ParseKeyList(const std::wstring& text, std::vector<TKeyStroke>& keys, std::wstring& error);

const wchar_t* HostUsage();

}  // namespace pagelet
