// The options dialog of the Qt viewer: the same settings as the other
// viewers (font, background colour, printable characters, code page and
// whether it is forced, the reading layout); the Word loader is shown but
// unavailable on Linux.
#include <QCheckBox>
#include <QColorDialog>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFontDialog>
#include <QFormLayout>
#include <QPointer>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "settings/Settings.h"
#include "ui/qt/QtViewer.h"
#include "viewer/KeptSettings.h"

namespace pagelet {

namespace {

QString FontButtonText(const QFont& font) {
    QString text = font.family();
    if (font.bold()) text += QStringLiteral(" Bold");
    if (font.italic()) text += QStringLiteral(" Italic");
    return text + QStringLiteral(" ") + QString::number(static_cast<int>(font.pointSizeF() + 0.5));
}

QColor ColorOf(int32_t colorRef) {
    const int32_t rgb = colorRef < 0 ? 0xFFFFFF : colorRef;
    return QColor(rgb & 0xFF, (rgb >> 8) & 0xFF, (rgb >> 16) & 0xFF);
}

}  // namespace

void TQtViewer::ExecuteOptions() {
    TViewerOptions options = ReadViewerOptions(iniPath_);
    QDialog dialog(window());
    dialog.setWindowTitle(QStringLiteral("Options"));
    auto* form = new QFormLayout;

    QFont chosenFont(options.Font.Name.empty() ? font().family() : QString::fromStdU16String(options.Font.Name),
                     options.Font.Size > 0 ? options.Font.Size : 10);
    chosenFont.setBold(options.Font.Style & fsBold);
    chosenFont.setItalic(options.Font.Style & fsItalic);
    auto* fontButton = new QPushButton(FontButtonText(chosenFont));
    QObject::connect(fontButton, &QPushButton::clicked, &dialog, [&] {
        bool ok = false;
        const QFont picked = QFontDialog::getFont(&ok, chosenFont, &dialog);
        if (!ok) return;
        chosenFont = picked;
        fontButton->setText(FontButtonText(chosenFont));
    });
    form->addRow(QStringLiteral("&Font:"), fontButton);

    // A system colour (the default) stays one unless a colour is chosen.
    QColor chosenColor = ColorOf(options.BackColor);
    bool colorChosen = false;
    auto* colorButton = new QPushButton(chosenColor.name());
    QObject::connect(colorButton, &QPushButton::clicked, &dialog, [&] {
        const QColor picked = QColorDialog::getColor(chosenColor, &dialog);
        if (!picked.isValid()) return;
        chosenColor = picked;
        colorChosen = true;
        colorButton->setText(chosenColor.name());
    });
    form->addRow(QStringLiteral("&Background:"), colorButton);

    auto* printable = new QCheckBox(QStringLiteral("Only &printable characters"));
    printable->setChecked(options.Load.Printable);
    form->addRow(printable);
    auto* cp = new QSpinBox;
    cp->setRange(0, 65535);
    cp->setValue(options.Load.CP);
    form->addRow(QStringLiteral("&Code page:"), cp);
    auto* force = new QCheckBox(QStringLiteral("F&orce this code page"));
    force->setChecked(options.Load.ForceCP);
    form->addRow(force);
    auto* reading = new QCheckBox(QStringLiteral("&Reading layout (fields, tables, lists)"));
    reading->setChecked(options.Load.ReadingLayout);
    form->addRow(reading);
    auto* word = new QCheckBox(QStringLiteral("Load with Microsoft Word (not available on Linux)"));
    word->setEnabled(false);
    form->addRow(word);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto* column = new QVBoxLayout(&dialog);
    column->addLayout(form);
    column->addWidget(buttons);

    // The host may close the viewer while the dialog runs its own loop: then
    // nothing may be read back into it.
    QPointer<TQtViewer> self(this);
    const bool accepted = dialog.exec() == QDialog::Accepted;
    if (!self || !accepted) return;
    options.Font.Name = chosenFont.family().toStdU16String();
    options.Font.Size = std::max(1, static_cast<int>(chosenFont.pointSizeF() + 0.5));
    TFontStyles style = options.Font.Style & ~(fsBold | fsItalic);
    if (chosenFont.bold()) style |= fsBold;
    if (chosenFont.italic()) style |= fsItalic;
    options.Font.Style = style;
    if (colorChosen)
        options.BackColor = chosenColor.red() | (chosenColor.green() << 8) | (chosenColor.blue() << 16);
    options.Load.Printable = printable->isChecked();
    options.Load.CP = cp->value();
    options.Load.ForceCP = force->isChecked();
    options.Load.ReadingLayout = reading->isChecked();
    ApplyKeptOptions(*core_, options, iniPath_);
}

}  // namespace pagelet
