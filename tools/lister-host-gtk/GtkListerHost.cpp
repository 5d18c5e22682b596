// The host's window, its calls into the plug-in and the batch script: the
// text, the next file, the commands and search, the screenshot, the
// plug-in's dialogs caught and logged, and the figures of the benchmark.
#include "GtkListerHost.h"

#include <gdk/gdkkeysyms.h>
#include <gtk/gtk.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <string>

#include "LinuxListerHost.h"

namespace pagelet {

namespace {

void Out(const std::string& line) { HostOut(line); }
void Err(const std::string& line) { HostErr("lister-host-gtk", line); }

bool Utf16(const std::string& text, std::u16string& result) {
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

GtkWidget* FindTextView(GtkWidget* widget) {
    if (GTK_IS_TEXT_VIEW(widget)) return widget;
    if (!GTK_IS_CONTAINER(widget)) return nullptr;
    GtkWidget* found = nullptr;
    GList* children = gtk_container_get_children(GTK_CONTAINER(widget));
    for (GList* c = children; c && !found; c = c->next) found = FindTextView(GTK_WIDGET(c->data));
    g_list_free(children);
    return found;
}

class TGtkListerHost final : public TLinuxListerHost {
public:
    TGtkListerHost(const TGtkHostOptions& options, THostPlugin* plugin)
        : TLinuxListerHost("lister-host-gtk", options, plugin) {}
    ~TGtkListerHost() override;

    int Run();

private:
    lister::TWindow Viewer() const override { return viewer_; }
    bool Pending() const override;
    bool Settle() override;
    void LogViewer() override;
    void LogSelection() override;
    void PrintClipboard() override;
    bool ToUtf16(const std::string& text, std::u16string& result) const override { return Utf16(text, result); }
    long CharactersShown() const override;

    bool HasTextView() const override { return view_ != nullptr; }
    lister::TWindow ParentWin() const override { return layout_; }
    bool WaitFor(const std::function<bool()>& done, const char* what) override;
    void StartTicks() override { tick_ = g_timeout_add_full(G_PRIORITY_HIGH, kHostTickMs, &OnTick, this, nullptr); }
    void StopTicks() override;
    void AttachViewer(lister::TWindow viewer) override;
    void NextShownInViewer() override { view_ = FindTextView(viewer_); }
    void PrintViewerText() override;
    void TakeScreenshot() override;
    void RunMainLoop() override { gtk_main(); }
    void CloseViewer() override;
    void LogLeftOpen() override;

    void MakeWindow();
    void SizeViewer();
    bool MakeBareView(const std::string& text) override;
    void SetBareText(const std::string& text) override;
    void OnDialogMapped(GtkWidget* dialog);

    static gboolean OnMapHook(GSignalInvocationHint* hint, guint count, const GValue* values, gpointer self);
    static gboolean OnTick(gpointer self);
    static gboolean OnViewExpose(GtkWidget* widget, GdkEventExpose* event, gpointer self);
    static void OnLayoutAllocate(GtkWidget* widget, GtkAllocation* allocation, gpointer self);
    static gboolean OnKeyPress(GtkWidget* widget, GdkEventKey* event, gpointer self);

    GtkWidget* window_ = nullptr;
    GtkWidget* layout_ = nullptr;  // ParentWin
    GtkWidget* viewer_ = nullptr;  // what ListLoad answered
    GtkWidget* view_ = nullptr;    // the GtkTextView inside it
    bool mapped_ = false;
    gulong mapHook_ = 0;
    guint tick_ = 0;
    int settleRuns_ = 0;
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

void TGtkListerHost::AttachViewer(lister::TWindow viewer) {
    viewer_ = static_cast<GtkWidget*>(viewer);
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
    const guint wake = g_timeout_add(kHostTickMs, +[](gpointer) -> gboolean { return TRUE; }, nullptr);
    bool ok = true;
    while (!done()) {
        if (HostNow() > deadline_) {
            Err(std::string("timed out waiting for ") + what);
            ok = false;
            break;
        }
        g_main_context_iteration(nullptr, TRUE);
    }
    g_source_remove(wake);
    return ok;
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
    static_cast<TGtkListerHost*>(self)->TickFigures();
    return TRUE;
}

gboolean TGtkListerHost::OnViewExpose(GtkWidget* widget, GdkEventExpose* event, gpointer self) {
    auto* host = static_cast<TGtkListerHost*>(self);
    THostFigures& f = host->figures_;
    if (f.FirstDraw < 0 && f.ListLoadReturn >= 0 &&
        event->window == gtk_text_view_get_window(GTK_TEXT_VIEW(widget), GTK_TEXT_WINDOW_TEXT) &&
        gtk_text_buffer_get_char_count(gtk_text_view_get_buffer(GTK_TEXT_VIEW(widget))) > 0) {
        f.FirstDraw = HostNow() - f.Start;
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
    const double start = HostNow();
    if (plugin_->ListCloseWindow)
        plugin_->ListCloseWindow(viewer);
    else
        gtk_widget_destroy(viewer);  // what Double Commander does without the export
    figures_.Close = HostNow() - start;
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
    g_timeout_add(kHostTickMs, +[](gpointer data) -> gboolean {
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

long TGtkListerHost::CharactersShown() const {
    return view_ ? gtk_text_buffer_get_char_count(gtk_text_view_get_buffer(GTK_TEXT_VIEW(view_))) : -1;
}

// The baseline: a bare GtkTextView, made as the viewer makes its own, given
// the whole text in one gtk_text_buffer_set_text.
bool TGtkListerHost::MakeBareView(const std::string& text) {
    if (!g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr)) {
        Err("not UTF-8: " + options_.BareTextPath);
        return false;
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
    return true;
}

void TGtkListerHost::SetBareText(const std::string& text) {
    GtkTextBuffer* buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(view_));
    gtk_text_buffer_set_text(buffer, text.data(), static_cast<gint>(text.size()));
    GtkTextIter start;
    gtk_text_buffer_get_start_iter(buffer, &start);
    gtk_text_buffer_place_cursor(buffer, &start);
}

void TGtkListerHost::StopTicks() {
    if (tick_) g_source_remove(tick_);
    tick_ = 0;
}

int TGtkListerHost::Run() {
    MakeWindow();
    // Once the widget class exists, the signal can be looked up.
    if (options_.Batch())
        mapHook_ = g_signal_add_emission_hook(g_signal_lookup("map", GTK_TYPE_WIDGET), 0, &OnMapHook, this, nullptr);
    if (!WaitFor([this] { return mapped_; }, "the window") || !Settle()) return kHostExitTimedOut;
    if (!options_.BareTextPath.empty()) return RunBare();
    return RunDocument();
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
        return kHostExitNoDisplay;
    }
    THostPlugin plugin;
    if (const int status = PrepareHostRun("lister-host-gtk", options, plugin); status >= 0) return status;
    TGtkListerHost host(options, &plugin);
    return host.Run();
}

}  // namespace pagelet
