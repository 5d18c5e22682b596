#pragma once

// A form: a window of the library with named events. Made as a child of a
// foreign window (the host's); the derived form may change the creation
// parameters before the window exists.

#include <windows.h>

#include <functional>
#include <string>

#include "ui/win32/toolkit/Application.h"

namespace pagelet {

struct TCreateParams {
    std::u16string Caption;
    DWORD Style = 0;
    DWORD ExStyle = 0;
    int X = 0;
    int Y = 0;
    int Width = 0;
    int Height = 0;
    HWND WndParent = nullptr;
    std::u16string WinClassName;
    UINT ClassStyle = 0;
    int WndExtra = 0;
};

using TNotifyEvent = std::function<void()>;

class TForm : public TComponent {
public:
    ~TForm() override;
    TForm(const TForm&) = delete;
    TForm& operator=(const TForm&) = delete;

    HWND Handle() const { return handle_; }
    // Runs OnShow, then makes the window visible (also when OnShow failed).
    void Show();
    // True from the start of the destructor: the window is on its way out.
    bool Destroying() const { return destroying_; }

    TNotifyEvent OnCreate;
    TNotifyEvent OnShow;
    TNotifyEvent OnResize;
    TNotifyEvent OnActivate;

protected:
    TForm() = default;

    // Makes the window as a child of parent: fills the parameters from the
    // form's design values, lets CreateParams change them, registers the
    // class with the library's instance and creates the window.
    void CreateParentedWindow(HWND parent, const std::u16string& caption, RECT designBounds);
    // Ends construction: runs OnCreate.
    void DoCreate();
    void DoActivate();
    // Destroys the window now (a derived form calls it first thing in its
    // destructor, so that no event reaches a half-destroyed form).
    void DestroyHandle();

    virtual void CreateParams(TCreateParams& params);
    // Controls are made here, inside WM_CREATE, once Handle() is known.
    virtual void CreateControls() {}
    // Lays the controls out over the client area.
    virtual void AlignControls(int clientWidth, int clientHeight) {
        (void)clientWidth;
        (void)clientHeight;
    }

private:
    static LRESULT CALLBACK WindowProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT Dispatch(UINT msg, WPARAM wParam, LPARAM lParam);
    void WmSize(int width, int height);
    void WmSetFocus(HWND from);

    HWND handle_ = nullptr;
    bool destroying_ = false;
};

}  // namespace pagelet
