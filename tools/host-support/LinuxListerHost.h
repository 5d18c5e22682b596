// What the Linux lister hosts (GTK 2 and Qt 5) share beside their toolkit:
// the log, the paths, the plug-in and its settings record, the figures of the
// benchmark, and the calls and commands that go to the plug-in's viewer as
// Double Commander makes them. Each host adds its window, its main loop and
// what it reads back from the viewer's widgets.
#pragma once

#include <functional>
#include <string>

#include "GtkHostOptions.h"
#include "plugin/ListerApi.h"

namespace pagelet {

// Exit statuses besides 0, 1 and 2.
constexpr int kHostExitTimedOut = 3;
constexpr int kHostExitNoDisplay = 77;
// A plug-in that answers every dismissed dialog with a new one would keep a
// batch run going for ever.
constexpr int kMaxDismissedDialogs = 20;
// The ticks that find the main loop's stalls.
constexpr int kHostTickMs = 10;

// Seconds of a steady clock.
double HostNow();
// A line of the log on standard output.
void HostOut(const std::string& line);
// "PROGRAM: line" on standard error.
void HostErr(const char* program, const std::string& line);
// A block of text between two marker lines; one LF always ends the text
// before the closing marker, so that the block gives the text exactly.
void PrintBlock(const std::string& name, const std::string& text);
// The folder of the running program, with its closing slash.
std::string ProgramDirectory();
// path made absolute against the working folder.
std::string FullPath(const std::string& path);
// The peak resident memory of the process (VmHWM), in KiB; -1 when unknown.
long PeakMemoryKiB();

// The plug-in as Double Commander opens it: dlopen, every export by name, a
// missing one left null.
class THostPlugin : public lister::TListerExports {
public:
    bool Load(const std::string& path, std::string& error);
};

// What both hosts do before their window: the plug-in loaded (unless the run
// is the bare baseline), and for a batch run the watchdog that ends it
// whatever blocks the main loop. -1 to go on, else the exit status.
int PrepareHostRun(const char* program, const TGtkHostOptions& options, THostPlugin& plugin);

// The figures of a load, in seconds from the ListLoad call; negative: not yet.
struct THostFigures {
    double Start = 0;
    double ListLoadReturn = -1;
    double FirstDraw = -1;
    double WholeText = -1;
    double Settled = -1;
    double LastTick = 0;
    double LongestStall = 0;
    double Close = -1;  // how long ListCloseWindow took
};

// The toolkit-neutral part of a host: the plug-in's calls and the batch
// script's commands. The toolkit's host derives from it.
class TLinuxListerHost {
public:
    TLinuxListerHost(const char* program, const TGtkHostOptions& options, THostPlugin* plugin)
        : program_(program),
          options_(options),
          plugin_(plugin),
          wrap_(options.Wrap),
          deadline_(HostNow() + options.TimeoutSeconds) {}
    virtual ~TLinuxListerHost() = default;
    TLinuxListerHost(const TLinuxListerHost&) = delete;
    TLinuxListerHost& operator=(const TLinuxListerHost&) = delete;

protected:
    // The toolkit's part.
    virtual lister::TWindow Viewer() const = 0;  // what ListLoad answered; null once gone
    virtual bool Pending() const = 0;            // text still on its way to the view
    virtual bool Settle() = 0;
    virtual void LogViewer() = 0;
    virtual void LogSelection() = 0;
    virtual void PrintClipboard() = 0;
    virtual bool ToUtf16(const std::string& text, std::u16string& result) const = 0;
    virtual long CharactersShown() const = 0;  // -1: no text view
    virtual bool HasTextView() const = 0;      // the text widget the host reads back found
    virtual lister::TWindow ParentWin() const = 0;
    // Runs the main loop until done() holds; false (and logged) at the run's deadline.
    virtual bool WaitFor(const std::function<bool()>& done, const char* what) = 0;
    virtual void StartTicks() = 0;  // TickFigures every kHostTickMs
    virtual void StopTicks() = 0;
    virtual void AttachViewer(lister::TWindow viewer) = 0;
    virtual void NextShownInViewer() {}  // the viewer took the next file
    virtual void PrintViewerText() = 0;
    virtual void TakeScreenshot() = 0;
    virtual void RunKeys() {}  // after the commands
    virtual void RunMainLoop() = 0;
    virtual void CloseViewer() = 0;
    virtual void LogLeftOpen() = 0;
    // The baseline's bare text view, made as the viewer makes its own; false
    // (and logged) when the text does not suit it.
    virtual bool MakeBareView(const std::string& text) = 0;
    // The whole text into the bare view in one call, the cursor at its start.
    virtual void SetBareText(const std::string& text) = 0;

    // The run once the window is up: FILE loaded, logged and printed, the next
    // file, the screenshot, the commands, the figures, and the close.
    int RunDocument();
    // The run of --bare: the baseline's figures for TEXT.txt.
    int RunBare();

    void Err(const std::string& line) const { HostErr(program_, line); }
    void SetDefaultParams();
    void LogDetectString();
    int DisplayFlags() const;
    // ListLoadW with the UTF-16 path where the plug-in has it, else ListLoad
    // with the UTF-8 path, as Double Commander chooses.
    lister::TWindow LoadFile(lister::TWindow parent, const std::string& fullPath);
    // ListLoadNextW or ListLoadNext into the shown viewer; the plug-in's answer.
    int LoadNext(lister::TWindow parent, const std::string& fullPath);
    // The next file as Double Commander shows it: in the same viewer, else
    // in a new one.
    bool LoadNextFile(const std::string& fullPath);
    // first: the load of FILE, which --no-wait does not wait for.
    bool WaitLoaded(bool first);
    void SendCommand(int command, int parameter);
    void Search(const std::string& text, int flags);
    void RunCommand(const TGtkHostCommand& command);
    // One tick of the figures' clock.
    void TickFigures();
    void PrintFigures();

    const char* program_;
    const TGtkHostOptions& options_;
    THostPlugin* plugin_;
    bool wrap_;
    int exitCode_ = 0;
    int dismissedDialogs_ = 0;
    double deadline_;  // of the whole run
    std::string lastSearch_;
    int lastSearchFlags_ = 0;
    THostFigures figures_;
};

}  // namespace pagelet
