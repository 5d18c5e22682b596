#include "viewer/MemoryFigures.h"

namespace pagelet {

TMemoryFigures ReadMemoryFigures() { return {}; }

}  // namespace pagelet
