// The common part of the split and combine forms: a modal dialog from the module's resources,
// owned by the owner window, with the dialog icon, the label, the target-directory field, the
// browse speed button and the OK and Cancel buttons.
#pragma once
#include <windows.h>

#include <exception>
#include <initializer_list>
#include <memory>
#include <string>

#include "App.h"
#include "WinHandles.h"

// Where a form puts its controls, in pixels at 96 dots per inch: the client area's size and each
// control's left, top, width and height (for a combo box, the height of its closed field).
struct TControlRect {
    int id, left, top, width, height;
};
struct TFormLayout {
    int clientWidth, clientHeight;
    std::initializer_list<TControlRect> controls;
};

class TFormDialog {
public:
    static constexpr int mrOk = 1;
    static constexpr int mrCancel = 2;

    TFormDialog(int templateId, const TFormLayout& layout) : templateId_(templateId), layout_(layout) {}
    virtual ~TFormDialog() = default;
    TFormDialog(const TFormDialog&) = delete;
    TFormDialog& operator=(const TFormDialog&) = delete;

    // Texts put into the controls when the dialog is prepared; after ShowModal they hold what the
    // controls held when the dialog closed.
    std::string Label1;
    std::string TargetDir;

    // Shows the dialog modally under the owner window and returns the modal result (mrOk,
    // mrCancel). While it is up, every other top-level window of the thread is disabled. An error
    // raised in a handler closes the dialog and passes on from here.
    int ShowModal();

    HWND Handle() const { return handle_; }

protected:
    virtual void FormShow() {}
    virtual void btOKClick() = 0;
    // Reads the controls before the window goes away.
    virtual void SaveControls();

    // Closes the dialog with this modal result.
    void SetModalResult(int result);
    // Runs a nested modal window (message box, folder chooser) from a handler. Closing it may
    // enable and activate its owner (the host window) while this dialog is still up: afterwards
    // the windows this dialog keeps disabled are disabled again, and the dialog is active again
    // with the focus where it was. The dialog stays usable meanwhile, from the keyboard too, and
    // may be closed before the nested window is.
    template <typename Fn>
    auto Nested(Fn fn) -> decltype(fn())
    {
        TNestedScope scope(*this);
        return fn();
    }
    std::string ControlText(int id) const;
    void SetControlText(int id, const std::string& text) const;

private:
    class TNestedScope {
    public:
        explicit TNestedScope(TFormDialog& dialog);
        ~TNestedScope();
        TNestedScope(const TNestedScope&) = delete;
        TNestedScope& operator=(const TNestedScope&) = delete;

    private:
        TFormDialog& dialog_;
        HWND focus_;
        TWindowsHook keys_;
        TFormDialog* outer_;
        bool handingKey_;
    };
    static LRESULT CALLBACK NestedKeys(int code, WPARAM wParam, LPARAM lParam);
    void Reassert(HWND focus);
    static INT_PTR CALLBACK DialogProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);
    INT_PTR Handle(UINT msg, WPARAM wParam, LPARAM lParam);
    void InitDialog();
    void PlaceControls();
    void sbBrowseClick();

    int templateId_;
    const TFormLayout& layout_;
    HWND handle_ = nullptr;
    std::unique_ptr<App::TThreadWindowsDisabler> disabled_;
    std::exception_ptr error_;
    // EndDialog has been called: the dialog only waits for its modal loop to end, and nothing may
    // disable a window on its behalf any more.
    bool ended_ = false;
};
