// Command line of the Linux lister host.
#pragma once

#include <string>
#include <vector>

namespace pagelet {

// One host command of --command, as Double Commander's viewer gives it.
struct TGtkHostCommand {
    enum class TKind { Copy, SelectAll, Wrap, Find, FindNext, FindPrevious, Percent };
    TKind Kind = TKind::Copy;
    std::string Text;  // Find: what to look for (UTF-8)
    int Percent = 0;   // Percent
    bool MatchCase = false;
    bool WholeWords = false;
    bool Backwards = false;
    std::string Name;  // as written on the command line, for the log
};

struct TGtkHostOptions {
    bool Help = false;
    bool Wrap = false;
    bool PrintText = false;
    bool CloseAfterLoad = false;
    bool Ansi = false;     // ListLoad (UTF-8 path) even where ListLoadW exists
    bool Dark = false;     // display flag 128
    bool Figures = false;  // print the load's timings and memory for the benchmark
    bool NoWait = false;   // the steps after a load while the viewer is still loading
    int Width = 800;
    int Height = 600;
    double TimeoutSeconds = 120;  // the whole run; a batch run that takes longer ends with status 3
    std::string IniPath;          // empty: wlx.ini beside the program
    std::string PluginPath;       // empty: pagelet.wlx beside the program
    std::string ScreenshotPath;   // empty: no screenshot
    std::string NextFileName;     // empty: no second document
    std::string BareTextPath;     // the baseline: this UTF-8 text in a bare GtkTextView, no plug-in
    std::vector<TGtkHostCommand> Commands;
    std::string FileName;

    // Batch mode: nobody sits at the screen. The host closes the viewer by
    // itself and dismisses the plug-in's dialogs after logging them.
    bool Batch() const {
        return CloseAfterLoad || PrintText || Figures || !ScreenshotPath.empty() || !Commands.empty() ||
               !NextFileName.empty() || !BareTextPath.empty();
    }
};

// Fills options from the arguments (without the program name). On a usage
// error returns false and says why in error.
bool ParseGtkHostOptions(const std::vector<std::string>& args, TGtkHostOptions& options, std::string& error);

// "copy", "select-all", "wrap", "find-next", "find-prev", "percent=N" or
// "find[/FLAGS]=TEXT" with FLAGS of c (match case), w (whole words) and
// b (backwards).
bool ParseGtkHostCommand(const std::string& text, TGtkHostCommand& command, std::string& error);

const char* GtkHostUsage();

}  // namespace pagelet
