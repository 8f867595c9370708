#include "SpeedButton.h"

#include <commctrl.h>

#include <new>

#include "App.h"
#include "WinHandles.h"
#include "resource.h"

namespace {

constexpr int GlyphSize = 16;

struct TSpeedButton {
    TImageList glyph;            // image 0 normal, image 1 disabled
    bool tracking = false;       // the mouse went down on the button and is captured
    bool pressed = false;        // drawn pushed in: tracking and the mouse is over the button
};

// The two 16 x 16 images of the glyph; the colour of the lower-left pixel is transparent.
HIMAGELIST LoadGlyph()
{
    const TGdiObject<HBITMAP> bitmap(static_cast<HBITMAP>(
        LoadImageA(App::Instance(), MAKEINTRESOURCEA(IDB_BROWSE), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
    if (!bitmap) return nullptr;
    BITMAP info{};
    GetObjectA(bitmap.Get(), sizeof info, &info);
    COLORREF transparent = CLR_NONE;
    if (const TMemoryDC dc(nullptr); dc) {
        const TSelection selected(dc.Get(), bitmap.Get());
        transparent = GetPixel(dc.Get(), 0, info.bmHeight - 1);
    }
    HIMAGELIST list = ImageList_Create(GlyphSize, GlyphSize, ILC_COLOR24 | ILC_MASK, 2, 0);
    if (list) ImageList_AddMasked(list, bitmap.Get(), transparent);
    return list;
}

void Paint(HWND window, TSpeedButton& button)
{
    const TPaintDC paint(window);
    const HDC dc = paint.Get();
    RECT rc;
    GetClientRect(window, &rc);
    DrawFrameControl(dc, &rc, DFC_BUTTON, DFCS_BUTTONPUSH | (button.pressed ? DFCS_PUSHED : 0));
    if (button.glyph) {
        const int shift = button.pressed ? 1 : 0;
        const int x = (rc.right - GlyphSize) / 2 + shift;
        const int y = (rc.bottom - GlyphSize) / 2 + shift;
        ImageList_Draw(button.glyph.Get(), IsWindowEnabled(window) ? 0 : 1, dc, x, y, ILD_TRANSPARENT);
    }
}

void SetPressed(HWND window, TSpeedButton& button, bool pressed)
{
    if (button.pressed == pressed) return;
    button.pressed = pressed;
    InvalidateRect(window, nullptr, TRUE);
}

void Click(HWND window)
{
    SendMessageA(GetParent(window), WM_COMMAND,
                 MAKEWPARAM(GetDlgCtrlID(window), BN_CLICKED), reinterpret_cast<LPARAM>(window));
}

LRESULT CALLBACK SpeedButtonProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam)
{
    auto* button = reinterpret_cast<TSpeedButton*>(GetWindowLongPtrA(window, 0));
    switch (msg) {
    case WM_NCCREATE:
        button = new (std::nothrow) TSpeedButton;
        if (!button) return FALSE;
        button->glyph.Reset(LoadGlyph());
        SetWindowLongPtrA(window, 0, reinterpret_cast<LONG_PTR>(button));
        break;
    case WM_NCDESTROY:
        if (button) {
            delete button;  // and its glyph with it
            SetWindowLongPtrA(window, 0, 0);
        }
        break;
    case WM_GETDLGCODE:
        // Never a tab stop or a default button; the dialog manager passes it by.
        return DLGC_STATIC;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        // Unlike a button, no SetFocus: the focus stays where it was.
        if (!button) break;
        SetCapture(window);
        button->tracking = true;
        SetPressed(window, *button, true);
        return 0;
    case WM_MOUSEMOVE:
        if (button && button->tracking) {
            RECT rc;
            GetClientRect(window, &rc);
            const POINT pt{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
            SetPressed(window, *button, PtInRect(&rc, pt) != FALSE);
        }
        return 0;
    case WM_LBUTTONUP:
        if (button && button->tracking) {
            const bool click = button->pressed;
            ReleaseCapture();  // WM_CAPTURECHANGED ends the tracking
            if (click) Click(window);
        }
        return 0;
    case WM_CAPTURECHANGED:
        if (button) {
            button->tracking = false;
            SetPressed(window, *button, false);
        }
        return 0;
    case BM_CLICK:
        if (IsWindowEnabled(window)) Click(window);
        return 0;
    case WM_ENABLE:
        InvalidateRect(window, nullptr, TRUE);
        return 0;
    case WM_ERASEBKGND:
        return 1;  // the face is painted whole in WM_PAINT
    case WM_PAINT:
        if (button) {
            Paint(window, *button);
            return 0;
        }
        break;
    }
    return DefWindowProcA(window, msg, wParam, lParam);
}

}  // namespace

TSpeedButtonClass::TSpeedButtonClass()
{
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
    wc.lpfnWndProc = &SpeedButtonProc;
    wc.cbWndExtra = sizeof(void*);
    wc.hInstance = App::Instance();
    wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    wc.lpszClassName = ZANDREL_SPEEDBUTTON_CLASS;
    // A class left registered by an earlier command (same module) is used as it stands.
    registered_ = RegisterClassExA(&wc) != 0;
}

TSpeedButtonClass::~TSpeedButtonClass()
{
    if (registered_) UnregisterClassA(ZANDREL_SPEEDBUTTON_CLASS, App::Instance());
}
