// Command line of the lister host.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

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
struct THostCommand {
    enum class TKind { Copy, SelectAll, Wrap, Find, FindNext, FindPrevious, Percent };
    TKind Kind = TKind::Copy;
    std::wstring Text;  // Find: what to look for
    int Percent = 0;    // Percent
    bool MatchCase = false;
    bool WholeWords = false;
    bool Backwards = false;
    std::wstring Name;  // as written on the command line, for the log
};

struct THostOptions {
    bool Help = false;
    bool Wrap = false;
    bool QuickView = false;
    bool PrintText = false;
    bool CloseAfterLoad = false;
    bool Ansi = false;            // the 8-bit exports even where the UTF-16 ones exist
    bool Dark = false;            // display flag 128: the host's dark mode
    std::wstring IniPath;         // empty: lister-host.ini beside the program
    std::wstring PluginPath;      // empty: the plug-in beside the program
    std::wstring ScreenshotPath;  // empty: no screenshot
    std::wstring NextFileName;    // empty: no second document
    std::wstring ThumbnailPath;   // empty: no thumbnail
    SIZE ThumbnailSize{0, 0};
    std::vector<THostCommand> Commands;
    std::vector<TKeyStroke> Keys;
    std::wstring FileName;

    // Batch mode: nobody sits at the screen. The host closes the lister by
    // itself and dismisses the plug-in's message boxes after logging them.
    bool Batch() const {
        return CloseAfterLoad || !ScreenshotPath.empty() || !Commands.empty() || !Keys.empty() || !NextFileName.empty();
    }
};

// Fills options from the arguments (without the program name). On a usage
// error returns false and says why in error.
bool ParseHostOptions(const std::vector<std::wstring>& args, THostOptions& options, std::wstring& error);

// "copy", "select-all", "wrap", "find-next", "find-prev", "percent=N" or
// "find[/FLAGS]=TEXT" with FLAGS of c (match case), w (whole words) and
// b (backwards).
bool ParseHostCommand(const std::wstring& text, THostCommand& command, std::wstring& error);

// "Esc", "F5", "Shift+F7", "Ctrl+A", "W", "0x4E"... separated by commas.
bool ParseKeyList(const std::wstring& text, std::vector<TKeyStroke>& keys, std::wstring& error);

const wchar_t* HostUsage();

}  // namespace pagelet
