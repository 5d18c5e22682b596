#include "GtkHostOptions.h"

#include <cstdlib>

namespace pagelet {

namespace {

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

bool AllDigits(const std::string& text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

}  // namespace

bool ParseGtkHostOptions(const std::vector<std::string>& args, TGtkHostOptions& options, std::string& error) {
    options = TGtkHostOptions{};
    const THostOwnOptions<char> own = [&](const std::string& arg, const auto& value) {
        std::string text;
        if (arg == "--close-after-load") {
            options.CloseAfterLoad = true;
        } else if (arg == "--figures") {
            options.Figures = true;
        } else if (arg == "--no-wait") {
            options.NoWait = true;
        } else if (arg == "--bare") {
            if (!value(options.BareTextPath)) return THostArgument::Failed;
        } else if (arg == "--size") {
            if (!value(text)) return THostArgument::Failed;
            const size_t x = text.find_first_of("xX");
            const std::string w = text.substr(0, x);
            const std::string h = x == std::string::npos ? std::string() : text.substr(x + 1);
            if (!AllDigits(w) || !AllDigits(h) || w.size() > 5 || h.size() > 5 || std::atoi(w.c_str()) < 50 ||
                std::atoi(h.c_str()) < 50 || std::atoi(w.c_str()) > 10000 || std::atoi(h.c_str()) > 10000) {
                error = "--size needs WIDTHxHEIGHT, each 50 to 10000: " + text;
                return THostArgument::Failed;
            }
            options.Width = std::atoi(w.c_str());
            options.Height = std::atoi(h.c_str());
        } else if (arg == "--palette") {
            if (!value(options.Palette)) return THostArgument::Failed;
        } else if (arg == "--key") {
            if (!value(text)) return THostArgument::Failed;
            options.Keys.push_back(text);
        } else if (arg == "--timeout") {
            if (!value(text)) return THostArgument::Failed;
            char* end = nullptr;
            options.TimeoutSeconds = std::strtod(text.c_str(), &end);
            if (!end || *end || !(options.TimeoutSeconds > 0) || options.TimeoutSeconds > 86400) {
                error = "--timeout needs a number of seconds: " + text;
                return THostArgument::Failed;
            }
        } else {
            return THostArgument::NotMine;
        }
        return THostArgument::Taken;
    };
    if (!ParseHostArguments(args, options, own, error)) return false;
    if (!options.ScreenshotPath.empty() && !EndsWith(options.ScreenshotPath, ".png") &&
        !EndsWith(options.ScreenshotPath, ".PNG")) {
        error = "the screenshot must be a .png file: " + options.ScreenshotPath;
        return false;
    }
    if (options.Help) return true;
    if (options.FileName.empty() && options.BareTextPath.empty()) {
        error = "no file given";
        return false;
    }
    return true;
}

const char* GtkHostUsage() {
    return R"(Usage: lister-host-gtk [OPTIONS] FILE
       lister-host-gtk --bare TEXT.txt [--figures] [--size WxH] [--wrap]

Loads the GTK 2 lister plug-in (pagelet.wlx beside the program) the way
Double Commander's GTK build does (dlopen, every export by name, a GtkLayout
as the parent window) and shows FILE in it.

Options:
  --wrap               ask the plug-in to wrap lines (display flags bit 0)
  --dark               the host is in dark mode (display flags bit 7)
  --ini PATH           INI name handed to ListSetDefaultParams
                       (default: wlx.ini beside the program)
  --plugin PATH        load this plug-in instead of the one beside the program
  --ansi               ListLoad with the UTF-8 path even where the plug-in
                       has ListLoadW
  --print-text         once the viewer holds the whole text, print the text
                       of its GtkTextView (CR LF as LF)
  --screenshot FILE    save the window as FILE (.png) once the text is shown
  --next FILE          then show FILE in the same viewer (ListLoadNextW);
                       where the plug-in refuses, close the viewer and load
                       FILE anew
  --command CMD        then give a host command; may be repeated: copy (the
                       clipboard is read back and printed), select-all, wrap,
                       percent=N, find=TEXT, find/FLAGS=TEXT (c match case,
                       w whole words, b backwards), find-next, find-prev
  --close              close once the document is shown (also
                       --close-after-load)
  --no-wait            take the steps above as soon as ListLoad returns,
                       while the viewer may still be loading FILE, and each
                       command right after the last (--print-text prints what
                       the view holds so far); the load of --next FILE is
                       still waited for
  --figures            print the load's timings and peak memory, one
                       "name value" line each (for bench/bench-listload-gtk),
                       and the time ListCloseWindow took (close_ms); with
                       --no-wait only the time ListLoad took and close_ms
  --bare TEXT.txt      no plug-in: give the UTF-8 text file to a bare
                       GtkTextView in one gtk_text_buffer_set_text (the
                       benchmark's baseline)
  --size WxH           the window's size (default 800x600)
  --timeout SECONDS    a batch run ends with status 3 after this long
                       (default 120)
  --help               show this text

With --print-text, --screenshot, --next, --command, --close, --figures or
--bare nobody is expected at the screen: the plug-in's dialogs are logged
("message box "CAPTION": TEXT") and dismissed, and the host closes by itself.
Otherwise Esc or closing the window ends the program.

Exit status: 0 the document was shown, 1 the plug-in did not show it (or a
step failed), 2 wrong arguments or the plug-in could not be loaded, 3 timed
out, 77 no display.
)";
}

}  // namespace pagelet
