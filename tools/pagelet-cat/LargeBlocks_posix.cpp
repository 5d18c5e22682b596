// Large blocks on Linux come from mappings of their own, advised to use
// transparent huge pages. pagelet-cat holds a few very large blocks (the
// copied "WordDocument" stream, the text): with 4 KiB pages a 40 MB document
// costs some 20 000 page faults, more than the rest of its work.
//
// Replaces the global operator new and operator delete of this program only;
// pagelet-cat is single-threaded.

#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>
#include <new>

namespace {

constexpr size_t kLargeBlock = size_t{16} << 20;  // below that, huge pages cost more memory than they save time
constexpr size_t kHugePage = size_t{2} << 20;
constexpr size_t kMaxLargeBlocks = 32;

struct TLargeBlock {
    void* user;
    void* mapping;
    size_t mappingSize;
};

TLargeBlock gLargeBlocks[kMaxLargeBlocks];
size_t gLargeBlockCount = 0;

size_t RoundUp(size_t value, size_t unit) { return (value + unit - 1) / unit * unit; }

void* MapLargeBlock(size_t size) {
    if (gLargeBlockCount == kMaxLargeBlocks || size > SIZE_MAX / 2) return nullptr;
    const size_t usable = RoundUp(size, kHugePage);
    const size_t mappingSize = usable + kHugePage;  // room to align to a huge page
    void* mapping = ::mmap(nullptr, mappingSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapping == MAP_FAILED) return nullptr;
    void* user = reinterpret_cast<void*>(RoundUp(reinterpret_cast<uintptr_t>(mapping), kHugePage));
    ::madvise(user, usable, MADV_HUGEPAGE);  // a hint: without it the block still works
    gLargeBlocks[gLargeBlockCount++] = {user, mapping, mappingSize};
    return user;
}

bool UnmapLargeBlock(void* user) {
    for (size_t i = 0; i < gLargeBlockCount; ++i) {
        if (gLargeBlocks[i].user != user) continue;
        ::munmap(gLargeBlocks[i].mapping, gLargeBlocks[i].mappingSize);
        gLargeBlocks[i] = gLargeBlocks[--gLargeBlockCount];
        return true;
    }
    return false;
}

}  // namespace

void* operator new(size_t size) {
    if (size >= kLargeBlock) {
        if (void* block = MapLargeBlock(size)) return block;
    }
    for (;;) {
        if (void* block = std::malloc(size != 0 ? size : 1)) return block;
        std::new_handler handler = std::get_new_handler();
        if (handler == nullptr) throw std::bad_alloc();
        handler();
    }
}

void operator delete(void* block) noexcept {
    if (block == nullptr) return;
    if (gLargeBlockCount != 0 && UnmapLargeBlock(block)) return;
    std::free(block);
}

void operator delete(void* block, size_t) noexcept { operator delete(block); }
