// Placeholder until the Word automation loader lands.
#include "loading/Loaders.h"

namespace pagelet {

bool LoadWithMSWord(const std::u16string&) { return false; }

}  // namespace pagelet
