// The command line both lister hosts share: the options every host knows,
// the host commands of --command, and the line ends of printed text. Over
// wide strings for the Windows host, UTF-8 for the Linux one.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace pagelet {

// One host command of --command, as a file manager's viewer menu gives it.
template <typename TChar>
struct TBasicHostCommand {
    using TString = std::basic_string<TChar>;
    enum class TKind { Copy, SelectAll, Wrap, Find, FindNext, FindPrevious, Percent };
    TKind Kind = TKind::Copy;
    TString Text;     // Find: what to look for
    int Percent = 0;  // Percent
    bool MatchCase = false;
    bool WholeWords = false;
    bool Backwards = false;
    TString Name;  // as written on the command line, for the log
};

// "copy", "select-all", "wrap", "find-next", "find-prev", "percent=N" or
// "find[/FLAGS]=TEXT" with FLAGS of c (match case), w (whole words) and
// b (backwards). On an error returns false and says why in error.
template <typename TChar>
bool ParseHostCommand(const std::basic_string<TChar>& text, TBasicHostCommand<TChar>& command,
                      std::basic_string<TChar>& error);

// The options of both hosts; each host's options add their own.
template <typename TChar>
struct TBasicHostOptions {
    using TString = std::basic_string<TChar>;
    bool Help = false;
    bool Wrap = false;            // display flag 1
    bool Dark = false;            // display flag 128: the host's dark mode
    bool PrintText = false;
    bool CloseAfterLoad = false;
    bool Ansi = false;            // the 8-bit ListLoad even where ListLoadW exists
    TString IniPath;              // empty: the host's INI beside the program
    TString PluginPath;           // empty: the plug-in beside the program
    TString ScreenshotPath;       // empty: no screenshot
    TString NextFileName;         // empty: no second document
    std::vector<TBasicHostCommand<TChar>> Commands;
    TString FileName;
};

// What a host's own options make of an argument.
enum class THostArgument { NotMine, Taken, Failed };

// A host's own options: called first for every argument, with a function
// that takes the option's value (false, and error set, when there is none).
template <typename TChar>
using THostOwnOptions = std::function<THostArgument(
    const std::basic_string<TChar>& arg, const std::function<bool(std::basic_string<TChar>&)>& value)>;

// Fills options from the arguments (without the program name): --help (-h),
// --wrap, --dark, --print-text, --close, --ansi, --ini PATH, --plugin PATH,
// --screenshot FILE, --next FILE, --command CMD, one FILE; what own takes
// first. On a usage error returns false and says why in error. Whether
// a file is needed and what the screenshot may be the host checks after.
template <typename TChar>
bool ParseHostArguments(const std::vector<std::basic_string<TChar>>& args, TBasicHostOptions<TChar>& options,
                        const THostOwnOptions<TChar>& own, std::basic_string<TChar>& error);

// A log line's line ends made visible as \r and \n: one line an entry.
template <typename TChar>
std::basic_string<TChar> Escaped(const std::basic_string<TChar>& text);

// The text as printed: CR LF, CR and LF each end a line, as in the
// converter's text, and each becomes one LF; NULs are dropped.
template <typename TChar>
std::basic_string<TChar> WithNewlines(const std::basic_string<TChar>& text);

}  // namespace pagelet
