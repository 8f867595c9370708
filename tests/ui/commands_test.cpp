// Each command's own dialog driven to its end through Win32 messages. The split dialog: its presets
// in the user's locale, Enter and Space, a refusal in the error box. The combine dialog: every ending
// of a combine with its box owned by the host ("CRC Error." for a failed check). What the two share
// (layout, tab order, focus, closing, refused input, keys pressed under a box, a missing file)
// is checked over both in formdialog_test, the folder chooser their button opens in app_test; the
// pieces' and the joined file's bytes are the engine tests' (split_test, combine_test). Last, both
// commands through the Execute entries of the real zandrel.pdl, reached as the host reaches them:
// InitPlugInLib, the library callback, function code 4.
#include <gtest/gtest.h>

#include <windows.h>

#include <clocale>
#include <string>
#include <vector>

#include "App.h"
#include "CombineDlg.h"
#include "EngineProbe.h"
#include "Library.h"
#include "Rows.h"
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
using TNames = std::vector<std::string>;

// The user's decimal separator and the C runtime's numeric locale (which a host may set) for one
// scope; the user's own setting comes back, and the C runtime's "C".
struct TLocaleScope {
    char old[8] = {};
    TLocaleScope(const char* separator, const char* crtLocale)
    {
        GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, old, sizeof old);
        SetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, separator);
        EXPECT_NE(std::setlocale(LC_NUMERIC, crtLocale), nullptr) << crtLocale;
        EXPECT_EQ(LocaleDecimalSeparator(), separator[0]);
    }
    ~TLocaleScope()
    {
        SetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, old);
        std::setlocale(LC_NUMERIC, "C");
    }
};

struct TLocaleRow {
    const char* name;
    const char* separator = ".";
    const char* crtLocale = "C";
};
class SplitDialogPresets : public testing::TestWithParam<TLocaleRow> {};

// The presets as the user's locale renders them; the C runtime's numeric locale changes nothing.
TEST_P(SplitDialogPresets, AreRenderedInTheUsersLocale)
{
    const std::string sep = GetParam().separator;
    {
        TLocaleScope locale(sep.c_str(), GetParam().crtLocale);
        // The size parser reads the user's separator (what it makes of each text is the core
        // tests'): the rendered preset is the preset's size, the other separator makes no size.
        EXPECT_EQ(ParseTargetSize("1" + sep + "44 Mb (3.5\")"), 1509949u);
        EXPECT_EQ(ParseTargetSize(sep == "," ? "1.5 Mb" : "1,5 Mb"), 0u);
        TUi ui;
        ui.Run("Split file", [&](TDrive& t) {
            HWND combo = t.Item(IDC_CBTRGSIZE);
            TNames items;
            for (LRESULT i = 0, count = SendMessageA(combo, CB_GETCOUNT, 0, 0); i < count; ++i) {
                char item[256] = {};
                SendMessageA(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(item));
                items.push_back(item);
            }
            EXPECT_EQ(items, (TNames{"1" + sep + "44 Mb (3.5\")", "1" + sep + "2 Mb (5.25\")", "720 Kb (3.5\")",
                                     "360 Kb (5.25\")", "100 Mb (ZIP)", "250 Mb (ZIP)", "650 Mb (CD)",
                                     "4095 Mb (FAT32)"}));
            EXPECT_EQ(WindowText(combo), "1" + sep + "44 Mb (3.5\")");
            EXPECT_EQ(SendMessageA(combo, CB_GETCURSEL, 0, 0), CB_ERR);
            EXPECT_TRUE(t.Cancel());
        }, [&] { ExecuteSplitDialog(ui.Host(), "C:\\x.bin", "C:\\", nullptr); });
    }
    EXPECT_EQ(LocaleDecimalSeparator(), '.') << "the scope put the user's own setting back";
}

const TLocaleRow Locales[] = {
    {.name = "DecimalPoint"},
    {.name = "DecimalComma", .separator = ","},
    {.name = "DecimalPointUnderAGermanCRuntime", .crtLocale = "German"},
};
ZANDREL_ROWS(SplitDialogPresets, Locales);

// Stays: the dialog stays up, no box; Silent: it returns without a box.
enum TEnd { Splits, Stays, Fails, Silent, Refused };

struct TSplitEndRow {
    const char* name;
    TEnd end;
    int focus = 0;             // given the focus; 0: the OK button the dialog opens with, right away
    UINT key = 0;              // pressed in the focused control; 0: OK clicked
    const char* size = "300000";  // typed; null: preset 0 picked from the list
    const char* source = "report.txt";  // in the test's directory
    std::string text = "";     // the box's or the error's; %T: the target directory, %S: the source's
    uint32_t piece = 0;        // the first piece's size
    const char* separator = ".";
    const char* crtLocale = "C";
    bool onSmall = false;      // the target is the engine fixture's small tmpfs
};

class SplitDialogEnding : public testing::TestWithParam<TSplitEndRow> {};

// A size typed or preset 0 picked, then OK pressed by a key (Enter works on a focused push button
// only) or clicked. A split that fails says why in a box of its own after the last progress call,
// owned by the host window; a cancel shows nothing; a refusal before the first write is told in the
// error box. What the pieces then hold is the engine tests'.
TEST_P(SplitDialogEnding, EndsInItsBoxOrNone)
{
    const TSplitEndRow& c = GetParam();
    if (c.onSmall && !engineprobe::SmallFilesystemMounted()) GTEST_SKIP() << "needs the fixture's tmpfs (root, ctest)";
    testfiles::TempDir dir, fresh;
    const std::string target = c.onSmall ? *engineprobe::FixtureDir() + "\\small" : fresh.Path();
    const auto clear = [&] {
        for (const auto& name : engineprobe::FileNames(target)) DeleteFileA((target + "\\" + name).c_str());
    };
    clear();
    testfiles::WriteFileBytes(dir.File("report.txt"), testfiles::PatternBytes(1600000));
    engineprobe::MakeSparseFile(dir.File("huge.img"), 1234567890, "head");
    TLocaleScope locale(c.separator, c.crtLocale);
    const std::string text = Filled(Filled(c.text, 'T', target), 'S', dir.Path());
    if (c.end == Refused) { ASSERT_TRUE(CreateDirectoryA((target + "\\report.crc").c_str(), nullptr)); }
    engineprobe::TProgressRecorder progress;
    progress.OnCall = [&](size_t) { return c.end == Silent; };
    size_t callsWhenShown = 0;
    TUi ui;
    App::TOwnerWindowScope before(reinterpret_cast<HWND>(0x5678));
    ui.Run("Split file", [&](TDrive& t) {
        if (c.size) t.Set(IDC_CBTRGSIZE, c.size);
        else SendMessageA(t.Item(IDC_CBTRGSIZE), CB_SETCURSEL, 0, 0);
        if (c.focus) { ASSERT_TRUE(t.Focus(c.focus)); }
        if (c.key) PostKey(FocusOf(t.Main), c.key);
        else t.Click(IDC_BTOK);
        if (c.end == Refused) return ExpectBox(t.Box("Error"), text, t.Host, SystemIcon(IDI_ERROR));
        if (c.end == Silent) { EXPECT_TRUE(t.ReturnsWithoutBox()); return; }
        if (c.end != Stays) {
            const TBox box = t.Box("Split file", [&] { callsWhenShown = progress.Calls().size(); });
            return ExpectBox(box, text, t.Host, SystemIcon(c.end == Splits ? IDI_INFORMATION : IDI_ERROR));
        }
        t.Sync();
        EXPECT_TRUE(IsWindowVisible(t.Dialog));
        EXPECT_TRUE(MessageBoxes(t.Main).empty());
        EXPECT_TRUE(t.Cancel());
    }, [&] {  // the dialog tells every ending itself
        EXPECT_NO_THROW(ExecuteSplitDialog(ui.Host(), dir.File(c.source), target, progress.Proc()));
    });
    if (c.end == Refused) { EXPECT_TRUE(RemoveDirectoryA((target + "\\report.crc").c_str())) << "left as it was"; }
    if (c.end == Splits || c.end == Fails) { EXPECT_EQ(callsWhenShown, progress.Calls().size()) << "box last"; }
    if (c.end == Stays) { EXPECT_TRUE(engineprobe::FileNames(target).empty()); }
    if (c.piece) { EXPECT_EQ(testfiles::ReadFileBytes(target + "\\report.001").size(), c.piece); }
    clear();
}

const char* const Done = "File report.txt succefully splitted.";
const TSplitEndRow SplitEnds[] = {
    {.name = "EnterInTheTargetField", .end = Stays, .focus = IDC_EDTARGETDIR, .key = VK_RETURN, .size = nullptr},
    {.name = "EnterInTheSizeField", .end = Stays, .focus = IDC_CBTRGSIZE, .key = VK_RETURN, .size = nullptr},
    {.name = "EnterOnOkPreset0InADecimalComma", .end = Splits, .focus = IDC_BTOK, .key = VK_RETURN, .size = nullptr,
     .text = Done, .piece = 1509949, .separator = ","},
    {.name = "SpaceRightAfterOpeningASizeTyped", .end = Splits, .key = VK_SPACE, .size = "300000 bytes", .text = Done,
     .piece = 300000, .crtLocale = "German"},
    {.name = "SourceGoneAfterValidation", .end = Fails, .size = "300", .source = "gone.bin",
     .text = "File gone.bin was not split.\r\n\r\nCannot open file \"%S\\gone.bin\". " +
             SysErrorMessage(ERROR_FILE_NOT_FOUND)},
    {.name = "TooManyPieces", .end = Fails, .size = "1000", .source = "huge.img",
     .text = "File huge.img was not split.\r\n\r\nPieces of 1000 bytes are too small for a file of 1234567890 bytes: "
             "a split takes only a file smaller than 1000 pieces, at most 999 whole pieces and a shorter last one. "
             "Choose pieces of at least 1234568 bytes."},
    {.name = "FullDisk", .end = Fails,
     .text = "File report.txt was not split.\r\n\r\nCannot write file \"%T\\report.002\". " +
             SysErrorMessage(ERROR_DISK_FULL), .piece = 300000, .onSmall = true},
    {.name = "CancelledByTheHost", .end = Silent},
    {.name = "ADirectoryAtTheDescriptorsName", .end = Refused,
     .text = "Cannot create file \"%T\\report.crc\". It is a device or a directory, not a file on disk."},
};
ZANDREL_ROWS(SplitDialogEnding, SplitEnds);

// Beside the pieces: the checksum file and the checksum list, the list only, or neither.
enum TBeside { Both, ListOnly, Neither };

struct TCombineEndRow {
    const char* name;
    const char* selected;
    std::string text;             // %T: the target directory, %P: the pieces'
    const char* caption = "Combine files";
    const char* output = "";      // the file the target then holds, "" for none
    TBeside beside = Both;
    bool pieceMissing = false;    // set.003 is gone
    bool gap = false;             // a set.004 follows it
    const char* existing = "";    // already in the target under the output's name
};
class CombineDialogEnding : public testing::TestWithParam<TCombineEndRow> {};

// A combine refused before it writes anything makes no progress call; an existing file that
// differs is told before the closing report, every other ending after it. A join of pieces alone
// is verified by the checksum list beside them, and only warned about without one.
TEST_P(CombineDialogEnding, ShowsItsBoxOwnedByTheHost)
{
    const TCombineEndRow& c = GetParam();
    testfiles::TempDir pieces, target;
    testfiles::WriteFileBytes(pieces.File("set.bin"), testfiles::PatternBytes(30000, 12));
    ASSERT_TRUE(SplitFile(pieces.File("set.bin"), pieces.Path(), 10000, nullptr));  // set.001 .. set.003
    if (c.pieceMissing) DeleteFileA(pieces.File("set.003").c_str());
    if (c.gap) testfiles::WriteFileBytes(pieces.File("set.004"), "gap");
    if (c.beside != Both) DeleteFileA(pieces.File("set.crc").c_str());
    if (c.beside == Neither) DeleteFileA(pieces.File("set.sfv").c_str());
    if (*c.existing) testfiles::WriteFileBytes(target.File(c.output), c.existing);
    const std::string text = Filled(Filled(c.text, 'T', target.Path()), 'P', pieces.Path());
    const bool error = std::string(c.caption) == "Error";
    const HICON icon = SystemIcon(error ? IDI_ERROR : c.beside == Neither ? IDI_WARNING : IDI_INFORMATION);
    // Only the final file, never a temporary one, and a failed output is gone before the box.
    const TNames expected = *c.output ? TNames{c.output} : TNames{};
    engineprobe::TProgressRecorder progress;
    size_t callsAtBox = 0;
    TUi ui;
    ui.Run("Combine files", [&](TDrive& t) {
        t.Set(IDC_EDTARGETDIR, target.Path());
        t.Click(IDC_BTOK);
        ExpectBox(t.Box(c.caption, [&] {
                      callsAtBox = progress.Calls().size();
                      EXPECT_EQ(engineprobe::FileNames(target.Path()), expected);
                  }),
                  text, t.Host, icon);
        EXPECT_TRUE(t.ReturnsWithoutBox()) << "one box only";
    }, [&] { ExecuteCombineDialog(ui.Host(), pieces.File(c.selected), "", progress.Proc()); });
    EXPECT_EQ(engineprobe::FileNames(target.Path()), expected);
    EXPECT_EQ(progress.Calls().size(), error && !*c.existing ? 0 : callsAtBox + error);
}

std::string Alone(const char* pieces, const char* bytes)
{
    return "File set combined from " + std::string(pieces) + " pieces, " + bytes +
           " bytes. It could not be verified: there is no checksum file set.crc beside the pieces.";
}

const TCombineEndRow CombineEnds[] = {
    {.name = "FromTheSecondPiece", .selected = "set.002",
     .text = "File set.crc succefully combined. CRC checksum - OK!", .output = "set.bin"},
    {.name = "APieceMissing", .selected = "set.crc",
     .text = "CRC Error.\r\n\r\nPiece \"%P\\set.003\" is missing.", .caption = "Error", .pieceMissing = true},
    {.name = "ADifferentFileInTheTarget", .selected = "set.crc",
     .text = "CRC Error.\r\n\r\nA different file \"%T\\set.bin\" is already there; it was left as it is.",
     .caption = "Error", .output = "set.bin", .existing = "other bytes"},
    {.name = "PiecesAloneFromTheFirst", .selected = "set.001", .text = Alone("3", "30000"),
     .output = "set", .beside = Neither},
    {.name = "PiecesAloneWithTheirList", .selected = "set.001",
     .text = "File set combined from 3 pieces, 30000 bytes. Verified: every piece matches set.sfv.", .output = "set",
     .beside = ListOnly},
    {.name = "PiecesAloneTheLastMissing", .selected = "set.002", .text = Alone("2", "20000"),
     .output = "set", .beside = Neither, .pieceMissing = true},
    {.name = "PiecesAloneWithAGap", .selected = "set.001", .text = "Piece \"%P\\set.003\" is missing.",
     .caption = "Error", .beside = Neither, .pieceMissing = true, .gap = true},
};
ZANDREL_ROWS(CombineDialogEnding, CombineEnds);

// How the host passes its window: its top-level window or a child window of it (a panel), either
// of them disabled by the host itself.
struct THostRow {
    const char* name;
    bool child = false, topEnabled = true, hostEnabled = true;
};

// What the user does: OK as the dialog opens; a target and a size typed, then OK; a missing
// target typed, OK, then Cancel; Esc.
enum TDo { Ok, TypeAndOk, MissingTarget, Esc };
// The target passed: nil, the test's directory, or an empty directory to join into.
enum TTarget { Nil, Dir, Restored };

struct TEntryRow {
    const char* name;
    bool split;
    const char* file;          // in the test's directory; "": the directory itself, null: nil
    TDo does;
    const char* caption;       // of the box that ends the command; null: none
    std::string text;          // %D: the test's directory
    TTarget target = Dir;
    bool splitFirst = false;   // notes.dat split into the test's directory beforehand
};

class ExecuteEntry : public testing::TestWithParam<std::tuple<THostRow, TEntryRow>> {};

// Every way a command ends reaches the user in a box owned by the host (a refusal in its own words
// as "Error"), Execute returns 0, and the host's windows are as they were. Junk stands in the unused
// arguments, no progress callback is given, and a nil target leaves the field empty.
TEST_P(ExecuteEntry, EndsOverTheHostLeavingItsWindowsAsTheyWere)
{
    const auto& [h, c] = GetParam();
    static TLoadedLibrary library;  // one library for every run: usable again at once
    const TExecuteProc execute = library.Execute(c.split ? 1 : 2);
    ASSERT_NE(execute, nullptr);
    testfiles::TempDir dir, restored;
    testfiles::WriteFileBytes(dir.File("notes.dat"), testfiles::PatternBytes(200000, 7));
    if (c.splitFirst) { ASSERT_TRUE(SplitFile(dir.File("notes.dat"), dir.Path(), 100000, nullptr)); }
    const std::string file = !c.file ? "" : *c.file ? dir.File(c.file) : dir.Path();
    const std::string target = c.target == Nil ? "" : c.target == Dir ? dir.Path() : restored.Path();
    const std::string text = Filled(c.text, 'D', dir.Path());
    TUi ui;  // the top-level window; each run checks it is as enabled as before
    HWND host = h.child ? CreateWindowExA(0, "ZandrelTestHost", "panel", WS_CHILD | WS_VISIBLE, 10, 10, 300, 200,
                                          ui.Host(), nullptr, GetModuleHandleA(nullptr), nullptr)
                        : ui.Host();
    ASSERT_NE(host, nullptr);
    EnableWindow(ui.Host(), h.topEnabled);
    EnableWindow(host, h.hostEnabled);
    int32_t result = -1;
    ui.Run(c.split ? "Split file" : "Combine files", [&](TDrive& t) {
        EXPECT_EQ(GetWindow(t.Dialog, GW_OWNER), t.Host);
        EXPECT_EQ(WindowText(t.Item(IDC_EDTARGETDIR)), target);
        if (c.does == Esc) PostKey(t.Item(IDC_BTOK), VK_ESCAPE);
        if (c.does == Esc) { EXPECT_TRUE(t.ReturnsWithoutBox()); return; }
        if (c.does != Ok) t.Set(IDC_EDTARGETDIR, c.does == TypeAndOk ? dir.Path() : dir.File("missing"));
        if (c.does == TypeAndOk) t.Set(IDC_CBTRGSIZE, "100000 b");
        t.Click(IDC_BTOK);
        const bool done = text.find("succefully") != std::string::npos;
        ExpectBox(t.Box(c.caption), text, t.Host, SystemIcon(done ? IDI_INFORMATION : IDI_ERROR));
        if (c.does == MissingTarget) { EXPECT_TRUE(t.Cancel()); }
    }, [&] {
        const char* nilOr = file.empty() ? nullptr : file.c_str();
        const char* nilTarget = target.empty() ? nullptr : target.c_str();
        result = execute(Junk, host, Junk, Junk, Junk, nilTarget, nilOr, Junk, nullptr);
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(IsWindowEnabled(host) != FALSE, h.hostEnabled);
    if (c.target == Restored) { EXPECT_EQ(engineprobe::FileNames(restored.Path()), TNames{"notes.dat"}); }
}

const THostRow Hosts[] = {
    {.name = "EnabledTopLevelWindow"},
    {.name = "DisabledTopLevelWindow", .topEnabled = false, .hostEnabled = false},
    {.name = "ChildOfAnEnabledTopLevelWindow", .child = true},
    {.name = "ChildOfADisabledTopLevelWindow", .child = true, .topEnabled = false},
    {.name = "DisabledChildOfAnEnabledTopLevelWindow", .child = true, .hostEnabled = false},
    {.name = "DisabledChildOfADisabledTopLevelWindow", .child = true, .topEnabled = false, .hostEnabled = false},
};
const TEntryRow Entries[] = {
    {.name = "ASplitItsTargetTyped", .split = true, .file = "notes.dat", .does = TypeAndOk, .caption = "Split file",
     .text = "File notes.dat succefully splitted.", .target = Nil},
    {.name = "ACombineIntoTheProposedTarget", .split = false, .file = "notes.crc", .does = Ok,
     .caption = "Combine files", .text = "File notes.crc succefully combined. CRC checksum - OK!",
     .target = Restored, .splitFirst = true},
    {.name = "ADescriptorThatCannotBeOpened", .split = false, .file = "none.crc", .does = Ok, .caption = "Error",
     .text = "Cannot open file \"%D\\none.crc\". " + SysErrorMessage(ERROR_FILE_NOT_FOUND)},
    {.name = "ADirectoryAsSource", .split = true, .file = "", .does = Ok, .caption = "Error",
     .text = "File \"%D\" cannot be split. It is a device or a directory, not a file on disk."},
    {.name = "ARefusedTargetThenCancel", .split = false, .file = "none.crc", .does = MissingTarget,
     .caption = "Path not found", .text = "Path not found. Please check it."},
    {.name = "NilTextsEsc", .split = true, .file = nullptr, .does = Esc, .caption = nullptr, .text = "", .target = Nil},
};
INSTANTIATE_TEST_SUITE_P(Rows, ExecuteEntry, testing::Combine(testing::ValuesIn(Hosts), testing::ValuesIn(Entries)),
    [](const auto& row) { return std::string(std::get<0>(row.param).name) + "_" + std::get<1>(row.param).name; });

}  // namespace
