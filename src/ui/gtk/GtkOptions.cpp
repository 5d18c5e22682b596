// The options dialog of the GTK viewer: the same settings as on Windows
// (font, background colour, printable characters, code page and whether it
// is forced, the reading layout); the Word loader is shown but unavailable on
// Linux.
#include <string>

#include "common/Utf.h"
#include "settings/Settings.h"
#include "ui/gtk/GtkViewer.h"
#include "viewer/KeptSettings.h"

namespace pagelet {

namespace {

std::string FontButtonName(const TFontSpec& font) {
    std::string name = font.Name.empty() ? std::string("Sans") : Utf16ToUtf8(font.Name);
    if (font.Style & fsBold) name += " Bold";
    if (font.Style & fsItalic) name += " Italic";
    return name + " " + std::to_string(font.Size > 0 ? font.Size : 10);
}

GtkWidget* Row(GtkWidget* table, int row, const char* label, GtkWidget* control) {
    GtkWidget* caption = gtk_label_new_with_mnemonic(label);
    gtk_misc_set_alignment(GTK_MISC(caption), 0, 0.5);
    gtk_label_set_mnemonic_widget(GTK_LABEL(caption), control);
    gtk_table_attach(GTK_TABLE(table), caption, 0, 1, row, row + 1, GTK_FILL, GTK_FILL, 4, 4);
    gtk_table_attach(GTK_TABLE(table), control, 1, 2, row, row + 1, GtkAttachOptions(GTK_FILL | GTK_EXPAND),
                     GTK_FILL, 4, 4);
    return control;
}

}  // namespace

void TGtkViewer::ExecuteOptions() {
    TViewerOptions options = ReadViewerOptions(iniPath_);
    GtkWidget* top = gtk_widget_get_toplevel(scrolled_);
    GtkWidget* dialog = gtk_dialog_new_with_buttons(
        "Options", GTK_IS_WINDOW(top) ? GTK_WINDOW(top) : nullptr, GTK_DIALOG_MODAL, GTK_STOCK_CANCEL,
        GTK_RESPONSE_CANCEL, GTK_STOCK_OK, GTK_RESPONSE_OK, nullptr);
    GtkWidget* table = gtk_table_new(7, 2, FALSE);
    gtk_container_set_border_width(GTK_CONTAINER(table), 8);

    GtkWidget* font = Row(table, 0, "_Font:", gtk_font_button_new_with_font(FontButtonName(options.Font).c_str()));
    GdkColor back{};
    const int32_t backRef = options.BackColor < 0 ? 0xFFFFFF : options.BackColor;
    back.red = static_cast<guint16>((backRef & 0xFF) * 257);
    back.green = static_cast<guint16>(((backRef >> 8) & 0xFF) * 257);
    back.blue = static_cast<guint16>(((backRef >> 16) & 0xFF) * 257);
    GtkWidget* color = Row(table, 1, "_Background:", gtk_color_button_new_with_color(&back));
    GtkWidget* printable = gtk_check_button_new_with_mnemonic("Only _printable characters");
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(printable), options.Load.Printable);
    gtk_table_attach(GTK_TABLE(table), printable, 0, 2, 2, 3, GTK_FILL, GTK_FILL, 4, 4);
    GtkWidget* cp = Row(table, 3, "_Code page:", gtk_spin_button_new_with_range(0, 65535, 1));
    gtk_spin_button_set_value(GTK_SPIN_BUTTON(cp), options.Load.CP);
    GtkWidget* force = gtk_check_button_new_with_mnemonic("_Force this code page");
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(force), options.Load.ForceCP);
    gtk_table_attach(GTK_TABLE(table), force, 0, 2, 4, 5, GTK_FILL, GTK_FILL, 4, 4);
    GtkWidget* reading = gtk_check_button_new_with_mnemonic("_Reading layout (fields, tables, lists)");
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(reading), options.Load.ReadingLayout);
    gtk_table_attach(GTK_TABLE(table), reading, 0, 2, 5, 6, GTK_FILL, GTK_FILL, 4, 4);
    GtkWidget* word = gtk_check_button_new_with_label("Load with Microsoft Word (not available on Linux)");
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(word), FALSE);
    gtk_widget_set_sensitive(word, FALSE);
    gtk_table_attach(GTK_TABLE(table), word, 0, 2, 6, 7, GTK_FILL, GTK_FILL, 4, 4);
    // A system colour (the default) stays one unless a colour is chosen.
    bool colorChosen = false;
    g_signal_connect(color, "color-set", G_CALLBACK(+[](GtkColorButton*, gpointer chosen) {
                         *static_cast<bool*>(chosen) = true;
                     }),
                     &colorChosen);

    gtk_box_pack_start(GTK_BOX(GTK_DIALOG(dialog)->vbox), table, TRUE, TRUE, 0);
    gtk_widget_show_all(dialog);
    // The host may close the viewer while the dialog runs its own loop: then
    // this object is gone and nothing may be read back into it.
    GtkWidget* const outermost = scrolled_;
    const bool accepted = gtk_dialog_run(GTK_DIALOG(dialog)) == GTK_RESPONSE_OK;
    if (Of(outermost) != this) {
        gtk_widget_destroy(dialog);
        return;
    }
    if (accepted) {
        PangoFontDescription* desc =
            pango_font_description_from_string(gtk_font_button_get_font_name(GTK_FONT_BUTTON(font)));
        if (const char* family = pango_font_description_get_family(desc)) options.Font.Name = Utf8ToUtf16(family);
        const int size = pango_font_description_get_size(desc) / PANGO_SCALE;
        if (size > 0) options.Font.Size = size;
        TFontStyles style = options.Font.Style & ~(fsBold | fsItalic);
        if (pango_font_description_get_weight(desc) >= PANGO_WEIGHT_BOLD) style |= fsBold;
        if (pango_font_description_get_style(desc) != PANGO_STYLE_NORMAL) style |= fsItalic;
        options.Font.Style = style;
        pango_font_description_free(desc);
        if (colorChosen) {
            GdkColor chosen{};
            gtk_color_button_get_color(GTK_COLOR_BUTTON(color), &chosen);
            options.BackColor = (chosen.red >> 8) | ((chosen.green >> 8) << 8) | ((chosen.blue >> 8) << 16);
        }
        options.Load.Printable = gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(printable));
        options.Load.CP = gtk_spin_button_get_value_as_int(GTK_SPIN_BUTTON(cp));
        options.Load.ForceCP = gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(force));
        options.Load.ReadingLayout = gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(reading));
        ApplyKeptOptions(*core_, options, iniPath_);
    }
    gtk_widget_destroy(dialog);
}

}  // namespace pagelet
