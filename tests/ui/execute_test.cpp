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

TEST(ExecuteEntry, SplitAndCombineRunWithNilTextsNilProgressAndJunkInTheUnusedArguments)
{
    TLoadedLibrary library;
    const TExecuteProc split = library.Execute(1), combine = library.Execute(2);
    ASSERT_NE(split, nullptr);
    ASSERT_NE(combine, nullptr);
    testfiles::TempDir source, restored;
    testfiles::WriteFileBytes(source.File("notes.dat"), testfiles::PatternBytes(200000, 7));
    TUi ui;
    int32_t result = -1;
    // Nil target: the field starts empty; the user types one and picks 100 Kb pieces... of text.
    ui.Run("Split file", [&](TDrive& t) {
        EXPECT_EQ(Owner(t.Dialog), t.Host);
        EXPECT_EQ(WindowText(t.Item(IDC_EDTARGETDIR)), "");
        t.Set(IDC_EDTARGETDIR, source.Path());
        t.Set(IDC_CBTRGSIZE, "100000 b");
        t.Click(IDC_BTOK);
        ExpectBox(t.Box("Split file"), "File notes.dat succefully splitted.", t.Host, InformationIcon());
    }, [&] { result = split(Junk, ui.Host(), Junk, Junk, Junk, nullptr, source.File("notes.dat").c_str(), Junk, nullptr); });
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(testfiles::FileExists(source.File("notes.002")));
    EXPECT_FALSE(testfiles::FileExists(source.File("notes.003")));

    // The combine keeps the proposed target.
    result = -1;
    ui.Run("Combine files", [&](TDrive& t) {
        t.Click(IDC_BTOK);
        ExpectBox(t.Box("Combine files"), "File notes.crc succefully combined. CRC checksum - OK!", t.Host,
                  InformationIcon());
    }, [&] {
        result = combine(Junk, ui.Host(), Junk, Junk, Junk, restored.Path().c_str(), source.File("notes.crc").c_str(),
                         Junk, nullptr);
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(engineprobe::FileNames(restored.Path()), std::vector<std::string>{"notes.dat"});
}

TEST(ExecuteEntry, AnErrorRaisedInsideReachesTheUserAsErrorBoxOwnedByTheHostAndExecuteReturnsZero)
{
    TLoadedLibrary library;
    const TExecuteProc combine = library.Execute(2), split = library.Execute(1);
    ASSERT_NE(combine, nullptr);
    testfiles::TempDir dir;
    TUi ui;
    // A descriptor that cannot be opened; a 3 GB file picked as descriptor, refused at once
    // without being read.
    engineprobe::MakeSparseFile(dir.File("huge.crc"), 3ull << 30, "filename=huge.bin\r\n");
    const std::string texts[][2] = {
        {dir.File("none.crc"), "Cannot open file \"" + dir.File("none.crc") + "\". " + SysErrorMessage(ERROR_FILE_NOT_FOUND)},
        {dir.File("huge.crc"), "File \"" + dir.File("huge.crc") + "\" is not a checksum file. Nothing was combined."}};
    for (const auto& [file, text] : texts) {
        int32_t result = -1;
        ui.Run("Combine files", [&](TDrive& t) {
            t.Click(IDC_BTOK);
            ExpectBox(t.Box("Error"), text, t.Host, ErrorIcon());
        }, [&] { result = combine(0, ui.Host(), 0, 0, 0, dir.Path().c_str(), file.c_str(), 0, nullptr); });
        EXPECT_EQ(result, 0);
    }
    DeleteFileA(dir.File("huge.crc").c_str());

    // The library is usable again at once, and its next dialog belongs to the next host window.
    TUi second("Second host");
    int32_t result = -1;
    second.Run("Split file", [&](TDrive& t) {
        EXPECT_EQ(Owner(t.Dialog), t.Host);
        PostKey(t.Item(IDC_BTOK), VK_ESCAPE);
    }, [&] { result = split(0, second.Host(), 0, 0, 0, nullptr, nullptr, 0, nullptr); });
    EXPECT_EQ(result, 0);
}

TEST(ExecuteEntry, TheHostWindowAndItsTopLevelWindowAreLeftAsEnabledAsTheyWereOnEveryPath)
{
    // A host may pass its top-level window or a child window of it (a panel), either of them
    // disabled by the host itself. Every way a command ends must give both back as they were:
    // an error box shown by Execute (a missing descriptor, a refused split), a validation box
    // followed by Cancel, a success box.
    TLoadedLibrary library;
    const TExecuteProc split = library.Execute(1), combine = library.Execute(2);
    ASSERT_NE(split, nullptr);
    ASSERT_NE(combine, nullptr);
    testfiles::TempDir dir;
    testfiles::WriteFileBytes(dir.File("data.bin"), testfiles::PatternBytes(1000));
    const struct {
        const char* name;
        bool child, topEnabled, hostEnabled;
    } hosts[] = {
        {"disabled top-level window", false, false, false},
        {"child of an enabled top-level window", true, true, true},
        {"child of a disabled top-level window", true, false, true},
        {"disabled child of an enabled top-level window", true, true, false},
        {"disabled child of a disabled top-level window", true, false, false},
    };
    enum TPath { MissingDescriptor, DirectoryAsSource, ValidationThenCancel, Success };
    for (const auto& h : hosts) {
        for (const TPath path : {MissingDescriptor, DirectoryAsSource, ValidationThenCancel, Success}) {
            SCOPED_TRACE(std::string(h.name) + ", path " + std::to_string(path));
            TUi ui;  // the top-level window; the run checks it is as enabled as before
            HWND host = h.child ? CreateWindowExA(0, "ZandrelTestHost", "panel", WS_CHILD | WS_VISIBLE, 10, 10, 300, 200,
                                                  ui.Host(), nullptr, GetModuleHandleA(nullptr), nullptr)
                                : ui.Host();
            ASSERT_NE(host, nullptr);
            EnableWindow(ui.Host(), h.topEnabled);
            EnableWindow(host, h.hostEnabled);
            const bool isSplit = path == DirectoryAsSource || path == Success;
            ui.Run(isSplit ? "Split file" : "Combine files", [&](TDrive& t) {
                if (path == Success) t.Set(IDC_CBTRGSIZE, "300");
                if (path == ValidationThenCancel) t.Set(IDC_EDTARGETDIR, dir.File("missing"));
                t.Click(IDC_BTOK);
                EXPECT_TRUE(t.Box(path == Success ? "Split file" : path == ValidationThenCancel ? "Path not found" : "Error").Found);
                if (path == ValidationThenCancel) { EXPECT_TRUE(t.Cancel()); }
            }, [&] {
                if (!isSplit)
                    combine(0, host, 0, 0, 0, dir.Path().c_str(), dir.File("none.crc").c_str(), 0, nullptr);
                else
                    split(0, host, 0, 0, 0, dir.Path().c_str(), (path == Success ? dir.File("data.bin") : dir.Path()).c_str(), 0,
                          nullptr);
            });
            EXPECT_EQ(IsWindowEnabled(host) != FALSE, h.hostEnabled);
        }
    }
}
