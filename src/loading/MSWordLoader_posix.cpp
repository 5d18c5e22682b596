// No Microsoft Word to drive outside Windows: the Word loader always fails,
// leaving DocumentText empty as every failed load does.
#include "loading/DocumentText.h"
#include "loading/Loaders.h"

namespace pagelet {

bool LoadWithMSWord(const std::u16string&) {
    ClearDocumentText();
    return false;
}

}  // namespace pagelet
