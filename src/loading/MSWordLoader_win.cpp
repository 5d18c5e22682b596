// The Word loader: drives an installed Microsoft Word through late-bound
// automation (IDispatch) to save the document as a Unicode text file in the
// temporary directory, reads that file and deletes it; the text goes back
// to the caller as a value.
//
// Any document the user views reaches the user's own Word, so Word is made
// to open it as inert data: the FIB is checked before Word starts (no
// password-protected document reaches it), macros are forced off before the
// document is opened, links are not updated, no dialog may wait for an
// answer nobody can give, and nothing is ever saved but the text file.
//
// COM is not initialised here: the host's user-interface thread already is.
// Member and argument names are resolved with GetIDsOfNames for every call;
// nothing is cached between calls or documents.

#include <windows.h>
#include <oleauto.h>

#include <optional>
#include <string>
#include <vector>

#include "common/Error.h"
#include "common/Handles.h"
#include "common/Win32Text.h"
#include "converter/WordFib.h"
#include "loading/DocumentText.h"
#include "loading/Loaders.h"
#include "settings/Locations.h"

namespace pagelet {
namespace {

// Word's wdFormatUnicodeText, wdDoNotSaveChanges and msoAutomationSecurityForceDisable.
constexpr int32_t kWdFormatUnicodeText = 7;
constexpr int32_t kWdDoNotSaveChanges = 0;
constexpr int32_t kMsoAutomationSecurityForceDisable = 3;

// Given as the password of the document and of its template: Word ignores
// it for a document without one, and a protected one fails at once instead
// of waiting for a password in a window nobody sees. No one would choose it.
constexpr char16_t kNoPassword[] = u"#pg~0x7!Nq;2%Z";

// How often a fresh temporary name is drawn when the one drawn is taken.
constexpr int kTempNameAttempts = 16;

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

// Resolves a call's names: the member name followed by the named arguments'
// names, as GetIDsOfNames takes them. ids[0] stays DISPID_UNKNOWN when the
// object has no such member.
HRESULT Resolve(IDispatch* object, const wchar_t* member, const std::vector<TArg>& args, std::vector<DISPID>& ids) {
    std::vector<LPOLESTR> names{const_cast<LPOLESTR>(member)};
    for (const TArg& a : args)
        if (a.Name) names.push_back(const_cast<LPOLESTR>(a.Name));
    ids.assign(names.size(), DISPID_UNKNOWN);
    if (!object) return E_POINTER;
    return object->GetIDsOfNames(IID_NULL, names.data(), static_cast<UINT>(names.size()), LOCALE_USER_DEFAULT,
                                 ids.data());
}

// Invokes a resolved member. Positional arguments come before named ones in
// args; DISPPARAMS holds them in reverse order, so the named ones lead
// rgvarg, matching rgdispidNamedArgs. A property put carries its value as the
// named argument DISPID_PROPERTYPUT. With a result slot the member's result
// is requested; otherwise none is.
void Invoke(IDispatch* object, const std::vector<DISPID>& ids, WORD kind, const std::vector<TArg>& args,
            VARIANT* result) {
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

    TExcepInfo excep;
    UINT argErr = 0;
    HRESULT hr = object->Invoke(ids[0], IID_NULL, LOCALE_USER_DEFAULT, kind, &params, result, excep.Get(), &argErr);
    ThrowIfFailed(hr == DISP_E_EXCEPTION ? excep.Code() : hr);
}

// Calls one member without asking for its result.
void Call(IDispatch* object, const wchar_t* member, WORD kind, const std::vector<TArg>& args = {}) {
    std::vector<DISPID> ids;
    ThrowIfFailed(Resolve(object, member, args, ids));
    Invoke(object, ids, kind, args, nullptr);
}

// The object a member answers: a property without arguments (a get) by
// default, or the method given. Anything but an object is an error.
TDispatchRef GetDispatch(IDispatch* object, const wchar_t* member, const std::vector<TArg>& args = {},
                         WORD kind = kGet) {
    std::vector<DISPID> ids;
    ThrowIfFailed(Resolve(object, member, args, ids));
    TVariant result;
    Invoke(object, ids, kind, args, result.Get());
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

// A Boolean property (a get); a value that is no Boolean is converted as COM converts it.
bool GetBool(IDispatch* object, const wchar_t* member) {
    std::vector<DISPID> ids;
    ThrowIfFailed(Resolve(object, member, {}, ids));
    TVariant result;
    Invoke(object, ids, kGet, {}, result.Get());
    TVariant asBool;
    ThrowIfFailed(VariantChangeType(asBool.Get(), result.Get(), 0, VT_BOOL));
    return V_BOOL(asBool.Get()) != VARIANT_FALSE;
}

// The identity of an existing file, the link itself for a link.
bool FileIdentity(const std::u16string& path, BY_HANDLE_FILE_INFORMATION& info) {
    const TKernelHandle file(CreateFileW(WStr(path), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                         nullptr));
    return file && GetFileInformationByHandle(file.Get(), &info);
}

// Two names of one file: the same text without regard to case, or another
// spelling (a short or long form, "." in the path) of the same existing file.
bool SameFile(const std::u16string& a, const std::u16string& b) {
    if (CompareStringOrdinal(WStr(a), static_cast<int>(a.size()), WStr(b), static_cast<int>(b.size()), TRUE) ==
        CSTR_EQUAL)
        return true;
    BY_HANDLE_FILE_INFORMATION ia{}, ib{};
    return FileIdentity(a, ia) && FileIdentity(b, ib) && ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber &&
           ia.nFileIndexHigh == ib.nFileIndexHigh && ia.nFileIndexLow == ib.nFileIndexLow;
}

// The temporary files of one load: the one created here under a fresh name,
// and the name Word saved the text under (that name, or that name with the
// ".txt" Word may add). Both go when the load ends, on every path; no other
// name is ever deleted.
class TTextFiles {
public:
    TTextFiles() {
        for (int attempt = 0; attempt < kTempNameAttempts; ++attempt) {
            std::u16string path = MakeTempFileName();
            // CREATE_NEW: a name that is taken, by a file or by a link, is never ours.
            const TKernelHandle file(
                CreateFileW(WStr(path), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
            if (file) {
                own_ = std::move(path);
                return;
            }
            const DWORD error = GetLastError();
            if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) ThrowIfFailed(HRESULT_FROM_WIN32(error));
        }
        ThrowIfFailed(HRESULT_FROM_WIN32(ERROR_FILE_EXISTS));
    }
    TTextFiles(const TTextFiles&) = delete;
    TTextFiles& operator=(const TTextFiles&) = delete;
    ~TTextFiles() {
        if (!saved_.empty() && saved_ != own_) DeleteFileW(WStr(saved_));
        DeleteFileW(WStr(own_));
    }

    // The name SaveAs is given.
    const std::u16string& Own() const { return own_; }
    // Takes the name Word answered with, kept in the loader's own spelling;
    // false for a name that is not ours, which is left alone.
    bool Accept(const std::u16string& reported) {
        if (SameFile(reported, own_)) {
            saved_ = own_;
        } else if (SameFile(reported, own_ + u".txt")) {
            saved_ = own_ + u".txt";
        } else {
            saved_.clear();
            return false;
        }
        return true;
    }
    // Where Word saved the text; empty until it answered with a name of ours.
    const std::u16string& Saved() const { return saved_; }

private:
    std::u16string own_;
    std::u16string saved_;
};

// One run of Word for one document. Every step that was attempted is
// recorded, so that a failure can undo what it may have left behind: the
// open document is closed without saving, the link option is put back, the
// Normal template is marked saved and Word is told to quit without saving.
class TWordExport {
public:
    TWordExport(const std::u16string& fileName, TTextFiles& files) : fileName_(fileName), files_(files) {}
    TWordExport(const TWordExport&) = delete;
    TWordExport& operator=(const TWordExport&) = delete;

    // The whole export; any failure is thrown after clean-up.
    void Run() {
        try {
            Start();
            SaveText();
            Finish();
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
        // Word started through automation runs every macro of the document
        // and of its template; none may run here. A Word that refuses this
        // never gets to open the document.
        Call(app_.Get(), L"AutomationSecurity", kPut, {IntArg(nullptr, kMsoAutomationSecurityForceDisable)});
        // The option is the user's: it is read first and put back before Quit.
        TDispatchRef options = GetDispatch(app_.Get(), L"Options");
        updateLinksAtOpen_ = GetBool(options.Get(), L"UpdateLinksAtOpen");
        linksChanged_ = true;
        Call(options.Get(), L"UpdateLinksAtOpen", kPut, {BoolArg(nullptr, false)});
    }

    void SaveText() {
        TBStr path(fileName_);
        TBStr password(kNoPassword);
        {
            TDispatchRef documents = GetDispatch(app_.Get(), L"Documents");
            Open(documents.Get(),
                 {StrArg(L"FileName", path), BoolArg(L"ConfirmConversions", false), BoolArg(L"ReadOnly", true),
                  BoolArg(L"AddToRecentFiles", false), StrArg(L"PasswordDocument", password),
                  StrArg(L"PasswordTemplate", password), BoolArg(L"Revert", false), BoolArg(L"Visible", false),
                  BoolArg(L"OpenAndRepair", false), BoolArg(L"NoEncodingDialog", true)});
        }
        {
            TDispatchRef documents = GetDispatch(app_.Get(), L"Documents");
            document_ = GetDispatch(documents.Get(), L"Item", {StrArg(nullptr, path)}, kMethod);
        }
        {
            TBStr temp(files_.Own());
            try {
                Call(document_.Get(), L"SaveAs", kMethod,
                     {StrRefArg(nullptr, temp), IntArg(L"FileFormat", kWdFormatUnicodeText),
                      BoolArg(L"AddToRecentFiles", false), BoolArg(L"AllowSubstitutions", true)});
            } catch (...) {
                // A file Word wrote before failing goes with the load, under a name of ours.
                files_.Accept(temp.Text());
                throw;
            }
            if (!files_.Accept(temp.Text()))
                throw EPagelet(u"Word saved the text under a name that was not asked for: " + temp.Text());
        }
        {
            TBStr temp(files_.Saved());
            TDispatchRef documents = GetDispatch(app_.Get(), L"Documents");
            TDispatchRef saved = GetDispatch(documents.Get(), L"Item", {StrRefArg(nullptr, temp)}, kMethod);
            closeAttempted_ = true;
            Call(saved.Get(), L"Close", kMethod, {IntArg(L"SaveChanges", kWdDoNotSaveChanges)});
        }
        document_.Reset();
    }

    // Documents.OpenNoRepairDialog where Word has it, else Documents.Open,
    // with the same arguments.
    static void Open(IDispatch* documents, const std::vector<TArg>& args) {
        std::vector<DISPID> ids;
        HRESULT hr = Resolve(documents, L"OpenNoRepairDialog", args, ids);
        if (FAILED(hr) && ids[0] == DISPID_UNKNOWN) hr = Resolve(documents, L"Open", args, ids);
        ThrowIfFailed(hr);
        Invoke(documents, ids, kMethod, args, nullptr);
    }

    // What Word is left with before it quits: the user's link option as it
    // was, and a Normal template that has nothing to save.
    void RestoreLinks() {
        linksRestoreAttempted_ = true;
        TDispatchRef options = GetDispatch(app_.Get(), L"Options");
        Call(options.Get(), L"UpdateLinksAtOpen", kPut, {BoolArg(nullptr, updateLinksAtOpen_)});
    }

    void MarkNormalSaved() {
        normalSavedAttempted_ = true;
        TDispatchRef normal = GetDispatch(app_.Get(), L"NormalTemplate");
        Call(normal.Get(), L"Saved", kPut, {BoolArg(nullptr, true)});
    }

    void Quit() {
        quitAttempted_ = true;
        Call(app_.Get(), L"Quit", kMethod, {IntArg(L"SaveChanges", kWdDoNotSaveChanges)});
    }

    void Finish() {
        RestoreLinks();
        MarkNormalSaved();
        Quit();
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
            if (linksChanged_ && !linksRestoreAttempted_) {
                try {
                    RestoreLinks();
                } catch (...) {}
            }
            if (!normalSavedAttempted_) {
                try {
                    MarkNormalSaved();
                } catch (...) {}
            }
            // SaveChanges also closes, unsaved, a document that was opened
            // but never reached (Item failed).
            try {
                Quit();
            } catch (...) {}
        }
        app_.Reset();
    }

    const std::u16string& fileName_;
    TTextFiles& files_;
    TDispatchRef app_;
    TDispatchRef document_;
    bool updateLinksAtOpen_ = false;
    bool linksChanged_ = false;
    bool linksRestoreAttempted_ = false;
    bool normalSavedAttempted_ = false;
    bool closeAttempted_ = false;
    bool quitAttempted_ = false;
};

}  // namespace

std::optional<std::u16string> LoadWithMSWord(const std::u16string& fileName) {
    try {
        if (!IsWordFileName(fileName)) return std::nullopt;
        // Word is only given what the converter itself reads, and never a
        // document that asks for a password to open or to write: Word would
        // wait for it in a window nobody sees. A missing file ends here too.
        const TWordFibFlags fib = ReadWordFibFlags(fileName);
        if (fib.Kind == TWordFibKind::NotWord || fib.Encrypted || fib.WriteReserved) return std::nullopt;

        // The document's text does not stay behind in the temporary
        // directory, whether it could be read or not.
        TTextFiles files;
        TWordExport(fileName, files).Run();

        TDocumentText text;
        if (!text.LoadFromFile(files.Saved())) return std::nullopt;
        return text.TakeText();
    } catch (...) {
        return std::nullopt;
    }
}

}  // namespace pagelet
