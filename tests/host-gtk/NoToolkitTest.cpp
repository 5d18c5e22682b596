// pagelet.wlx in a host that runs no toolkit (this test program): it
// answers the detect string, and every export that needs a viewer answers
// no window or an error without loading a back end or crashing.
#include <dlfcn.h>

#include <gtest/gtest.h>

#include <string>

#include "plugin/ListerApi.h"
#include "plugin/linux/BackEndTable.h"

namespace {

using namespace pagelet::lister;

TEST(NoToolkit, EveryViewerExportAnswersNoWindowOrAnError) {
    void* library = dlopen(PAGELET_PLUGIN_FILE, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    TListerExports exports;
#define PAGELET_BIND(name) exports.name = reinterpret_cast<T##name>(dlsym(library, #name));
    PAGELET_LISTER_EXPORTS(PAGELET_BIND)
#undef PAGELET_BIND
    ASSERT_TRUE(exports.ListGetDetectString && exports.ListSetDefaultParams && exports.ListLoad && exports.ListLoadW &&
                exports.ListLoadNext && exports.ListLoadNextW && exports.ListCloseWindow && exports.ListSendCommand &&
                exports.ListSearchTextW);

    char detect[64];
    exports.ListGetDetectString(detect, sizeof detect);
    EXPECT_STREQ(detect, "EXT=\"DOC\" | EXT=\"DOT\"");

    TDefaultParams params{static_cast<int32_t>(sizeof(TDefaultParams)), 0, 2, "/tmp/wlx.ini"};
    exports.ListSetDefaultParams(&params);
    std::string path = PAGELET_SOURCE_DIR "/samples/sample.doc";
    std::u16string wide(path.begin(), path.end());
    int parent = 0;  // never looked at
    int other = 0;
    EXPECT_EQ(exports.ListLoad(&parent, path.data(), 0), nullptr);
    EXPECT_EQ(exports.ListLoadW(&parent, wide.data(), 0), nullptr);
    EXPECT_EQ(exports.ListLoadNext(&parent, &other, path.data(), 0), kListerError);
    EXPECT_EQ(exports.ListLoadNextW(&parent, &other, wide.data(), 0), kListerError);
    EXPECT_EQ(exports.ListSendCommand(&other, 3, 0), kListerError);
    std::u16string word = u"word";
    EXPECT_EQ(exports.ListSearchTextW(&other, word.data(), 1), kListerError);
    exports.ListCloseWindow(&other);

    // Neither module was loaded into the process.
    const std::string plugin = PAGELET_PLUGIN_FILE;
    const std::string folder = plugin.substr(0, plugin.rfind('/') + 1);
    for (const char* module : {kGtk2Module, kQt5Module})
        EXPECT_EQ(dlopen((folder + module).c_str(), RTLD_NOW | RTLD_NOLOAD), nullptr) << module;
    dlclose(library);
}

}  // namespace
