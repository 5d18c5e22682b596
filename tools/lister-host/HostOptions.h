// Command line of the lister host.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace pagelet {

// One key of --send-keys: a virtual-key code and the modifiers held with it.
struct TKeyStroke {
    WORD virtualKey = 0;
    bool shift = false;
    bool ctrl = false;
    bool alt = false;
    std::wstring name;  // as written on the command line, for the log
};

// One host command of --command, as the menu gives it.
struct THostCommand {
    enum class TKind { Copy, SelectAll, Wrap, Find, FindNext, FindPrevious, Percent };
    TKind kind = TKind::Copy;
    std::wstring text;  // Find: what to look for
    int percent = 0;    // Percent
    bool matchCase = false;
    bool wholeWords = false;
    bool backwards = false;
    std::wstring name;  // as written on the command line, for the log
};

struct THostOptions {
    bool help = false;
    bool wrap = false;
    bool quickView = false;
    bool printText = false;
    bool closeAfterLoad = false;
    std::wstring iniPath;         // empty: lister-host.ini beside the program
    std::wstring pluginPath;      // empty: the plug-in beside the program
    std::wstring screenshotPath;  // empty: no screenshot
    std::vector<THostCommand> commands;
    std::vector<TKeyStroke> keys;
    std::wstring fileName;

    // Batch mode: nobody sits at the screen. The host closes the lister by
    // itself and dismisses the plug-in's message boxes after logging them.
    bool Batch() const { return closeAfterLoad || !screenshotPath.empty() || !commands.empty() || !keys.empty(); }
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
