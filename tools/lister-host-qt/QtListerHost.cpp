// lister-host-qt: the plug-in in a Qt 5 window made as Double Commander's Qt
// build makes its viewer (the parent a scroll area's viewport, the plug-in's
// widget moved, sized and focused by the host, never shown by it), with the
// command line and the log of lister-host-gtk, so that one test table runs
// against both. Keys (--key) go to the focused widget; those that reach the
// host's window are the host's.
#include <QAbstractScrollArea>
#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QScrollBar>
#include <QTextBlock>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "GtkHostOptions.h"
#include "LinuxListerHost.h"

namespace pagelet {

namespace {

void Out(const std::string& line) { HostOut(line); }
void Err(const std::string& line) { HostErr("lister-host-qt", line); }

std::string Utf8(const QString& text) { return text.toUtf8().toStdString(); }

// The text of a text document as lister-host-gtk prints a GtkTextBuffer's:
// line ends as CR LF (an LF in print), nothing changed else.
QString RawText(const QPlainTextEdit* edit) {
    QString text = edit->document()->toRawText();
    text.replace(QChar::ParagraphSeparator, QStringLiteral("\r\n"));
    return text;
}

// Characters of part as a GtkTextBuffer counts them: a surrogate pair one, a
// line end (CR LF) two.
int GtkCount(const QString& part) {
    int count = 0;
    for (int i = 0; i < part.size(); ++i) {
        if (part[i].isHighSurrogate() && i + 1 < part.size() && part[i + 1].isLowSurrogate()) ++i;
        count += part[i] == QChar::ParagraphSeparator ? 2 : 1;
    }
    return count;
}

// The viewer window: a scroll area whose viewport is ParentWin, a status
// line below. The keys that reach it are the host's.
class THostWindow final : public QWidget {
public:
    std::function<void(QKeyEvent*)> OnKey;

protected:
    void keyPressEvent(QKeyEvent* event) override {
        if (OnKey) OnKey(event);
        event->accept();
    }
};

// Paints of the viewer's text area, for the first draw.
class TPaintWatch final : public QObject {
public:
    explicit TPaintWatch(std::function<void()> painted) : painted_(std::move(painted)) {}

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) painted_();
        return false;
    }

private:
    std::function<void()> painted_;
};

// Resizes of the lister area: the host sizes the plug-in's widget to it.
class TResizeWatch final : public QObject {
public:
    explicit TResizeWatch(std::function<void()> resized) : resized_(std::move(resized)) {}

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Resize) resized_();
        return false;
    }

private:
    std::function<void()> resized_;
};

// "Down", "Shift+End", "Ctrl+End", "Escape", "F7", "n": the key and its modifiers.
bool ParseKey(const std::string& name, int& key, Qt::KeyboardModifiers& modifiers, QString& text) {
    static const std::map<std::string, int> keys{
        {"Up", Qt::Key_Up},         {"Down", Qt::Key_Down},         {"Left", Qt::Key_Left},
        {"Right", Qt::Key_Right},   {"PageUp", Qt::Key_PageUp},     {"PageDown", Qt::Key_PageDown},
        {"Home", Qt::Key_Home},     {"End", Qt::Key_End},           {"Escape", Qt::Key_Escape},
        {"F3", Qt::Key_F3},         {"F7", Qt::Key_F7},             {"Tab", Qt::Key_Tab}};
    modifiers = Qt::NoModifier;
    std::string rest = name;
    for (;;) {
        if (rest.compare(0, 6, "Shift+") == 0) {
            modifiers |= Qt::ShiftModifier;
            rest = rest.substr(6);
        } else if (rest.compare(0, 5, "Ctrl+") == 0) {
            modifiers |= Qt::ControlModifier;
            rest = rest.substr(5);
        } else {
            break;
        }
    }
    text.clear();
    if (auto found = keys.find(rest); found != keys.end()) {
        key = found->second;
        return true;
    }
    if (rest.size() == 1 && rest[0] >= 'a' && rest[0] <= 'z') {
        key = Qt::Key_A + (rest[0] - 'a');
        if (!(modifiers & Qt::ControlModifier)) text = QString(QChar(rest[0]));
        return true;
    }
    return false;
}

class TQtListerHost final : public TLinuxListerHost {
public:
    TQtListerHost(const TGtkHostOptions& options, THostPlugin* plugin)
        : TLinuxListerHost("lister-host-qt", options, plugin) {}
    int Run();

private:
    lister::TWindow Viewer() const override { return viewer_.data(); }
    bool Pending() const override { return viewer_ && viewer_->property("pageletPending").toBool(); }
    bool Settle() override;
    void LogViewer() override;
    void LogSelection() override;
    void PrintClipboard() override;
    bool ToUtf16(const std::string& text, std::u16string& result) const override {
        result = QString::fromStdString(text).toStdU16String();
        return true;
    }
    long CharactersShown() const override { return edit_ ? edit_->document()->characterCount() - 1 : -1; }
    bool HasTextView() const override { return edit_ != nullptr; }
    lister::TWindow ParentWin() const override { return parentWin_; }
    bool WaitFor(const std::function<bool()>& done, const char* what) override;
    void StartTicks() override { tick_.start(kHostTickMs); }
    void StopTicks() override { tick_.stop(); }
    void AttachViewer(lister::TWindow viewer) override;
    void PrintViewerText() override;
    void TakeScreenshot() override;
    void RunKeys() override;
    void RunMainLoop() override { QApplication::exec(); }
    void CloseViewer() override;
    void LogLeftOpen() override;

    void MakeWindow();
    void SizeViewer();
    void PressKey(const std::string& name);
    bool MakeBareView(const std::string& text) override;
    void SetBareText(const std::string& text) override;
    void WatchDialogs();

    std::unique_ptr<THostWindow> window_;
    QAbstractScrollArea* area_ = nullptr;
    QWidget* parentWin_ = nullptr;  // the area's viewport
    QPointer<QWidget> viewer_;      // what ListLoad answered
    QPlainTextEdit* edit_ = nullptr;
    bool hostGotKey_ = false;
    QTimer tick_;
    QTimer dialogWatch_;
    std::unique_ptr<TPaintWatch> paintWatch_;
    std::unique_ptr<TResizeWatch> resizeWatch_;
};

void TQtListerHost::MakeWindow() {
    window_ = std::make_unique<THostWindow>();
    const std::string name = options_.FileName.empty() ? options_.BareTextPath : options_.FileName;
    window_->setWindowTitle(QString::fromStdString("lister-host-qt - " + name));
    window_->resize(options_.Width, options_.Height);
    window_->move(0, 0);
    auto* column = new QVBoxLayout(window_.get());
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    area_ = new QAbstractScrollArea;
    area_->setFrameShape(QFrame::NoFrame);
    column->addWidget(area_, 1);
    column->addWidget(new QLabel(QStringLiteral("lister-host-qt")));
    parentWin_ = area_->viewport();
    resizeWatch_ = std::make_unique<TResizeWatch>([this] { SizeViewer(); });
    parentWin_->installEventFilter(resizeWatch_.get());
    window_->OnKey = [this](QKeyEvent* event) {
        hostGotKey_ = true;
        if (!options_.Batch() && event->key() == Qt::Key_Escape) QApplication::quit();
        if (!options_.Batch() && (event->modifiers() & Qt::ControlModifier) &&
            (event->key() == Qt::Key_A || event->key() == Qt::Key_C))
            SendCommand(event->key() == Qt::Key_A ? lister::kCommandSelectAll : lister::kCommandCopy, 0);
    };
    window_->show();
    // Without a window manager nothing activates the window: the keyboard
    // focus needs an active window.
    window_->activateWindow();
    QApplication::setActiveWindow(window_.get());
}

void TQtListerHost::SizeViewer() {
    if (viewer_ && parentWin_) viewer_->setGeometry(parentWin_->rect());
}

void TQtListerHost::AttachViewer(lister::TWindow window) {
    auto* viewer = static_cast<QWidget*>(window);
    viewer_ = viewer;
    edit_ = qobject_cast<QPlainTextEdit*>(viewer);
    if (viewer->parentWidget() != parentWin_) Out("the plug-in's widget is not in the lister window");
    if (edit_ && options_.Figures) {
        paintWatch_ = std::make_unique<TPaintWatch>([this] {
            if (figures_.FirstDraw < 0 && figures_.ListLoadReturn >= 0 && edit_ && !edit_->document()->isEmpty())
                figures_.FirstDraw = HostNow() - figures_.Start;
        });
        edit_->viewport()->installEventFilter(paintWatch_.get());
    }
    SizeViewer();
    // Double Commander focuses the widget it was given, and never shows it.
    viewer->setFocus();
}

bool TQtListerHost::WaitFor(const std::function<bool()>& done, const char* what) {
    QTimer wake;
    wake.start(kHostTickMs);
    while (!done()) {
        if (HostNow() > deadline_) {
            Err(std::string("timed out waiting for ") + what);
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

// Until what waits in the event loop is done: posted events, layout, painting.
bool TQtListerHost::Settle() {
    for (int i = 0; i < 3; ++i) {
        bool ran = false;
        QTimer::singleShot(0, [&ran] { ran = true; });
        if (!WaitFor([&ran] { return ran; }, "the event loop to settle")) return false;
        QCoreApplication::sendPostedEvents();
    }
    return true;
}

void TQtListerHost::LogViewer() {
    QWidget* focus = QApplication::focusWidget();
    Out(std::string("focus: ") + (focus ? focus->metaObject()->className() : "none") +
        (focus && viewer_ && viewer_->focusProxy() == focus ? " (the viewer's focus)" : ""));
    if (!edit_) return;
    const QFont font = edit_->font();
    std::string face = Utf8(font.family());
    if (font.bold()) face += " Bold";
    if (font.italic()) face += " Italic";
    face += " " + std::to_string(static_cast<int>(font.pointSizeF() + 0.5));
    const QPalette palette = edit_->palette();
    Out("view: font \"" + face + "\", text " + Utf8(palette.color(QPalette::Text).name()) + ", base " +
        Utf8(palette.color(QPalette::Base).name()) + ", wrap " +
        (edit_->lineWrapMode() == QPlainTextEdit::NoWrap ? "off" : "on"));
}

void TQtListerHost::PrintViewerText() {
    if (!edit_) {
        Err("the viewer is no QPlainTextEdit");
        exitCode_ = 1;
        return;
    }
    const QString text = RawText(edit_);
    Out("viewer text: " + std::to_string(GtkCount(edit_->document()->toRawText())) + " characters");
    PrintBlock("text", WithNewlines(Utf8(text)));
}

// The selection as lister-host-gtk logs it (characters as a GtkTextBuffer
// counts them), so that both hosts' logs compare.
void TQtListerHost::LogSelection() {
    if (!edit_) return;
    const QString raw = edit_->document()->toRawText();
    const QTextCursor cursor = edit_->textCursor();
    const int from = cursor.selectionStart();
    const int to = cursor.selectionEnd();
    const int start = GtkCount(raw.left(from));
    const int length = GtkCount(raw.mid(from, to - from));
    std::string line = "selection: " + std::to_string(start) + " length " + std::to_string(length);
    if (length > 0 && length <= 200) {
        QString text = raw.mid(from, to - from);
        text.replace(QChar::ParagraphSeparator, QStringLiteral("\r\n"));
        line += " \"" + Escaped(Utf8(text)) + "\"";
    }
    Out(line);
}

void TQtListerHost::PrintClipboard() {
    const QString text = QApplication::clipboard()->text(QClipboard::Clipboard);
    if (text.isEmpty()) {
        Out("clipboard: empty");
        return;
    }
    Out("clipboard: " + std::to_string(text.toUcs4().size()) + " characters");
    PrintBlock("clipboard", Utf8(text));
}

// A key pressed as the user presses it: to the widget with the focus. Logs
// whether it reached the host's window and where the selection is after it.
void TQtListerHost::PressKey(const std::string& name) {
    int key = 0;
    Qt::KeyboardModifiers modifiers;
    QString text;
    if (!ParseKey(name, key, modifiers, text)) {
        Err("no such key: " + name);
        exitCode_ = 1;
        return;
    }
    QWidget* target = QApplication::focusWidget();
    if (!target) target = window_.get();
    hostGotKey_ = false;
    QKeyEvent press(QEvent::KeyPress, key, modifiers, text);
    QApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, key, modifiers, text);
    QApplication::sendEvent(target, &release);
    if (!options_.NoWait) Settle();
    Out("key " + name + ": " + (hostGotKey_ ? "host" : "viewer"));
    LogSelection();
}

void TQtListerHost::TakeScreenshot() {
    Settle();
    const QString path = QString::fromStdString(FullPath(options_.ScreenshotPath));
    const QPixmap picture = window_->grab();
    if (picture.save(path, "PNG")) {
        Out("screenshot: " + Utf8(path) + " (" + std::to_string(picture.width()) + "x" +
            std::to_string(picture.height()) + ")");
    } else {
        Err("cannot save the screenshot " + Utf8(path));
        exitCode_ = 1;
    }
}

void TQtListerHost::CloseViewer() {
    if (!viewer_) return;
    QWidget* viewer = viewer_;
    const double start = HostNow();
    if (plugin_->ListCloseWindow)
        plugin_->ListCloseWindow(viewer);
    else
        delete viewer;
    figures_.Close = HostNow() - start;
    edit_ = nullptr;
    // The plug-in may leave the deletion to the event loop.
    Settle();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    if (viewer_) {
        Err("the viewer's widget is still there after ListCloseWindow");
        exitCode_ = 1;
        delete viewer_.data();
    }
}

void TQtListerHost::LogLeftOpen() {
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (top == window_.get() || !top->isVisible()) continue;
        Out(std::string("left open: ") + top->metaObject()->className() + " \"" + Utf8(top->windowTitle()) + "\"");
        exitCode_ = 1;
    }
    const int count = static_cast<int>(parentWin_->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly).size());
    if (count > 0) {
        Out("left in the lister window: " + std::to_string(count) + " widgets");
        exitCode_ = 1;
    }
}

// In batch mode nobody is at the screen: each dialog of the plug-in is
// logged and answered from its own loop.
void TQtListerHost::WatchDialogs() {
    QObject::connect(&dialogWatch_, &QTimer::timeout, [this] {
        QWidget* modal = QApplication::activeModalWidget();
        auto* dialog = qobject_cast<QDialog*>(modal);
        if (!dialog || dialog->property("listerHostSeen").toBool()) return;
        dialog->setProperty("listerHostSeen", true);
        if (auto* box = qobject_cast<QMessageBox*>(dialog)) {
            Out("message box \"" + Utf8(box->windowTitle()) + "\": " + Escaped(Utf8(box->text())));
            box->done(QMessageBox::Ok);
        } else {
            Out("dialog \"" + Utf8(dialog->windowTitle()) + "\"");
            dialog->reject();
        }
        if (++dismissedDialogs_ > kMaxDismissedDialogs) {
            Err("the plug-in keeps showing dialogs; giving up");
            std::fflush(nullptr);
            _exit(1);
        }
    });
    dialogWatch_.start(kHostTickMs);
}

// The baseline: a bare read-only QPlainTextEdit given the whole text in one setPlainText.
bool TQtListerHost::MakeBareView(const std::string& /*text*/) {
    auto* edit = new QPlainTextEdit(parentWin_);
    edit->setReadOnly(true);
    edit->setLineWrapMode(options_.Wrap ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap);
    edit->show();
    AttachViewer(edit);
    return true;
}

void TQtListerHost::SetBareText(const std::string& text) {
    edit_->setPlainText(QString::fromUtf8(text.data(), static_cast<int>(text.size())));
}

int TQtListerHost::Run() {
    QObject::connect(&tick_, &QTimer::timeout, [this] { TickFigures(); });
    MakeWindow();
    if (options_.Batch()) WatchDialogs();
    if (!WaitFor([this] { return window_->windowHandle() && window_->windowHandle()->isExposed(); }, "the window") ||
        !Settle())
        return kHostExitTimedOut;
    if (!options_.BareTextPath.empty()) return RunBare();
    return RunDocument();
}

void TQtListerHost::RunKeys() {
    for (const std::string& key : options_.Keys) {
        if (!viewer_) break;
        PressKey(key);
    }
}

const char* Usage() {
    return R"(Usage: lister-host-qt [OPTIONS] FILE
       lister-host-qt --bare TEXT.txt [--figures] [--size WxH] [--wrap]

Loads the lister plug-in (pagelet.wlx beside the program) the way Double
Commander's Qt 5 build does (dlopen, every export by name, a scroll area's
viewport as the parent window) and shows FILE in it. The options are
lister-host-gtk's (see lister-host-gtk --help), and besides:
  --palette BASE,TEXT  the application's palette: base and text colours
                       (#rrggbb each), as a Qt style gives them
  --key KEY            after the commands, press KEY (Down, Shift+End,
                       Ctrl+End, PageDown, Escape, F7, n, ...) in the
                       focused widget; may be repeated. Logs "key KEY: host"
                       when it reached the host's window, else "viewer"
  --bare TEXT.txt      the baseline: a bare QPlainTextEdit given the whole
                       UTF-8 text in one setPlainText
)";
}

}  // namespace

}  // namespace pagelet

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    pagelet::TGtkHostOptions options;
    std::string error;
    if (!pagelet::ParseGtkHostOptions(args, options, error)) {
        std::fprintf(stderr, "lister-host-qt: %s\n\n%s", error.c_str(), pagelet::Usage());
        return 2;
    }
    if (options.Help) {
        std::fputs(pagelet::Usage(), stdout);
        return 0;
    }
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY")) {
        pagelet::Err("no display");
        return pagelet::kHostExitNoDisplay;
    }
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    QApplication application(qtArgc, qtArgv);
    if (!options.Palette.empty()) {
        const size_t comma = options.Palette.find(',');
        const QColor base(QString::fromStdString(options.Palette.substr(0, comma)));
        const QColor text(QString::fromStdString(comma == std::string::npos ? "" : options.Palette.substr(comma + 1)));
        if (!base.isValid() || !text.isValid()) {
            pagelet::Err("--palette needs BASE,TEXT: " + options.Palette);
            return 2;
        }
        QPalette palette = QApplication::palette();
        palette.setColor(QPalette::Base, base);
        palette.setColor(QPalette::Text, text);
        QApplication::setPalette(palette);
    }
    pagelet::THostPlugin plugin;
    if (const int status = pagelet::PrepareHostRun("lister-host-qt", options, plugin); status >= 0) return status;
    pagelet::TQtListerHost host(options, &plugin);
    return host.Run();
}
