// The split dialog driven through Win32 messages: texts, presets, validation, closing, the owner
// window and the windows disabled while it is up.
#include <gtest/gtest.h>

#include <windows.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "App.h"
#include "SplitDlg.h"
#include "UiDriver.h"
#include "resource.h"

using namespace ui;

namespace {

std::vector<std::string> ComboItems(HWND combo)
{
    std::vector<std::string> items;
    const LRESULT count = SendMessageA(combo, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        char text[256] = {};
        SendMessageA(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
        items.push_back(text);
    }
    return items;
}

struct TFormState {
    bool found = false;
    std::string label1, label2, target, comboText;
    std::vector<std::string> items;
    LRESULT selection = 0;
    HWND owner = nullptr, focus = nullptr, okButton = nullptr;
    bool hostEnabled = true, otherEnabled = true, dialogEnabled = false;
    RECT client{};
    POINT centre{};
    std::vector<int> tabOrder;
    LONG browseStyle = 0;
    bool hasIcon = false;
};

TFormState ReadForm(HWND dialog, DWORD mainThread, HWND host, HWND other)
{
    TFormState s;
    s.found = dialog != nullptr;
    if (!dialog) return s;
    // The focus is placed once the dialog is up; wait for it rather than race it.
    WaitUntil([&] { return FocusOf(mainThread) != nullptr; });
    s.label1 = WindowText(GetDlgItem(dialog, IDC_LABEL1));
    s.label2 = WindowText(GetDlgItem(dialog, IDC_LABEL2));
    s.target = WindowText(GetDlgItem(dialog, IDC_EDTARGETDIR));
    HWND combo = GetDlgItem(dialog, IDC_CBTRGSIZE);
    s.comboText = WindowText(combo);
    s.items = ComboItems(combo);
    s.selection = SendMessageA(combo, CB_GETCURSEL, 0, 0);
    s.owner = Owner(dialog);
    s.focus = FocusOf(mainThread);
    s.okButton = GetDlgItem(dialog, IDC_BTOK);
    s.hostEnabled = IsWindowEnabled(host) != FALSE;
    s.otherEnabled = other ? IsWindowEnabled(other) != FALSE : false;
    s.dialogEnabled = IsWindowEnabled(dialog) != FALSE;
    GetClientRect(dialog, &s.client);
    RECT rc;
    GetWindowRect(dialog, &rc);
    s.centre = {(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2};
    HWND first = GetDlgItem(dialog, IDC_BTOK);
    HWND item = first;
    for (int i = 0; i < 5; ++i) {
        s.tabOrder.push_back(GetDlgCtrlID(item));
        item = GetNextDlgTabItem(dialog, item, FALSE);
    }
    s.browseStyle = GetWindowLongA(GetDlgItem(dialog, IDC_SBBROWSE), GWL_STYLE);
    s.hasIcon = SendMessageA(GetDlgItem(dialog, IDC_IMAGE1), STM_GETICON, 0, 0) != 0;
    return s;
}

}  // namespace

TEST(SplitDialog, OpensWithItsTextsPresetsGeometryAndTabOrderAndEscCloses)
{
    THostWindow host;
    THostWindow other("Another window of the host");
    TFormState s;
    bool closed = false;
    HWND before = reinterpret_cast<HWND>(0x1234);
    App::SetOwnerWindow(before);
    {
        TDriver driver([&](DWORD main) {
            HWND dialog = WaitForFormDialog(main, "Split file");
            s = ReadForm(dialog, main, host.Get(), other.Get());
            if (dialog) {
                PostKey(FocusOf(main), VK_ESCAPE);
                closed = WaitGone(dialog);
            }
        });
        ExecuteSplitDialog(host.Get(), "C:\\docs\\report.txt", "C:\\target dir", nullptr);
    }
    EXPECT_EQ(App::OwnerWindow(), before);
    App::SetOwnerWindow(nullptr);
    ASSERT_TRUE(s.found);
    EXPECT_TRUE(closed);
    EXPECT_EQ(s.label1, "Split file report.txt to directory:");
    EXPECT_EQ(s.label2, "Bytes per file:");
    EXPECT_EQ(s.target, "C:\\target dir");
    EXPECT_EQ(s.items, (std::vector<std::string>{"1.44 Mb (3.5\")", "1.2 Mb (5.25\")", "720 Kb (3.5\")",
                                                  "360 Kb (5.25\")", "100 Mb (ZIP)", "250 Mb (ZIP)", "650 Mb (CD)"}));
    EXPECT_EQ(s.comboText, "1.44 Mb (3.5\")");
    EXPECT_EQ(s.selection, CB_ERR);
    EXPECT_EQ(s.owner, host.Get());
    EXPECT_EQ(s.focus, s.okButton);
    EXPECT_FALSE(s.hostEnabled);
    EXPECT_FALSE(s.otherEnabled);
    EXPECT_TRUE(s.dialogEnabled);
    EXPECT_TRUE(IsWindowEnabled(host.Get()));
    EXPECT_TRUE(IsWindowEnabled(other.Get()));
    EXPECT_NEAR(s.client.right, 328, 2);
    EXPECT_NEAR(s.client.bottom, 150, 2);
    EXPECT_EQ(s.tabOrder, (std::vector<int>{IDC_BTOK, IDC_BTCANCEL, IDC_EDTARGETDIR, IDC_CBTRGSIZE, IDC_BTOK}));
    EXPECT_EQ(s.browseStyle & WS_TABSTOP, 0);
    EXPECT_TRUE(s.hasIcon);
    const int screenX = GetSystemMetrics(SM_CXSCREEN) / 2, screenY = GetSystemMetrics(SM_CYSCREEN) / 2;
    EXPECT_NEAR(s.centre.x, screenX, 40);
    EXPECT_NEAR(s.centre.y, screenY, 40);
}
