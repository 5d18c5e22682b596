// The host's window, its calls into the plug-in and the batch script: the
// text, the next file, the commands and search, the screenshot, the
// plug-in's dialogs caught and logged, and the figures of the benchmark.
#include "GtkListerHost.h"

#include <gdk/gdkkeysyms.h>
#include <gtk/gtk.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <iterator>
#include <string>
#include <thread>

#include "ListerLibrary.h"
#include "plugin/ListerApi.h"

namespace pagelet {

namespace {

// Exit statuses besides 0, 1 and 2.
constexpr int kExitTimedOut = 3;
constexpr int kExitNoDisplay = 77;
// A plug-in that answers every dismissed dialog with a new one would keep a
// batch run going for ever.
constexpr int kMaxDismissedDialogs = 20;
// The ticks that find the main loop's stalls.
constexpr guint kTickMs = 10;

// Double Commander's record: the INI name in a 32,000-byte field.
struct TLongDefaultParams {
    int32_t Size;
    uint32_t PluginInterfaceVersionLow;
    uint32_t PluginInterfaceVersionHi;
    char DefaultIniName[lister::kMaxIniNameField];
};
static_assert(sizeof(TLongDefaultParams) == 32012, "the size Double Commander gives");
static_assert(offsetof(TLongDefaultParams, DefaultIniName) == offsetof(lister::TDefaultParams, DefaultIniName));

double Now() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

void Out(const std::string& line) {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void Err(const std::string& line) {
    const std::string text = "lister-host-gtk: " + line + "\n";
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
}

// A block of text between two marker lines; one LF always ends the text
// before the closing marker, so that the block gives the text exactly.
void PrintBlock(const std::string& name, const std::string& text) {
    Out("----- " + name + " -----");
    std::fwrite(text.data(), 1, text.size(), stdout);
    Out("");
    Out("----- end of " + name + " -----");
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

bool ToUtf16(const std::string& text, std::u16string& result) {
    glong written = 0;
    gunichar2* wide = g_utf8_to_utf16(text.c_str(), static_cast<glong>(text.size()), nullptr, &written, nullptr);
    if (!wide) return false;
    result.assign(reinterpret_cast<const char16_t*>(wide), static_cast<size_t>(written));
    g_free(wide);
    return true;
}

std::string ColorText(const GdkColor& color) {
    char text[16];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", color.red >> 8, color.green >> 8, color.blue >> 8);
    return text;
}

// The peak resident memory of the process (VmHWM), in KiB; -1 when unknown.
long PeakMemoryKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.compare(0, 6, "VmHWM:") == 0) return std::atol(line.c_str() + 6);
    }
    return -1;
}

GtkWidget* FindTextView(GtkWidget* widget) {
    if (GTK_IS_TEXT_VIEW(widget)) return widget;
    if (!GTK_IS_CONTAINER(widget)) return nullptr;
    GtkWidget* found = nullptr;
    GList* children = gtk_container_get_children(GTK_CONTAINER(widget));
    for (GList* c = children; c && !found; c = c->next) found = FindTextView(GTK_WIDGET(c->data));
    g_list_free(children);
    return found;
}

// The plug-in as Double Commander opens it: dlopen, every export by name, a
// missing one left null.
class TPluginLibrary : public lister::TListerExports {
public:
    bool Load(const std::string& path, std::string& error) {
        // Never closed: Double Commander keeps a plug-in loaded while it runs.
        if (!OpenListerLibrary(path, *this, error)) return false;
        if (!ListLoad && !ListLoadW) {
            error = "the plug-in " + path + " has neither ListLoad nor ListLoadW";
            return false;
        }
        return true;
    }
};

// The figures of a load, in seconds from the ListLoad call; negative: not yet.
struct TFigures {
    double Start = 0;
    double ListLoadReturn = -1;
    double FirstDraw = -1;
    double WholeText = -1;
    double Settled = -1;
    double LastTick = 0;
    double LongestStall = 0;
    double Close = -1;  // how long ListCloseWindow took
};

class TGtkListerHost {
public:
    TGtkListerHost(const TGtkHostOptions& options, TPluginLibrary* plugin) : options_(options), plugin_(plugin) {}
    ~TGtkListerHost();
    TGtkListerHost(const TGtkListerHost&) = delete;
    TGtkListerHost& operator=(const TGtkListerHost&) = delete;

    int Run();

private:
    void MakeWindow();
    void SetDefaultParams();
    void LogDetectString();
    int DisplayFlags() const;
    GtkWidget* LoadFile(const std::string& fullPath);
    void AttachViewer(GtkWidget* viewer);
    void SizeViewer();
    bool Pending() const;
    bool WaitFor(const std::function<bool()>& done, const char* what);
    // first: the load of FILE, which --no-wait does not wait for.
    bool WaitLoaded(bool first);
    bool Settle();
    void LogViewer();
    void PrintViewerText();
    bool LoadNextFile(const std::string& fullPath);
    void RunCommand(const TGtkHostCommand& command);
    void SendCommand(int command, int parameter);
    void Search(const std::string& text, int flags);
    void LogSelection();
    void PrintClipboard();
    void TakeScreenshot();
    void CloseViewer();
    void LogLeftOpen();
    int RunBare();
    void PrintFigures();
    void OnDialogMapped(GtkWidget* dialog);

    static gboolean OnMapHook(GSignalInvocationHint* hint, guint count, const GValue* values, gpointer self);
    static gboolean OnTick(gpointer self);
    static gboolean OnViewExpose(GtkWidget* widget, GdkEventExpose* event, gpointer self);
    static void OnLayoutAllocate(GtkWidget* widget, GtkAllocation* allocation, gpointer self);
    static gboolean OnKeyPress(GtkWidget* widget, GdkEventKey* event, gpointer self);

    const TGtkHostOptions& options_;
    TPluginLibrary* plugin_;
    GtkWidget* window_ = nullptr;
    GtkWidget* layout_ = nullptr;  // ParentWin
    GtkWidget* viewer_ = nullptr;  // what ListLoad answered
    GtkWidget* view_ = nullptr;    // the GtkTextView inside it
    bool wrap_ = false;
    bool mapped_ = false;
    int exitCode_ = 0;
    int dismissedDialogs_ = 0;
    gulong mapHook_ = 0;
    guint tick_ = 0;
    int settleRuns_ = 0;
    double deadline_ = 0;
    std::string lastSearch_;
    int lastSearchFlags_ = 0;
    TFigures figures_;
};

TGtkListerHost::~TGtkListerHost() {
    if (mapHook_) g_signal_remove_emission_hook(g_signal_lookup("map", GTK_TYPE_WIDGET), mapHook_);
    if (tick_) g_source_remove(tick_);
    if (window_) gtk_widget_destroy(window_);
}

// The chain of Double Commander's viewer: GtkLayout in a GtkScrolledWindow in
// a GtkVBox in the GtkWindow.
void TGtkListerHost::MakeWindow() {
    window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    const std::string name = options_.FileName.empty() ? options_.BareTextPath : options_.FileName;
    gtk_window_set_title(GTK_WINDOW(window_), ("lister-host-gtk - " + name).c_str());
    gtk_window_set_default_size(GTK_WINDOW(window_), options_.Width, options_.Height);
    gtk_window_move(GTK_WINDOW(window_), 0, 0);
    GtkWidget* box = gtk_vbox_new(FALSE, 0);
    GtkWidget* scrolled = gtk_scrolled_window_new(nullptr, nullptr);
    gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scrolled), GTK_POLICY_NEVER, GTK_POLICY_NEVER);
    layout_ = gtk_layout_new(nullptr, nullptr);
    gtk_container_add(GTK_CONTAINER(scrolled), layout_);
    gtk_box_pack_start(GTK_BOX(box), scrolled, TRUE, TRUE, 0);
    gtk_container_add(GTK_CONTAINER(window_), box);
    g_signal_connect(layout_, "size-allocate", G_CALLBACK(OnLayoutAllocate), this);
    g_signal_connect(window_, "key-press-event", G_CALLBACK(OnKeyPress), this);
    g_signal_connect(window_, "delete-event", G_CALLBACK(+[](GtkWidget*, GdkEvent*, gpointer) -> gboolean {
                         gtk_main_quit();
                         return TRUE;
                     }),
                     nullptr);
    g_signal_connect(window_, "map-event", G_CALLBACK(+[](GtkWidget*, GdkEvent*, gpointer self) -> gboolean {
                         static_cast<TGtkListerHost*>(self)->mapped_ = true;
                         return FALSE;
                     }),
                     this);
    gtk_widget_show_all(window_);
}

void TGtkListerHost::OnLayoutAllocate(GtkWidget* /*widget*/, GtkAllocation* /*allocation*/, gpointer self) {
    static_cast<TGtkListerHost*>(self)->SizeViewer();
}

// The host sizes the plug-in's widget to the whole lister area.
void TGtkListerHost::SizeViewer() {
    if (!viewer_ || !layout_) return;
    const GtkAllocation& area = layout_->allocation;
    GtkRequisition wanted;
    gtk_widget_get_size_request(viewer_, &wanted.width, &wanted.height);
    if (wanted.width != area.width || wanted.height != area.height)
        gtk_widget_set_size_request(viewer_, area.width, area.height);
}

gboolean TGtkListerHost::OnKeyPress(GtkWidget* /*widget*/, GdkEventKey* event, gpointer self) {
    auto* host = static_cast<TGtkListerHost*>(self);
    if (event->keyval == GDK_Escape) {
        gtk_main_quit();
        return TRUE;
    }
    if ((event->state & GDK_CONTROL_MASK) && (event->keyval == GDK_a || event->keyval == GDK_c)) {
        host->SendCommand(event->keyval == GDK_a ? lister::kCommandSelectAll : lister::kCommandCopy, 0);
        return TRUE;
    }
    return FALSE;
}

void TGtkListerHost::SetDefaultParams() {
    if (!plugin_->ListSetDefaultParams) return;
    const std::string ini = options_.IniPath.empty() ? ProgramDirectory() + "wlx.ini" : FullPath(options_.IniPath);
    auto params = std::make_unique<TLongDefaultParams>();
    std::memset(params.get(), 0, sizeof *params);
    params->Size = sizeof *params;
    params->PluginInterfaceVersionLow = 0;
    params->PluginInterfaceVersionHi = 2;
    std::strncpy(params->DefaultIniName, ini.c_str(), sizeof params->DefaultIniName - 1);
    plugin_->ListSetDefaultParams(reinterpret_cast<lister::TDefaultParams*>(params.get()));
    Out("default settings file: " + ini);
}

void TGtkListerHost::LogDetectString() {
    if (!plugin_->ListGetDetectString) return;
    char buffer[2048] = {};
    plugin_->ListGetDetectString(buffer, sizeof buffer);
    buffer[sizeof buffer - 1] = '\0';
    Out(std::string("detect string: ") + buffer);
}

int TGtkListerHost::DisplayFlags() const {
    return (wrap_ ? lister::kDisplayWrapText : 0) | (options_.Dark ? lister::kDisplayDarkMode : 0);
}

// ListLoadW with the UTF-16 path where the plug-in has it, else ListLoad
// with the UTF-8 path, as Double Commander chooses.
GtkWidget* TGtkListerHost::LoadFile(const std::string& fullPath) {
    if (plugin_->ListLoadW && !options_.Ansi) {
        std::u16string path;
        if (!ToUtf16(fullPath, path)) {
            Err("the path is not UTF-8: " + fullPath);
            return nullptr;
        }
        return static_cast<GtkWidget*>(plugin_->ListLoadW(layout_, path.data(), DisplayFlags()));
    }
    if (!plugin_->ListLoad) {
        Err("the plug-in has no ListLoad for --ansi");
        return nullptr;
    }
    std::string path = fullPath;
    return static_cast<GtkWidget*>(plugin_->ListLoad(layout_, path.data(), DisplayFlags()));
}

void TGtkListerHost::AttachViewer(GtkWidget* viewer) {
    viewer_ = viewer;
    g_signal_connect(viewer_, "destroy", G_CALLBACK(+[](GtkWidget*, gpointer self) {
                         auto* host = static_cast<TGtkListerHost*>(self);
                         host->viewer_ = nullptr;
                         host->view_ = nullptr;
                     }),
                     this);
    view_ = FindTextView(viewer_);
    if (view_ && options_.Figures) g_signal_connect_after(view_, "expose-event", G_CALLBACK(OnViewExpose), this);
    if (gtk_widget_get_parent(viewer_) != layout_) Out("the plug-in's widget is not in the lister window");
    SizeViewer();
    // Double Commander focuses the widget it was given.
    gtk_widget_grab_focus(viewer_);
}

// The mark the viewer keeps on its outermost widget while text is still on
// its way to the view.
bool TGtkListerHost::Pending() const {
    return viewer_ && GPOINTER_TO_INT(g_object_get_data(G_OBJECT(viewer_), "pagelet-pending")) != 0;
}

// Runs the main loop until done() holds; false (and logged) at the run's deadline.
bool TGtkListerHost::WaitFor(const std::function<bool()>& done, const char* what) {
    const guint wake = g_timeout_add(kTickMs, +[](gpointer) -> gboolean { return TRUE; }, nullptr);
    bool ok = true;
    while (!done()) {
        if (Now() > deadline_) {
            Err(std::string("timed out waiting for ") + what);
            ok = false;
            break;
        }
        g_main_context_iteration(nullptr, TRUE);
    }
    g_source_remove(wake);
    return ok;
}

bool TGtkListerHost::WaitLoaded(bool first) {
    if (first && options_.NoWait) return true;
    if (!WaitFor([this] { return !Pending(); }, "the whole text")) return false;
    if (figures_.WholeText < 0) figures_.WholeText = Now() - figures_.Start;
    return Settle();
}

// Until the main loop has nothing left to do above the lowest priority: the
// text view's layout and painting are done.
bool TGtkListerHost::Settle() {
    const int before = settleRuns_;
    g_idle_add_full(
        G_PRIORITY_LOW,
        +[](gpointer self) -> gboolean {
            ++static_cast<TGtkListerHost*>(self)->settleRuns_;
            return FALSE;
        },
        this, nullptr);
    return WaitFor([this, before] { return settleRuns_ > before; }, "the main loop to settle");
}

gboolean TGtkListerHost::OnTick(gpointer self) {
    auto* host = static_cast<TGtkListerHost*>(self);
    TFigures& f = host->figures_;
    const double now = Now();
    if (f.FirstDraw >= 0 && f.Settled < 0) f.LongestStall = std::max(f.LongestStall, now - f.LastTick);
    f.LastTick = now;
    if (f.ListLoadReturn >= 0 && f.WholeText < 0 && !host->Pending()) f.WholeText = now - f.Start;
    return TRUE;
}

gboolean TGtkListerHost::OnViewExpose(GtkWidget* widget, GdkEventExpose* event, gpointer self) {
    auto* host = static_cast<TGtkListerHost*>(self);
    TFigures& f = host->figures_;
    if (f.FirstDraw < 0 && f.ListLoadReturn >= 0 &&
        event->window == gtk_text_view_get_window(GTK_TEXT_VIEW(widget), GTK_TEXT_WINDOW_TEXT) &&
        gtk_text_buffer_get_char_count(gtk_text_view_get_buffer(GTK_TEXT_VIEW(widget))) > 0) {
        f.FirstDraw = Now() - f.Start;
    }
    return FALSE;
}

void TGtkListerHost::LogViewer() {
    GtkWidget* focus = gtk_window_get_focus(GTK_WINDOW(window_));
    Out(std::string("focus: ") + (focus ? G_OBJECT_TYPE_NAME(focus) : "none"));
    if (!view_) return;
    GtkStyle* style = gtk_widget_get_style(view_);
    gchar* font = pango_font_description_to_string(style->font_desc);
    const GtkWrapMode wrap = gtk_text_view_get_wrap_mode(GTK_TEXT_VIEW(view_));
    Out(std::string("view: font \"") + font + "\", text " + ColorText(style->text[GTK_STATE_NORMAL]) + ", base " +
        ColorText(style->base[GTK_STATE_NORMAL]) + ", wrap " + (wrap == GTK_WRAP_NONE ? "off" : "on"));
    g_free(font);
}

void TGtkListerHost::PrintViewerText() {
    if (!view_) {
        Err("the viewer has no GtkTextView");
        exitCode_ = 1;
        return;
    }
    GtkTextBuffer* buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(view_));
    GtkTextIter start, end;
    gtk_text_buffer_get_bounds(buffer, &start, &end);
    gchar* text = gtk_text_buffer_get_text(buffer, &start, &end, TRUE);
    Out("viewer text: " + std::to_string(gtk_text_buffer_get_char_count(buffer)) + " characters");
    PrintBlock("text", WithNewlines(std::string(text)));
    g_free(text);
}

bool TGtkListerHost::LoadNextFile(const std::string& fullPath) {
    const bool wide = plugin_->ListLoadNextW && !options_.Ansi;
    int result = lister::kListerError;
    if (wide) {
        std::u16string path;
        if (ToUtf16(fullPath, path)) result = plugin_->ListLoadNextW(layout_, viewer_, path.data(), DisplayFlags());
    } else if (plugin_->ListLoadNext) {
        std::string path = fullPath;
        result = plugin_->ListLoadNext(layout_, viewer_, path.data(), DisplayFlags());
    }
    if (result == lister::kListerOk && viewer_) {
        Out("next: " + fullPath + ": shown in the same viewer");
        view_ = FindTextView(viewer_);
        return WaitLoaded(false);
    }
    // As a file manager does: the viewer goes, the file is loaded anew.
    Out("next: " + fullPath + ": refused, loading it anew");
    CloseViewer();
    GtkWidget* viewer = LoadFile(fullPath);
    if (!viewer) {
        Err("the plug-in did not open " + fullPath);
        return false;
    }
    AttachViewer(viewer);
    Out("loaded: " + fullPath);
    return WaitLoaded(false);
}

void TGtkListerHost::SendCommand(int command, int parameter) {
    if (!viewer_ || !plugin_->ListSendCommand) return;
    const int result = plugin_->ListSendCommand(viewer_, command, parameter);
    Out("command " + std::to_string(command) + " (" + std::to_string(parameter) +
        "): " + (result == lister::kListerOk ? "done" : "failed"));
}

void TGtkListerHost::Search(const std::string& text, int flags) {
    if (!viewer_ || !plugin_->ListSearchTextW) return;
    std::u16string searched;
    if (!ToUtf16(text, searched)) return;
    const int result = plugin_->ListSearchTextW(viewer_, searched.data(), flags);
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%X", static_cast<unsigned>(flags));
    Out("search \"" + text + "\" flags " + hex + ": " + (result == lister::kListerOk ? "done" : "not found"));
}

void TGtkListerHost::RunCommand(const TGtkHostCommand& command) {
    using TKind = TGtkHostCommand::TKind;
    Out("running " + command.Name);
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
        int flags = (command.Backwards ? lister::kSearchBackwards : 0) |
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
            Out("no search to repeat");
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

void TGtkListerHost::LogSelection() {
    if (!view_) return;
    GtkTextBuffer* buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(view_));
    GtkTextIter a, b;
    gtk_text_buffer_get_selection_bounds(buffer, &a, &b);
    const int start = gtk_text_iter_get_offset(&a);
    const int length = gtk_text_iter_get_offset(&b) - start;
    std::string line = "selection: " + std::to_string(start) + " length " + std::to_string(length);
    if (length > 0 && length <= 200) {
        gchar* text = gtk_text_buffer_get_text(buffer, &a, &b, TRUE);
        line += std::string(" \"") + Escaped(std::string(text)) + "\"";
        g_free(text);
    }
    Out(line);
}

// The clipboard read back in this process, as another program would get it.
void TGtkListerHost::PrintClipboard() {
    gchar* text = gtk_clipboard_wait_for_text(gtk_clipboard_get(GDK_SELECTION_CLIPBOARD));
    if (!text) {
        Out("clipboard: empty");
        return;
    }
    Out("clipboard: " + std::to_string(g_utf8_strlen(text, -1)) + " characters");
    PrintBlock("clipboard", text);
    g_free(text);
}

void TGtkListerHost::TakeScreenshot() {
    gdk_window_process_all_updates();
    gdk_flush();
    GdkWindow* window = window_->window;
    int width = 0, height = 0;
    gdk_drawable_get_size(window, &width, &height);
    GdkPixbuf* picture = gdk_pixbuf_get_from_drawable(nullptr, window, nullptr, 0, 0, 0, 0, width, height);
    const std::string path = FullPath(options_.ScreenshotPath);
    GError* error = nullptr;
    if (picture && gdk_pixbuf_save(picture, path.c_str(), "png", &error, nullptr)) {
        Out("screenshot: " + path + " (" + std::to_string(width) + "x" + std::to_string(height) + ")");
    } else {
        Err("cannot save the screenshot " + path + (error ? std::string(": ") + error->message : std::string()));
        exitCode_ = 1;
    }
    if (error) g_error_free(error);
    if (picture) g_object_unref(picture);
}

void TGtkListerHost::CloseViewer() {
    if (!viewer_) return;
    GtkWidget* viewer = viewer_;
    const double start = Now();
    if (plugin_->ListCloseWindow)
        plugin_->ListCloseWindow(viewer);
    else
        gtk_widget_destroy(viewer);  // what Double Commander does without the export
    figures_.Close = Now() - start;
    if (viewer_) {
        Err("the viewer's widget is still there after ListCloseWindow");
        exitCode_ = 1;
        gtk_widget_destroy(viewer_);
    }
}

// Windows of the plug-in still open, and widgets it left in the lister window.
void TGtkListerHost::LogLeftOpen() {
    GList* toplevels = gtk_window_list_toplevels();
    for (GList* t = toplevels; t; t = t->next) {
        GtkWidget* window = GTK_WIDGET(t->data);
        if (window == window_ || !GTK_WIDGET_VISIBLE(window)) continue;
        const gchar* title = gtk_window_get_title(GTK_WINDOW(window));
        Out(std::string("left open: ") + G_OBJECT_TYPE_NAME(window) + " \"" + (title ? title : "") + "\"");
        exitCode_ = 1;
    }
    g_list_free(toplevels);
    GList* children = gtk_container_get_children(GTK_CONTAINER(layout_));
    const guint count = g_list_length(children);
    g_list_free(children);
    if (count > 0) {
        Out("left in the lister window: " + std::to_string(count) + " widgets");
        exitCode_ = 1;
    }
}

// A dialog shown while nobody is at the screen: log what it says and answer it.
void TGtkListerHost::OnDialogMapped(GtkWidget* dialog) {
    if (dialog == window_ || g_object_get_data(G_OBJECT(dialog), "lister-host-seen")) return;
    g_object_set_data(G_OBJECT(dialog), "lister-host-seen", GINT_TO_POINTER(1));
    const gchar* title = gtk_window_get_title(GTK_WINDOW(dialog));
    std::string text;
    if (GTK_IS_MESSAGE_DIALOG(dialog)) {
        gchar* primary = nullptr;
        gchar* secondary = nullptr;
        g_object_get(dialog, "text", &primary, "secondary-text", &secondary, nullptr);
        text = primary ? primary : "";
        if (secondary && *secondary) text += std::string("\n") + secondary;
        g_free(primary);
        g_free(secondary);
        Out(std::string("message box \"") + (title ? title : "") + "\": " + Escaped(text));
    } else {
        Out(std::string("dialog \"") + (title ? title : "") + "\"");
    }
    if (++dismissedDialogs_ > kMaxDismissedDialogs) {
        Err("the plug-in keeps showing dialogs; giving up");
        std::fflush(nullptr);
        _exit(1);
    }
    // Answered from the dialog's own loop (gtk_dialog_run), once it runs.
    g_object_ref(dialog);
    g_timeout_add(kTickMs, +[](gpointer data) -> gboolean {
        GtkWidget* shown = GTK_WIDGET(data);
        if (GTK_WIDGET_VISIBLE(shown))
            gtk_dialog_response(GTK_DIALOG(shown), GTK_IS_MESSAGE_DIALOG(shown) ? GTK_RESPONSE_OK
                                                                                : GTK_RESPONSE_CANCEL);
        g_object_unref(shown);
        return FALSE;
    }, dialog);
}

gboolean TGtkListerHost::OnMapHook(GSignalInvocationHint* /*hint*/, guint count, const GValue* values, gpointer self) {
    if (count < 1) return TRUE;
    GObject* object = static_cast<GObject*>(g_value_get_object(&values[0]));
    if (object && GTK_IS_DIALOG(object)) static_cast<TGtkListerHost*>(self)->OnDialogMapped(GTK_WIDGET(object));
    return TRUE;
}

void TGtkListerHost::PrintFigures() {
    auto ms = [](double seconds) { return seconds < 0 ? std::string("-") : std::to_string(seconds * 1000); };
    Out("listload_return_ms " + ms(figures_.ListLoadReturn));
    Out("first_draw_ms " + ms(figures_.FirstDraw));
    Out("longest_stall_ms " + ms(figures_.LongestStall));
    Out("whole_text_ms " + ms(figures_.WholeText));
    Out("settled_ms " + ms(figures_.Settled));
    Out("peak_memory_kb " + std::to_string(PeakMemoryKiB()));
    if (view_)
        Out("characters_shown " +
            std::to_string(gtk_text_buffer_get_char_count(gtk_text_view_get_buffer(GTK_TEXT_VIEW(view_)))));
}

// The baseline: a bare GtkTextView, made as the viewer makes its own, given
// the whole text in one gtk_text_buffer_set_text.
int TGtkListerHost::RunBare() {
    std::ifstream file(options_.BareTextPath, std::ios::binary);
    if (!file) {
        Err("cannot read " + options_.BareTextPath);
        return 2;
    }
    const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (!g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr)) {
        Err("not UTF-8: " + options_.BareTextPath);
        return 2;
    }
    GtkWidget* scrolled = gtk_scrolled_window_new(nullptr, nullptr);
    gtk_scrolled_window_set_shadow_type(GTK_SCROLLED_WINDOW(scrolled), GTK_SHADOW_NONE);
    gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scrolled),
                                   options_.Wrap ? GTK_POLICY_NEVER : GTK_POLICY_AUTOMATIC, GTK_POLICY_AUTOMATIC);
    GtkWidget* view = gtk_text_view_new();
    gtk_text_view_set_editable(GTK_TEXT_VIEW(view), FALSE);
    gtk_text_view_set_left_margin(GTK_TEXT_VIEW(view), 2);
    gtk_text_view_set_wrap_mode(GTK_TEXT_VIEW(view), options_.Wrap ? GTK_WRAP_WORD_CHAR : GTK_WRAP_NONE);
    gtk_container_add(GTK_CONTAINER(scrolled), view);
    gtk_container_add(GTK_CONTAINER(layout_), scrolled);
    gtk_widget_show_all(scrolled);
    viewer_ = scrolled;
    view_ = view;
    SizeViewer();
    g_signal_connect_after(view_, "expose-event", G_CALLBACK(OnViewExpose), this);
    Settle();

    figures_.Start = Now();
    figures_.LastTick = figures_.Start;
    tick_ = g_timeout_add_full(G_PRIORITY_HIGH, kTickMs, &OnTick, this, nullptr);
    GtkTextBuffer* buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(view));
    gtk_text_buffer_set_text(buffer, text.data(), static_cast<gint>(text.size()));
    GtkTextIter start;
    gtk_text_buffer_get_start_iter(buffer, &start);
    gtk_text_buffer_place_cursor(buffer, &start);
    figures_.ListLoadReturn = Now() - figures_.Start;
    // The stall that counts for the baseline is the call itself.
    figures_.LongestStall = figures_.ListLoadReturn;
    figures_.WholeText = figures_.ListLoadReturn;
    if (!WaitFor([this] { return figures_.FirstDraw >= 0; }, "the first draw") || !Settle()) return kExitTimedOut;
    figures_.Settled = Now() - figures_.Start;
    g_source_remove(tick_);
    tick_ = 0;
    if (options_.PrintText) PrintViewerText();
    PrintFigures();
    return 0;
}

int TGtkListerHost::Run() {
    deadline_ = Now() + options_.TimeoutSeconds;
    wrap_ = options_.Wrap;
    MakeWindow();
    // Once the widget class exists, the signal can be looked up.
    if (options_.Batch())
        mapHook_ = g_signal_add_emission_hook(g_signal_lookup("map", GTK_TYPE_WIDGET), 0, &OnMapHook, this, nullptr);
    if (!WaitFor([this] { return mapped_; }, "the window") || !Settle()) return kExitTimedOut;
    if (!options_.BareTextPath.empty()) return RunBare();

    SetDefaultParams();
    LogDetectString();
    const std::string fullPath = FullPath(options_.FileName);
    if (options_.Figures) {
        figures_.LastTick = Now();
        tick_ = g_timeout_add_full(G_PRIORITY_HIGH, kTickMs, &OnTick, this, nullptr);
    }
    figures_.Start = Now();
    GtkWidget* viewer = LoadFile(fullPath);
    figures_.ListLoadReturn = Now() - figures_.Start;
    if (!viewer) {
        Err("the plug-in did not open " + fullPath);
        Settle();
        LogLeftOpen();
        return 1;
    }
    AttachViewer(viewer);
    Out("loaded: " + fullPath);
    if (!WaitLoaded(true)) return kExitTimedOut;
    if (options_.Figures && !options_.NoWait) {
        if (!WaitFor([this] { return figures_.FirstDraw >= 0 || !view_; }, "the first draw")) return kExitTimedOut;
        figures_.Settled = Now() - figures_.Start;
    }
    if (tick_) {
        g_source_remove(tick_);
        tick_ = 0;
    }
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
        if (!viewer_) break;
        RunCommand(command);
    }
    if (options_.Figures) PrintFigures();
    if (!options_.Batch()) {
        gtk_main();
    }
    Out("closing");
    CloseViewer();
    if (options_.Figures) Out("close_ms " + std::to_string(figures_.Close * 1000));
    Settle();
    LogLeftOpen();
    return exitCode_;
}

}  // namespace

int RunGtkListerHost(const TGtkHostOptions& options) {
    if (!options.Palette.empty() || !options.Keys.empty()) {
        Err("--palette and --key are lister-host-qt's");
        return 2;
    }
    int argc = 0;
    if (!gtk_init_check(&argc, nullptr)) {
        Err("no display");
        return kExitNoDisplay;
    }
    TPluginLibrary plugin;
    if (options.BareTextPath.empty()) {
        const std::string path =
            options.PluginPath.empty() ? ProgramDirectory() + "pagelet.wlx" : FullPath(options.PluginPath);
        std::string error;
        if (!plugin.Load(path, error)) {
            Err(error);
            return 2;
        }
    }
    if (options.Batch()) {
        // Whatever blocks the main loop (a plug-in that never returns), a
        // batch run ends: shortly after the deadline that the waits keep.
        const double limit = options.TimeoutSeconds + 5;
        std::thread([limit] {
            std::this_thread::sleep_for(std::chrono::duration<double>(limit));
            Err("timed out");
            _exit(kExitTimedOut);
        }).detach();
    }
    TGtkListerHost host(options, &plugin);
    return host.Run();
}

}  // namespace pagelet
