// The command line both lister hosts share, natively: the host commands of
// --command in either kind of string, the options every host knows, and the
// line ends of printed text.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "HostGrammar.h"

namespace pagelet {
namespace {

template <typename TChar>
std::basic_string<TChar> S(const char* text) {
    return std::basic_string<TChar>(text, text + std::char_traits<char>::length(text));
}

template <typename TChar>
void ExpectCommands() {
    using TKind = typename TBasicHostCommand<TChar>::TKind;
    struct TRow {
        const char* text;
        bool ok;
        TKind kind = TKind::Copy;
        const char* find = "";
        int percent = 0;
        bool matchCase = false, wholeWords = false, backwards = false;
        const char* error = "";
    };
    const TRow rows[] = {
        {.text = "copy", .ok = true, .kind = TKind::Copy},
        {.text = "find-prev", .ok = true, .kind = TKind::FindPrevious},
        {.text = "percent=100", .ok = true, .kind = TKind::Percent, .percent = 100},
        {.text = "percent=101", .ok = false, .error = "unknown command \"percent=101\""},
        {.text = "percent=", .ok = false, .error = "unknown command \"percent=\""},
        {.text = "find=a=b", .ok = true, .kind = TKind::Find, .find = "a=b"},
        {.text = "find/cwb=x", .ok = true, .kind = TKind::Find, .find = "x", .matchCase = true, .wholeWords = true,
         .backwards = true},
        {.text = "find/q=x", .ok = false, .error = "unknown search flag in \"find/q=x\" (c, w and b are known)"},
        {.text = "findx=y", .ok = false, .error = "unknown command \"findx=y\""},
        {.text = "find=", .ok = false, .error = "unknown command \"find=\""},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.text);
        TBasicHostCommand<TChar> command;
        std::basic_string<TChar> error;
        ASSERT_EQ(ParseHostCommand(S<TChar>(row.text), command, error), row.ok);
        EXPECT_EQ(error, S<TChar>(row.error));
        EXPECT_EQ(command.Name, S<TChar>(row.text));
        if (!row.ok) continue;
        EXPECT_EQ(command.Kind, row.kind);
        EXPECT_EQ(command.Text, S<TChar>(row.find));
        EXPECT_EQ(command.Percent, row.percent);
        EXPECT_EQ(command.MatchCase, row.matchCase);
        EXPECT_EQ(command.WholeWords, row.wholeWords);
        EXPECT_EQ(command.Backwards, row.backwards);
    }
}

TEST(HostGrammar, HostCommandsInEitherKindOfString) {
    ExpectCommands<char>();
    ExpectCommands<wchar_t>();
}

TEST(HostGrammar, SharedOptionsAndTheHostsOwn) {
    struct TRow {
        std::vector<std::string> args;
        const char* error;  // empty: parsed
    };
    const TRow rows[] = {
        {{"--wrap", "--dark", "--command", "copy", "--own", "v", "a.doc"}, ""},
        {{"--ini"}, "--ini needs a value"},
        {{"--ini", "", "a.doc"}, "--ini needs a value"},
        {{"--own"}, "--own needs a value"},
        {{"--frobnicate"}, "unknown option --frobnicate"},
        {{"a.doc", "b.doc"}, "more than one file given: a.doc and b.doc"},
        {{"--command", "paste"}, "unknown command \"paste\""},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.error);
        TBasicHostOptions<char> options;
        std::string own, error;
        const THostOwnOptions<char> takeOwn = [&own](const std::string& arg, const auto& value) {
            if (arg != "--own") return THostArgument::NotMine;
            return value(own) ? THostArgument::Taken : THostArgument::Failed;
        };
        EXPECT_EQ(ParseHostArguments(row.args, options, takeOwn, error), *row.error == '\0');
        EXPECT_EQ(error, row.error);
        if (*row.error == '\0') {
            EXPECT_TRUE(options.Wrap && options.Dark);
            ASSERT_EQ(options.Commands.size(), 1u);
            EXPECT_EQ(own, "v");
            EXPECT_EQ(options.FileName, "a.doc");
        }
    }
}

// CR, LF and CR LF each end a line, as in the converter's text.
TEST(HostGrammar, PrintedTextEndsEachLineWithOneLf) {
    EXPECT_EQ(WithNewlines(std::string("a\r\nb\rc\nd\r\r\ne")), "a\nb\nc\nd\n\ne");
    EXPECT_EQ(WithNewlines(std::string("x\0y\r", 4)), "xy\n");
    EXPECT_EQ(WithNewlines(std::wstring(L"a\rb\r\n")), L"a\nb\n");
    EXPECT_EQ(Escaped(std::string("a\r\nb")), "a\\r\\nb");
}

}  // namespace
}  // namespace pagelet
