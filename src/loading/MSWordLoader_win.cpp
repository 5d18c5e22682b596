// The Word loader: drives an installed Microsoft Word through late-bound
// automation (IDispatch) to save the document as a Unicode text file in the
// temporary directory, reads that file into DocumentText and deletes it.
//
// COM is not initialised here: the host's user-interface thread already is.
// Member and argument names are resolved with GetIDsOfNames for every call;
// nothing is cached between calls or documents.

#include <windows.h>
#include <oleauto.h>

#include <string>
#include <vector>

#include "common/Error.h"
#include "common/Handles.h"
#include "common/Win32Text.h"
#include "loading/DocumentText.h"
#include "loading/Loaders.h"
#include "settings/Locations.h"

namespace pagelet {
namespace {

// Word's wdFormatUnicodeText and wdDoNotSaveChanges.
constexpr int32_t kWdFormatUnicodeText = 7;
constexpr int32_t kWdDoNotSaveChanges = 0;

// One IDispatch reference, released when the holder goes.
using TDispatchRef = TComPtr<IDispatch>;

// One argument of an automation call. An empty name makes it positional. The
// VARIANT does not own its data: the TBStr it may point to lives with the caller.
struct TArg {
    const wchar_t* Name;
    VARIANT Value;
};

TArg IntArg(const wchar_t* name, int32_t value) {
    TArg a{name, {}};
    V_VT(&a.Value) = VT_I4;
    V_I4(&a.Value) = value;
    return a;
}

TArg BoolArg(const wchar_t* name, bool value) {
    TArg a{name, {}};
    V_VT(&a.Value) = VT_BOOL;
    V_BOOL(&a.Value) = value ? VARIANT_TRUE : VARIANT_FALSE;
    return a;
}

TArg StrArg(const wchar_t* name, const TBStr& value) {
    TArg a{name, {}};
    V_VT(&a.Value) = VT_BSTR;
    V_BSTR(&a.Value) = value.Get();
    return a;
}

TArg StrRefArg(const wchar_t* name, TBStr& value) {
    TArg a{name, {}};
    V_VT(&a.Value) = VT_BSTR | VT_BYREF;
    V_BSTRREF(&a.Value) = value.Slot();
    return a;
}

constexpr WORD kPut = DISPATCH_PROPERTYPUT;
constexpr WORD kGet = DISPATCH_METHOD | DISPATCH_PROPERTYGET;
constexpr WORD kMethod = DISPATCH_METHOD;

// Calls one member. Positional arguments come before named ones in args.
// GetIDsOfNames receives the member name followed by the named arguments'
// names; DISPPARAMS holds the arguments in reverse order, so the named ones
// lead rgvarg, matching rgdispidNamedArgs. A property put carries its value
// as the named argument DISPID_PROPERTYPUT. With wantResult, the result must
// be an object and is returned; otherwise no result is requested.
TDispatchRef Call(IDispatch* object, const wchar_t* member, WORD kind, std::vector<TArg> args = {},
                  bool wantResult = false) {
    if (!object) ThrowIfFailed(E_POINTER);

    std::vector<LPOLESTR> names{const_cast<LPOLESTR>(member)};
    for (const TArg& a : args)
        if (a.Name) names.push_back(const_cast<LPOLESTR>(a.Name));
    std::vector<DISPID> ids(names.size(), DISPID_UNKNOWN);
    ThrowIfFailed(object->GetIDsOfNames(IID_NULL, names.data(), static_cast<UINT>(names.size()), LOCALE_USER_DEFAULT,
                                        ids.data()));

    std::vector<VARIANTARG> rgvarg;
    std::vector<DISPID> namedIds;
    for (size_t i = args.size(); i-- > 0;) rgvarg.push_back(args[i].Value);
    for (size_t i = ids.size(); i-- > 1;) namedIds.push_back(ids[i]);
    DISPID putId = DISPID_PROPERTYPUT;

    DISPPARAMS params{};
    params.cArgs = static_cast<UINT>(rgvarg.size());
    params.rgvarg = rgvarg.empty() ? nullptr : rgvarg.data();
    if (kind == kPut) {
        params.cNamedArgs = 1;
        params.rgdispidNamedArgs = &putId;
    } else {
        params.cNamedArgs = static_cast<UINT>(namedIds.size());
        params.rgdispidNamedArgs = namedIds.empty() ? nullptr : namedIds.data();
    }

    TVariant result;
    TExcepInfo excep;
    UINT argErr = 0;
    HRESULT hr = object->Invoke(ids[0], IID_NULL, LOCALE_USER_DEFAULT, kind, &params,
                                wantResult ? result.Get() : nullptr, excep.Get(), &argErr);
    ThrowIfFailed(hr == DISP_E_EXCEPTION ? excep.Code() : hr);
    if (!wantResult) return {};

    VARIANT* v = result.Get();
    TDispatchRef out;
    if (V_VT(v) == VT_DISPATCH && V_DISPATCH(v)) {
        out = TDispatchRef(V_DISPATCH(v));
        V_DISPATCH(v)->AddRef();
    } else if (V_VT(v) == VT_UNKNOWN && V_UNKNOWN(v)) {
        ThrowIfFailed(V_UNKNOWN(v)->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(out.Out())));
    } else {
        ThrowIfFailed(DISP_E_TYPEMISMATCH);
    }
    return out;
}

// An existing file (not a directory); a symbolic link counts by its target.
bool FileExists(const std::u16string& path) {
    DWORD attr = GetFileAttributesW(WStr(path));
    if (attr == INVALID_FILE_ATTRIBUTES) return false;
    if (!(attr & FILE_ATTRIBUTE_REPARSE_POINT)) return !(attr & FILE_ATTRIBUTE_DIRECTORY);
    const TKernelHandle file(CreateFileW(WStr(path), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!file) return false;
    BY_HANDLE_FILE_INFORMATION info{};
    return GetFileInformationByHandle(file.Get(), &info) && !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

// One run of Word for one document. Every step that succeeded is recorded,
// so that a failure can undo what it left behind: the open document is
// closed without saving, Word is told to quit, and the text file it may have
// written is deleted.
class TWordExport {
public:
    TWordExport(const std::u16string& fileName, std::u16string& tempPath) : fileName_(fileName), tempPath_(tempPath) {}
    TWordExport(const TWordExport&) = delete;
    TWordExport& operator=(const TWordExport&) = delete;

    // The whole export; any failure is thrown after clean-up.
    void Run() {
        try {
            Start();
            SaveText();
        } catch (...) {
            CleanUp();
            throw;
        }
    }

private:
    void Start() {
        CLSID clsid;
        ThrowIfFailed(CLSIDFromProgID(L"Word.Application", &clsid));
        ThrowIfFailed(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, IID_IDispatch,
                                       reinterpret_cast<void**>(app_.Out())));
        Call(app_.Get(), L"Visible", kPut, {IntArg(nullptr, 0)});
        Call(app_.Get(), L"DisplayAlerts", kPut, {IntArg(nullptr, 0)});
    }

    void SaveText() {
        TBStr path(fileName_);
        {
            TDispatchRef documents = Call(app_.Get(), L"Documents", kGet, {}, true);
            Call(documents.Get(), L"Open", kMethod,
                 {StrArg(L"FileName", path), BoolArg(L"ConfirmConversions", false), BoolArg(L"ReadOnly", true),
                  BoolArg(L"AddToRecentFiles", false)});
        }
        {
            TDispatchRef documents = Call(app_.Get(), L"Documents", kGet, {}, true);
            document_ = Call(documents.Get(), L"Item", kMethod, {StrArg(nullptr, path)}, true);
        }
        {
            TBStr temp(tempPath_);
            saveAttempted_ = true;
            try {
                Call(document_.Get(), L"SaveAs", kMethod,
                     {StrRefArg(nullptr, temp), IntArg(L"FileFormat", kWdFormatUnicodeText),
                      BoolArg(L"AddToRecentFiles", false), BoolArg(L"AllowSubstitutions", true)});
            } catch (...) {
                // The name Word answered with is the one the clean-up deletes.
                tempPath_ = temp.Text();
                throw;
            }
            tempPath_ = temp.Text();
        }
        {
            TBStr temp(tempPath_);
            TDispatchRef documents = Call(app_.Get(), L"Documents", kGet, {}, true);
            TDispatchRef saved = Call(documents.Get(), L"Item", kMethod, {StrRefArg(nullptr, temp)}, true);
            tempPath_ = temp.Text();
            closeAttempted_ = true;
            Call(saved.Get(), L"Close", kMethod);
        }
        document_.Reset();
        quitAttempted_ = true;
        Call(app_.Get(), L"Quit", kMethod);
        app_.Reset();
    }

    // Best effort after a failure; errors here change nothing more.
    void CleanUp() noexcept {
        if (document_ && !closeAttempted_) {
            try {
                Call(document_.Get(), L"Close", kMethod, {IntArg(L"SaveChanges", kWdDoNotSaveChanges)});
            } catch (...) {}
        }
        document_.Reset();
        if (app_ && !quitAttempted_) {
            // SaveChanges also closes, unsaved, a document that was opened
            // but never reached (Item failed).
            try {
                Call(app_.Get(), L"Quit", kMethod, {IntArg(L"SaveChanges", kWdDoNotSaveChanges)});
            } catch (...) {}
        }
        app_.Reset();
        if (saveAttempted_) DeleteFileW(WStr(tempPath_));
    }

    const std::u16string& fileName_;
    std::u16string& tempPath_;
    TDispatchRef app_;
    TDispatchRef document_;
    bool saveAttempted_ = false;
    bool closeAttempted_ = false;
    bool quitAttempted_ = false;
};

}  // namespace

bool LoadWithMSWord(const std::u16string& fileName) {
    try {
        ClearDocumentText();
        std::u16string tempPath = MakeTempFileName();
        if (!IsWordFileName(fileName)) return false;
        // A missing document would start Word for nothing and give an empty
        // viewer; it fails here instead.
        if (!FileExists(fileName)) return false;

        TWordExport(fileName, tempPath).Run();

        bool loaded = DocumentText && DocumentText->LoadFromFile(tempPath);
        // The document's text does not stay behind in the temporary directory,
        // whether it could be read or not.
        DeleteFileW(WStr(tempPath));
        if (!loaded) ClearDocumentText();
        return loaded;
    } catch (...) {
        try {
            ClearDocumentText();
        } catch (...) {}
        return false;
    }
}

}  // namespace pagelet
