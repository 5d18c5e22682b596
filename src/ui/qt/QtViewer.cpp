#include "ui/qt/QtViewer.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QWheelEvent>

#include <algorithm>
#include <exception>
#include <set>

#include "common/Error.h"
#include "settings/Settings.h"
#include "viewer/KeptSettings.h"
#include "viewer/KeyPolicy.h"

namespace pagelet {

namespace {

// Every live viewer: a widget the host passes back is trusted only when it is here.
std::set<const void*>& LiveViewers() {
    static std::set<const void*> viewers;
    return viewers;
}

QString ToQString(std::u16string_view text) {
    return QString::fromUtf16(text.data(), static_cast<int>(std::min<size_t>(text.size(), INT32_MAX)));
}

QColor ToQColor(int32_t colorRef) { return QColor(colorRef & 0xFF, (colorRef >> 8) & 0xFF, (colorRef >> 16) & 0xFF); }

// A step that waits for text from the layout's thread comes this much later.
constexpr int kLaterMs = 10;

// The key policy's code of a Qt key (viewer/KeyPolicy.h); 0 for any other.
uint16_t KeyCodeOf(int key) {
    switch (key) {
    case Qt::Key_Up: return kKeyUp;
    case Qt::Key_Down: return kKeyDown;
    case Qt::Key_Left: return kKeyLeft;
    case Qt::Key_Right: return kKeyRight;
    case Qt::Key_PageUp: return kKeyPageUp;
    case Qt::Key_PageDown: return kKeyPageDown;
    case Qt::Key_Home: return kKeyHome;
    case Qt::Key_End: return kKeyEnd;
    default: return 0;
    }
}

TShiftState ShiftOf(Qt::KeyboardModifiers modifiers) {
    TShiftState shift = 0;
    if (modifiers & Qt::ShiftModifier) shift |= ssShift;
    if (modifiers & Qt::ControlModifier) shift |= ssCtrl;
    if (modifiers & Qt::AltModifier) shift |= ssAlt;
    return shift;
}

void ShowQtMessage(QWidget* owner, const std::u16string& text, QMessageBox::Icon icon) {
    std::u16string message = text;
    std::replace(message.begin(), message.end(), u'\r', u'\n');
    QMessageBox box(icon, QString::fromUtf8(kQtMessageCaption), ToQString(message), QMessageBox::Ok,
                    owner ? owner->window() : nullptr);
    box.exec();
}

}  // namespace

void ShowQtError(QWidget* owner, const std::u16string& text) { ShowQtMessage(owner, text, QMessageBox::Critical); }

void ShowQtInfo(QWidget* owner, const std::u16string& text) { ShowQtMessage(owner, text, QMessageBox::Information); }

bool IsQtViewKey(int key, Qt::KeyboardModifiers modifiers) {
    const uint16_t code = KeyCodeOf(key);
    if (code == 0) return false;
    if ((code == kKeyLeft || code == kKeyRight) && !(modifiers & Qt::ShiftModifier)) return false;
    return RouteKey(code, ShiftOf(modifiers), THostKeys::PassedUp, false).ToViewer;
}

// On the host's window: hands the view keys to the text widget and eats
// those it took; every other key, and a view key it did not take, stays the
// host's. The widget is called directly, not through the application: a key
// it ignores would travel up to this window and back here.
class TQtViewer::TKeyFilter final : public QObject {
public:
    explicit TKeyFilter(TQtViewer& viewer) : QObject(&viewer), viewer_(viewer) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (busy_ || event->type() != QEvent::KeyPress || !viewer_.isVisible()) return false;
        auto* key = static_cast<QKeyEvent*>(event);
        if (!IsQtViewKey(key->key(), key->modifiers()) || watched != viewer_.window()) return false;
        busy_ = true;
        QKeyEvent copy(key->type(), key->key(), key->modifiers(), key->nativeScanCode(), key->nativeVirtualKey(),
                       key->nativeModifiers(), key->text(), key->isAutoRepeat(), static_cast<ushort>(key->count()));
        copy.setAccepted(true);
        static_cast<QObject&>(viewer_).event(&copy);
        busy_ = false;
        return copy.isAccepted();
    }

private:
    TQtViewer& viewer_;
    bool busy_ = false;
};

TQtViewer::TQtViewer(QWidget* parent, const std::u16string& iniPath) : QPlainTextEdit(parent), iniPath_(iniPath) {
    setReadOnly(true);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setUndoRedoEnabled(false);
    setFrameShape(QFrame::NoFrame);
    setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    // The focus goes to the host's window, where the key filter is.
    setFocusPolicy(Qt::NoFocus);
    if (parent) setFocusProxy(parent->window());
    stepTimer_.setSingleShot(true);
    QObject::connect(&stepTimer_, &QTimer::timeout, this, [this] { OnStep(); });

    core_ = std::make_unique<TViewerCore>(*this);
    ApplyKeptSettings(*core_, iniPath_);
    LiveViewers().insert(static_cast<QWidget*>(this));
    UpdatePendingMark();
}

TQtViewer::~TQtViewer() {
    LiveViewers().erase(static_cast<QWidget*>(this));
    stepTimer_.stop();
    // The core and its load go before the widget parts they draw with.
    core_.reset();
}

TQtViewer* TQtViewer::Of(const void* widget) {
    // Kept as the widget the host sees: a QWidget*.
    return LiveViewers().count(widget)
               ? static_cast<TQtViewer*>(static_cast<QWidget*>(const_cast<void*>(widget)))
               : nullptr;
}

void TQtViewer::ShowDocument(TLoadedDocument document) {
    if (parentWidget() && !keyFilter_) {
        keyFilter_ = new TKeyFilter(*this);
        parentWidget()->window()->installEventFilter(keyFilter_);
    }
    // The host never shows the widget itself.
    show();
    core_->LoadText(std::move(document.Text), std::move(document.Rest));
}

void TQtViewer::Close() {
    LiveViewers().erase(static_cast<QWidget*>(this));
    CancelStep();
    hide();
    deleteLater();
}

void TQtViewer::UpdatePendingMark() { setProperty("pageletPending", stepTimer_.isActive()); }

// The widget's text of a part of the document: CR LF, CR and LF each one
// line end; a NUL, which a text document does not keep, the document's frame
// marks and a surrogate without its pair show as U+FFFD (as the other
// viewers and pagelet-cat show them), one for one, so that positions keep
// their meaning (TLineEndIndex). A high surrogate that ends a part waits for
// the next part's first unit.
void TQtViewer::Insert(std::u16string_view text) {
    QString shown;
    shown.reserve(static_cast<int>(std::min<size_t>(text.size(), INT32_MAX)));
    auto isHigh = [](char16_t c) { return c >= 0xD800 && c <= 0xDBFF; };
    auto isLow = [](char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; };
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        const bool lfOfCrLf = c == u'\n' && afterCr_;
        afterCr_ = c == u'\r';
        const bool afterHigh = afterHigh_;
        afterHigh_ = isHigh(c);
        if (lfOfCrLf) continue;
        if (c == u'\r' || c == u'\n')
            shown += QChar(u'\n');
        else if (c == 0 || c == 0xFDD0 || c == 0xFDD1 || (isLow(c) && !afterHigh) ||
                 (isHigh(c) && i + 1 < text.size() && !isLow(text[i + 1])))
            shown += QChar(0xFFFD);
        else
            shown += QChar(c);
    }
    lineEnds_.Append(text);
    QTextCursor end(document());
    end.movePosition(QTextCursor::End);
    end.insertText(shown);
}

void TQtViewer::PutText(std::u16string_view text) {
    lineEnds_.Clear();
    afterCr_ = false;
    afterHigh_ = false;
    clear();
    Insert(text);
    QTextCursor start(document());
    setTextCursor(start);
    ScrollToStart();
}

void TQtViewer::AppendSlice(std::u16string_view text) {
    const int v = verticalScrollBar()->value();
    const int h = horizontalScrollBar()->value();
    Insert(text);
    verticalScrollBar()->setValue(v);
    horizontalScrollBar()->setValue(h);
}

TTextRange TQtViewer::Selection() const {
    const QTextCursor cursor = textCursor();
    TTextRange range;
    range.Start = lineEnds_.OffsetOf(static_cast<size_t>(cursor.selectionStart()));
    range.End = lineEnds_.OffsetOf(static_cast<size_t>(cursor.selectionEnd()));
    return range;
}

void TQtViewer::Select(TTextRange range, bool scroll) {
    const int last = std::max(0, document()->characterCount() - 1);
    auto position = [&](size_t offset) {
        return static_cast<int>(std::min<size_t>(lineEnds_.PositionOf(offset), static_cast<size_t>(last)));
    };
    QTextCursor cursor(document());
    cursor.setPosition(position(range.Start));
    // The caret at the end of the selection, as the host's search expects.
    cursor.setPosition(position(range.End), QTextCursor::KeepAnchor);
    const int v = verticalScrollBar()->value();
    const int h = horizontalScrollBar()->value();
    setTextCursor(cursor);
    if (scroll) {
        ensureCursorVisible();
    } else {
        verticalScrollBar()->setValue(v);
        horizontalScrollBar()->setValue(h);
    }
}

void TQtViewer::ScrollToStart() {
    verticalScrollBar()->setValue(verticalScrollBar()->minimum());
    horizontalScrollBar()->setValue(horizontalScrollBar()->minimum());
}

void TQtViewer::ShowFont(const TFontSpec& font, bool dark) {
    ShowFace(font, core_->Zoom());
    textColor_ = ShownTextColor(font.Color, dark);
    ShowColours();
}

void TQtViewer::ShowBackColor(int32_t color, bool dark) {
    backColor_ = ShownBackColor(color, dark);
    ShowColours();
}

// The palette's own colours (the host's style) for system colours; only
// the explicit ones are set.
void TQtViewer::ShowColours() {
    setPalette(QPalette());
    if (textColor_ < 0 && backColor_ < 0) return;
    QPalette colours = palette();
    if (textColor_ >= 0) colours.setColor(QPalette::Text, ToQColor(textColor_));
    if (backColor_ >= 0) colours.setColor(QPalette::Base, ToQColor(backColor_));
    setPalette(colours);
}

void TQtViewer::ShowFace(const TFontSpec& font, int32_t zoom) {
    QFont face = this->font();
    const QString family = ToQString(font.Name);
    // A face the system lacks (Tahoma, the default, on most Linux desktops)
    // falls back to the desktop's sans-serif at the same size.
    if (!family.isEmpty())
        face.setFamily(QFontDatabase().families().contains(family, Qt::CaseInsensitive) ? family
                                                                                          : QStringLiteral("Sans"));
    face.setPointSizeF(std::max(1.0, std::max(1, font.Size) * (zoom > 0 ? zoom : 100) / 100.0));
    face.setBold((font.Style & fsBold) != 0);
    face.setItalic((font.Style & fsItalic) != 0);
    setFont(face);
}

bool TQtViewer::ShowWordWrap(bool wrap) {
    setLineWrapMode(wrap ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap);
    setHorizontalScrollBarPolicy(wrap ? Qt::ScrollBarAlwaysOff : Qt::ScrollBarAsNeeded);
    return false;
}

void TQtViewer::ShowZoom(int32_t percent) { ShowFace(core_->Font(), percent); }

void TQtViewer::Repaint() { viewport()->update(); }

void TQtViewer::Focus() { setFocus(Qt::OtherFocusReason); }

void TQtViewer::CopyToClipboard(std::u16string_view text) {
    // Linux programs take LF line ends.
    std::u16string lf;
    lf.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') continue;
        lf += text[i] == 0 ? u'\uFFFD' : text[i];
    }
    QApplication::clipboard()->setText(ToQString(lf), QClipboard::Clipboard);
}

void TQtViewer::ScheduleStep() {
    // A zero timer: after the input and painting that wait.
    if (!stepTimer_.isActive()) stepTimer_.start(0);
    UpdatePendingMark();
}

void TQtViewer::ScheduleStepLater() {
    if (!stepTimer_.isActive()) stepTimer_.start(kLaterMs);
    UpdatePendingMark();
}

void TQtViewer::CancelStep() {
    stepTimer_.stop();
    UpdatePendingMark();
}

void TQtViewer::OnStep() {
    try {
        core_->Step();
    } catch (const std::exception& e) {
        ShowQtError(this, u"Exception:\r" + ExceptionMessage(e));
    }
    UpdatePendingMark();
}

void TQtViewer::wheelEvent(QWheelEvent* event) {
    if (core_->MouseWheel(ShiftOf(event->modifiers()), event->angleDelta().y())) {
        event->accept();
        return;
    }
    QPlainTextEdit::wheelEvent(event);
}

void TQtViewer::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) dragging_ = true;
    QPlainTextEdit::mousePressEvent(event);
}

void TQtViewer::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) dragging_ = false;
    QPlainTextEdit::mouseReleaseEvent(event);
}

void TQtViewer::ToggleWordWrap() {
    ToggleKeptWordWrap(*core_, iniPath_);
}

void TQtViewer::contextMenuEvent(QContextMenuEvent* event) {
    // The viewer's own items in place of the text widget's.
    QMenu menu(this);
    QPointer<TQtViewer> self(this);
    auto run = [self](void (*action)(TQtViewer&)) {
        return [self, action] {
            if (!self) return;
            try {
                action(*self);
            } catch (const std::exception& e) {
                ShowQtError(self, u"Exception:\r" + ExceptionMessage(e));
            }
        };
    };
    QObject::connect(menu.addAction(QStringLiteral("&Copy")), &QAction::triggered,
                     run([](TQtViewer& v) { v.core_->CopyToClipboard(); }));
    QObject::connect(menu.addAction(QStringLiteral("&Select all")), &QAction::triggered,
                     run([](TQtViewer& v) { v.core_->SelectAll(); }));
    menu.addSeparator();
    QAction* wrap = menu.addAction(QStringLiteral("&Word wrap"));
    wrap->setCheckable(true);
    wrap->setChecked(core_->WordWrap());
    QObject::connect(wrap, &QAction::triggered, run([](TQtViewer& v) { v.ToggleWordWrap(); }));
    QObject::connect(menu.addAction(QStringLiteral("&Options...")), &QAction::triggered,
                     run([](TQtViewer& v) { v.ExecuteOptions(); }));
    menu.exec(event->globalPos());
}

}  // namespace pagelet
