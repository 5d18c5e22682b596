// lister-host-gtk: the Linux lister host for tests, benchmarks and trying the
// plug-in by hand.
#include <cstdio>
#include <string>
#include <vector>

#include "GtkHostOptions.h"
#include "GtkListerHost.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    pagelet::TGtkHostOptions options;
    std::string error;
    if (!pagelet::ParseGtkHostOptions(args, options, error)) {
        std::fprintf(stderr, "lister-host-gtk: %s\n\n%s", error.c_str(), pagelet::GtkHostUsage());
        return 2;
    }
    if (options.Help) {
        std::fputs(pagelet::GtkHostUsage(), stdout);
        return 0;
    }
    return pagelet::RunGtkListerHost(options);
}
