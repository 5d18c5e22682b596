#pragma once

// The searches of the host protocol as one table: the viewer core's test runs
// it on the core, the plug-in's tests run it through ListSearchTextW on a
// document of the same text. Offsets are the text's UTF-16 units, CR LF two
// of them; a widget that counts a line end as one position maps them.

#include "viewer/HostProtocol.h"

namespace pagelet::test {

// The text searched: two paragraphs, each ended by CR LF.
//                                 0         1         2
//                                 0123456789012345678 9 01234567890 1
inline constexpr char16_t kSearchText[] = u"abcabcabc xyz Xyz\r\nЖук жук end\r\n";

struct TSearchCase {
    struct TRange {
        int Start = 0, End = 0;
    };
    const char* Name;
    TRange Before{};  // the user's selection before
    const char16_t* Find = nullptr;
    int Flags = 0;
    bool Found = true;  // otherwise nothing changes
    TRange After{};     // the selection after (brought into view when found)
};

inline constexpr TSearchCase kSearchCases[] = {
    {.Name = "forward, no selection", .Find = u"abc", .After = {0, 3}},
    {.Name = "forward from the selection's end", .Before = {0, 3}, .Find = u"abc", .After = {3, 6}},
    {.Name = "from the start despite a selection",
     .Before = {3, 6},
     .Find = u"abc",
     .Flags = lister::kSearchFromStart,
     .After = {0, 3}},
    {.Name = "nothing after the selection", .Before = {6, 9}, .Find = u"abc", .Found = false, .After = {6, 9}},
    {.Name = "backward from the end", .Find = u"abc", .Flags = lister::kSearchBackwards, .After = {6, 9}},
    {.Name = "backward finds the one just before",
     .Before = {6, 9},
     .Find = u"abc",
     .Flags = lister::kSearchBackwards,
     .After = {3, 6}},
    {.Name = "backward from 3", .Before = {3, 6}, .Find = u"abc", .Flags = lister::kSearchBackwards, .After = {0, 3}},
    {.Name = "backward from the end despite a selection",
     .Before = {0, 3},
     .Find = u"abc",
     .Flags = lister::kSearchBackwards | lister::kSearchFromStart,
     .After = {6, 9}},
    {.Name = "without case", .Find = u"XYZ", .After = {10, 13}},
    {.Name = "match case", .Find = u"Xyz", .Flags = lister::kSearchMatchCase, .After = {14, 17}},
    {.Name = "match case backward",
     .Find = u"xyz",
     .Flags = lister::kSearchBackwards | lister::kSearchMatchCase,
     .After = {10, 13}},
    {.Name = "Cyrillic without case", .Before = {0, 1}, .Find = u"ЖУК", .After = {19, 22}},
    {.Name = "Cyrillic, case, backwards",
     .Find = u"жук",
     .Flags = lister::kSearchMatchCase | lister::kSearchBackwards,
     .After = {23, 26}},
    {.Name = "whole words: no whole abc",
     .Before = {1, 3},
     .Find = u"abc",
     .Flags = lister::kSearchWholeWords,
     .Found = false,
     .After = {1, 3}},
    {.Name = "whole words", .Find = u"xyz", .Flags = lister::kSearchWholeWords, .After = {10, 13}},
    {.Name = "match case and whole words",
     .Find = u"Xyz",
     .Flags = lister::kSearchMatchCase | lister::kSearchWholeWords,
     .After = {14, 17}},
    {.Name = "across a line end", .Find = u"Xyz\r\nЖ", .After = {14, 20}},
    {.Name = "not found: the selection stays", .Before = {2, 6}, .Find = u"nothing", .Found = false, .After = {2, 6}},
};

}  // namespace pagelet::test
