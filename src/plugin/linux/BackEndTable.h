#pragma once

// The Linux plug-in is three files: pagelet.wlx, which the host loads and
// which links neither toolkit, and a back-end module per toolkit beside it
// (pagelet-gtk2.so, pagelet-qt5.so) that draws the viewer with it.
// pagelet.wlx sees which toolkit the host runs, loads that module and passes
// the exports that need a viewer on to the table the module answers.

#include <cstdint>

#include "plugin/ListerApi.h"

namespace pagelet::lister {

// Changes whenever the table does: a module of another build is not used.
inline constexpr uint32_t kBackEndVersion = 1;

struct TBackEndTable {
    uint32_t Version;
    uint32_t Size;  // sizeof(TBackEndTable) as the module was built
    TListSetDefaultParams SetDefaultParams;
    TListLoad Load;
    TListLoadW LoadW;
    TListLoadNext LoadNext;
    TListLoadNextW LoadNextW;
    TListCloseWindow CloseWindow;
    TListSendCommand SendCommand;
    TListSearchTextW SearchTextW;
};

// The one export of a back-end module: its table, never null.
using TBackEndEntry = const TBackEndTable* (*)();
inline constexpr char kBackEndEntryName[] = "PageletBackEnd";

// The modules' file names, beside pagelet.wlx.
inline constexpr char kGtk2Module[] = "pagelet-gtk2.so";
inline constexpr char kQt5Module[] = "pagelet-qt5.so";

}  // namespace pagelet::lister
