#include "msword/WordStubHarness.h"

#include <stdexcept>

namespace pagelet::test {

namespace {

// Relative to HKEY_CURRENT_USER\Software\Classes or HKEY_CLASSES_ROOT.
const wchar_t kProgIdKey[] = L"Word.Application";
const wchar_t kClsidKey[] = L"CLSID\\" PAGELET_WORDSTUB_CLSID;
const wchar_t kUserClasses[] = L"Software\\Classes\\";

void SetDefaultValue(HKEY root, const std::wstring& key, const wchar_t* name, const std::wstring& value) {
    HKEY h = nullptr;
    if (RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &h, nullptr) != ERROR_SUCCESS)
        throw std::runtime_error("cannot create a registry key for the Word stub");
    RegSetValueExW(h, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(h);
}

template <typename T>
T Export(HMODULE module, const char* name) {
    FARPROC p = GetProcAddress(module, name);
    if (!p) throw std::runtime_error(std::string("the Word stub does not export ") + name);
    return reinterpret_cast<T>(reinterpret_cast<void*>(p));
}

}  // namespace

TWordStubHarness& WordStub() {
    static TWordStubHarness harness;
    return harness;
}

void TWordStubHarness::SetUp() {
    wchar_t full[MAX_PATH];
    if (!GetFullPathNameW(PAGELET_WORDSTUB_DLL, MAX_PATH, full, nullptr))
        throw std::runtime_error("no path for the Word stub");
    dllPath_ = full;
    module_ = LoadLibraryW(dllPath_.c_str());
    if (!module_) throw std::runtime_error("cannot load the Word stub DLL");
    reset_ = Export<TWordStubReset>(module_, "WordStubReset");
    failAt_ = Export<TWordStubFailAt>(module_, "WordStubFailAt");
    renameOnSave_ = Export<TWordStubRenameOnSave>(module_, "WordStubRenameOnSave");
    reportOnSave_ = Export<TWordStubReportOnSave>(module_, "WordStubReportOnSave");
    hide_ = Export<TWordStubHide>(module_, "WordStubHide");
    saveAsFoundFile_ = Export<TWordStubSaveAsFoundFile>(module_, "WordStubSaveAsFoundFile");
    log_ = Export<TWordStubLog>(module_, "WordStubLog");
    liveObjects_ = Export<TWordStubLiveObjects>(module_, "WordStubLiveObjects");
    openDocuments_ = Export<TWordStubOpenDocuments>(module_, "WordStubOpenDocuments");
    Register();
}

void TWordStubHarness::TearDown() {
    Unregister();
    if (module_) FreeLibrary(module_);
    module_ = nullptr;
}

void RegisterUnder(HKEY root, const std::wstring& prefix, const std::wstring& dllPath) {
    SetDefaultValue(root, prefix + kProgIdKey + L"\\CLSID", nullptr, PAGELET_WORDSTUB_CLSID);
    SetDefaultValue(root, prefix + kClsidKey + L"\\ProgID", nullptr, L"Word.Application");
    SetDefaultValue(root, prefix + kClsidKey + L"\\InprocServer32", nullptr, dllPath);
    SetDefaultValue(root, prefix + kClsidKey + L"\\InprocServer32", L"ThreadingModel", L"Apartment");
}

bool ResolvesToStub() {
    CLSID clsid;
    wchar_t text[64] = {};
    return SUCCEEDED(CLSIDFromProgID(L"Word.Application", &clsid)) && StringFromGUID2(clsid, text, 64) &&
           lstrcmpiW(text, PAGELET_WORDSTUB_CLSID) == 0;
}

void TWordStubHarness::Register() {
    // The per-user classes, as a user without administrator rights would
    // register. Wine's COM reads only the machine-wide classes, so under Wine
    // the entries also go there: the prefix is the build tree's own.
    RegisterUnder(HKEY_CURRENT_USER, kUserClasses, dllPath_);
    if (!ResolvesToStub()) RegisterUnder(HKEY_CLASSES_ROOT, L"", dllPath_);
    if (!ResolvesToStub()) throw std::runtime_error("the Word stub cannot be registered");
}

void TWordStubHarness::Unregister() {
    RegDeleteTreeW(HKEY_CURRENT_USER, (std::wstring(kUserClasses) + kProgIdKey).c_str());
    RegDeleteTreeW(HKEY_CURRENT_USER, (std::wstring(kUserClasses) + kClsidKey).c_str());
    // Only the stub's own entries: a ProgID naming another class is left alone.
    HKEY h = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, kProgIdKey, 0, KEY_READ, &h) == ERROR_SUCCESS) {
        RegCloseKey(h);
        if (ResolvesToStub()) RegDeleteTreeW(HKEY_CLASSES_ROOT, kProgIdKey);
    }
    RegDeleteTreeW(HKEY_CLASSES_ROOT, kClsidKey);
}

std::vector<std::wstring> TWordStubHarness::Log() {
    std::vector<std::wstring> lines;
    std::wstring text = log_();
    size_t start = 0;
    for (size_t end; (end = text.find(L'\n', start)) != std::wstring::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

std::vector<std::wstring> TWordStubHarness::Calls() {
    std::vector<std::wstring> calls;
    for (std::wstring& line : Log())
        if (line.find(L".GetIDsOfNames") == std::wstring::npos) calls.push_back(std::move(line));
    return calls;
}

}  // namespace pagelet::test
