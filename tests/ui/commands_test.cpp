// Each command's own dialog driven to its end through Win32 messages. The split dialog: its presets
// in the user's locale, Enter and Space, failures passing on. The combine dialog: every ending of a
// combine with its box owned by the host ("CRC Error." for a failed check). What the two share
// (layout, tab order, focus, closing, refused input, keys pressed under a box, errors passing on)
// is checked over both in formdialog_test, the folder chooser their button opens in app_test; the
// pieces' and the joined file's bytes are the engine tests' (split_test, combine_test). Last, both
// commands through the Execute entries of the real zandrel.pdl, reached as the host reaches them:
// InitPlugInLib, the library callback, function code 4.
#include <gtest/gtest.h>

#include <windows.h>

#include <clocale>
#include <cstdint>
#include <string>
#include <vector>

#include "App.h"
#include "CombineDlg.h"
#include "EngineProbe.h"
#include "Errors.h"
#include "Library.h"
#include "SplitDlg.h"
#include "SplitFiles.h"
#include "SysError.h"
#include "TestFiles.h"
#include "UiDriver.h"
#include "UserLocale.h"
#include "resource.h"

using namespace ui;

namespace {

const uint32_t Junk = 0xDEADBEEF;

// The user's decimal separator for one scope.
struct TDecimalSeparatorScope {
    char old[8] = {};
    explicit TDecimalSeparatorScope(const char* separator)
    {
        GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, old, sizeof old);
        SetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, separator);
    }
    ~TDecimalSeparatorScope() { SetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, old); }
};

}  // namespace

// One drive a row: the presets as the user's locale renders them (the C runtime's numeric locale,
// which a host may set, changes nothing), then a size typed or preset 0 picked and OK pressed: by
// a key in the control given the focus (Enter works on a focused push button only; focus 0: the
// OK button the dialog opens with, right away) or clicked. A split that fails says why in a box
// of its own after the last progress call, owned by the host window; a cancel shows nothing; a
// refusal before the first write is told in the error box. What the pieces then hold is the engine tests'.
TEST(SplitDialog, PresetsInTheUsersLocaleKeysOnOkAndEveryEndingOfASplit)
{
    testfiles::TempDir dir;
    testfiles::WriteFileBytes(dir.File("report.txt"), testfiles::PatternBytes(1600000));
    engineprobe::MakeSparseFile(dir.File("huge.img"), 1234567890, "head");
    const bool small = engineprobe::SmallFilesystemMounted();
    const std::string smallDir = small ? *engineprobe::FixtureDir() + "\\small" : "";
    for (const auto& name : small ? engineprobe::FileNames(smallDir) : std::vector<std::string>{})
        DeleteFileA((smallDir + "\\" + name).c_str());
    const std::string report = dir.File("report.txt"), header = " was not split.\r\n\r\n";
    const std::string done = "File report.txt succefully splitted.";
    // Stays: the dialog stays up, no box; Silent: it returns without a box; the text is the box's
    // or the error's, %T standing for the target directory.
    enum TEnd { Split, Stays, Failed, Silent, Refused };
    const struct {
        const char* what;
        int focus;
        UINT key;            // 0: OK clicked
        const char* size;    // typed; null: preset 0 picked from the list
        std::string file;
        TEnd end;
        std::string text;
        uint32_t piece = 0;  // the first piece's size
        bool onSmall = false;
        const char* separator = ".";
        const char* crtLocale = "C";
    } cases[] = {
        {"Enter in the target field", IDC_EDTARGETDIR, VK_RETURN, nullptr, report, Stays, ""},
        {"Enter in the size field", IDC_CBTRGSIZE, VK_RETURN, nullptr, report, Stays, ""},
        {"Enter on OK, preset 0 in a decimal comma", IDC_BTOK, VK_RETURN, nullptr, report, Split, done, 1509949,
         false, ","},
        {"Space right after opening, a size typed", 0, VK_SPACE, "300000 bytes", report, Split, done, 300000, false,
         ".", "German"},
        {"source gone after validation", 0, 0, "300", dir.File("gone.bin"), Failed,
         "File gone.bin" + header + "Cannot open file \"" + dir.File("gone.bin") + "\". " +
             SysErrorMessage(ERROR_FILE_NOT_FOUND)},
        {"too many pieces", 0, 0, "1000", dir.File("huge.img"), Failed,
         "File huge.img" + header +
             "Pieces of 1000 bytes are too small for a file of 1234567890 bytes: a split takes only a file smaller "
             "than 1000 pieces, at most 999 whole pieces and a shorter last one. Choose pieces of at least 1234568 "
             "bytes."},
        {"full disk", 0, 0, "300000", report, Failed,
         "File report.txt" + header + "Cannot write file \"%T\\report.002\". " + SysErrorMessage(ERROR_DISK_FULL),
         300000, true},
        {"cancelled by the host", 0, 0, "300000", report, Silent, ""},
        {"a directory at the descriptor's name", 0, 0, "300000", report, Refused,
         "Cannot create file \"%T\\report.crc\". It is a device or a directory, not a file on disk."},
    };
    TUi ui;
    App::TOwnerWindowScope before(reinterpret_cast<HWND>(0x5678));
    for (const auto& c : cases) {
        if (c.onSmall && !small) continue;  // needs the fixture's tmpfs (root, ctest)
        SCOPED_TRACE(c.what);
        TDecimalSeparatorScope locale(c.separator);
        ASSERT_NE(std::setlocale(LC_NUMERIC, c.crtLocale), nullptr);
        ASSERT_EQ(LocaleDecimalSeparator(), c.separator[0]);
        const std::string item0 = "1" + std::string(c.separator) + "44 Mb (3.5\")";
        // The size parser reads the user's separator (what it makes of each text is the core
        // tests'): the rendered preset is the preset's size, the other separator makes no size.
        EXPECT_EQ(ParseTargetSize(item0), 1509949u);
        EXPECT_EQ(ParseTargetSize(c.separator[0] == ',' ? "1.5 Mb" : "1,5 Mb"), 0u);
        testfiles::TempDir fresh;
        const std::string target = c.onSmall ? smallDir : fresh.Path();
        std::string text = c.text;
        for (size_t at; (at = text.find("%T")) != std::string::npos;) text.replace(at, 2, target);
        if (c.end == Refused) { ASSERT_TRUE(CreateDirectoryA((target + "\\report.crc").c_str(), nullptr)); }
        engineprobe::TProgressRecorder progress;
        progress.OnCall = [&](size_t) { return c.end == Silent; };
        size_t callsWhenShown = 0;
        std::string error;
        ui.Run("Split file", [&](TDrive& t) {
            SCOPED_TRACE(c.what);
            HWND combo = t.Item(IDC_CBTRGSIZE);
            std::vector<std::string> items;
            for (LRESULT i = 0, count = SendMessageA(combo, CB_GETCOUNT, 0, 0); i < count; ++i) {
                char item[256] = {};
                SendMessageA(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(item));
                items.push_back(item);
            }
            EXPECT_EQ(items, (std::vector<std::string>{item0, "1" + std::string(c.separator) + "2 Mb (5.25\")",
                                                        "720 Kb (3.5\")", "360 Kb (5.25\")", "100 Mb (ZIP)",
                                                        "250 Mb (ZIP)", "650 Mb (CD)", "4095 Mb (FAT32)"}));
            EXPECT_EQ(WindowText(combo), item0);
            EXPECT_EQ(SendMessageA(combo, CB_GETCURSEL, 0, 0), CB_ERR);
            if (c.size) t.Set(IDC_CBTRGSIZE, c.size);
            else SendMessageA(combo, CB_SETCURSEL, 0, 0);
            if (c.focus) { ASSERT_TRUE(t.Focus(c.focus)); }
            if (c.key) PostKey(FocusOf(t.Main), c.key);
            else t.Click(IDC_BTOK);
            if (c.end == Refused) return ExpectBox(t.Box("Error"), text, t.Host, SystemIcon(IDI_ERROR));
            if (c.end == Silent) {
                EXPECT_TRUE(t.ReturnsWithoutBox());
                return;
            }
            if (c.end != Stays) {
                const TBox box = t.Box("Split file", [&] { callsWhenShown = progress.Calls().size(); });
                return ExpectBox(box, text, t.Host, SystemIcon(c.end == Split ? IDI_INFORMATION : IDI_ERROR));
            }
            t.Sync();
            EXPECT_TRUE(IsWindowVisible(t.Dialog));
            EXPECT_TRUE(MessageBoxes(t.Main).empty());
            EXPECT_TRUE(t.Cancel());
        }, [&] {
            try {
                ExecuteSplitDialog(ui.Host(), c.file, target, progress.Proc());
            } catch (const EZandrelError& e) {
                error = e.what();
            }
        });
        EXPECT_EQ(error, "") << "the dialog tells every ending itself";
        if (c.end == Refused) { EXPECT_TRUE(RemoveDirectoryA((target + "\\report.crc").c_str())) << "left as it was"; }
        if (c.end == Split || c.end == Failed) { EXPECT_EQ(callsWhenShown, progress.Calls().size()) << "the box comes last"; }
        if (c.end == Stays) { EXPECT_TRUE(engineprobe::FileNames(target).empty()); }
        if (c.piece) { EXPECT_EQ(testfiles::ReadFileBytes(target + "\\report.001").size(), c.piece); }
        for (const auto& name : c.onSmall ? engineprobe::FileNames(smallDir) : std::vector<std::string>{})
            DeleteFileA((smallDir + "\\" + name).c_str());
    }
    std::setlocale(LC_NUMERIC, "C");
    // The scope put the user's own setting back.
    EXPECT_EQ(LocaleDecimalSeparator(), '.');
}

// A combine refused before it writes anything makes no progress call; an existing file that
// differs is told before the closing report, every other ending after it. A join of pieces alone
// is verified by the checksum list beside them, and only warned about without one.
TEST(CombineDialog, EveryEndingShowsItsBoxOwnedByTheHost)
{
    testfiles::TempDir pieces;
    testfiles::WriteFileBytes(pieces.File("set.bin"), testfiles::PatternBytes(30000, 12));
    ASSERT_TRUE(SplitFile(pieces.File("set.bin"), pieces.Path(), 10000, nullptr));  // set.001 .. set.003
    const std::string crcOk = "File set.crc succefully combined. CRC checksum - OK!";
    const auto alone = [](const char* pieces, const char* bytes) {
        return "File set combined from " + std::string(pieces) + " pieces, " + bytes +
               " bytes. It could not be verified: there is no checksum file set.crc beside the pieces.";
    };
    const std::string third = pieces.File("set.003"), list = pieces.File("set.sfv"), descriptor = pieces.File("set.crc");
    const std::string saved = testfiles::ReadFileBytes(third), savedList = testfiles::ReadFileBytes(list);
    const std::string savedDescriptor = testfiles::ReadFileBytes(descriptor);
    // Beside the pieces: the checksum file and the checksum list, the list only, or neither.
    enum TBeside { Both, ListOnly, Neither };
    const struct {
        const char* what;
        const char* selected;
        bool pieceMissing, gap;
        TBeside beside;
        std::string existing;  // already in the target under the output's name
        const char* caption;
        std::string text;      // %T: the target directory
        const char* output;    // the file the target then holds, "" for none
    } cases[] = {
        {"from the second piece", "set.002", false, false, Both, "", "Combine files", crcOk, "set.bin"},
        {"a piece missing", "set.crc", true, false, Both, "", "Error",
         "CRC Error.\r\n\r\nPiece \"" + third + "\" is missing.", ""},
        {"a different file in the target", "set.crc", false, false, Both, "other bytes", "Error",
         "CRC Error.\r\n\r\nA different file \"%T\\set.bin\" is already there; it was left as it is.", "set.bin"},
        {"pieces alone, from the first", "set.001", false, false, Neither, "", "Combine files", alone("3", "30000"), "set"},
        {"pieces alone with their list", "set.001", false, false, ListOnly, "", "Combine files",
         "File set combined from 3 pieces, 30000 bytes. Verified: every piece matches set.sfv.", "set"},
        {"pieces alone, the last missing", "set.002", true, false, Neither, "", "Combine files", alone("2", "20000"), "set"},
        {"pieces alone with a gap", "set.001", true, true, Neither, "", "Error", "Piece \"" + third + "\" is missing.", ""},
    };
    TUi ui;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        testfiles::TempDir target;
        if (c.pieceMissing) DeleteFileA(third.c_str());
        if (c.gap) testfiles::WriteFileBytes(pieces.File("set.004"), "gap");
        if (c.beside != Both) DeleteFileA(descriptor.c_str());
        if (c.beside == Neither) DeleteFileA(list.c_str());
        if (!c.existing.empty()) testfiles::WriteFileBytes(target.File(c.output), c.existing);
        std::string text = c.text;
        for (size_t at; (at = text.find("%T")) != std::string::npos;) text.replace(at, 2, target.Path());
        const bool error = std::string(c.caption) == "Error";
        const HICON icon = SystemIcon(error ? IDI_ERROR : c.beside == Neither ? IDI_WARNING : IDI_INFORMATION);
        // Only the final file, never a temporary one, and a failed output is gone before the box.
        const std::vector<std::string> expected = *c.output ? std::vector<std::string>{c.output} : std::vector<std::string>{};
        engineprobe::TProgressRecorder progress;
        size_t callsAtBox = 0;
        ui.Run("Combine files", [&](TDrive& t) {
            SCOPED_TRACE(c.what);
            t.Set(IDC_EDTARGETDIR, target.Path());
            t.Click(IDC_BTOK);
            ExpectBox(t.Box(c.caption, [&] {
                          callsAtBox = progress.Calls().size();
                          EXPECT_EQ(engineprobe::FileNames(target.Path()), expected);
                      }),
                      text, t.Host, icon);
            EXPECT_TRUE(t.ReturnsWithoutBox()) << "one box only";
        }, [&] { ExecuteCombineDialog(ui.Host(), pieces.File(c.selected), "", progress.Proc()); });
        testfiles::WriteFileBytes(third, saved);
        testfiles::WriteFileBytes(list, savedList);
        testfiles::WriteFileBytes(descriptor, savedDescriptor);
        DeleteFileA(pieces.File("set.004").c_str());
        EXPECT_EQ(engineprobe::FileNames(target.Path()), expected);
        EXPECT_EQ(progress.Calls().size(), error && c.existing.empty() ? 0 : callsAtBox + error);
    }
}

// Every way a command ends reaches the user in a box owned by the host (a refusal in its own
// words as "Error"), Execute returns 0 and the library is usable again at once. A host may pass its
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
        {"enabled top-level window", false, true, true}, {"disabled top-level window", false, false, false},
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
                EXPECT_EQ(GetWindow(t.Dialog, GW_OWNER), t.Host);
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
                ExpectBox(t.Box(c.caption), c.text, t.Host, SystemIcon(done ? IDI_INFORMATION : IDI_ERROR));
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
