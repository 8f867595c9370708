// screenshot.exe: holds one dialog open for a screenshot (tools/screenshot/shoot.sh) and closes it
// again when told to. Driven through the environment:
//   ZANDREL_SHOT_DIALOG  split | combine | browse
//   ZANDREL_SHOT_RECT    file that receives "left top width height" of the window once it is up
//   ZANDREL_SHOT_DONE    file whose appearance closes the dialog again
// Exits with 1 when the dialog did not show up.
#include <windows.h>
#include <ole2.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "App.h"
#include "BrowseForFolder.h"
#include "CombineDlg.h"
#include "SplitDlg.h"
#include "TestFiles.h"
#include "UiDriver.h"

using namespace ui;

namespace {
std::string Env(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}
}  // namespace

int main()
{
    const std::string which = Env("ZANDREL_SHOT_DIALOG");
    const std::string rectFile = Env("ZANDREL_SHOT_RECT");
    const std::string doneFile = Env("ZANDREL_SHOT_DONE");
    OleInitialize(nullptr);  // the folder chooser needs OLE on the thread that opens it
    std::atomic<bool> shown{false};
    {
        THostWindow host("Ferncove Trellisan");
        TDriver driver([&](DWORD main) {
            HWND window = which == "browse"    ? WaitForFolderChooser(main)
                          : which == "combine" ? WaitForFormDialog(main, "Combine files")
                                               : WaitForFormDialog(main, "Split file");
            if (!window) return;
            Sleep(500);  // let it paint
            RECT rc;
            GetWindowRect(window, &rc);
            if (FILE* f = std::fopen(rectFile.c_str(), "w")) {
                std::fprintf(f, "%ld %ld %ld %ld\n", rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top);
                std::fclose(f);
            }
            shown = true;
            WaitUntil([&] { return testfiles::FileExists(doneFile); }, 60000);
            PostMessageA(window, WM_COMMAND, IDCANCEL, 0);
        });
        try {
            if (which == "combine") {
                ExecuteCombineDialog(host.Get(), "C:\\docs\\report.crc", "C:\\docs", nullptr);
            } else if (which == "browse") {
                App::TOwnerWindowScope owner(host.Get());
                std::string path = "C:\\windows";
                BrowseForFolder("Select directory", std::wstring(), path);
            } else {
                ExecuteSplitDialog(host.Get(), "C:\\docs\\report.txt", "C:\\docs", nullptr);
            }
        } catch (const std::exception& e) {
            std::fprintf(stderr, "screenshot: %s\n", e.what());
        }
    }
    OleUninitialize();
    if (!shown) std::fprintf(stderr, "screenshot: no \"%s\" dialog showed up\n", which.c_str());
    return shown ? 0 : 1;
}
