#include "ui/win32/toolkit/Form.h"

#include <exception>
#include <vector>

#include "common/Error.h"
#include "common/Win32Text.h"

namespace pagelet {

namespace {

// The form object of a window lives in this window property from WM_NCCREATE
// to the form's destruction (GWLP_USERDATA belongs to whoever links the window).
constexpr wchar_t kFormProperty[] = L"Pagelet.TForm";

struct TCreateContext {
    TForm* Form;
    std::exception_ptr Failure;
};

// Window classes this library registered. They name a window procedure of
// this module, so they go when it unloads: a host may load it again at
// another address.
class TClassRegistry {
public:
    ~TClassRegistry() {
        for (const std::u16string& name : names_) UnregisterClassW(WStr(name), ModuleInstance());
    }
    void Add(const std::u16string& name) { names_.push_back(name); }

private:
    std::vector<std::u16string> names_;
};
TClassRegistry RegisteredClasses;

void RegisterFormClass(const TCreateParams& params, WNDPROC proc) {
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof(existing);
    if (GetClassInfoExW(ModuleInstance(), WStr(params.WinClassName), &existing)) return;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.style = params.ClassStyle;
    wc.lpfnWndProc = proc;
    wc.cbWndExtra = params.WndExtra;
    wc.hInstance = ModuleInstance();
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = WStr(params.WinClassName);
    if (!RegisterClassExW(&wc))
        throw EPagelet(u"Cannot register window class " + params.WinClassName, static_cast<int32_t>(GetLastError()));
    RegisteredClasses.Add(params.WinClassName);
}

}  // namespace

TForm::~TForm() { DestroyHandle(); }

void TForm::DestroyHandle() {
    destroying_ = true;
    if (handle_) {
        HWND wnd = handle_;
        handle_ = nullptr;
        // Messages of the dying window no longer reach this object.
        RemovePropW(wnd, kFormProperty);
        if (IsWindow(wnd)) DestroyWindow(wnd);
    }
}

void TForm::CreateParams(TCreateParams& params) { (void)params; }

void TForm::CreateParentedWindow(HWND parent, const std::u16string& caption, RECT designBounds) {
    TCreateParams params;
    params.Caption = caption;
    params.Style =
        WS_CHILD | WS_CLIPSIBLINGS | WS_CAPTION | WS_THICKFRAME | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
    params.X = designBounds.left;
    params.Y = designBounds.top;
    RECT frame = designBounds;
    AdjustWindowRectEx(&frame, params.Style, FALSE, params.ExStyle);
    params.Width = frame.right - frame.left;
    params.Height = frame.bottom - frame.top;
    params.WndParent = parent;
    params.WinClassName = u"TForm";
    params.ClassStyle = CS_DBLCLKS;
    CreateParams(params);

    RegisterFormClass(params, &TForm::WindowProc);
    TCreateContext context{this, nullptr};
    HWND wnd =
        CreateWindowExW(params.ExStyle, WStr(params.WinClassName), WStr(params.Caption), params.Style, params.X,
                        params.Y, params.Width, params.Height, params.WndParent, nullptr, ModuleInstance(), &context);
    if (context.Failure) {
        if (wnd) DestroyWindow(wnd);
        handle_ = nullptr;
        std::rethrow_exception(context.Failure);
    }
    if (!wnd) throw EPagelet(u"Error creating window", static_cast<int32_t>(GetLastError()));
    handle_ = wnd;
}

void TForm::DoCreate() {
    if (OnCreate && !destroying_) Application().Guard(this, OnCreate);
}

void TForm::DoActivate() {
    if (OnActivate && !destroying_) Application().Guard(this, OnActivate);
}

void TForm::Show() {
    if (OnShow) Application().Guard(this, OnShow);
    if (handle_) ShowWindow(handle_, SW_SHOW);
}

LRESULT CALLBACK TForm::WindowProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NCCREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCTW*>(lParam);
        auto* context = static_cast<TCreateContext*>(cs->lpCreateParams);
        if (context) {
            SetPropW(wnd, kFormProperty, context->Form);
            context->Form->handle_ = wnd;
        }
    }
    auto* form = static_cast<TForm*>(GetPropW(wnd, kFormProperty));
    if (msg == WM_CREATE && form) {
        try {
            form->CreateControls();
        } catch (...) {
            auto* cs = reinterpret_cast<CREATESTRUCTW*>(lParam);
            static_cast<TCreateContext*>(cs->lpCreateParams)->Failure = std::current_exception();
            return -1;
        }
        return 0;
    }
    if (msg == WM_NCDESTROY) {
        RemovePropW(wnd, kFormProperty);
        if (form) form->handle_ = nullptr;
        return DefWindowProcW(wnd, msg, wParam, lParam);
    }
    if (!form) return DefWindowProcW(wnd, msg, wParam, lParam);
    return form->Dispatch(msg, wParam, lParam);
}

LRESULT TForm::Dispatch(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_SIZE:
        WmSize(LOWORD(lParam), HIWORD(lParam));
        return 0;
    case WM_SETFOCUS:
        WmSetFocus(reinterpret_cast<HWND>(wParam));
        return 0;
    default:
        return DefWindowProcW(handle_, msg, wParam, lParam);
    }
}

void TForm::WmSize(int width, int height) {
    Application().Guard(this, [&] { AlignControls(width, height); });
    if (OnResize) Application().Guard(this, OnResize);
}

void TForm::WmSetFocus(HWND from) {
    // Focus that comes back from one of the form's own controls (one being
    // hidden or destroyed) does not activate the form.
    if (from && IsChild(handle_, from)) return;
    DoActivate();
}

}  // namespace pagelet
