#pragma once

// The codes of the lister protocol: what the host's commands, display flags
// and search flags mean and what the plug-in answers. Constants only; the
// host interface (plugin/ListerApi.h) and the viewer share them.

namespace pagelet::lister {

// What ListLoadNext, ListSendCommand and ListSearchTextW answer.
constexpr int kListerOk = 0;
constexpr int kListerError = 1;

// Commands of ListSendCommand.
constexpr int kCommandCopy = 1;       // copy the selection to the clipboard
constexpr int kCommandNewParams = 2;  // parameter: the display flags
constexpr int kCommandSelectAll = 3;
constexpr int kCommandSetPercent = 4;  // parameter: a position in percent of the text

// Display flags: ListLoad's showFlags and the parameter of kCommandNewParams.
constexpr int kDisplayWrapText = 1;
constexpr int kDisplayDarkMode = 128;  // the host shows dark colours

// Search flags of ListSearchTextW.
constexpr int kSearchFromStart = 1;  // from the start (backwards: the end), not from the selection
constexpr int kSearchMatchCase = 2;
constexpr int kSearchWholeWords = 4;
constexpr int kSearchBackwards = 8;

}  // namespace pagelet::lister
