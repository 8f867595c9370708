#include "BrowseForFolder.h"

#include <windows.h>
#include <shlobj.h>

#include "App.h"
#include "nettools.h"
#include "WinHandles.h"

namespace {

// Selects and reveals the preselected folder as soon as the chooser is ready.
int CALLBACK SelectInitialFolder(HWND chooser, UINT msg, LPARAM, LPARAM data)
{
    if (msg == BFFM_INITIALIZED) SendMessageA(chooser, BFFM_SETSELECTIONA, 1, data);
    return 0;
}

}  // namespace

bool BrowseForFolder(const std::string& Title, const std::wstring& Root, std::string& Path)
{
    if (!DirectoryExists(Path)) Path.clear();

    TComPtr<IMalloc> allocator;
    if (FAILED(SHGetMalloc(allocator.Out())) || !allocator) return false;

    TShellMemory displayName(allocator.Get(), allocator->Alloc(MAX_PATH));
    if (!displayName.Get()) return false;
    static_cast<char*>(displayName.Get())[0] = '\0';

    LPITEMIDLIST rootList = nullptr;
    if (!Root.empty()) {
        TComPtr<IShellFolder> desktop;
        if (SUCCEEDED(SHGetDesktopFolder(desktop.Out())) && desktop) {
            std::wstring name = Root;  // ParseDisplayName wants a writable text
            ULONG eaten = 0;
            // A root the shell cannot parse leaves the whole namespace in view.
            if (FAILED(desktop->ParseDisplayName(App::OwnerWindow(), nullptr, name.data(), &eaten, &rootList,
                                                 nullptr)))
                rootList = nullptr;
        }
    }
    TShellMemory rootMemory(allocator.Get(), rootList);

    BROWSEINFOA info{};
    info.hwndOwner = App::OwnerWindow();
    info.pidlRoot = rootList;
    info.pszDisplayName = static_cast<char*>(displayName.Get());
    info.lpszTitle = Title.c_str();
    info.ulFlags = BIF_RETURNONLYFSDIRS;
    if (!Path.empty()) {
        info.lpfn = &SelectInitialFolder;
        info.lParam = reinterpret_cast<LPARAM>(Path.c_str());
    }

    LPITEMIDLIST chosen;
    {
        // While the chooser is up nothing else of this thread takes input, and no system box asks
        // for a missing disk. Reverse order on the way out: error mode first, then the windows.
        App::TThreadWindowsDisabler disabled;
        TErrorModeScope errorMode(SEM_FAILCRITICALERRORS);
        chosen = SHBrowseForFolderA(&info);
    }
    if (!chosen) return false;
    TShellMemory chosenMemory(allocator.Get(), chosen);

    char* buffer = static_cast<char*>(displayName.Get());
    // Only file-system folders can be confirmed; should the path still not come out, the display
    // name left in the buffer is no path, so it counts as no choice.
    if (!SHGetPathFromIDListA(chosen, buffer)) return false;
    Path = buffer;
    return true;
}
