// The Linux lister host: loads the GTK 2 plug-in as Double Commander's GTK
// build does and shows a document in it; batch runs for tests and figures.
#pragma once

#include "GtkHostOptions.h"

namespace pagelet {

// Runs the host; answers the program's exit status (see GtkHostUsage).
int RunGtkListerHost(const TGtkHostOptions& options);

}  // namespace pagelet
