// The owners of common/Handles.h: what they take as empty, that they close
// or release exactly once, and the HRESULT check.
#include <gtest/gtest.h>
#include <windows.h>
#include <objbase.h>

#include <initializer_list>
#include <utility>

#include "common/Error.h"
#include "common/Handles.h"

namespace pagelet {
namespace {

bool IsOpenHandle(HANDLE h) {
    DWORD flags = 0;
    return GetHandleInformation(h, &flags) != 0;
}

TEST(Handles, KernelHandleTakesNullAndInvalidAsEmpty) {
    for (HANDLE empty : {HANDLE{nullptr}, INVALID_HANDLE_VALUE}) {
        TKernelHandle held(empty);
        EXPECT_FALSE(held);
    }

    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(event, nullptr);
    {
        TKernelHandle held(event);
        EXPECT_TRUE(held);
        TKernelHandle moved(std::move(held));
        EXPECT_FALSE(held);
        EXPECT_EQ(moved.Get(), event);
        EXPECT_TRUE(IsOpenHandle(event));
    }
    EXPECT_FALSE(IsOpenHandle(event));  // closed once, by the holder it was moved to

    HANDLE kept = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(kept, nullptr);
    { EXPECT_EQ(TKernelHandle(kept).Release(), kept); }
    EXPECT_TRUE(IsOpenHandle(kept));
    CloseHandle(kept);
}

// Counts AddRef and Release; QueryInterface answers nothing.
class TCounted : public IUnknown {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
    ULONG refs = 1;
};

TEST(Handles, ComPtrReleasesOnce) {
    TCounted first, second;
    {
        TComPtr<IUnknown> held(&first);
        TComPtr<IUnknown> moved(std::move(held));
        EXPECT_FALSE(held);
        EXPECT_EQ(moved.Get(), &first);
        EXPECT_EQ(first.refs, 1u);
        *moved.Out() = &second;  // the slot releases what it held first
        EXPECT_EQ(first.refs, 0u);
        EXPECT_EQ(moved.Detach(), &second);
        EXPECT_FALSE(moved);
    }
    EXPECT_EQ(second.refs, 1u);  // detached: not released
}

TEST(Handles, ThrowIfFailed) {
    EXPECT_NO_THROW(ThrowIfFailed(S_OK));
    EXPECT_NO_THROW(ThrowIfFailed(S_FALSE));
    for (HRESULT failure : {E_OUTOFMEMORY, STG_E_FILENOTFOUND, static_cast<HRESULT>(0x8FFF1234)}) {
        try {
            ThrowIfFailed(failure);
            ADD_FAILURE() << "no exception for " << std::hex << failure;
        } catch (const EPagelet& e) {
            EXPECT_EQ(e.Code(), static_cast<int32_t>(failure));
            EXPECT_FALSE(e.Message().empty());
            EXPECT_NE(e.Message().back(), u'.');
            EXPECT_GT(e.Message().back(), u' ');
        }
    }
    // No system text: the code in hex.
    EXPECT_EQ(HResultMessage(static_cast<HRESULT>(0x8FFF1234)), u"OLE error 8fff1234");
}

}  // namespace
}  // namespace pagelet
