// No Microsoft Word to drive outside Windows: the Word loader always fails.
#include "loading/Loaders.h"

namespace pagelet {

std::optional<std::u16string> LoadWithMSWord(const std::u16string&) { return std::nullopt; }

}  // namespace pagelet
