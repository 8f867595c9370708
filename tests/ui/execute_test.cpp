// The Execute entries of the real zandrel.pdl, reached as the host reaches them: InitPlugInLib,
// the library callback, function code 4. The dialogs are driven through messages.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "EngineProbe.h"
#include "Library.h"
#include "SysError.h"
#include "TestFiles.h"
#include "UiDriver.h"
#include "resource.h"

using namespace ui;

namespace {
const uint32_t Junk = 0xDEADBEEF;
}  // namespace

// Every way a command ends reaches the user in a box owned by the host (an error raised inside
// as "Error"), Execute returns 0 and the library is usable again at once. A host may pass its
// top-level window or a child window of it (a panel), either of them disabled by the host itself:
// every ending gives both back as they were. Junk stands in the unused arguments, no progress
// callback is given, and a nil target leaves the field empty.
TEST(ExecuteEntry, EveryEndingReachesTheUserOverTheHostAndLeavesItsWindowsAsTheyWere)
{
    TLoadedLibrary library;
    const TExecuteProc split = library.Execute(1), combine = library.Execute(2);
    ASSERT_NE(split, nullptr);
    ASSERT_NE(combine, nullptr);
    const struct {
        const char* name;
        bool child, topEnabled, hostEnabled;
    } hosts[] = {
        {"enabled top-level window", false, true, true},
        {"disabled top-level window", false, false, false},
        {"child of an enabled top-level window", true, true, true},
        {"child of a disabled top-level window", true, false, true},
        {"disabled child of an enabled top-level window", true, true, false},
        {"disabled child of a disabled top-level window", true, false, false},
    };
    // What the user does: OK as the dialog opens; a target and a size typed, then OK; a missing
    // target typed, OK, then Cancel; Esc.
    enum TDo { Ok, TypeAndOk, MissingTarget, Esc };
    for (const auto& h : hosts) {
        SCOPED_TRACE(h.name);
        testfiles::TempDir dir, restored;
        const std::string notes = dir.File("notes.dat"), none = dir.File("none.crc");
        testfiles::WriteFileBytes(notes, testfiles::PatternBytes(200000, 7));
        const struct {
            const char* what;
            bool split;
            std::string file, target;  // empty: nil
            TDo does;
            const char* caption;       // of the box that ends the command; null: none
            std::string text;
        } paths[] = {
            {"a split, its target typed", true, notes, "", TypeAndOk, "Split file", "File notes.dat succefully splitted."},
            {"its combine into the proposed target", false, dir.File("notes.crc"), restored.Path(), Ok, "Combine files",
             "File notes.crc succefully combined. CRC checksum - OK!"},
            {"a descriptor that cannot be opened", false, none, dir.Path(), Ok, "Error",
             "Cannot open file \"" + none + "\". " + SysErrorMessage(ERROR_FILE_NOT_FOUND)},
            {"a directory as source", true, dir.Path(), dir.Path(), Ok, "Error",
             "File \"" + dir.Path() + "\" cannot be split. It is a device or a directory, not a file on disk."},
            {"a refused target, then Cancel", false, none, dir.Path(), MissingTarget, "Path not found",
             "Path not found. Please check it."},
            {"nil texts, Esc", true, "", "", Esc, nullptr, ""},
        };
        TUi ui;  // the top-level window; each run checks it is as enabled as before
        HWND host = h.child ? CreateWindowExA(0, "ZandrelTestHost", "panel", WS_CHILD | WS_VISIBLE, 10, 10, 300, 200,
                                              ui.Host(), nullptr, GetModuleHandleA(nullptr), nullptr)
                            : ui.Host();
        ASSERT_NE(host, nullptr);
        EnableWindow(ui.Host(), h.topEnabled);
        EnableWindow(host, h.hostEnabled);
        for (const auto& c : paths) {
            SCOPED_TRACE(c.what);
            int32_t result = -1;
            ui.Run(c.split ? "Split file" : "Combine files", [&](TDrive& t) {
                EXPECT_EQ(Owner(t.Dialog), t.Host);
                EXPECT_EQ(WindowText(t.Item(IDC_EDTARGETDIR)), c.target);
                if (c.does == Esc) {
                    PostKey(t.Item(IDC_BTOK), VK_ESCAPE);
                    EXPECT_TRUE(t.ReturnsWithoutBox());
                    return;
                }
                if (c.does != Ok) t.Set(IDC_EDTARGETDIR, c.does == TypeAndOk ? dir.Path() : dir.File("missing"));
                if (c.does == TypeAndOk) t.Set(IDC_CBTRGSIZE, "100000 b");
                t.Click(IDC_BTOK);
                const bool done = c.text.find("succefully") != std::string::npos;
                ExpectBox(t.Box(c.caption), c.text, t.Host, done ? InformationIcon() : ErrorIcon());
                if (c.does == MissingTarget) { EXPECT_TRUE(t.Cancel()); }
            }, [&] {
                const char* file = c.file.empty() ? nullptr : c.file.c_str();
                const char* target = c.target.empty() ? nullptr : c.target.c_str();
                result = (c.split ? split : combine)(Junk, host, Junk, Junk, Junk, target, file, Junk, nullptr);
            });
            EXPECT_EQ(result, 0);
            EXPECT_EQ(IsWindowEnabled(host) != FALSE, h.hostEnabled);
        }
        EXPECT_EQ(engineprobe::FileNames(restored.Path()), std::vector<std::string>{"notes.dat"});
    }
}
