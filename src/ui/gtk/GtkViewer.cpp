#include "ui/gtk/GtkViewer.h"

#include <gdk/gdkkeysyms.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <exception>
#include <map>

#include "common/Error.h"
#include "common/Utf.h"
#include "settings/Settings.h"
#include "viewer/KeptSettings.h"
#include "viewer/KeyPolicy.h"

namespace pagelet {

namespace {

// Every live viewer by its outermost widget: a widget the host passes back
// is trusted only when it is here.
std::map<GtkWidget*, TGtkViewer*>& LiveViewers() {
    static std::map<GtkWidget*, TGtkViewer*> viewers;
    return viewers;
}

// Text for GTK: UTF-8 without NUL (a GtkTextBuffer takes none); a NUL shows
// as U+FFFD, one character for one, so that offsets keep their meaning.
std::string ToGtkText(std::u16string_view text) {
    std::string utf8 = Utf16ToUtf8(text);
    if (utf8.find('\0') != std::string::npos) {
        std::string clean;
        clean.reserve(utf8.size() + 16);
        for (char c : utf8) {
            if (c == '\0')
                clean += "\xEF\xBF\xBD";
            else
                clean += c;
        }
        return clean;
    }
    return utf8;
}

bool IsSystemColor(int32_t color) { return color < 0; }

GdkColor ToGdkColor(int32_t colorRef) {
    GdkColor c{};
    c.red = static_cast<guint16>((colorRef & 0xFF) * 257);
    c.green = static_cast<guint16>(((colorRef >> 8) & 0xFF) * 257);
    c.blue = static_cast<guint16>(((colorRef >> 16) & 0xFF) * 257);
    return c;
}

// A step that waits for text from the layout's thread comes this much later.
constexpr guint kLaterMs = 10;

bool FontFamilyExists(GtkWidget* widget, const std::string& name) {
    if (name.empty()) return false;
    PangoFontFamily** families = nullptr;
    int count = 0;
    pango_context_list_families(gtk_widget_get_pango_context(widget), &families, &count);
    bool found = false;
    for (int i = 0; i < count && !found; ++i)
        found = g_ascii_strcasecmp(pango_font_family_get_name(families[i]), name.c_str()) == 0;
    g_free(families);
    return found;
}

// The key policy's code of a key that moves in the text (viewer/KeyPolicy.h);
// 0 for any other: the policy passes those up to the host.
uint16_t KeyCodeOf(guint keyval) {
    switch (keyval) {
    case GDK_Up: case GDK_KP_Up: return kKeyUp;
    case GDK_Down: case GDK_KP_Down: return kKeyDown;
    case GDK_Left: case GDK_KP_Left: return kKeyLeft;
    case GDK_Right: case GDK_KP_Right: return kKeyRight;
    case GDK_Page_Up: case GDK_KP_Page_Up: return kKeyPageUp;
    case GDK_Page_Down: case GDK_KP_Page_Down: return kKeyPageDown;
    case GDK_Home: case GDK_KP_Home: return kKeyHome;
    case GDK_End: case GDK_KP_End: return kKeyEnd;
    default:
        return 0;
    }
}

TShiftState ShiftOf(guint state) {
    TShiftState shift = 0;
    if (state & GDK_SHIFT_MASK) shift |= ssShift;
    if (state & GDK_CONTROL_MASK) shift |= ssCtrl;
    if (state & GDK_MOD1_MASK) shift |= ssAlt;
    return shift;
}

}  // namespace

namespace {

void ShowGtkMessage(GtkWidget* owner, const std::u16string& text, GtkMessageType type) {
    std::string message = Utf16ToUtf8(text);
    std::replace(message.begin(), message.end(), '\r', '\n');
    GtkWidget* top = owner ? gtk_widget_get_toplevel(owner) : nullptr;
    GtkWindow* parent = top && GTK_IS_WINDOW(top) ? GTK_WINDOW(top) : nullptr;
    GtkWidget* dialog = gtk_message_dialog_new(parent, GTK_DIALOG_MODAL, type, GTK_BUTTONS_OK, "%s", message.c_str());
    gtk_window_set_title(GTK_WINDOW(dialog), kGtkMessageCaption);
    gtk_dialog_run(GTK_DIALOG(dialog));
    gtk_widget_destroy(dialog);
}

}  // namespace

void ShowGtkError(GtkWidget* owner, const std::u16string& text) { ShowGtkMessage(owner, text, GTK_MESSAGE_ERROR); }

void ShowGtkInfo(GtkWidget* owner, const std::u16string& text) { ShowGtkMessage(owner, text, GTK_MESSAGE_INFO); }

TGtkViewer::TGtkViewer(const std::u16string& iniPath) : iniPath_(iniPath) {
    scrolled_ = gtk_scrolled_window_new(nullptr, nullptr);
    gtk_scrolled_window_set_shadow_type(GTK_SCROLLED_WINDOW(scrolled_), GTK_SHADOW_NONE);
    // The host focuses the widget it was given: the text view takes it.
    GTK_WIDGET_UNSET_FLAGS(scrolled_, GTK_CAN_FOCUS);
    view_ = gtk_text_view_new();
    buffer_ = gtk_text_view_get_buffer(GTK_TEXT_VIEW(view_));
    gtk_text_view_set_editable(GTK_TEXT_VIEW(view_), FALSE);
    gtk_text_view_set_cursor_visible(GTK_TEXT_VIEW(view_), TRUE);
    gtk_text_view_set_left_margin(GTK_TEXT_VIEW(view_), 2);
    gtk_container_add(GTK_CONTAINER(scrolled_), view_);
    gtk_widget_show(view_);

    g_signal_connect(scrolled_, "destroy", G_CALLBACK(OnDestroy), this);
    g_signal_connect(scrolled_, "grab-focus", G_CALLBACK(OnGrabFocus), this);
    g_signal_connect(view_, "key-press-event", G_CALLBACK(OnKeyPress), this);
    g_signal_connect(view_, "scroll-event", G_CALLBACK(OnScroll), this);
    g_signal_connect(view_, "button-press-event", G_CALLBACK(OnButton), this);
    g_signal_connect(view_, "button-release-event", G_CALLBACK(OnButton), this);
    g_signal_connect(view_, "populate-popup", G_CALLBACK(OnPopulatePopup), this);

    core_ = std::make_unique<TViewerCore>(*this);
    ApplyKeptSettings(*core_, iniPath_);
    LiveViewers()[scrolled_] = this;
}

TGtkViewer::~TGtkViewer() {
    CancelStep();
    LiveViewers().erase(scrolled_);
    if (!destroyed_) {
        destroyed_ = true;
        g_signal_handlers_disconnect_by_data(scrolled_, this);
        gtk_widget_destroy(scrolled_);
    }
}

TGtkViewer* TGtkViewer::Of(GtkWidget* widget) {
    auto found = LiveViewers().find(widget);
    return found == LiveViewers().end() ? nullptr : found->second;
}

void TGtkViewer::OnDestroy(GtkWidget* /*widget*/, gpointer self) {
    auto* viewer = static_cast<TGtkViewer*>(self);
    viewer->destroyed_ = true;
    delete viewer;
}

void TGtkViewer::OnGrabFocus(GtkWidget* /*widget*/, gpointer self) {
    gtk_widget_grab_focus(static_cast<TGtkViewer*>(self)->view_);
}

void TGtkViewer::ShowDocument(TLoadedDocument document) {
    core_->LoadText(std::move(document.Text), std::move(document.Rest));
}

// A mark on the outermost widget that says whether text is still on its way
// to the view (the core asks for a step whenever it is): what a test host
// waits for.
void TGtkViewer::UpdatePendingMark() {
    g_object_set_data(G_OBJECT(scrolled_), "pagelet-pending", GINT_TO_POINTER(stepSource_ != 0 ? 1 : 0));
}

int TGtkViewer::CharsOf(size_t units) const { return static_cast<int>(std::min<size_t>(pairs_.CharOf(units), INT32_MAX)); }

void TGtkViewer::PutText(std::u16string_view text) {
    pairs_.Clear();
    pairs_.Append(text);
    const std::string utf8 = ToGtkText(text);
    gtk_text_buffer_set_text(buffer_, utf8.data(), static_cast<int>(utf8.size()));
    // The text is set with the cursor at its end: back to the start.
    GtkTextIter start;
    gtk_text_buffer_get_start_iter(buffer_, &start);
    gtk_text_buffer_place_cursor(buffer_, &start);
    ScrollToStart();
}

void TGtkViewer::AppendSlice(std::u16string_view text) {
    pairs_.Append(text);
    const std::string utf8 = ToGtkText(text);
    GtkTextIter end;
    gtk_text_buffer_get_end_iter(buffer_, &end);
    gtk_text_buffer_insert(buffer_, &end, utf8.data(), static_cast<int>(utf8.size()));
}

TTextRange TGtkViewer::Selection() const {
    GtkTextIter a, b;
    gtk_text_buffer_get_selection_bounds(buffer_, &a, &b);
    TTextRange range;
    range.Start = pairs_.OffsetOf(static_cast<size_t>(gtk_text_iter_get_offset(&a)));
    range.End = pairs_.OffsetOf(static_cast<size_t>(gtk_text_iter_get_offset(&b)));
    return range;
}

void TGtkViewer::Select(TTextRange range, bool scroll) {
    GtkTextIter a, b;
    gtk_text_buffer_get_iter_at_offset(buffer_, &a, CharsOf(range.Start));
    gtk_text_buffer_get_iter_at_offset(buffer_, &b, CharsOf(range.End));
    // The caret at the end of the selection, as the host's search expects.
    gtk_text_buffer_select_range(buffer_, &b, &a);
    if (scroll)
        gtk_text_view_scroll_to_mark(GTK_TEXT_VIEW(view_), gtk_text_buffer_get_insert(buffer_), 0.1, FALSE, 0, 0);
}

void TGtkViewer::ScrollToStart() {
    GtkAdjustment* v = gtk_scrolled_window_get_vadjustment(GTK_SCROLLED_WINDOW(scrolled_));
    GtkAdjustment* h = gtk_scrolled_window_get_hadjustment(GTK_SCROLLED_WINDOW(scrolled_));
    if (v) gtk_adjustment_set_value(v, gtk_adjustment_get_lower(v));
    if (h) gtk_adjustment_set_value(h, gtk_adjustment_get_lower(h));
    GtkTextIter start;
    gtk_text_buffer_get_start_iter(buffer_, &start);
    gtk_text_view_scroll_to_iter(GTK_TEXT_VIEW(view_), &start, 0, FALSE, 0, 0);
}

void TGtkViewer::ShowFont(const TFontSpec& font, bool dark) {
    ShowFace(font, core_->Zoom());
    const int32_t color = ShownTextColor(font.Color, dark);
    if (IsSystemColor(color)) {
        gtk_widget_modify_text(view_, GTK_STATE_NORMAL, nullptr);  // the theme's
    } else {
        GdkColor c = ToGdkColor(color);
        gtk_widget_modify_text(view_, GTK_STATE_NORMAL, &c);
    }
}

void TGtkViewer::ShowFace(const TFontSpec& font, int32_t zoom) {
    std::string family = Utf16ToUtf8(font.Name);
    // A face the system lacks (Tahoma, the default, on most Linux desktops)
    // falls back to the desktop's sans-serif at the same size.
    if (!FontFamilyExists(view_, family)) family = "Sans";
    PangoFontDescription* desc = pango_font_description_new();
    pango_font_description_set_family(desc, family.c_str());
    const double points = std::max(1, font.Size) * (zoom > 0 ? zoom : 100) / 100.0;
    pango_font_description_set_size(desc, std::max(1, static_cast<int>(points * PANGO_SCALE)));
    pango_font_description_set_weight(desc, (font.Style & fsBold) ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
    pango_font_description_set_style(desc, (font.Style & fsItalic) ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);
    gtk_widget_modify_font(view_, desc);
    pango_font_description_free(desc);
}

void TGtkViewer::ShowBackColor(int32_t color, bool dark) {
    const int32_t shown = ShownBackColor(color, dark);
    if (IsSystemColor(shown)) {
        gtk_widget_modify_base(view_, GTK_STATE_NORMAL, nullptr);
    } else {
        GdkColor c = ToGdkColor(shown);
        gtk_widget_modify_base(view_, GTK_STATE_NORMAL, &c);
    }
}

bool TGtkViewer::ShowWordWrap(bool wrap) {
    gtk_text_view_set_wrap_mode(GTK_TEXT_VIEW(view_), wrap ? GTK_WRAP_WORD_CHAR : GTK_WRAP_NONE);
    gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scrolled_), wrap ? GTK_POLICY_NEVER : GTK_POLICY_AUTOMATIC,
                                   GTK_POLICY_AUTOMATIC);
    return false;
}

void TGtkViewer::ShowZoom(int32_t percent) {
    // The face and size are the same in both schemes.
    ShowFace(core_->Font(), percent);
}

void TGtkViewer::Repaint() { gtk_widget_queue_draw(view_); }

void TGtkViewer::Focus() {
    gtk_widget_grab_focus(view_);
    if (!gtk_widget_has_focus(view_) && gtk_widget_get_toplevel(view_) != view_ &&
        GTK_WIDGET_TOPLEVEL(gtk_widget_get_toplevel(view_))) {
        // Not in a window that can focus yet (not realised): the host focuses it later.
    }
}

void TGtkViewer::CopyToClipboard(std::u16string_view text) {
    // Linux programs take LF line ends.
    std::u16string lf;
    lf.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') continue;
        lf += text[i];
    }
    const std::string utf8 = ToGtkText(lf);
    gtk_clipboard_set_text(gtk_clipboard_get(GDK_SELECTION_CLIPBOARD), utf8.data(), static_cast<gint>(utf8.size()));
}

void TGtkViewer::ScheduleStep() {
    // Below input, painting and the text view's own layout work.
    if (stepSource_ == 0) stepSource_ = g_idle_add_full(G_PRIORITY_DEFAULT_IDLE, &TGtkViewer::OnStep, this, nullptr);
    UpdatePendingMark();
}

void TGtkViewer::ScheduleStepLater() {
    if (stepSource_ == 0)
        stepSource_ = g_timeout_add_full(G_PRIORITY_DEFAULT_IDLE, kLaterMs, &TGtkViewer::OnStep, this, nullptr);
    UpdatePendingMark();
}

void TGtkViewer::CancelStep() {
    if (stepSource_ != 0) g_source_remove(stepSource_);
    stepSource_ = 0;
    if (!destroyed_) UpdatePendingMark();
}

gboolean TGtkViewer::OnStep(gpointer self) {
    auto* viewer = static_cast<TGtkViewer*>(self);
    viewer->stepSource_ = 0;
    try {
        viewer->core_->Step();
    } catch (const std::exception& e) {
        ShowGtkError(viewer->scrolled_, u"Exception:\r" + ExceptionMessage(e));
    }
    viewer->UpdatePendingMark();
    return FALSE;
}

gboolean TGtkViewer::OnKeyPress(GtkWidget* widget, GdkEventKey* event, gpointer /*self*/) {
    // A key the text view does not get goes up to the host's window.
    if (RouteKey(KeyCodeOf(event->keyval), ShiftOf(event->state), THostKeys::PassedUp, false).ToViewer) return FALSE;
    g_signal_stop_emission_by_name(widget, "key-press-event");
    return FALSE;
}

gboolean TGtkViewer::OnScroll(GtkWidget* /*widget*/, GdkEventScroll* event, gpointer self) {
    if (event->direction != GDK_SCROLL_UP && event->direction != GDK_SCROLL_DOWN) return FALSE;
    // A notch of the wheel, as Windows counts it.
    const int delta = event->direction == GDK_SCROLL_UP ? 120 : -120;
    return static_cast<TGtkViewer*>(self)->core_->MouseWheel(ShiftOf(event->state), delta) ? TRUE : FALSE;
}

gboolean TGtkViewer::OnButton(GtkWidget* /*widget*/, GdkEventButton* event, gpointer self) {
    if (event->button == 1) static_cast<TGtkViewer*>(self)->dragging_ = event->type == GDK_BUTTON_PRESS;
    return FALSE;
}

void TGtkViewer::ToggleWordWrap() {
    ToggleKeptWordWrap(*core_, iniPath_);
}

void TGtkViewer::OnPopulatePopup(GtkTextView* /*view*/, GtkMenu* menu, gpointer self) {
    // The viewer's own items in place of the text view's.
    GList* children = gtk_container_get_children(GTK_CONTAINER(menu));
    for (GList* c = children; c; c = c->next) gtk_widget_destroy(GTK_WIDGET(c->data));
    g_list_free(children);
    struct Item {
        const char* Label;
        void (*Run)(TGtkViewer&);
    };
    static const Item items[] = {
        {"_Copy", [](TGtkViewer& v) { v.core_->CopyToClipboard(); }},
        {"_Select all", [](TGtkViewer& v) { v.core_->SelectAll(); }},
        {nullptr, nullptr},
        {"_Word wrap", [](TGtkViewer& v) { v.ToggleWordWrap(); }},
        {"_Options...", [](TGtkViewer& v) { v.ExecuteOptions(); }},
    };
    for (const Item& item : items) {
        const bool wrapItem = item.Label && std::strcmp(item.Label, "_Word wrap") == 0;
        GtkWidget* entry = wrapItem     ? gtk_check_menu_item_new_with_mnemonic(item.Label)
                           : item.Label ? gtk_menu_item_new_with_mnemonic(item.Label)
                                        : gtk_separator_menu_item_new();
        // Checked before the signal is connected: setting it runs no item.
        if (wrapItem)
            gtk_check_menu_item_set_active(GTK_CHECK_MENU_ITEM(entry),
                                           static_cast<TGtkViewer*>(self)->core_->WordWrap() ? TRUE : FALSE);
        if (item.Run) {
            g_object_set_data(G_OBJECT(entry), "pagelet-run", reinterpret_cast<gpointer>(item.Run));
            g_signal_connect(entry, "activate", G_CALLBACK(+[](GtkMenuItem* mi, gpointer viewer) {
                                 auto run = reinterpret_cast<void (*)(TGtkViewer&)>(
                                     g_object_get_data(G_OBJECT(mi), "pagelet-run"));
                                 try {
                                     run(*static_cast<TGtkViewer*>(viewer));
                                 } catch (const std::exception& e) {
                                     ShowGtkError(static_cast<TGtkViewer*>(viewer)->scrolled_,
                                                  u"Exception:\r" + ExceptionMessage(e));
                                 }
                             }),
                             self);
        }
        gtk_menu_shell_append(GTK_MENU_SHELL(menu), entry);
        gtk_widget_show(entry);
    }
}

}  // namespace pagelet
