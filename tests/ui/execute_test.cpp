// The Execute entries of the real zandrel.pdl, reached as the host reaches them: InitPlugInLib,
// the library callback, function code 4. The dialogs are driven through messages.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>

#include "EngineProbe.h"
#include "PlugIntf.h"
#include "TestFiles.h"
#include "UiDriver.h"
#include "resource.h"

using namespace ui;

namespace {

// InitPlugInLib takes its argument in EAX and removes nothing from the stack.
typedef void(__attribute__((regparm(1))) * TInitPlugInLib)(TPlugInLibInfo* Info);

class TPlugInLibrary {
public:
    TPlugInLibrary()
    {
        char exe[MAX_PATH];
        GetModuleFileNameA(nullptr, exe, MAX_PATH);
        std::string dir = exe;
        dir.resize(dir.rfind('\\') + 1);
        module_ = LoadLibraryA((dir + "zandrel.pdl").c_str());
    }
    ~TPlugInLibrary()
    {
        if (module_) FreeLibrary(module_);
    }
    // Function code 4 of plug-in 1 (split) or 2 (combine).
    TPlugInExecuteProc Execute(int32_t index) const
    {
        if (!module_) return nullptr;
        auto init = reinterpret_cast<TInitPlugInLib>(reinterpret_cast<void*>(GetProcAddress(module_, "InitPlugInLib")));
        if (!init) return nullptr;
        TPlugInLibInfo lib;
        memset(&lib, 0xFF, sizeof lib);
        init(&lib);
        TPlugInInfo info;
        memset(&info, 0xFF, sizeof info);
        if (lib.PlugInInfoProc(index, &info) != 3) return nullptr;
        return reinterpret_cast<TPlugInExecuteProc>(info.FunctionProc(PlugInFunctionExecute));
    }

private:
    HMODULE module_ = nullptr;
};

const uint32_t Junk = 0xDEADBEEF;

struct TBox {
    bool found = false;
    std::string text;
    HWND owner = nullptr;
    TBoxIcon icon = TBoxIcon::None;
};

TBox ReadAndCloseBox(DWORD main, const char* caption)
{
    TBox box;
    HWND window = WaitForMessageBox(main, caption);
    if (!window) return box;
    box = {true, MessageBoxText(window), Owner(window), MessageBoxIcon(window)};
    PostMessageA(window, WM_COMMAND, IDOK, 0);
    WaitGone(window);
    return box;
}

}  // namespace

TEST(ExecuteEntry, SplitAndCombineRunWithNilTextsNilProgressAndJunkInTheUnusedArguments)
{
    TPlugInLibrary library;
    const TPlugInExecuteProc split = library.Execute(1), combine = library.Execute(2);
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
    EXPECT_EQ(splitBox.text, "File notes.dat succefully splitted.");
    EXPECT_EQ(splitBox.owner, host.Get());
    EXPECT_EQ(splitBox.icon, TBoxIcon::Information);
    EXPECT_TRUE(FileExists(source.File("notes.002")));
    EXPECT_FALSE(FileExists(source.File("notes.003")));

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
    EXPECT_EQ(combineBox.text, "File notes.crc succefully combined. CRC checksum - OK!");
    EXPECT_EQ(combineBox.owner, host.Get());
    EXPECT_EQ(testfiles::ReadFileBytes(restored.File("notes.dat")), content);
    EXPECT_TRUE(IsWindowEnabled(host.Get()));
}

TEST(ExecuteEntry, AnErrorRaisedInsideReachesTheUserAsErrorBoxOwnedByTheHostAndExecuteReturnsZero)
{
    TPlugInLibrary library;
    const TPlugInExecuteProc combine = library.Execute(2), split = library.Execute(1);
    ASSERT_NE(combine, nullptr);
    testfiles::TempDir dir;
    THostWindow host;
    TBox box;
    int32_t result = -1;
    {
        TDriver driver([&](DWORD main) {
            HWND dialog = WaitForFormDialog(main, "Combine files");
            ASSERT_NE(dialog, nullptr);
            PostClick(dialog, IDC_BTOK);
            box = ReadAndCloseBox(main, "Error");
        });
        result = combine(0, host.Get(), 0, 0, 0, dir.Path().c_str(), dir.File("none.crc").c_str(), 0, nullptr);
    }
    EXPECT_EQ(result, 0);
    ASSERT_TRUE(box.found);
    EXPECT_EQ(box.text.rfind("Cannot open file \"" + dir.File("none.crc") + "\".", 0), 0u) << box.text;
    EXPECT_EQ(box.owner, host.Get());
    EXPECT_EQ(box.icon, TBoxIcon::Error);
    EXPECT_TRUE(IsWindowEnabled(host.Get()));

    // An allocation failure reads as such, not as a C++ type name: a 3 GB file picked as descriptor.
    engineprobe::MakeSparseFile(dir.File("huge.crc"), 3ull << 30, "filename=huge.bin\r\n");
    {
        TDriver driver([&](DWORD main) {
            PostClick(WaitForFormDialog(main, "Combine files"), IDC_BTOK);
            box = ReadAndCloseBox(main, "Error");
        });
        combine(0, host.Get(), 0, 0, 0, dir.Path().c_str(), dir.File("huge.crc").c_str(), 0, nullptr);
    }
    EXPECT_EQ(box.text, "Out of memory.");
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
    TPlugInLibrary library;
    const TPlugInExecuteProc split = library.Execute(1), combine = library.Execute(2);
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
            EXPECT_TRUE(box.found);
            EXPECT_EQ(IsWindowEnabled(top.Get()) != FALSE, h.topEnabled);
            EXPECT_EQ(IsWindowEnabled(host) != FALSE, h.hostEnabled);
        }
    }
}
