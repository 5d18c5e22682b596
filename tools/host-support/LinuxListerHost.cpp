#include "LinuxListerHost.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <thread>

#include "ListerLibrary.h"

namespace pagelet {

namespace {

// Double Commander's record: the INI name in a 32,000-byte field.
struct TLongDefaultParams {
    int32_t Size;
    uint32_t PluginInterfaceVersionLow;
    uint32_t PluginInterfaceVersionHi;
    char DefaultIniName[lister::kMaxIniNameField];
};
static_assert(sizeof(TLongDefaultParams) == 32012, "the size Double Commander gives");
static_assert(offsetof(TLongDefaultParams, DefaultIniName) == offsetof(lister::TDefaultParams, DefaultIniName));

}  // namespace

double HostNow() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

void HostOut(const std::string& line) {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void HostErr(const char* program, const std::string& line) {
    const std::string text = std::string(program) + ": " + line + "\n";
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
}

void PrintBlock(const std::string& name, const std::string& text) {
    HostOut("----- " + name + " -----");
    std::fwrite(text.data(), 1, text.size(), stdout);
    HostOut("");
    HostOut("----- end of " + name + " -----");
}

std::string ProgramDirectory() {
    char path[4096];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) return "./";
    const std::string exe(path, static_cast<size_t>(length));
    return exe.substr(0, exe.rfind('/') + 1);
}

std::string FullPath(const std::string& path) {
    if (!path.empty() && path[0] == '/') return path;
    char cwd[4096];
    if (!getcwd(cwd, sizeof cwd)) return path;
    return std::string(cwd) + "/" + path;
}

long PeakMemoryKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.compare(0, 6, "VmHWM:") == 0) return std::atol(line.c_str() + 6);
    }
    return -1;
}

bool THostPlugin::Load(const std::string& path, std::string& error) {
    // Never closed: Double Commander keeps a plug-in loaded while it runs.
    if (!OpenListerLibrary(path, *this, error)) return false;
    if (!ListLoad && !ListLoadW) {
        error = "the plug-in " + path + " has neither ListLoad nor ListLoadW";
        return false;
    }
    return true;
}

int PrepareHostRun(const char* program, const TGtkHostOptions& options, THostPlugin& plugin) {
    if (options.BareTextPath.empty()) {
        const std::string path =
            options.PluginPath.empty() ? ProgramDirectory() + "pagelet.wlx" : FullPath(options.PluginPath);
        std::string error;
        if (!plugin.Load(path, error)) {
            HostErr(program, error);
            return 2;
        }
    }
    if (options.Batch()) {
        // Whatever blocks the main loop (a plug-in that never returns), a
        // batch run ends: shortly after the deadline that the waits keep.
        const double limit = options.TimeoutSeconds + 5;
        std::thread([limit, program] {
            std::this_thread::sleep_for(std::chrono::duration<double>(limit));
            HostErr(program, "timed out");
            _exit(kHostExitTimedOut);
        }).detach();
    }
    return -1;
}

void TLinuxListerHost::SetDefaultParams() {
    if (!plugin_->ListSetDefaultParams) return;
    const std::string ini = options_.IniPath.empty() ? ProgramDirectory() + "wlx.ini" : FullPath(options_.IniPath);
    auto params = std::make_unique<TLongDefaultParams>();
    std::memset(params.get(), 0, sizeof *params);
    params->Size = sizeof *params;
    params->PluginInterfaceVersionLow = 0;
    params->PluginInterfaceVersionHi = 2;
    std::strncpy(params->DefaultIniName, ini.c_str(), sizeof params->DefaultIniName - 1);
    plugin_->ListSetDefaultParams(reinterpret_cast<lister::TDefaultParams*>(params.get()));
    HostOut("default settings file: " + ini);
}

void TLinuxListerHost::LogDetectString() {
    if (!plugin_->ListGetDetectString) return;
    char buffer[2048] = {};
    plugin_->ListGetDetectString(buffer, sizeof buffer - 1);
    buffer[sizeof buffer - 1] = '\0';
    HostOut(std::string("detect string: ") + buffer);
}

int TLinuxListerHost::DisplayFlags() const {
    return (wrap_ ? lister::kDisplayWrapText : 0) | (options_.Dark ? lister::kDisplayDarkMode : 0);
}

lister::TWindow TLinuxListerHost::LoadFile(lister::TWindow parent, const std::string& fullPath) {
    if (plugin_->ListLoadW && !options_.Ansi) {
        std::u16string path;
        if (!ToUtf16(fullPath, path)) {
            Err("the path is not UTF-8: " + fullPath);
            return nullptr;
        }
        return plugin_->ListLoadW(parent, path.data(), DisplayFlags());
    }
    if (!plugin_->ListLoad) {
        Err("the plug-in has no ListLoad for --ansi");
        return nullptr;
    }
    std::string path = fullPath;
    return plugin_->ListLoad(parent, path.data(), DisplayFlags());
}

int TLinuxListerHost::LoadNext(lister::TWindow parent, const std::string& fullPath) {
    int result = lister::kListerError;
    if (plugin_->ListLoadNextW && !options_.Ansi) {
        std::u16string path;
        if (ToUtf16(fullPath, path)) result = plugin_->ListLoadNextW(parent, Viewer(), path.data(), DisplayFlags());
    } else if (plugin_->ListLoadNext) {
        std::string path = fullPath;
        result = plugin_->ListLoadNext(parent, Viewer(), path.data(), DisplayFlags());
    }
    return result;
}

bool TLinuxListerHost::LoadNextFile(const std::string& fullPath) {
    const int result = LoadNext(ParentWin(), fullPath);
    if (result == lister::kListerOk && Viewer()) {
        HostOut("next: " + fullPath + ": shown in the same viewer");
        NextShownInViewer();
        return WaitLoaded(false);
    }
    // As a file manager does: the viewer goes, the file is loaded anew.
    HostOut("next: " + fullPath + ": refused, loading it anew");
    CloseViewer();
    const lister::TWindow viewer = LoadFile(ParentWin(), fullPath);
    if (!viewer) {
        Err("the plug-in did not open " + fullPath);
        return false;
    }
    AttachViewer(viewer);
    HostOut("loaded: " + fullPath);
    return WaitLoaded(false);
}

bool TLinuxListerHost::WaitLoaded(bool first) {
    if (first && options_.NoWait) return true;
    if (!WaitFor([this] { return !Pending(); }, "the whole text")) return false;
    if (figures_.WholeText < 0) figures_.WholeText = HostNow() - figures_.Start;
    return Settle();
}

int TLinuxListerHost::RunDocument() {
    SetDefaultParams();
    LogDetectString();
    const std::string fullPath = FullPath(options_.FileName);
    if (options_.Figures) {
        figures_.LastTick = HostNow();
        StartTicks();
    }
    figures_.Start = HostNow();
    const lister::TWindow viewer = LoadFile(ParentWin(), fullPath);
    figures_.ListLoadReturn = HostNow() - figures_.Start;
    if (!viewer) {
        Err("the plug-in did not open " + fullPath);
        Settle();
        LogLeftOpen();
        return 1;
    }
    AttachViewer(viewer);
    HostOut("loaded: " + fullPath);
    if (!WaitLoaded(true)) return kHostExitTimedOut;
    if (options_.Figures && !options_.NoWait) {
        if (!WaitFor([this] { return figures_.FirstDraw >= 0 || !HasTextView(); }, "the first draw"))
            return kHostExitTimedOut;
        figures_.Settled = HostNow() - figures_.Start;
    }
    StopTicks();
    LogViewer();
    if (options_.PrintText) PrintViewerText();
    if (!options_.NextFileName.empty()) {
        if (!LoadNextFile(FullPath(options_.NextFileName))) {
            CloseViewer();
            return exitCode_ ? exitCode_ : 1;
        }
        LogViewer();
        if (options_.PrintText) PrintViewerText();
    }
    if (!options_.ScreenshotPath.empty()) TakeScreenshot();
    for (const TGtkHostCommand& command : options_.Commands) {
        if (!Viewer()) break;
        RunCommand(command);
    }
    RunKeys();
    if (options_.Figures) PrintFigures();
    if (!options_.Batch()) RunMainLoop();
    HostOut("closing");
    CloseViewer();
    if (options_.Figures) HostOut("close_ms " + std::to_string(figures_.Close * 1000));
    Settle();
    LogLeftOpen();
    return exitCode_;
}

int TLinuxListerHost::RunBare() {
    std::ifstream file(options_.BareTextPath, std::ios::binary);
    if (!file) {
        Err("cannot read " + options_.BareTextPath);
        return 2;
    }
    const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (!MakeBareView(text)) return 2;
    Settle();

    figures_.Start = HostNow();
    figures_.LastTick = figures_.Start;
    StartTicks();
    SetBareText(text);
    figures_.ListLoadReturn = HostNow() - figures_.Start;
    // The stall that counts for the baseline is the call itself.
    figures_.LongestStall = figures_.ListLoadReturn;
    figures_.WholeText = figures_.ListLoadReturn;
    if (!WaitFor([this] { return figures_.FirstDraw >= 0; }, "the first draw") || !Settle())
        return kHostExitTimedOut;
    figures_.Settled = HostNow() - figures_.Start;
    StopTicks();
    if (options_.PrintText) PrintViewerText();
    PrintFigures();
    return 0;
}

void TLinuxListerHost::SendCommand(int command, int parameter) {
    if (!Viewer() || !plugin_->ListSendCommand) return;
    const int result = plugin_->ListSendCommand(Viewer(), command, parameter);
    HostOut("command " + std::to_string(command) + " (" + std::to_string(parameter) +
            "): " + (result == lister::kListerOk ? "done" : "failed"));
}

void TLinuxListerHost::Search(const std::string& text, int flags) {
    if (!Viewer() || !plugin_->ListSearchTextW) return;
    std::u16string searched;
    if (!ToUtf16(text, searched)) return;
    const int result = plugin_->ListSearchTextW(Viewer(), searched.data(), flags);
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%X", static_cast<unsigned>(flags));
    HostOut("search \"" + text + "\" flags " + hex + ": " + (result == lister::kListerOk ? "done" : "not found"));
}

void TLinuxListerHost::RunCommand(const TGtkHostCommand& command) {
    using TKind = TGtkHostCommand::TKind;
    HostOut("running " + command.Name);
    switch (command.Kind) {
    case TKind::Copy:
        SendCommand(lister::kCommandCopy, 0);
        PrintClipboard();
        break;
    case TKind::SelectAll:
        SendCommand(lister::kCommandSelectAll, 0);
        break;
    case TKind::Wrap:
        wrap_ = !wrap_;
        SendCommand(lister::kCommandNewParams, DisplayFlags());
        break;
    case TKind::Percent:
        SendCommand(lister::kCommandSetPercent, command.Percent);
        break;
    case TKind::Find: {
        const int flags = (command.Backwards ? lister::kSearchBackwards : 0) |
                          (command.MatchCase ? lister::kSearchMatchCase : 0) |
                          (command.WholeWords ? lister::kSearchWholeWords : 0);
        // Double Commander's find box looks for a new text from the start.
        lastSearch_ = command.Text;
        lastSearchFlags_ = flags;
        Search(command.Text, flags | lister::kSearchFromStart);
        break;
    }
    case TKind::FindNext:
    case TKind::FindPrevious:
        if (lastSearch_.empty()) {
            HostOut("no search to repeat");
            break;
        }
        // F3 and Shift+F3: the last search from the selection, Shift+F3 backwards.
        Search(lastSearch_, (lastSearchFlags_ & ~lister::kSearchBackwards) |
                                (command.Kind == TKind::FindPrevious ? lister::kSearchBackwards : 0));
        break;
    }
    // Let the viewer's updates show; with --no-wait the next step comes at
    // once, while the viewer is still loading.
    if (!options_.NoWait) Settle();
    if (command.Kind == TKind::Wrap || command.Kind == TKind::Percent) LogViewer();
    LogSelection();
}

void TLinuxListerHost::TickFigures() {
    THostFigures& f = figures_;
    const double now = HostNow();
    if (f.FirstDraw >= 0 && f.Settled < 0) f.LongestStall = std::max(f.LongestStall, now - f.LastTick);
    f.LastTick = now;
    if (f.ListLoadReturn >= 0 && f.WholeText < 0 && !Pending()) f.WholeText = now - f.Start;
}

void TLinuxListerHost::PrintFigures() {
    auto ms = [](double seconds) { return seconds < 0 ? std::string("-") : std::to_string(seconds * 1000); };
    HostOut("listload_return_ms " + ms(figures_.ListLoadReturn));
    HostOut("first_draw_ms " + ms(figures_.FirstDraw));
    HostOut("longest_stall_ms " + ms(figures_.LongestStall));
    HostOut("whole_text_ms " + ms(figures_.WholeText));
    HostOut("settled_ms " + ms(figures_.Settled));
    HostOut("peak_memory_kb " + std::to_string(PeakMemoryKiB()));
    const long shown = CharactersShown();
    if (shown >= 0) HostOut("characters_shown " + std::to_string(shown));
}

}  // namespace pagelet
