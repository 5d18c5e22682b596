// Black-box tests of the Linux plug-in through a test host that loads it as
// one of Double Commander's builds does: lister-host-gtk (the GTK 2 build)
// or lister-host-qt (the Qt 5 build), chosen by --host gtk|qt; the same
// pagelet.wlx, the same cases and the same log. Each case starts the host
// with a command line and reads what it prints and its exit status. Needs an
// X display (the tests run under xvfb-run); without one the whole test is
// skipped (exit status 77).
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "common/Utf.h"
#include "support/DocBuilder.h"
#include "support/Manifest.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using pagelet::TextDoc;

// What differs between the two hosts.
struct THost {
    std::string Name;     // as --host gives it
    std::string Program;
    std::string Module;   // the back end pagelet.wlx loads there
    std::string Focus;    // the host's "focus: " line while the viewer has the keys
    // The arguments or environment that give the host a theme of base and
    // text colours ("#rrggbb" each).
    std::function<std::vector<std::string>(const std::string& dir, const std::string& base, const std::string& text)>
        Theme;
};

const THost kGtk{"gtk", PAGELET_BINARY_DIR "/bin/lister-host-gtk", "pagelet-gtk2.so", "GtkTextView",
                 [](const std::string& dir, const std::string& base, const std::string& text) {
                     // A gtkrc of its own, for the text view.
                     const std::string rc = dir + "/gtkrc";
                     std::ofstream(rc) << "style \"themed\" {\n  base[NORMAL] = \"" << base << "\"\n  text[NORMAL] = \""
                                       << text << "\"\n}\nclass \"GtkTextView\" style \"themed\"\n";
                     setenv("GTK2_RC_FILES", rc.c_str(), 1);
                     return std::vector<std::string>{};
                 }};
// The text widget takes no focus: the host's window keeps it and hands the
// text the keys that move in it.
const THost kQt{"qt", PAGELET_BINARY_DIR "/bin/lister-host-qt", "pagelet-qt5.so", "QWidget (the viewer's focus)",
                [](const std::string&, const std::string& base, const std::string& text) {
                    return std::vector<std::string>{"--palette", base + "," + text};
                }};
const THost* gHost = &kGtk;
const THost& Host() { return *gHost; }

const std::string kCat = PAGELET_BINARY_DIR "/tools/pagelet-cat/pagelet-cat";
const std::string kCorpus = PAGELET_CORPUS_DIR;
const std::string kSample = PAGELET_SOURCE_DIR "/samples/sample.doc";
constexpr char kCaption[] = "Pagelet - document reader";
constexpr int kNoDisplay = 77;

struct TRun {
    int status = -1;     // the exit status; -1 when it did not end normally
    std::string output;  // stdout
    std::string errors;  // stderr
};

std::string ReadAll(int fd) {
    std::string text;
    char buffer[65536];
    for (;;) {
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got <= 0) break;
        text.append(buffer, static_cast<size_t>(got));
    }
    return text;
}

// Runs program with args; stdout and stderr each go to a file of their own
// (no pipe to fill while the child waits).
TRun RunProgram(const std::string& program, const std::vector<std::string>& args) {
    TRun run;
    char outName[] = "/tmp/lister-host-test-out-XXXXXX";
    char errName[] = "/tmp/lister-host-test-err-XXXXXX";
    const int out = mkstemp(outName);
    const int err = mkstemp(errName);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out, 1);
    posix_spawn_file_actions_adddup2(&actions, err, 2);
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ) == 0) {
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        if (WIFEXITED(status)) run.status = WEXITSTATUS(status);
    }
    posix_spawn_file_actions_destroy(&actions);
    lseek(out, 0, SEEK_SET);
    lseek(err, 0, SEEK_SET);
    run.output = ReadAll(out);
    run.errors = ReadAll(err);
    close(out);
    close(err);
    unlink(outName);
    unlink(errName);
    return run;
}

// A folder of its own for the settings of one case.
class TTempDir {
public:
    TTempDir() {
        char name[] = "/tmp/lister-host-test-XXXXXX";
        path_ = mkdtemp(name);
        // The viewer shows the converter's text, as ConverterText gives it.
        std::ofstream(path_ + "/Pagelet.ini") << "[Options]\nReadingLayout=0\n";
    }
    ~TTempDir() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    TTempDir(const TTempDir&) = delete;
    TTempDir& operator=(const TTempDir&) = delete;
    const std::string& Path() const { return path_; }
    std::string Ini() const { return path_ + "/wlx.ini"; }

private:
    std::string path_;
};

// The host in batch mode with the INI name in dir.
TRun RunHost(const TTempDir& dir, std::vector<std::string> args) {
    args.insert(args.begin(), {"--ini", dir.Ini(), "--timeout", "90"});
    TRun run = RunProgram(Host().Program, args);
    // An X server that resets when its last client leaves (Xvfb without
    // -noreset) refuses a client that comes just then: the host exits 77
    // "no display" at once. Once more, after the reset.
    for (int tries = 0; tries < 3 && run.status == kNoDisplay; ++tries) {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        run = RunProgram(Host().Program, args);
    }
    return run;
}

// What a failure shows of a run: its log, cut short (a run may print megabytes of text).
std::string Log(const TRun& run) {
    const size_t kMax = 4000;
    return "status " + std::to_string(run.status) + "\n" + run.output.substr(0, kMax) +
           (run.output.size() > kMax ? "\n[...]\n" : "") + run.errors.substr(0, kMax);
}

// The text between the host's markers "----- NAME -----" and "----- end of
// NAME -----", the nth such block; the host ends each with one LF of its own.
std::string Block(const std::string& output, const std::string& name, int nth = 0) {
    const std::string begin = "----- " + name + " -----\n";
    const std::string end = "\n----- end of " + name + " -----\n";
    size_t from = 0;
    for (int i = 0; i <= nth; ++i) {
        from = output.find(begin, from);
        if (from == std::string::npos) return "<no " + name + " printed>";
        from += begin.size();
    }
    const size_t to = output.find(end, from);
    if (to == std::string::npos) return "<" + name + " not ended>";
    return output.substr(from, to - from);
}

// The lines of output that start with prefix, without it.
std::vector<std::string> Lines(const std::string& output, const std::string& prefix) {
    std::vector<std::string> lines;
    std::istringstream stream(output);
    std::string line;
    while (std::getline(stream, line)) {
        if (line.compare(0, prefix.size(), prefix) == 0) lines.push_back(line.substr(prefix.size()));
    }
    return lines;
}

// The converter's text as pagelet-cat prints it (LF line ends, NULs
// dropped), ending with a line end as the viewer's text does: the viewer
// shows the text as lines, each with its line end.
std::string ConverterText(const std::string& path) {
    TRun run = RunProgram(kCat, {"--raw", path});
    if (!run.output.empty() && run.output.back() != '\n') run.output += '\n';
    return run.output;
}

std::vector<std::string> CorpusTextDocuments() {
    std::vector<std::string> files;
    for (const auto& row : pagelet::test::ReadManifest(kCorpus).value_or(std::vector<pagelet::test::TManifestRow>{})) {
        if (row.IsDefaultText()) files.push_back(kCorpus + "/" + row.File);
    }
    return files;
}

std::string PathOf(const pagelet::TTempFile& file) { return pagelet::Utf16ToUtf8(file.Path()); }

// Longer than one step of the viewer's load, with a character outside the
// BMP (a surrogate pair; one character in a GtkTextBuffer) on every line
// and a last line "needle".
std::u16string PairsText() {
    std::u16string text;
    for (int i = 0; i < 3000; ++i)
        text += pagelet::Utf8ToUtf16("line " + std::to_string(i) + " \xF0\x9F\x98\x80 xxxxxxxxxxxxxxxxxxxx\r");
    return text + u"needle\r";
}

bool HasCorpus() { return fs::exists(kCorpus + "/manifest.tsv"); }

// ---- the text shown -------------------------------------------------------

// Every corpus document with text, the sample and a document long enough to
// load in many steps: the viewer's text widget holds the converter's text,
// and the keyboard focus goes to it (GTK: the text view, not its scrolled
// window; Qt: the host's window, which hands it the keys).
TEST(ListerHost, ShowsTheConvertersTextOfEveryDocument) {
    // Line ends of every kind, a cell mark, and pairs across the load's steps.
    const auto ends = TextDoc(u"tab\there\u0007cell\rnext\r\nline\nlast\r");
    const auto pairs = TextDoc(PairsText());
    std::vector<std::string> files{kSample, PathOf(*ends), PathOf(*pairs)};
    if (HasCorpus()) {
        const std::vector<std::string> corpus = CorpusTextDocuments();
        EXPECT_GT(corpus.size(), 50u);
        files.insert(files.end(), corpus.begin(), corpus.end());
        files.push_back(kCorpus + "/big/mid.doc");
    }
    TTempDir dir;
    for (const std::string& file : files) {
        SCOPED_TRACE(file);
        const TRun run = RunHost(dir, {"--print-text", file});
        ASSERT_EQ(run.status, 0) << Log(run);
        EXPECT_EQ(Lines(run.output, "message box").size(), 0u) << Log(run);
        EXPECT_EQ(Lines(run.output, "focus: "), std::vector<std::string>{Host().Focus});
        EXPECT_TRUE(Block(run.output, "text") == ConverterText(file)) << "the viewer shows other text";
    }
}

// ListLoadW with a UTF-16 path and ListLoad with a UTF-8 path (--ansi), both
// with a Cyrillic and accented name.
TEST(ListerHost, LoadsDocumentsWithNonAsciiNames) {
    TTempDir dir;
    const std::string named = dir.Path() + "/\xC3\x9Cn\xC3\xAF" "c\xC3\xB8" "d\xC3\xA9-\xD0\xB6\xD1\x83\xD0\xBA.doc";
    fs::copy_file(kSample, named);
    for (const bool ansi : {false, true}) {
        SCOPED_TRACE(ansi ? "ListLoad" : "ListLoadW");
        std::vector<std::string> args{"--print-text", named};
        if (ansi) args.insert(args.begin(), "--ansi");
        const TRun run = RunHost(dir, args);
        ASSERT_EQ(run.status, 0) << Log(run);
        EXPECT_EQ(Lines(run.output, "loaded: "), std::vector<std::string>{named});
        EXPECT_EQ(Block(run.output, "text"), ConverterText(kSample));
    }
}

// ListLoadNextW shows the second document in the same viewer.
TEST(ListerHost, NextFileReplacesTheTextInTheSameViewer) {
    if (!HasCorpus()) GTEST_SKIP() << "no corpus";
    TTempDir dir;
    const std::string second = kCorpus + "/docs/nwe-test01.doc";
    const TRun run = RunHost(dir, {"--print-text", "--next", second, kCorpus + "/big/mid.doc"});
    ASSERT_EQ(run.status, 0) << Log(run);
    EXPECT_EQ(Lines(run.output, "next: "), std::vector<std::string>{second + ": shown in the same viewer"});
    EXPECT_EQ(Block(run.output, "text", 1), ConverterText(second));
    EXPECT_EQ(Lines(run.output, "focus: "), (std::vector<std::string>{Host().Focus, Host().Focus}));
}

// pagelet.wlx whose module is not beside it: no viewer (the host shows the
// file itself) and the reason on stderr; the host goes on.
TEST(ListerHost, APluginWithoutItsModuleOpensNoViewer) {
    TTempDir dir;
    const std::string lone = dir.Path() + "/pagelet.wlx";
    fs::copy_file(PAGELET_BINARY_DIR "/bin/pagelet.wlx", lone);
    const TRun run = RunHost(dir, {"--plugin", lone, "--close", kSample});
    EXPECT_EQ(run.status, 1) << Log(run);
    EXPECT_NE(run.errors.find("did not open"), std::string::npos) << Log(run);
    EXPECT_NE(run.errors.find("cannot load " + dir.Path() + "/" + Host().Module), std::string::npos) << Log(run);
}

// ---- commands and search --------------------------------------------------

// Select all and copy put the whole text on the clipboard, with LF line
// ends; the clipboard is read back in the host.
TEST(ListerHost, SelectAllAndCopyPutTheWholeTextOnTheClipboard) {
    std::vector<std::string> files{kSample};
    if (HasCorpus()) files.push_back(kCorpus + "/big/mid.doc");
    TTempDir dir;
    for (const std::string& file : files) {
        SCOPED_TRACE(file);
        const TRun run = RunHost(dir, {"--command", "select-all", "--command", "copy", file});
        ASSERT_EQ(run.status, 0) << Log(run);
        EXPECT_EQ(Lines(run.output, "command "), (std::vector<std::string>{"3 (0): done", "1 (0): done"}));
        const std::string clipboard = Block(run.output, "clipboard");
        EXPECT_TRUE(clipboard == ConverterText(file)) << "the clipboard holds other text: " << clipboard.substr(0, 200);
    }
}

// While the viewer is still loading (only the first screen in the view):
// select all and copy give the whole text, the next file replaces the
// loading one with nothing of the old load appended afterwards, and closing
// ends the load cleanly.
TEST(ListerHost, CommandsNextFileAndCloseWhileTheViewerIsStillLoading) {
    if (!HasCorpus()) GTEST_SKIP() << "no corpus";
    const std::string mid = kCorpus + "/big/mid.doc";
    TTempDir dir;
    {
        const TRun run = RunHost(dir, {"--no-wait", "--print-text", "--command", "select-all", "--command", "copy", mid});
        ASSERT_EQ(run.status, 0) << Log(run);
        const std::string whole = ConverterText(mid);
        EXPECT_LT(Block(run.output, "text").size(), whole.size() / 10) << "the view held the whole text already";
        EXPECT_TRUE(Block(run.output, "clipboard") == whole) << "the clipboard holds other text";
    }
    {
        const TRun run = RunHost(dir, {"--no-wait", "--print-text", "--next", kSample, mid});
        ASSERT_EQ(run.status, 0) << Log(run);
        EXPECT_EQ(Lines(run.output, "next: "), std::vector<std::string>{kSample + ": shown in the same viewer"});
        EXPECT_EQ(Block(run.output, "text", 1), ConverterText(kSample));
    }
    {
        const TRun run = RunHost(dir, {"--no-wait", "--close", mid});
        EXPECT_EQ(run.status, 0) << Log(run);
        EXPECT_EQ(Lines(run.output, "left ").size(), 0u) << Log(run);
    }
}

// A document whose reading layout takes long: two character styles based on
// each other, each with a property list of about 60 KB, and thousands of
// one-character runs in them.
std::unique_ptr<pagelet::TTempFile> SlowLayoutDoc() {
    std::vector<uint8_t> props;
    const std::vector<uint8_t> bold = pagelet::Sprm(0x0835, {1});  // sprmCFBold
    while (props.size() < 60000) props.insert(props.end(), bold.begin(), bold.end());
    pagelet::TRichDocBuilder doc;
    doc.Style(20, 2, {}, props, 21).Style(21, 2, {}, props, 20);
    for (int i = 0; i < 4000; ++i) doc.Run(u"x", pagelet::Sprm(0x4A30, {20, 0}));  // sprmCIstd
    doc.End();
    return doc.Write();
}

// The viewer does not wait for a reading layout that takes long: ListLoad
// shows it at once and the text comes as it is made; commands meanwhile act
// on what has come, and closing the viewer stops the layout.
TEST(ListerHost, AReadingLayoutThatTakesLongHoldsNeitherTheLoadNorTheClose) {
    const auto slow = SlowLayoutDoc();
    const std::string path = PathOf(*slow);
    TTempDir dir;
    std::ofstream(dir.Path() + "/Pagelet.ini") << "[Options]\nReadingLayout=1\n";
    {
        const TRun run = RunHost(dir, {"--no-wait", "--close", path});
        EXPECT_EQ(run.status, 0) << Log(run);
        EXPECT_EQ(Lines(run.output, "loaded: "), std::vector<std::string>{path});
        EXPECT_EQ(Lines(run.output, "message box").size(), 0u) << Log(run);
        EXPECT_EQ(Lines(run.output, "left ").size(), 0u) << Log(run);
    }
    {
        const TRun run = RunHost(dir, {"--no-wait", "--command", "select-all", "--command", "copy", path});
        EXPECT_EQ(run.status, 0) << Log(run);
        // What had come when select all came; nothing, when the layout had given nothing yet.
        const std::string clipboard =
            Lines(run.output, "clipboard: empty").empty() ? Block(run.output, "clipboard") : std::string();
        EXPECT_EQ(clipboard.find_first_not_of("x\n"), std::string::npos) << Log(run);
        EXPECT_LE(clipboard.size(), 4002u);
        EXPECT_EQ(Lines(run.output, "left ").size(), 0u) << Log(run);
    }
}

// Search as Double Commander sends it: find first (flag 1), F3, Shift+F3
// (backwards), match case; a text not found answers 1 and keeps the
// selection.
TEST(ListerHost, SearchFindsForwardBackwardAndByCaseAndSaysWhenNotFound) {
    TTempDir dir;
    const TRun run = RunHost(dir, {"--command", "find=paragraph", "--command", "find-next", "--command", "find-next",
                                   "--command", "find-prev", "--command", "find/c=PARAGRAPH", "--command",
                                   "find/b=pagelet", "--command", "find/cb=Pagelet", "--command", "find-prev",
                                   "--command", "wrap", kSample});
    ASSERT_EQ(run.status, 0) << Log(run);
    EXPECT_EQ(Lines(run.output, "search "),
              (std::vector<std::string>{"\"paragraph\" flags 0x1: done", "\"paragraph\" flags 0x0: done",
                                        "\"paragraph\" flags 0x0: not found", "\"paragraph\" flags 0x8: done",
                                        "\"PARAGRAPH\" flags 0x3: not found", "\"pagelet\" flags 0x9: done",
                                        "\"Pagelet\" flags 0xB: done", "\"Pagelet\" flags 0xA: done"}));
    const std::vector<std::string> selections = Lines(run.output, "selection: ");
    ASSERT_EQ(selections.size(), 9u) << Log(run);
    // The offsets of the matches in the text as the view holds it (CR LF counts two).
    const std::string text = ConverterText(kSample);
    std::vector<size_t> offsets;
    size_t lineEnds = 0;
    auto at = [&](size_t bytePos) {
        // Characters before bytePos, each LF one more for its CR.
        size_t chars = 0;
        lineEnds = 0;
        for (size_t i = 0; i < bytePos; ++i) {
            if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) ++chars;
            if (text[i] == '\n') ++lineEnds;
        }
        return std::to_string(chars + lineEnds);
    };
    const size_t p1 = text.find("paragraph");
    const size_t p2 = text.find("paragraph", p1 + 1);
    const size_t last = text.rfind("pagelet");
    const size_t shows = text.find("Pagelet shows");
    auto selected = [&](size_t pos, const std::string& word) {
        return at(pos) + " length " + std::to_string(word.size()) + " \"" + word + "\"";
    };
    EXPECT_EQ(selections[0], selected(p1, "paragraph"));
    EXPECT_EQ(selections[1], selected(p2, "paragraph"));
    EXPECT_EQ(selections[2], selected(p2, "paragraph")) << "not found keeps the selection";
    EXPECT_EQ(selections[3], selected(p1, "paragraph"));
    EXPECT_EQ(selections[4], selected(p1, "paragraph")) << "not found keeps the selection";
    EXPECT_EQ(selections[5], selected(last, "pagelet"));
    EXPECT_EQ(selections[6], selected(shows, "Pagelet"));
    EXPECT_EQ(selections[7], selected(0, "Pagelet"));
    EXPECT_EQ(selections[8], selected(0, "Pagelet")) << "wrapping keeps the selection";
    EXPECT_NE(run.output.find("wrap on"), std::string::npos) << Log(run);
    // The host ignores the answer: the plug-in says it in a box of its own.
    const std::string caption = std::string("\"") + kCaption + "\": ";
    EXPECT_EQ(Lines(run.output, "message box "),
              (std::vector<std::string>{caption + "\"paragraph\" not found", caption + "\"PARAGRAPH\" not found"}));
}

// Surrogate pairs count one character in the view and two code units in the
// text: matches after thousands of them, in text appended step by step, are
// still selected exactly, and copy gives the pairs whole.
TEST(ListerHost, SearchAndCopySelectExactlyAfterSurrogatePairs) {
    const auto doc = TextDoc(PairsText());
    TTempDir dir;
    const TRun run = RunHost(dir, {"--command", "find=needle", "--command", "find/b=line 2999 \xF0\x9F\x98\x80 x",
                                   "--command", "copy", "--command", "find=\xF0\x9F\x98\x80", PathOf(*doc)});
    ASSERT_EQ(run.status, 0) << Log(run);
    const std::vector<std::string> selections = Lines(run.output, "selection: ");
    ASSERT_EQ(selections.size(), 4u) << Log(run);
    // The 3000 lines before "needle", each with CR LF: 100,890 characters.
    EXPECT_EQ(selections[0], "100890 length 6 \"needle\"");
    EXPECT_EQ(selections[1], "100856 length 13 \"line 2999 \xF0\x9F\x98\x80 x\"");
    EXPECT_EQ(Block(run.output, "clipboard"), "line 2999 \xF0\x9F\x98\x80 x");
    EXPECT_EQ(selections[3], "7 length 1 \"\xF0\x9F\x98\x80\"");
}

// ---- keys -----------------------------------------------------------------

// The keys that move in the text are the viewer's (the caret moves, Shift
// selects); every other key reaches the host's window, where the file
// manager's own keys live: Esc and q close, F3/F7 search, n/p and plain
// Left/Right switch files. Keys the text widget does not act on at the end
// come back to the host without looping. Pressed in the Qt host (the GTK
// widget tree passes keys up by itself).
TEST(ListerHost, KeysThatMoveInTheTextAreTheViewersAndTheRestTheHosts) {
    if (Host().Name != "qt") GTEST_SKIP() << "keys are pressed in the Qt host";
    struct TKey {
        std::string Name;
        std::string Goes;       // "viewer" or "host"
        std::string Selection;  // the selection after it; empty: not checked
    };
    const std::string text = ConverterText(kSample);
    const std::vector<TKey> keys{
        {"Down", "viewer", ""},           {"Shift+Down", "viewer", ""}, {"Ctrl+Home", "viewer", "0 length 0"},
        {"Shift+Right", "viewer", "0 length 1 \"P\""},                  {"PageDown", "viewer", ""},
        {"Escape", "host", ""},           {"q", "host", ""},            {"n", "host", ""},
        {"p", "host", ""},                {"F7", "host", ""},           {"F3", "host", ""},
        {"Right", "host", ""},            {"Left", "host", ""},         {"Ctrl+End", "viewer", ""},
        {"Ctrl+End", "viewer", ""},       {"End", "viewer", ""},        {"Up", "viewer", ""},
    };
    std::vector<std::string> args;
    for (const TKey& key : keys) args.insert(args.end(), {"--key", key.Name});
    args.push_back(kSample);
    TTempDir dir;
    const TRun run = RunHost(dir, args);
    ASSERT_EQ(run.status, 0) << Log(run);
    std::vector<std::string> expected;
    for (const TKey& key : keys) expected.push_back(key.Name + ": " + key.Goes);
    EXPECT_EQ(Lines(run.output, "key "), expected) << Log(run);
    const std::vector<std::string> selections = Lines(run.output, "selection: ");
    ASSERT_EQ(selections.size(), keys.size()) << Log(run);
    EXPECT_NE(selections[0], "0 length 0") << "Down did not move the caret";
    EXPECT_NE(selections[1].find(" length "), std::string::npos);
    EXPECT_EQ(selections[1].find(" length 0"), std::string::npos) << "Shift+Down selected nothing";
    for (size_t i = 0; i < keys.size(); ++i) {
        if (!keys[i].Selection.empty()) {
            EXPECT_EQ(selections[i], keys[i].Selection) << keys[i].Name;
        }
    }
    // Ctrl+End: the caret after the last character (a line end counts two).
    const size_t lineEnds = static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
    size_t characters = 0;
    for (const char c : text) characters += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    EXPECT_EQ(selections[13], std::to_string(characters + lineEnds) + " length 0");
}

// ---- documents that cannot be shown ---------------------------------------

// No box to click away (Quick View passes over every file under the cursor):
// the viewer opens with the reason as its text, whatever the reason.
TEST(ListerHost, DocumentsThatCannotBeShownOpenTheViewerWithTheReason) {
    TTempDir dir;
    const std::string plain = dir.Path() + "/plain.txt";
    std::ofstream(plain) << "plain";
    const std::string lead = "This file cannot be shown: ";
    struct TCase {
        std::string File;
        std::string Reason;  // the text's start
    };
    std::vector<TCase> cases{{plain, lead + "not a Word document\n"}};
    if (HasCorpus()) {
        cases.push_back({kCorpus + "/docs/poi-word2.doc", lead + "not a Word document\n"});
        cases.push_back({kCorpus + "/docs/poi-PasswordProtected.doc", lead + "encrypted with a password.\n"});
        cases.push_back({kCorpus + "/docs/nwe-badfile-01-bad-header.doc", lead + "damaged: "});
    }
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.File);
        const TRun run = RunHost(dir, {"--print-text", c.File});
        ASSERT_EQ(run.status, 0) << Log(run);
        EXPECT_EQ(Lines(run.output, "message box").size(), 0u) << Log(run);
        const std::string text = Block(run.output, "text");
        EXPECT_EQ(text.compare(0, c.Reason.size(), c.Reason), 0) << text;
        EXPECT_EQ(text.back(), '\n');
        EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << text;
        EXPECT_EQ(Lines(run.output, "left ").size(), 0u) << Log(run);
    }
}

// ---- settings and display flags -------------------------------------------

// The viewer wraps unless Pagelet.ini says WordWrap=0 (what its context
// menu's "Word wrap" saves); the host's new parameters still switch it, each
// way (the host's wrap flag on, then off).
TEST(ListerHost, WrapsByDefaultAndTheHostsWrapRequestStillSwitches) {
    TTempDir byDefault;
    TTempDir unwrapped;
    std::ofstream(unwrapped.Path() + "/Pagelet.ini") << "[Options]\nWordWrap=0\n";
    struct TCase {
        const TTempDir* Dir;
        std::vector<std::string> Wraps;  // at the load, then after each of the host's two wrap commands
    };
    const TCase cases[] = {
        {&byDefault, {"wrap on", "wrap on", "wrap off"}},
        {&unwrapped, {"wrap off", "wrap on", "wrap off"}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Dir->Path());
        const TRun run = RunHost(*c.Dir, {"--command", "wrap", "--command", "wrap", kSample});
        ASSERT_EQ(run.status, 0) << Log(run);
        std::vector<std::string> wraps;
        for (const std::string& view : Lines(run.output, "view: ")) wraps.push_back(view.substr(view.rfind(", ") + 2));
        EXPECT_EQ(wraps, c.Wraps) << Log(run);
    }
}

// The host's theme gives the colours of the default black on white (a dark
// theme of its own here: a gtkrc, a Qt palette); an explicit colour stays;
// the host's dark flag still gives the dark scheme.
TEST(ListerHost, DefaultColoursFollowTheHostsTheme) {
    TTempDir themed;
    const std::vector<std::string> theme = Host().Theme(themed.Path(), "#102030", "#e0d0c0");
    TTempDir readDefaults;
    std::ofstream(readDefaults.Path() + "/Pagelet.ini") << "[Options]\nTextFont=Sans,10,0,0\nBackColor=16777215\n";
    TTempDir explicitBack;
    std::ofstream(explicitBack.Path() + "/Pagelet.ini") << "[Options]\nBackColor=65535\n";
    struct TCase {
        const TTempDir* Dir;
        bool Dark;
        std::string Colours;
    };
    const TCase cases[] = {
        {&themed, false, "text #e0d0c0, base #102030"},
        {&readDefaults, false, "text #e0d0c0, base #102030"},
        {&explicitBack, false, "text #000000, base #ffff00"},
        {&themed, true, "text #dcdcdc, base #202020"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Dir->Path() + (c.Dark ? " dark" : ""));
        std::vector<std::string> args = theme;
        args.insert(args.end(), {"--close", kSample});
        if (c.Dark) args.insert(args.begin(), "--dark");
        const TRun run = RunHost(*c.Dir, args);
        ASSERT_EQ(run.status, 0) << Log(run);
        const std::vector<std::string> view = Lines(run.output, "view: ");
        ASSERT_EQ(view.size(), 1u) << Log(run);
        EXPECT_NE(view[0].find(c.Colours), std::string::npos) << view[0];
    }
    unsetenv("GTK2_RC_FILES");
}

// Pagelet.ini is read from the folder of the INI name the host gives, not
// from anywhere else (its font is one no system has: the face falls back to
// Sans, the size and weight stay); the dark flag turns the default black on
// white dark.
TEST(ListerHost, SettingsComeFromTheFolderOfTheHostsIniName) {
    TTempDir withSettings;
    std::ofstream(withSettings.Path() + "/Pagelet.ini")
        << "[Options]\nTextFont=No Such Face,17,1,255,1\nBackColor=65535\nWordWrap=0\n";
    TTempDir without;
    struct TCase {
        const TTempDir* Dir;
        bool Dark;
        std::string View;
    };
    const TCase cases[] = {
        {&withSettings, false, "font \"Sans Bold 17\", text #ff0000, base #ffff00, wrap off"},
        {&without, false, "font \"Sans 10\", text #000000, base #ffffff, wrap on"},
        {&without, true, "font \"Sans 10\", text #dcdcdc, base #202020, wrap on"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Dir->Path() + (c.Dark ? " dark" : ""));
        std::vector<std::string> args{"--close", kSample};
        if (c.Dark) args.insert(args.begin(), "--dark");
        const TRun run = RunHost(*c.Dir, args);
        ASSERT_EQ(run.status, 0) << Log(run);
        EXPECT_EQ(Lines(run.output, "view: "), std::vector<std::string>{c.View});
    }
}

}  // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::string(argv[i]) == "--host") gHost = std::string(argv[i + 1]) == "qt" ? &kQt : &kGtk;
    }
    // No display: the host says so with status 77, and so does the test.
    TRun probe;
    {
        TTempDir dir;
        probe = RunHost(dir, {"--close", kSample});
    }
    if (probe.status == kNoDisplay) {
        std::printf("no display: skipped\n");
        return kNoDisplay;
    }
    return RUN_ALL_TESTS();
}
