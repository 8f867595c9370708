// The Execute entries of the real zandrel.pdl, reached as the host reaches them: InitPlugInLib,
// the library callback, function code 4. The dialogs are driven through messages.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "EngineProbe.h"
#include "Library.h"
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
    std::string content(200000, '\0');
    for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7 + i / 251);
    testfiles::WriteFileBytes(source.File("notes.dat"), content);
    THostWindow host;

    // Nil target: the field starts empty; the user types one and picks 100 Kb pieces... of text.
    std::string initialTarget = "<unread>", splitOwner;
    HWND dialogOwner = nullptr;
    TBox splitBox;
    int32_t result;
    {
        TDriver driver([&](DWORD main) {
            HWND dialog = WaitForFormDialog(main, "Split file");
            ASSERT_NE(dialog, nullptr);
            dialogOwner = Owner(dialog);
            initialTarget = WindowText(GetDlgItem(dialog, IDC_EDTARGETDIR));
            SetText(dialog, IDC_EDTARGETDIR, source.Path());
            SetText(dialog, IDC_CBTRGSIZE, "100000 b");
            PostClick(dialog, IDC_BTOK);
            splitBox = ReadAndCloseBox(main, "Split file");
        });
        result = split(Junk, host.Get(), Junk, Junk, Junk, nullptr, source.File("notes.dat").c_str(), Junk, nullptr);
    }
    EXPECT_EQ(result, 0);
    EXPECT_EQ(initialTarget, "");
    EXPECT_EQ(dialogOwner, host.Get());
    EXPECT_EQ(splitBox.Text, "File notes.dat succefully splitted.");
    EXPECT_EQ(splitBox.Owner, host.Get());
    EXPECT_EQ(splitBox.Icon, InformationIcon());
    EXPECT_TRUE(testfiles::FileExists(source.File("notes.002")));
    EXPECT_FALSE(testfiles::FileExists(source.File("notes.003")));

    // The combine keeps the proposed target.
    TBox combineBox;
    {
        TDriver driver([&](DWORD main) {
            HWND dialog = WaitForFormDialog(main, "Combine files");
            ASSERT_NE(dialog, nullptr);
            PostClick(dialog, IDC_BTOK);
            combineBox = ReadAndCloseBox(main, "Combine files");
        });
        result = combine(Junk, host.Get(), Junk, Junk, Junk, restored.Path().c_str(), source.File("notes.crc").c_str(),
                         Junk, nullptr);
    }
    EXPECT_EQ(result, 0);
    EXPECT_EQ(combineBox.Text, "File notes.crc succefully combined. CRC checksum - OK!");
    EXPECT_EQ(combineBox.Owner, host.Get());
    EXPECT_EQ(testfiles::ReadFileBytes(restored.File("notes.dat")), content);
    EXPECT_TRUE(IsWindowEnabled(host.Get()));
}

TEST(ExecuteEntry, AnErrorRaisedInsideReachesTheUserAsErrorBoxOwnedByTheHostAndExecuteReturnsZero)
{
    TLoadedLibrary library;
    const TExecuteProc combine = library.Execute(2), split = library.Execute(1);
    ASSERT_NE(combine, nullptr);
    testfiles::TempDir dir;
    THostWindow host;
    TBox box;
    int32_t result = -1;
    {
        TDriver driver([&](DWORD main) {
            ASSERT_TRUE(PressOk(main, "Combine files"));
            box = ReadAndCloseBox(main, "Error");
        });
        result = combine(0, host.Get(), 0, 0, 0, dir.Path().c_str(), dir.File("none.crc").c_str(), 0, nullptr);
    }
    EXPECT_EQ(result, 0);
    ASSERT_TRUE(box.Found);
    EXPECT_EQ(box.Text.rfind("Cannot open file \"" + dir.File("none.crc") + "\".", 0), 0u) << box.Text;
    EXPECT_EQ(box.Owner, host.Get());
    EXPECT_EQ(box.Icon, ErrorIcon());
    EXPECT_TRUE(IsWindowEnabled(host.Get()));

    // A 3 GB file picked as descriptor is refused at once, without being read.
    engineprobe::MakeSparseFile(dir.File("huge.crc"), 3ull << 30, "filename=huge.bin\r\n");
    {
        TDriver driver([&](DWORD main) {
            ASSERT_TRUE(PressOk(main, "Combine files"));
            box = ReadAndCloseBox(main, "Error");
        });
        combine(0, host.Get(), 0, 0, 0, dir.Path().c_str(), dir.File("huge.crc").c_str(), 0, nullptr);
    }
    EXPECT_EQ(box.Text, "File \"" + dir.File("huge.crc") + "\" is not a checksum file. Nothing was combined.");
    EXPECT_EQ(box.Owner, host.Get());
    DeleteFileA(dir.File("huge.crc").c_str());

    // The library is usable again at once, and its next dialog belongs to the next host window.
    THostWindow second("Second host");
    HWND owner = nullptr;
    {
        TDriver driver([&](DWORD main) {
            HWND dialog = WaitForFormDialog(main, "Split file");
            ASSERT_NE(dialog, nullptr);
            owner = Owner(dialog);
            PostKey(GetDlgItem(dialog, IDC_BTOK), VK_ESCAPE);
            WaitGone(dialog);
        });
        result = split(0, second.Get(), 0, 0, 0, nullptr, nullptr, 0, nullptr);
    }
    EXPECT_EQ(result, 0);
    EXPECT_EQ(owner, second.Get());
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
    struct THostCase {
        const char* name;
        bool child, topEnabled, hostEnabled;
    };
    const THostCase hosts[] = {
        {"disabled top-level window", false, false, false},
        {"child of an enabled top-level window", true, true, true},
        {"child of a disabled top-level window", true, false, true},
        {"disabled child of an enabled top-level window", true, true, false},
        {"disabled child of a disabled top-level window", true, false, false},
    };
    enum TPath { MissingDescriptor, DirectoryAsSource, ValidationThenCancel, Success };
    for (const THostCase& h : hosts) {
        for (const TPath path : {MissingDescriptor, DirectoryAsSource, ValidationThenCancel, Success}) {
            SCOPED_TRACE(std::string(h.name) + ", path " + std::to_string(path));
            THostWindow top;
            HWND host = top.Get();
            if (h.child)
                host = CreateWindowExA(0, "ZandrelTestHost", "panel", WS_CHILD | WS_VISIBLE, 10, 10, 300, 200, top.Get(),
                                       nullptr, GetModuleHandleA(nullptr), nullptr);
            ASSERT_NE(host, nullptr);
            EnableWindow(top.Get(), h.topEnabled);
            EnableWindow(host, h.hostEnabled);
            TBox box;
            {
                TDriver driver([&](DWORD main) {
                    const bool isSplit = path == DirectoryAsSource || path == Success;
                    HWND dialog = WaitForFormDialog(main, isSplit ? "Split file" : "Combine files");
                    ASSERT_NE(dialog, nullptr);
                    if (path == Success) SetText(dialog, IDC_CBTRGSIZE, "300");
                    if (path == ValidationThenCancel) SetText(dialog, IDC_EDTARGETDIR, dir.File("missing"));
                    PostClick(dialog, IDC_BTOK);
                    box = ReadAndCloseBox(main, path == Success               ? "Split file"
                                                : path == ValidationThenCancel ? "Path not found"
                                                                               : "Error");
                    if (path == ValidationThenCancel) {
                        PostClick(dialog, IDC_BTCANCEL);
                        WaitGone(dialog);
                    }
                });
                if (path == MissingDescriptor || path == ValidationThenCancel)
                    combine(0, host, 0, 0, 0, dir.Path().c_str(), dir.File("none.crc").c_str(), 0, nullptr);
                else
                    split(0, host, 0, 0, 0, dir.Path().c_str(),
                          (path == Success ? dir.File("data.bin") : dir.Path()).c_str(), 0, nullptr);
            }
            EXPECT_TRUE(box.Found);
            EXPECT_EQ(IsWindowEnabled(top.Get()) != FALSE, h.topEnabled);
            EXPECT_EQ(IsWindowEnabled(host) != FALSE, h.hostEnabled);
        }
    }
}
