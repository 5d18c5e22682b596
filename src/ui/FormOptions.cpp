// Placeholder until the options dialog lands.
#include "ui/FormOptions.h"

namespace pagelet {

void ExecuteOptionsDialog(TFormMain&) {}

}  // namespace pagelet
