#pragma once

// Registers the test-only Word stub as "Word.Application" in the per-user
// classes for one test process, and reads what it recorded.

#include <windows.h>
#include <objbase.h>

#include <string>
#include <vector>

#include "wordstub/WordStub.h"

namespace pagelet::test {

class TWordStubHarness {
public:
    // Loads the stub DLL (the same module instance COM will use) and registers it.
    void SetUp();
    // Removes the registration and unloads the DLL.
    void TearDown();

    void Register();
    void Unregister();

    void Reset() { reset_(); }
    void FailAt(const wchar_t* member, int occurrence, bool afterEffect) { failAt_(member, occurrence, afterEffect); }
    void RenameOnSave(bool on) { renameOnSave_(on); }
    void ReportOnSave(const std::wstring& path) { reportOnSave_(path.c_str()); }
    void Hide(const wchar_t* member) { hide_(member); }
    bool SaveAsFoundFile() { return saveAsFoundFile_() != 0; }
    int LiveObjects() { return liveObjects_(); }
    int OpenDocuments() { return openDocuments_(); }
    // Every recorded line.
    std::vector<std::wstring> Log();
    // The recorded calls without the name look-ups.
    std::vector<std::wstring> Calls();

private:
    HMODULE module_ = nullptr;
    std::wstring dllPath_;
    TWordStubReset reset_ = nullptr;
    TWordStubFailAt failAt_ = nullptr;
    TWordStubRenameOnSave renameOnSave_ = nullptr;
    TWordStubReportOnSave reportOnSave_ = nullptr;
    TWordStubHide hide_ = nullptr;
    TWordStubSaveAsFoundFile saveAsFoundFile_ = nullptr;
    TWordStubLog log_ = nullptr;
    TWordStubLiveObjects liveObjects_ = nullptr;
    TWordStubOpenDocuments openDocuments_ = nullptr;
};

// The one harness of the test process.
TWordStubHarness& WordStub();

}  // namespace pagelet::test
