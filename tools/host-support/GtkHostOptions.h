// Command line of the Linux lister host.
#pragma once

#include <string>
#include <vector>

#include "HostGrammar.h"

namespace pagelet {

// One host command of --command, as Double Commander's viewer gives it
// (texts in UTF-8).
using TGtkHostCommand = TBasicHostCommand<char>;

// Paths in UTF-8; --ansi: ListLoad with the UTF-8 path even where ListLoadW exists.
struct TGtkHostOptions : TBasicHostOptions<char> {
    bool Figures = false;  // print the load's timings and memory for the benchmark
    bool NoWait = false;   // the steps after a load while the viewer is still loading
    int Width = 800;
    int Height = 600;
    double TimeoutSeconds = 120;  // the whole run; a batch run that takes longer ends with status 3
    std::string BareTextPath;     // the baseline: this UTF-8 text in a bare GtkTextView, no plug-in
    std::string Palette;          // Qt host: "BASE,TEXT" (#rrggbb each), the application's palette
    std::vector<std::string> Keys;  // Qt host: keys pressed in the viewer after the commands

    // Batch mode: nobody sits at the screen. The host closes the viewer by
    // itself and dismisses the plug-in's dialogs after logging them.
    bool Batch() const {
        return CloseAfterLoad || PrintText || Figures || !ScreenshotPath.empty() || !Commands.empty() || !Keys.empty() ||
               !NextFileName.empty() || !BareTextPath.empty();
    }
};

// Fills options from the arguments (without the program name). On a usage
// error returns false and says why in error.
bool ParseGtkHostOptions(const std::vector<std::string>& args, TGtkHostOptions& options, std::string& error);

const char* GtkHostUsage();

}  // namespace pagelet
