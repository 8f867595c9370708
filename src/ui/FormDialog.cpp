#include "FormDialog.h"

#include <utility>
#include <vector>

#include "BrowseForFolder.h"
#include "Errors.h"
#include "HostTexts.h"
#include "SpeedButton.h"
#include "WinHandles.h"
#include "resource.h"

int TFormDialog::ShowModal()
{
    TSpeedButtonClass speedButtons;
    error_ = nullptr;
    ended_ = false;
    const INT_PTR result = DialogBoxParamA(App::Instance(), MAKEINTRESOURCEA(templateId_), App::OwnerWindow(),
                                           &TFormDialog::DialogProc, reinterpret_cast<LPARAM>(this));
    handle_ = nullptr;
    disabled_.reset();
    if (error_) std::rethrow_exception(std::exchange(error_, nullptr));
    if (result == -1 || result == 0) {
        // The template could not be made into a window: nothing was shown.
        throw ESystemError("Cannot create the dialog window.");
    }
    return static_cast<int>(result);
}

INT_PTR CALLBACK TFormDialog::DialogProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam)
{
    TFormDialog* self;
    if (msg == WM_INITDIALOG) {
        self = reinterpret_cast<TFormDialog*>(lParam);
        self->handle_ = window;
        SetWindowLongPtrA(window, DWLP_USER, lParam);
    } else {
        self = reinterpret_cast<TFormDialog*>(GetWindowLongPtrA(window, DWLP_USER));
    }
    if (!self) return FALSE;
    // No C++ error may unwind through the system's dialog code: keep it, close the dialog and
    // raise it again once DialogBoxParam has returned.
    try {
        return self->Handle(msg, wParam, lParam);
    } catch (...) {
        if (!self->error_) self->error_ = std::current_exception();
        self->ended_ = true;
        self->disabled_.reset();
        EndDialog(window, mrCancel);
        return TRUE;
    }
}

INT_PTR TFormDialog::Handle(UINT msg, WPARAM wParam, LPARAM)
{
    switch (msg) {
    case WM_INITDIALOG:
        InitDialog();
        return FALSE;  // the focus is set in InitDialog
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_BTOK:
            if (HIWORD(wParam) == BN_CLICKED) btOKClick();
            return TRUE;
        case IDC_BTCANCEL:
            // The Cancel button, Esc and the close box.
            SetModalResult(mrCancel);
            return TRUE;
        case IDC_SBBROWSE:
            if (HIWORD(wParam) == BN_CLICKED) sbBrowseClick();
            return TRUE;
        case IDOK:
            // Enter outside a focused push button: there is no default button, so nothing happens.
            return TRUE;
        }
        return FALSE;
    case DM_GETDEFID:
        // No default button.
        SetWindowLongPtrA(handle_, DWLP_MSGRESULT, 0);
        return TRUE;
    case WM_CLOSE:
        SetModalResult(mrCancel);
        return TRUE;
    case WM_SETCURSOR:
        if (App::ApplyCursor()) {
            SetWindowLongPtrA(handle_, DWLP_MSGRESULT, TRUE);
            return TRUE;
        }
        return FALSE;
    }
    return FALSE;
}

void TFormDialog::InitDialog()
{
    SetControlText(IDC_LABEL1, Label1);
    SetControlText(IDC_EDTARGETDIR, TargetDir);
    PlaceControls();
    // The dialog itself is not visible yet; everything else of this thread that takes input now
    // waits for it, the owner window among them.
    disabled_ = std::make_unique<App::TThreadWindowsDisabler>(handle_);
    FormShow();
    // Focus starts on the first control in tab order, the OK button.
    SendMessageA(handle_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(handle_, IDC_BTOK)), TRUE);
}

void TFormDialog::PlaceControls()
{
    // The template's dialog units only come within a pixel of the design, which is in pixels at
    // 96 dots per inch; other screens get it scaled.
    int dpi = 96;
    if (const TWindowDC screen(nullptr); screen) dpi = GetDeviceCaps(screen.Get(), LOGPIXELSY);
    const auto px = [dpi](int value) { return MulDiv(value, dpi, 96); };
    for (const TControlRect& c : layout_.controls) {
        HWND control = GetDlgItem(handle_, c.id);
        if (!control) continue;
        char kind[16] = {};
        GetClassNameA(control, kind, sizeof kind);
        if (lstrcmpiA(kind, "ComboBox") != 0) {
            MoveWindow(control, px(c.left), px(c.top), px(c.width), px(c.height), FALSE);
            continue;
        }
        // A combo box's window height includes its drop-down list, which keeps the template's
        // length; the closed field gets the design's height through its item height.
        RECT dropped{}, closed{};
        SendMessageA(control, CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&dropped));
        MoveWindow(control, px(c.left), px(c.top), px(c.width), dropped.bottom - dropped.top, FALSE);
        GetWindowRect(control, &closed);
        const LRESULT field = SendMessageA(control, CB_GETITEMHEIGHT, static_cast<WPARAM>(-1), 0);
        const int grow = px(c.height) - static_cast<int>(closed.bottom - closed.top);
        if (field != CB_ERR && grow != 0)
            SendMessageA(control, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), field + grow);
    }
    // The client area exactly, around the centre that the template's placement chose.
    RECT frame{0, 0, px(layout_.clientWidth), px(layout_.clientHeight)};
    AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongA(handle_, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongA(handle_, GWL_EXSTYLE)));
    RECT now{};
    GetWindowRect(handle_, &now);
    const int width = frame.right - frame.left, height = frame.bottom - frame.top;
    SetWindowPos(handle_, nullptr, (now.left + now.right - width) / 2, (now.top + now.bottom - height) / 2, width,
                 height, SWP_NOZORDER | SWP_NOACTIVATE);
}

void TFormDialog::SaveControls() { TargetDir = ControlText(IDC_EDTARGETDIR); }

void TFormDialog::SetModalResult(int result)
{
    SaveControls();
    ended_ = true;
    // Enabled again before the dialog goes, so that activation returns to the owner window.
    disabled_.reset();
    EndDialog(handle_, result);
}

void TFormDialog::sbBrowseClick()
{
    // No folder is preselected: the chooser starts from its own default.
    std::string path;
    if (Nested([&] { return BrowseForFolder(hosttext::SelectDirectory, std::wstring(), path); }))
        SetControlText(IDC_EDTARGETDIR, path);
}

namespace {
// The form whose keyboard the nested modal loop passes on (one command runs at a time).
TFormDialog* gKeysFor = nullptr;
// Set while NestedKeys has IsDialogMessage handle a key. IsDialogMessage first runs the thread's
// message filters, this one among them: called from there, the filter passes the key on, or the
// two would call each other until the system refused to go deeper. A modal loop that the key's
// handling opens (a box shown by OK) starts with it clear again.
bool gHandingKey = false;
}  // namespace

TFormDialog::TNestedScope::TNestedScope(TFormDialog& dialog)
    : dialog_(dialog), focus_(GetFocus()),
      keys_(SetWindowsHookExA(WH_MSGFILTER, &TFormDialog::NestedKeys, nullptr, GetCurrentThreadId())),
      outer_(std::exchange(gKeysFor, &dialog)), handingKey_(std::exchange(gHandingKey, false))
{
}

TFormDialog::TNestedScope::~TNestedScope()
{
    gHandingKey = handingKey_;
    gKeysFor = outer_;
    keys_.Reset();  // the reverse of the constructor: the hook goes before the focus comes back
    dialog_.Reassert(focus_);
}

LRESULT CALLBACK TFormDialog::NestedKeys(int code, WPARAM wParam, LPARAM lParam)
{
    // A message box's loop does the dialog keys (Tab, Esc, Space) only for itself; the keys the
    // user types into this dialog meanwhile get them here. A menu's loop keeps its own keys.
    auto* msg = reinterpret_cast<MSG*>(lParam);
    TFormDialog* form = gKeysFor;
    if (!gHandingKey && (code == MSGF_DIALOGBOX || code == MSGF_MESSAGEBOX) && form && !form->ended_ &&
        form->handle_ && msg && msg->message >= WM_KEYFIRST && msg->message <= WM_KEYLAST &&
        (msg->hwnd == form->handle_ || IsChild(form->handle_, msg->hwnd))) {
        gHandingKey = true;
        const BOOL handled = IsDialogMessageA(form->handle_, msg);
        gHandingKey = false;
        if (handled) return TRUE;
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

void TFormDialog::Reassert(HWND focus)
{
    // After EndDialog the windows are the system's and the caller's again: disabling one now
    // would leave it disabled for good.
    if (ended_ || !handle_ || !IsWindow(handle_)) return;
    if (HWND owner = GetWindow(handle_, GW_OWNER)) EnableWindow(owner, FALSE);
    if (disabled_)
        for (HWND window : disabled_->Windows())
            if (IsWindow(window)) EnableWindow(window, FALSE);
    SetActiveWindow(handle_);
    if (focus && IsWindow(focus) && IsChild(handle_, focus)) SetFocus(focus);
}

std::string TFormDialog::ControlText(int id) const
{
    HWND control = GetDlgItem(handle_, id);
    const int length = GetWindowTextLengthA(control);
    std::vector<char> buffer(static_cast<size_t>(length) + 2, '\0');
    GetWindowTextA(control, buffer.data(), length + 1);
    return std::string(buffer.data());
}

void TFormDialog::SetControlText(int id, const std::string& text) const
{
    SetDlgItemTextA(handle_, id, text.c_str());
}
