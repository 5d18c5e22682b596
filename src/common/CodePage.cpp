#include "common/CodePage.h"

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>

namespace pagelet {

const TSingleByteTable* SingleByteTable(uint32_t codePage) {
    if (codePage == 0) codePage = SystemAnsiCodePage();
    static std::mutex lock;
    // Never destroyed: a thread still decoding while the process or the
    // library goes away keeps its table. A null entry: no table.
    static auto& tables = *new std::map<uint32_t, std::unique_ptr<const TSingleByteTable>>;
    const std::lock_guard<std::mutex> guard(lock);
    auto it = tables.find(codePage);
    if (it != tables.end()) return it->second.get();
    std::unique_ptr<TSingleByteTable> table;
    if (codePage != 1200 && codePage != 1201 && codePage != 65000 && codePage != 65001 &&
        IsSingleByteCodePage(codePage)) {
        uint8_t all[256];
        for (int i = 0; i < 256; ++i) all[i] = static_cast<uint8_t>(i);
        const std::optional<std::u16string> units = PlatformDecode(codePage, all, sizeof all, false);
        if (units && units->size() == 256) {
            table = std::make_unique<TSingleByteTable>();
            std::copy(units->begin(), units->end(), table->begin());
        }
    }
    return tables.emplace(codePage, std::move(table)).first->second.get();
}

}  // namespace pagelet
