// Test-only in-process automation server standing in for Word's application
// object. Hand-written IDispatch: each object knows its members and the
// members' parameter names (named-argument DISPIDs are parameter positions,
// as in a type library). Documents are files on disk; their text is a UTF-8
// fixture "<document>.txt" beside them or, without one, the document's own
// bytes read as UTF-8. Like Word started through automation, the stub's
// application begins with macros enabled (AutomationSecurity 1), links
// updated at open and alerts shown.

#include <windows.h>
#include <oleauto.h>

#include <memory>
#include <string>
#include <vector>

#include "WordStub.h"

namespace {

constexpr int kWdFormatUnicodeText = 7;

// ---- shared state of the test run -----------------------------------------

std::wstring gLog;
std::wstring gLogCopy;
std::wstring gFailMember;
int gFailOccurrence = 0;
bool gFailAfterEffect = false;
bool gRenameOnSave = false;
std::wstring gReportOnSave;
std::wstring gHidden;
bool gSaveAsFoundFile = false;
std::vector<std::pair<std::wstring, int>> gCallCounts;
LONG gLiveObjects = 0;
int gOpenDocuments = 0;

void LogLine(const std::wstring& line) {
    gLog += line;
    gLog += L"\n";
}

int CountCall(const std::wstring& member) {
    for (auto& [name, count] : gCallCounts)
        if (name == member) return ++count;
    gCallCounts.emplace_back(member, 1);
    return 1;
}

bool ShouldFail(const std::wstring& member, int occurrence) {
    return !gFailMember.empty() && gFailMember == member && gFailOccurrence == occurrence;
}

bool SameText(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

HRESULT Raise(EXCEPINFO* excep, const wchar_t* description) {
    if (!excep) return E_FAIL;
    ZeroMemory(excep, sizeof *excep);
    excep->bstrSource = SysAllocString(L"Word stub");
    excep->bstrDescription = SysAllocString(description);
    excep->scode = E_FAIL;
    return DISP_E_EXCEPTION;
}

std::wstring TypeName(VARTYPE vt) {
    std::wstring name;
    switch (vt & VT_TYPEMASK) {
    case VT_EMPTY:
        name = L"VT_EMPTY";
        break;
    case VT_I2:
        name = L"VT_I2";
        break;
    case VT_I4:
        name = L"VT_I4";
        break;
    case VT_BOOL:
        name = L"VT_BOOL";
        break;
    case VT_BSTR:
        name = L"VT_BSTR";
        break;
    case VT_DISPATCH:
        name = L"VT_DISPATCH";
        break;
    case VT_UNKNOWN:
        name = L"VT_UNKNOWN";
        break;
    case VT_ERROR:
        name = L"VT_ERROR";
        break;
    case VT_VARIANT:
        name = L"VT_VARIANT";
        break;
    default:
        name = L"VT_" + std::to_wstring(vt & VT_TYPEMASK);
        break;
    }
    if (vt & VT_BYREF) name += L"|VT_BYREF";
    if (vt & VT_ARRAY) name += L"|VT_ARRAY";
    return name;
}

std::wstring ValueText(const VARIANT* v) {
    VARTYPE vt = V_VT(v);
    switch (vt) {
    case VT_I4:
        return std::to_wstring(V_I4(v));
    case VT_I4 | VT_BYREF:
        return V_I4REF(v) ? std::to_wstring(*V_I4REF(v)) : L"null";
    case VT_I2:
        return std::to_wstring(V_I2(v));
    case VT_BOOL:
        return std::to_wstring(V_BOOL(v));
    case VT_BOOL | VT_BYREF:
        return V_BOOLREF(v) ? std::to_wstring(*V_BOOLREF(v)) : L"null";
    case VT_BSTR:
        return L"\"" + std::wstring(V_BSTR(v) ? V_BSTR(v) : L"") + L"\"";
    case VT_BSTR | VT_BYREF:
        return V_BSTRREF(v) ? L"\"" + std::wstring(*V_BSTRREF(v) ? *V_BSTRREF(v) : L"") + L"\"" : L"null";
    case VT_ERROR:
        return std::to_wstring(V_ERROR(v));
    default:
        return L"?";
    }
}

// An argument read as the given type: missing (absent or DISP_E_PARAMNOTFOUND) or converted.
class TArgValue {
public:
    TArgValue() { VariantInit(&v_); }
    TArgValue(const TArgValue&) = delete;
    TArgValue& operator=(const TArgValue&) = delete;
    ~TArgValue() { VariantClear(&v_); }
    // S_FALSE when missing.
    HRESULT Read(VARIANT* arg, VARTYPE type) {
        VariantClear(&v_);
        if (!arg || (V_VT(arg) == VT_ERROR && V_ERROR(arg) == DISP_E_PARAMNOTFOUND)) return S_FALSE;
        VARIANT plain;
        VariantInit(&plain);
        HRESULT hr = VariantCopyInd(&plain, arg);
        if (SUCCEEDED(hr)) hr = VariantChangeType(&v_, &plain, 0, type);
        VariantClear(&plain);
        return FAILED(hr) ? DISP_E_TYPEMISMATCH : S_OK;
    }
    const VARIANT* Get() const { return &v_; }

private:
    VARIANT v_;
};

// ---- the object model ----------------------------------------------------

struct TDocument {
    std::wstring Path;
    std::wstring Text;
};

struct TApplication {
    bool Quit = false;
    bool Visible = true;
    bool DisplayAlerts = true;
    int AutomationSecurity = 1;  // msoAutomationSecurityLow
    bool UpdateLinksAtOpen = true;
    bool NormalSaved = true;
    std::vector<std::shared_ptr<TDocument>> Documents;

    void CloseDocument(const std::shared_ptr<TDocument>& doc) {
        for (auto it = Documents.begin(); it != Documents.end(); ++it)
            if (*it == doc) {
                Documents.erase(it);
                --gOpenDocuments;
                return;
            }
    }
    void CloseAll() {
        gOpenDocuments -= static_cast<int>(Documents.size());
        Documents.clear();
    }
};

enum TKinds { kProperty = 1, kReadOnlyProperty = 2, kMethod = 4 };

struct TMember {
    const wchar_t* Name;
    int Kinds;
    std::vector<const wchar_t*> Params;
};

// The arguments of one call, by parameter position; the put value apart.
struct TCall {
    const TMember* Member;
    WORD Kind;
    std::vector<VARIANT*> Params;
    VARIANT* PutValue = nullptr;
    VARIANT* Result;
    EXCEPINFO* Excep;
};

class TStubObject : public IDispatch {
public:
    TStubObject(const wchar_t* kindName, const std::vector<TMember>& members, std::shared_ptr<TApplication> app)
        : kindName_(kindName), members_(members), app_(std::move(app)) {
        InterlockedIncrement(&gLiveObjects);
    }
    TStubObject(const TStubObject&) = delete;
    TStubObject& operator=(const TStubObject&) = delete;
    virtual ~TStubObject() { InterlockedDecrement(&gLiveObjects); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch)) {
            *ppv = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&refs_); }
    ULONG STDMETHODCALLTYPE Release() override {
        LONG n = InterlockedDecrement(&refs_);
        if (n == 0) delete this;
        return n;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (count) *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }

    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        if (!names || !ids || count == 0) return E_INVALIDARG;
        try {
            return ResolveNames(names, count, ids);
        } catch (...) {
            return E_OUTOFMEMORY;
        }
    }

    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD kind, DISPPARAMS* params, VARIANT* result,
                                     EXCEPINFO* excep, UINT*) override {
        try {
            return InvokeChecked(id, kind, params, result, excep);
        } catch (...) {
            return E_UNEXPECTED;
        }
    }

protected:
    virtual HRESULT Act(TCall& call) = 0;
    TApplication& App() { return *app_; }
    const std::shared_ptr<TApplication>& AppRef() { return app_; }

private:
    HRESULT ResolveNames(LPOLESTR* names, UINT count, DISPID* ids) {
        std::wstring line = std::wstring(kindName_) + L".GetIDsOfNames";
        for (UINT i = 0; i < count; ++i) line += std::wstring(L" ") + names[i];
        LogLine(line);

        HRESULT hr = S_OK;
        const TMember* member = FindMember(names[0], &ids[0]);
        if (!member) hr = DISP_E_UNKNOWNNAME;
        for (UINT i = 1; i < count; ++i) {
            ids[i] = DISPID_UNKNOWN;
            if (member)
                for (size_t p = 0; p < member->Params.size(); ++p)
                    if (SameText(names[i], member->Params[p])) ids[i] = static_cast<DISPID>(p);
            if (ids[i] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
        }
        return hr;
    }

    const TMember* FindMember(const wchar_t* name, DISPID* id) const {
        for (size_t m = 0; m < members_.size(); ++m)
            if (SameText(name, members_[m].Name) && !SameText(name, gHidden)) {
                *id = static_cast<DISPID>(m + 1);
                return &members_[m];
            }
        *id = DISPID_UNKNOWN;
        return nullptr;
    }

    static std::wstring KindText(WORD kind) {
        switch (kind) {
        case DISPATCH_PROPERTYPUT:
            return L"put";
        case DISPATCH_METHOD | DISPATCH_PROPERTYGET:
            return L"get";
        case DISPATCH_METHOD:
            return L"method";
        case DISPATCH_PROPERTYGET:
            return L"propget";
        default:
            return L"kind" + std::to_wstring(kind);
        }
    }

    HRESULT InvokeChecked(DISPID id, WORD kind, DISPPARAMS* params, VARIANT* result, EXCEPINFO* excep) {
        if (id < 1 || static_cast<size_t>(id) > members_.size()) return DISP_E_MEMBERNOTFOUND;
        const TMember& member = members_[id - 1];
        if (!params || params->cNamedArgs > params->cArgs) return E_INVALIDARG;

        // The record lists the arguments as the caller wrote them: rgvarg holds
        // them in reverse order, the named ones first.
        std::wstring line = std::wstring(kindName_) + L"." + member.Name + L" " + KindText(kind);
        const UINT positional = params->cArgs - params->cNamedArgs;
        for (UINT k = params->cArgs; k-- > 0;) {
            std::wstring name = L"#";
            if (k < params->cNamedArgs) {
                DISPID named = params->rgdispidNamedArgs[k];
                if (named == DISPID_PROPERTYPUT)
                    name = L"<put>";
                else if (named >= 0 && static_cast<size_t>(named) < member.Params.size())
                    name = member.Params[named];
                else
                    name = L"?" + std::to_wstring(named);
            }
            const VARIANT* v = &params->rgvarg[k];
            line += L" " + name + L"=" + TypeName(V_VT(v)) + L":" + ValueText(v);
        }
        if (result) line += L" ->result";

        int occurrence = CountCall(member.Name);
        bool fail = ShouldFail(member.Name, occurrence);
        if (app_->Quit) {
            LogLine(line + L" !disconnected");
            return RPC_E_DISCONNECTED;
        }
        if (fail && !gFailAfterEffect) {
            LogLine(line + L" !failed");
            return Raise(excep, L"Injected failure");
        }

        TCall call{&member, kind, std::vector<VARIANT*>(member.Params.size(), nullptr), nullptr, result, excep};
        if (kind & DISPATCH_PROPERTYPUT) {
            if (!(member.Kinds & kProperty)) return DISP_E_MEMBERNOTFOUND;
            if (params->cArgs != 1 || params->cNamedArgs != 1 || params->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT)
                return DISP_E_PARAMNOTFOUND;
            call.PutValue = &params->rgvarg[0];
        } else if (kind & DISPATCH_METHOD) {
            // A property answers a method call only together with a get.
            if ((member.Kinds == kProperty || member.Kinds == kReadOnlyProperty) && !(kind & DISPATCH_PROPERTYGET))
                return DISP_E_MEMBERNOTFOUND;
        } else if (kind & DISPATCH_PROPERTYGET) {
            if (member.Kinds == kMethod) return DISP_E_MEMBERNOTFOUND;
        } else {
            return DISP_E_MEMBERNOTFOUND;
        }
        if (!call.PutValue) {
            if (positional > member.Params.size()) return DISP_E_BADPARAMCOUNT;
            for (UINT i = 0; i < positional; ++i) call.Params[i] = &params->rgvarg[params->cArgs - 1 - i];
            for (UINT j = 0; j < params->cNamedArgs; ++j) {
                DISPID named = params->rgdispidNamedArgs[j];
                if (named < 0 || static_cast<size_t>(named) >= member.Params.size() || call.Params[named])
                    return DISP_E_PARAMNOTFOUND;
                call.Params[named] = &params->rgvarg[j];
            }
        }

        HRESULT hr = Act(call);
        if (fail) {
            if (SUCCEEDED(hr) && result) VariantClear(result);
            LogLine(line + L" !failed");
            return Raise(excep, L"Injected failure");
        }
        LogLine(FAILED(hr) ? line + L" !error" : line);
        return hr;
    }

    LONG refs_ = 1;
    const wchar_t* kindName_;
    const std::vector<TMember>& members_;
    std::shared_ptr<TApplication> app_;
};

HRESULT ReturnObject(VARIANT* result, TStubObject* object) {
    if (result) {
        VariantInit(result);
        V_VT(result) = VT_DISPATCH;
        V_DISPATCH(result) = object;
    } else {
        object->Release();
    }
    return S_OK;
}

std::wstring ReadUtf8File(const std::wstring& path, bool* found) {
    *found = false;
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return {};
    std::string bytes;
    char buf[4096];
    DWORD got = 0;
    while (ReadFile(h, buf, sizeof buf, &got, nullptr) && got > 0) bytes.append(buf, got);
    CloseHandle(h);
    *found = true;
    if (bytes.empty()) return {};
    int n = MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring text(n, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(), n);
    return text;
}

bool WriteUnicodeText(const std::wstring& path, const std::wstring& text) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    std::wstring content = L"\xFEFF" + text;  // written little-endian: FF FE first
    DWORD put = 0;
    DWORD size = static_cast<DWORD>(content.size() * sizeof(wchar_t));
    bool ok = WriteFile(h, content.data(), size, &put, nullptr) && put == size;
    CloseHandle(h);
    return ok;
}

const std::vector<TMember> kDocumentMembers = {
    {L"SaveAs",
     kMethod,
     {L"FileName", L"FileFormat", L"LockComments", L"Password", L"AddToRecentFiles", L"WritePassword",
      L"ReadOnlyRecommended", L"EmbedTrueTypeFonts", L"SaveNativePictureFormat", L"SaveFormsData", L"SaveAsAOCELetter",
      L"Encoding", L"InsertLineBreaks", L"AllowSubstitutions", L"LineEnding", L"AddBiDiMarks"}},
    {L"Close", kMethod, {L"SaveChanges", L"OriginalFormat", L"RouteDocument"}},
    {L"FullName", kReadOnlyProperty, {}},
};

class TDocumentObject : public TStubObject {
public:
    TDocumentObject(std::shared_ptr<TApplication> app, std::shared_ptr<TDocument> doc)
        : TStubObject(L"Document", kDocumentMembers, std::move(app)), doc_(std::move(doc)) {}

protected:
    HRESULT Act(TCall& call) override {
        const std::wstring name = call.Member->Name;
        bool open = false;
        for (auto& d : App().Documents) open = open || d == doc_;
        if (!open)
            return Raise(call.Excep, L"This object model command is not available while the document is closed.");
        if (name == L"FullName") {
            if (call.Result) {
                VariantInit(call.Result);
                V_VT(call.Result) = VT_BSTR;
                V_BSTR(call.Result) = SysAllocString(doc_->Path.c_str());
            }
            return S_OK;
        }
        if (name == L"SaveAs") {
            TArgValue fileName, format;
            if (fileName.Read(call.Params[0], VT_BSTR) != S_OK) return DISP_E_TYPEMISMATCH;
            HRESULT hr = format.Read(call.Params[1], VT_I4);
            if (FAILED(hr)) return hr;
            if (hr != S_OK || V_I4(format.Get()) != kWdFormatUnicodeText)
                return Raise(call.Excep, L"The stub saves only Unicode text");
            for (int p : {4, 13}) {
                TArgValue flag;
                if (FAILED(flag.Read(call.Params[p], VT_BOOL))) return DISP_E_TYPEMISMATCH;
            }
            std::wstring path = V_BSTR(fileName.Get());
            if (gRenameOnSave) path += L".txt";
            gSaveAsFoundFile = GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
            if (!WriteUnicodeText(path, doc_->Text)) return Raise(call.Excep, L"The file could not be written");
            // The name handed back through the by-reference argument.
            std::wstring reported = gReportOnSave.empty() ? path : gReportOnSave;
            if (!reported.empty() && reported.back() == L'\\') reported += path.substr(path.find_last_of(L'\\') + 1);
            VARIANT* arg = call.Params[0];
            if (reported != V_BSTR(fileName.Get()) && V_VT(arg) == (VT_BSTR | VT_BYREF) && V_BSTRREF(arg)) {
                SysFreeString(*V_BSTRREF(arg));
                *V_BSTRREF(arg) = SysAllocString(reported.c_str());
            }
            doc_->Path = path;
            return S_OK;
        }
        // Close
        TArgValue saveChanges;
        if (FAILED(saveChanges.Read(call.Params[0], VT_I4))) return DISP_E_TYPEMISMATCH;
        App().CloseDocument(doc_);
        return S_OK;
    }

private:
    std::shared_ptr<TDocument> doc_;
};

// The parameters of Documents.Open and Documents.OpenNoRepairDialog.
const std::vector<const wchar_t*> kOpenParams = {L"FileName",
                                                 L"ConfirmConversions",
                                                 L"ReadOnly",
                                                 L"AddToRecentFiles",
                                                 L"PasswordDocument",
                                                 L"PasswordTemplate",
                                                 L"Revert",
                                                 L"WritePasswordDocument",
                                                 L"WritePasswordTemplate",
                                                 L"Format",
                                                 L"Encoding",
                                                 L"Visible",
                                                 L"OpenAndRepair",
                                                 L"DocumentDirection",
                                                 L"NoEncodingDialog",
                                                 L"XMLTransform"};

const std::vector<TMember> kDocumentsMembers = {
    {L"Open", kMethod, kOpenParams},
    {L"OpenNoRepairDialog", kMethod, kOpenParams},
    {L"Item", kMethod, {L"Index"}},
    {L"Count", kReadOnlyProperty, {}},
};

class TDocumentsObject : public TStubObject {
public:
    explicit TDocumentsObject(std::shared_ptr<TApplication> app)
        : TStubObject(L"Documents", kDocumentsMembers, std::move(app)) {}

protected:
    HRESULT Act(TCall& call) override {
        const std::wstring name = call.Member->Name;
        if (name == L"Count") {
            if (call.Result) {
                VariantInit(call.Result);
                V_VT(call.Result) = VT_I4;
                V_I4(call.Result) = static_cast<LONG>(App().Documents.size());
            }
            return S_OK;
        }
        if (name == L"Open" || name == L"OpenNoRepairDialog") {
            TArgValue fileName;
            if (fileName.Read(call.Params[0], VT_BSTR) != S_OK) return DISP_E_TYPEMISMATCH;
            for (int p : {1, 2, 3, 6, 11, 12, 14}) {
                TArgValue flag;
                if (FAILED(flag.Read(call.Params[p], VT_BOOL))) return DISP_E_TYPEMISMATCH;
            }
            for (int p : {4, 5, 7, 8}) {
                TArgValue password;
                if (FAILED(password.Read(call.Params[p], VT_BSTR))) return DISP_E_TYPEMISMATCH;
            }
            std::wstring path = V_BSTR(fileName.Get());
            std::shared_ptr<TDocument> doc;
            for (auto& d : App().Documents)
                if (SameText(d->Path, path)) doc = d;
            if (!doc) {
                bool found = false;
                std::wstring bytesAsText = ReadUtf8File(path, &found);
                if (!found) return Raise(call.Excep, L"Sorry, we couldn't find your file.");
                bool hasFixture = false;
                std::wstring fixture = ReadUtf8File(path + L".txt", &hasFixture);
                doc = std::make_shared<TDocument>(TDocument{path, hasFixture ? fixture : bytesAsText});
                App().Documents.push_back(doc);
                ++gOpenDocuments;
            }
            return ReturnObject(call.Result, new TDocumentObject(AppRef(), doc));
        }
        // Item: by full name, or by 1-based position.
        VARIANT* index = call.Params[0];
        if (!index) return DISP_E_PARAMNOTFOUND;
        TArgValue asText;
        VARTYPE vt = V_VT(index) & ~VT_BYREF;
        if (vt == VT_BSTR) {
            if (asText.Read(index, VT_BSTR) != S_OK) return DISP_E_TYPEMISMATCH;
            for (auto& d : App().Documents)
                if (SameText(d->Path, V_BSTR(asText.Get())))
                    return ReturnObject(call.Result, new TDocumentObject(AppRef(), d));
        } else {
            if (asText.Read(index, VT_I4) != S_OK) return DISP_E_TYPEMISMATCH;
            LONG n = V_I4(asText.Get());
            if (n >= 1 && static_cast<size_t>(n) <= App().Documents.size())
                return ReturnObject(call.Result, new TDocumentObject(AppRef(), App().Documents[n - 1]));
        }
        return Raise(call.Excep, L"The requested member of the collection does not exist.");
    }
};

// A Boolean property: put converts the value, get answers it.
HRESULT BoolProperty(TCall& call, bool& flag) {
    if (call.PutValue) {
        TArgValue value;
        if (value.Read(call.PutValue, VT_BOOL) != S_OK) return DISP_E_TYPEMISMATCH;
        flag = V_BOOL(value.Get()) != VARIANT_FALSE;
    } else if (call.Result) {
        VariantInit(call.Result);
        V_VT(call.Result) = VT_BOOL;
        V_BOOL(call.Result) = flag ? VARIANT_TRUE : VARIANT_FALSE;
    }
    return S_OK;
}

const std::vector<TMember> kOptionsMembers = {
    {L"UpdateLinksAtOpen", kProperty, {}},
};

class TOptionsObject : public TStubObject {
public:
    explicit TOptionsObject(std::shared_ptr<TApplication> app)
        : TStubObject(L"Options", kOptionsMembers, std::move(app)) {}

protected:
    HRESULT Act(TCall& call) override { return BoolProperty(call, App().UpdateLinksAtOpen); }
};

const std::vector<TMember> kTemplateMembers = {
    {L"Saved", kProperty, {}},
};

// The Normal template.
class TTemplateObject : public TStubObject {
public:
    explicit TTemplateObject(std::shared_ptr<TApplication> app)
        : TStubObject(L"Template", kTemplateMembers, std::move(app)) {}

protected:
    HRESULT Act(TCall& call) override { return BoolProperty(call, App().NormalSaved); }
};

const std::vector<TMember> kApplicationMembers = {
    {L"Visible", kProperty, {}},
    {L"DisplayAlerts", kProperty, {}},
    {L"Documents", kReadOnlyProperty, {}},
    {L"Quit", kMethod, {L"SaveChanges", L"OriginalFormat", L"RouteDocument"}},
    {L"AutomationSecurity", kProperty, {}},
    {L"Options", kReadOnlyProperty, {}},
    {L"NormalTemplate", kReadOnlyProperty, {}},
};

class TApplicationObject : public TStubObject {
public:
    TApplicationObject() : TStubObject(L"Application", kApplicationMembers, std::make_shared<TApplication>()) {}
    ~TApplicationObject() override {
        // A released Word without Quit would keep running; the stub records it.
        try {
            if (!App().Quit) LogLine(L"Application released without Quit");
        } catch (...) {}
    }

protected:
    HRESULT Act(TCall& call) override {
        const std::wstring name = call.Member->Name;
        if (name == L"Documents") return ReturnObject(call.Result, new TDocumentsObject(AppRef()));
        if (name == L"Options") return ReturnObject(call.Result, new TOptionsObject(AppRef()));
        if (name == L"NormalTemplate") return ReturnObject(call.Result, new TTemplateObject(AppRef()));
        if (name == L"AutomationSecurity") {
            if (call.PutValue) {
                TArgValue value;
                if (value.Read(call.PutValue, VT_I4) != S_OK) return DISP_E_TYPEMISMATCH;
                App().AutomationSecurity = V_I4(value.Get());
            } else if (call.Result) {
                VariantInit(call.Result);
                V_VT(call.Result) = VT_I4;
                V_I4(call.Result) = App().AutomationSecurity;
            }
            return S_OK;
        }
        if (name == L"Quit") {
            TArgValue saveChanges;
            if (FAILED(saveChanges.Read(call.Params[0], VT_I4))) return DISP_E_TYPEMISMATCH;
            App().CloseAll();
            App().Quit = true;
            return S_OK;
        }
        return BoolProperty(call, name == L"Visible" ? App().Visible : App().DisplayAlerts);
    }
};

// ---- class factory and DLL entry points --------------------------------

const CLSID kStubClsid = {0xA60E2706, 0x9224, 0x4FA1, {0x9B, 0x87, 0x70, 0xC4, 0x99, 0x82, 0x25, 0x68}};

class TClassFactory : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
            *ppv = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        try {
            return Create(riid, ppv);
        } catch (...) {
            return E_OUTOFMEMORY;
        }
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

private:
    static HRESULT Create(REFIID riid, void** ppv) {
        int occurrence = CountCall(L"CreateInstance");
        if (ShouldFail(L"CreateInstance", occurrence)) {
            LogLine(L"CreateInstance !failed");
            return E_FAIL;
        }
        LogLine(L"CreateInstance");
        auto* app = new TApplicationObject();
        HRESULT hr = app->QueryInterface(riid, ppv);
        app->Release();
        return hr;
    }
};

TClassFactory gFactory;

}  // namespace

extern "C" {

__declspec(dllexport) HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (!IsEqualCLSID(clsid, kStubClsid)) return CLASS_E_CLASSNOTAVAILABLE;
    return gFactory.QueryInterface(riid, ppv);
}

// The test keeps the DLL loaded to read the record.
__declspec(dllexport) HRESULT STDAPICALLTYPE DllCanUnloadNow() { return S_FALSE; }

__declspec(dllexport) void WordStubReset() {
    gLog.clear();
    gFailMember.clear();
    gFailOccurrence = 0;
    gFailAfterEffect = false;
    gRenameOnSave = false;
    gReportOnSave.clear();
    gHidden.clear();
    gSaveAsFoundFile = false;
    gCallCounts.clear();
}

__declspec(dllexport) void WordStubFailAt(const wchar_t* member, int occurrence, int afterEffect) {
    gFailMember = member ? member : L"";
    gFailOccurrence = occurrence;
    gFailAfterEffect = afterEffect != 0;
}

__declspec(dllexport) void WordStubRenameOnSave(int on) { gRenameOnSave = on != 0; }

__declspec(dllexport) void WordStubReportOnSave(const wchar_t* path) { gReportOnSave = path ? path : L""; }

__declspec(dllexport) void WordStubHide(const wchar_t* member) { gHidden = member ? member : L""; }

__declspec(dllexport) int WordStubSaveAsFoundFile() { return gSaveAsFoundFile ? 1 : 0; }

__declspec(dllexport) const wchar_t* WordStubLog() {
    gLogCopy = gLog;
    return gLogCopy.c_str();
}

__declspec(dllexport) int WordStubLiveObjects() { return static_cast<int>(gLiveObjects); }

__declspec(dllexport) int WordStubOpenDocuments() { return gOpenDocuments; }

}  // extern "C"
