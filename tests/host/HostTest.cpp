// Black-box tests of lister-host.exe: each case starts the host as a child
// process with a command line, collects what it prints and its exit status.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/WinHarness.h"

namespace {

struct THostRun {
    DWORD exitCode = 0xFFFFFFFF;
    std::string output;  // stdout and stderr, UTF-8
};

namespace test = pagelet::test;
using test::WideFromUtf8;

std::wstring Quoted(const std::wstring& arg) { return L"\"" + arg + L"\""; }

const std::wstring kHostPath = WideFromUtf8(PAGELET_BINARY_DIR "/bin/lister-host.exe");

// Runs the host with args and waits for it to end.
THostRun RunHost(const std::vector<std::wstring>& args) {
    THostRun run;
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return run;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);

    std::wstring commandLine = Quoted(kHostPath);
    for (const std::wstring& arg : args) commandLine += L" " + Quoted(arg);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    PROCESS_INFORMATION process{};
    const BOOL started = CreateProcessW(kHostPath.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                        nullptr, &startup, &process);
    CloseHandle(writeEnd);
    if (started) {
        // Read until the host has ended, not until the pipe is closed: a helper
        // process that Wine starts for the host's first window (the desktop)
        // inherits the pipe and keeps it open long after the host is gone.
        char buffer[4096];
        for (;;) {
            const bool ended = WaitForSingleObject(process.hProcess, 20) == WAIT_OBJECT_0;
            DWORD available = 0;
            while (PeekNamedPipe(readEnd, nullptr, 0, nullptr, &available, nullptr) && available > 0) {
                DWORD got = 0;
                if (!ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) || got == 0) break;
                run.output.append(buffer, got);
            }
            if (ended) break;
        }
        GetExitCodeProcess(process.hProcess, &run.exitCode);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    CloseHandle(readEnd);
    return run;
}

// The text printed between the host's markers.
std::string PrintedText(const std::string& output) {
    const std::string begin = "----- text -----\n";
    const std::string end = "----- end of text -----\n";
    const size_t from = output.find(begin);
    if (from == std::string::npos) return "<no text printed>";
    const size_t to = output.find(end, from + begin.size());
    if (to == std::string::npos) return "<text not ended>";
    return output.substr(from + begin.size(), to - from - begin.size());
}

// What a viewer shows for a converter result: the text cut into lines at CR,
// LF or CR LF, up to the first NUL, each line printed with one newline.
std::string ShownText(const std::u16string& converted) {
    std::u16string shown;
    size_t i = 0;
    while (i < converted.size() && converted[i] != u'\0') {
        const size_t end = converted.find_first_of(std::u16string(u"\r\n\0", 3), i);
        const size_t stop = end == std::u16string::npos ? converted.size() : end;
        shown += converted.substr(i, stop - i);
        shown += u'\n';
        i = stop;
        if (i < converted.size() && converted[i] == u'\r') ++i;
        if (i < converted.size() && converted[i] == u'\n') ++i;
    }
    return test::Utf8(test::Wide(shown));
}

const std::string kCorpus = PAGELET_CORPUS_DIR;
const std::string kSample = PAGELET_SOURCE_DIR "/samples/sample.doc";
const std::string kCorpusDoc = kCorpus + "/docs/nwe-test01.doc";

TEST(HostTest, PrintsTheTextOfCorpusDocumentsAsTheViewerShowsIt) {
    if (!test::FileExists(WideFromUtf8(kCorpus + "/manifest.tsv"))) GTEST_SKIP() << "corpus not found at " << kCorpus;
    // Documents whose text has no control characters but line ends and tabs,
    // which a rich-edit control keeps as they are: Word 97 with characters
    // outside the BMP, Word 97 with 8-bit pieces, Word 95.
    const char* kDocuments[] = {"nwe-test01.doc", "poi-testRangeDelete.doc", "poi-Word95.doc", "poi-57843.doc"};
    for (const char* name : kDocuments) {
        SCOPED_TRACE(name);
        const THostRun run = RunHost({L"--print-text", L"--close", WideFromUtf8(kCorpus + "/docs/" + name)});
        EXPECT_EQ(run.exitCode, 0u) << run.output;
        const std::u16string expected =
            test::ReadUtf16File(WideFromUtf8(kCorpus + "/expected/" + name + ".default.utf16"));
        ASSERT_FALSE(expected.empty());
        EXPECT_EQ(PrintedText(run.output), ShownText(expected));
    }
}

TEST(HostTest, ShowsTheProjectSampleDocument) {
    const THostRun run = RunHost({L"--print-text", L"--close", WideFromUtf8(kSample)});
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_NE(run.output.find("detect string: EXT=\"DOC\" | EXT=\"DOT\"\n"), std::string::npos) << run.output;
    const std::string text = PrintedText(run.output);
    EXPECT_EQ(text.rfind("Pagelet sample document\n", 0), 0u) << text;
    EXPECT_NE(text.find("\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82"), std::string::npos) << text;  // Привет
    EXPECT_NE(run.output.find("closing: done\n"), std::string::npos) << run.output;
}

TEST(HostTest, ForwardedEscClosesTheLister) {
    const THostRun run = RunHost({L"--send-keys", L"Esc", WideFromUtf8(kSample)});
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_NE(run.output.find("typing Esc\nkey down 0x1B\nkey up 0x1B\nclosing: Esc\n"), std::string::npos)
        << run.output;
}

TEST(HostTest, QuickViewEscHandsBackTabAndLeavesTheListerOpen) {
    const THostRun run = RunHost({L"--quickview", L"--send-keys", L"Esc", WideFromUtf8(kSample)});
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_NE(run.output.find("typing Esc\nkey down 0x09\nkey up 0x1B\n"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("closing: done\n"), std::string::npos) << run.output;
    EXPECT_EQ(run.output.find("closing: Esc"), std::string::npos) << run.output;
}

TEST(HostTest, HandedBackKeysAreLoggedInOrder) {
    const THostRun run = RunHost({L"--send-keys", L"F5,Shift+F7,Ctrl+F5,0", WideFromUtf8(kSample)});
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    // Ctrl+F5 and 0 stay with the viewer.
    EXPECT_NE(run.output.find("typing F5\nkey down 0x74\nkey up 0x74\n"
                              "typing Shift+F7\nkey down 0x10\nkey down 0x76\nkey up 0x10\nkey up 0x76\n"
                              "typing Ctrl+F5\ntyping 0\nclosing: done\n"),
              std::string::npos)
        << run.output;
}

std::u16string Utf16(const std::string& text) { return test::Utf16(WideFromUtf8(text)); }

TEST(HostTest, MenuCommandsReachTheViewer) {
    const THostRun run =
        RunHost({L"--print-text", L"--command", L"find=Greek", L"--command", L"find/cw=Pagelet", L"--command",
                 L"find-next", L"--command", L"find/b=pagelet", L"--command", L"percent=0", L"--command",
                 L"find=no such text", L"--command", L"wrap", WideFromUtf8(kSample)});
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    // Positions in the control count a line end as one character, as the
    // printed text does.
    const std::u16string text = Utf16(PrintedText(run.output));
    const size_t greek = text.find(u"Greek");
    const size_t first = text.find(u"Pagelet");
    const size_t second = text.find(u"Pagelet", first + 1);
    // A new text is looked for from the end backwards, case ignored: the last
    // line names pagelet-cat.
    const size_t last = text.rfind(u"pagelet");
    ASSERT_NE(greek, std::u16string::npos);
    ASSERT_NE(second, std::u16string::npos);
    ASSERT_NE(last, std::u16string::npos);
    const auto selection = [](size_t start, size_t length) {
        return "selection: " + std::to_string(start) + " length " + std::to_string(length) + "\n";
    };
    const std::string expected =
        "running find=Greek\nsearch \"Greek\" flags 0x01: done\n" + selection(greek, 5) +
        "running find/cw=Pagelet\nsearch \"Pagelet\" flags 0x07: done\n" + selection(first, 7) +
        "running find-next\nsearch \"Pagelet\" flags 0x06: done\n" + selection(second, 7) +
        "running find/b=pagelet\nsearch \"pagelet\" flags 0x09: done\n" + selection(last, 7) +
        "running percent=0\ncommand 4 (0): done\n" + selection(0, 1) +
        // Not found: the selection stays.
        "running find=no such text\nsearch \"no such text\" flags 0x01: not found\n" + selection(0, 1) +
        // The control is rebuilt for word wrap and keeps its selection.
        "running wrap\ncommand 2 (1): done\n" + selection(0, 1) + "closing: done\n";
    EXPECT_NE(run.output.find(expected), std::string::npos) << run.output;
}

TEST(HostTest, TheIniPathTellsThePluginWhereItsSettingsAre) {
    // The plug-in keeps Pagelet.ini beside the INI file the host suggests.
    const std::string folder = PAGELET_BINARY_DIR "/host-test-settings";
    CreateDirectoryW(WideFromUtf8(folder).c_str(), nullptr);
    std::ofstream(folder + "/Pagelet.ini") << "[Options]\r\nForceCP=-1\r\nCP=1251\r\n";
    const THostRun run =
        RunHost({L"--print-text", L"--close", L"--ini", WideFromUtf8(folder + "/host.ini"), WideFromUtf8(kSample)});
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    // The sample's 8-bit paragraph read with code page 1251: byte 0xEF is
    // U+043F, not the U+00EF of code page 1252.
    const std::string text = PrintedText(run.output);
    EXPECT_NE(text.find("na\xD0\xBFve"), std::string::npos) << text;
    EXPECT_EQ(text.find("na\xC3\xAFve"), std::string::npos) << text;
    DeleteFileW(WideFromUtf8(folder + "/Pagelet.ini").c_str());
    RemoveDirectoryW(WideFromUtf8(folder).c_str());
}

TEST(HostTest, ADocumentThePluginRefusesEndsWithStatusOne) {
    // Not a Word file name: the plug-in shows its error box, which a batch run
    // logs and dismisses. A document cut short (an interrupted download) is
    // damaged: no box, and the host lives on to say the plug-in did not open.
    std::vector<char> cut;
    if (test::FileExists(WideFromUtf8(kCorpusDoc))) {
        std::ifstream in(kCorpusDoc, std::ios::binary);
        cut.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        cut.resize(cut.size() * 9 / 10);
    }
    struct TCase {
        const char* name;
        std::string content;
        bool box;
    };
    const TCase cases[] = {
        {"host-test-plain.txt", "plain text\n", true},
        {"host-test-cut-short.doc", std::string(cut.begin(), cut.end()), false},
    };
    for (const TCase& c : cases) {
        if (c.content.empty()) continue;  // no corpus
        SCOPED_TRACE(c.name);
        const std::string path = PAGELET_BINARY_DIR "/" + std::string(c.name);
        std::ofstream(path, std::ios::binary) << c.content;
        const THostRun run = RunHost({L"--close", WideFromUtf8(path)});
        EXPECT_EQ(run.exitCode, 1u) << run.output;
        EXPECT_EQ(run.output.find("message box \"Pagelet - document reader\": Error opening document:\\r") !=
                      std::string::npos,
                  c.box)
            << run.output;
        EXPECT_NE(run.output.find("lister-host: the plug-in did not open"), std::string::npos) << run.output;
        DeleteFileW(WideFromUtf8(path).c_str());
    }
}

TEST(HostTest, SavesAScreenshotOfTheListerWindow) {
    const std::string path = PAGELET_BINARY_DIR "/host-test-shot.bmp";
    DeleteFileW(WideFromUtf8(path).c_str());
    const THostRun run = RunHost({L"--screenshot", WideFromUtf8(path), WideFromUtf8(kSample)});
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_NE(run.output.find("screenshot: "), std::string::npos) << run.output;
    std::ifstream file(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    ASSERT_GT(bytes.size(), 54u);
    EXPECT_EQ(bytes.substr(0, 2), "BM");
    // Not one flat colour: the document's text is in the picture.
    const std::string pixels = bytes.substr(54);
    EXPECT_NE(pixels.find_first_not_of(pixels[0]), std::string::npos);
    DeleteFileW(WideFromUtf8(path).c_str());
}

// The wide exports as a current host uses them, and the 8-bit ones on request.
TEST(HostTest, NextFileThumbnailAndTheAnsiExports) {
    if (!test::FileExists(WideFromUtf8(kCorpusDoc))) GTEST_SKIP() << "corpus not found at " << kCorpus;
    const std::string plain = PAGELET_BINARY_DIR "/host-test-next.txt";
    std::ofstream(plain) << "plain text\n";
    for (const wchar_t* exports : {L"--wrap", L"--ansi"}) {  // --wrap: the default exports
        SCOPED_TRACE(test::Utf8(exports));
        // The second document in the same viewer: its text printed after the first.
        THostRun run =
            RunHost({exports, L"--print-text", L"--next", WideFromUtf8(kCorpusDoc), L"--close", WideFromUtf8(kSample)});
        EXPECT_EQ(run.exitCode, 0u) << run.output;
        const size_t next = run.output.find("next: ");
        ASSERT_NE(next, std::string::npos) << run.output;
        EXPECT_NE(run.output.find(": shown in the same viewer\n", next), std::string::npos) << run.output;
        EXPECT_EQ(PrintedText(run.output).rfind("Pagelet sample document\n", 0), 0u);
        EXPECT_EQ(PrintedText(run.output.substr(next)).rfind("Pagelet sample document\n", 0), std::string::npos);

        // A next file the plug-in refuses: the viewer is made anew, whose ListLoad reports the error.
        run = RunHost({exports, L"--next", WideFromUtf8(plain), WideFromUtf8(kSample)});
        EXPECT_EQ(run.exitCode, 1u) << run.output;
        EXPECT_NE(run.output.find(": refused, loading it anew\n"), std::string::npos) << run.output;
        EXPECT_NE(run.output.find("Error opening document:"), std::string::npos) << run.output;

        // A thumbnail on a worker thread, as large as fits in the box.
        const std::string image = PAGELET_BINARY_DIR "/host-test-thumbnail.bmp";
        DeleteFileW(WideFromUtf8(image).c_str());
        run = RunHost({exports, L"--thumbnail", L"140x140", WideFromUtf8(image), WideFromUtf8(kSample)});
        EXPECT_EQ(run.exitCode, 0u) << run.output;
        EXPECT_NE(run.output.find("thumbnail: 99x140 in 140x140: "), std::string::npos) << run.output;
        std::ifstream file(image, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        EXPECT_EQ(bytes.substr(0, 2), "BM");
        file.close();
        DeleteFileW(WideFromUtf8(image).c_str());
        run = RunHost({exports, L"--thumbnail", L"140x140", WideFromUtf8(image), WideFromUtf8(plain)});
        EXPECT_EQ(run.exitCode, 1u) << run.output;
        EXPECT_NE(run.output.find("no thumbnail of"), std::string::npos) << run.output;
    }
    DeleteFileW(WideFromUtf8(plain).c_str());
}

TEST(HostTest, WrongArgumentsOrAMissingPluginGiveStatusTwo) {
    struct TCase {
        std::vector<std::wstring> args;
        DWORD exitCode;
        const char* said;
    };
    const TCase kCases[] = {
        {.args = {}, .exitCode = 2, .said = "no file given"},
        {.args = {L"--frobnicate", L"x.doc"}, .exitCode = 2, .said = "unknown option --frobnicate"},
        {.args = {L"--ini"}, .exitCode = 2, .said = "--ini needs a value"},
        {.args = {L"--send-keys", L"Hyper+Q", L"x.doc"}, .exitCode = 2, .said = "unknown modifier"},
        {.args = {L"--screenshot", L"shot.gif", L"x.doc"}, .exitCode = 2, .said = ".png or .bmp"},
        {.args = {L"--command", L"find/q=x", L"x.doc"}, .exitCode = 2, .said = "unknown search flag"},
        {.args = {L"--command", L"percent=101", L"x.doc"}, .exitCode = 2, .said = "unknown command"},
        {.args = {L"a.doc", L"b.doc"}, .exitCode = 2, .said = "more than one file"},
        {.args = {L"--plugin", L"no-such-plugin.wlx", L"x.doc"}, .exitCode = 2, .said = "cannot load the plug-in"},
        {.args = {L"--help"}, .exitCode = 0, .said = "Usage: lister-host"},
    };
    for (const TCase& c : kCases) {
        const THostRun run = RunHost(c.args);
        SCOPED_TRACE(c.said);
        EXPECT_EQ(run.exitCode, c.exitCode) << run.output;
        EXPECT_NE(run.output.find(c.said), std::string::npos) << run.output;
    }
}

}  // namespace
