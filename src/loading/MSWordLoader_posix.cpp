// No Microsoft Word to drive outside Windows: the Word loader always fails.
#include "loading/Loaders.h"

namespace pagelet {

bool LoadWithMSWord(const std::u16string&) { return false; }

}  // namespace pagelet
