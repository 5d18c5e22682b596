#pragma once

// Platform seam: the process's memory figures for the stepped load's
// reserve. Windows: GlobalMemoryStatusEx (MemoryFigures_win.cpp); elsewhere
// zeros, which keep no reserve (MemoryFigures_posix.cpp).

#include "viewer/LoadPlan.h"

namespace pagelet {

TMemoryFigures ReadMemoryFigures();

}  // namespace pagelet
