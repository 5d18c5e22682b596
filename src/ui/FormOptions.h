#pragma once

namespace pagelet {

class TFormMain;

// The whole flow of the viewer's "&Options..." item: fill the options dialog
// from the form's fields, show it modally, and on OK apply and save.
void ExecuteOptionsDialog(TFormMain& form);

}  // namespace pagelet
