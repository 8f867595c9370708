#include "nettools.h"

#include "App.h"

#include <winnetwk.h>

#include "CharText.h"
#include "PathText.h"
#include "WinHandles.h"

std::vector<std::string>* ConnectedShares = nullptr;

void InitializeNettools()
{
    if (ConnectedShares == nullptr) ConnectedShares = new std::vector<std::string>();
}

void FinalizeNettools()
{
    if (ConnectedShares == nullptr) return;
    ConnectedShares->clear();
    delete ConnectedShares;
    ConnectedShares = nullptr;
}

namespace {

std::string ModuleExePath()
{
    std::string path(MAX_PATH, '\0');
    for (;;) {
        const DWORD n = GetModuleFileNameA(nullptr, &path[0], static_cast<DWORD>(path.size()));
        if (n == 0) return std::string();
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        path.resize(path.size() * 2);  // truncated: try a larger buffer
    }
}

TNetProvider gProvider = DefaultNetProvider();



}  // namespace

TNetProvider DefaultNetProvider() { return TNetProvider{&WNetAddConnection2A, &WNetCancelConnection2A, &ModuleExePath}; }

TNetProvider SetNetProvider(const TNetProvider& provider)
{
    const TNetProvider old = gProvider;
    gProvider = provider;
    return old;
}

bool IsShareConnected(const std::string& ShareRoot)
{
    if (ConnectedShares == nullptr) return false;
    const std::string root = ExtractShareRoot(ShareRoot);
    for (const std::string& entry : *ConnectedShares)
        if (FindSubstring(entry, root) != std::string::npos) return true;
    return false;
}

bool ConnectShare(const std::string& Path, bool CheckConnected)
{
    if (!HasShareRoot(Path)) return false;
    const std::string shareRoot = ExtractShareRoot(Path);
    if (CheckConnected && IsShareConnected(shareRoot)) return true;

    App::TWaitCursorScope waitCursor;
    std::string remote = RemoveBackslash(shareRoot);
    char comment[] = "";
    NETRESOURCEA resource = {};
    resource.dwScope = RESOURCE_GLOBALNET;
    resource.dwType = RESOURCETYPE_ANY;
    resource.dwDisplayType = RESOURCEDISPLAYTYPE_SERVER;
    resource.dwUsage = RESOURCEUSAGE_CONTAINER;
    resource.lpLocalName = nullptr;  // no drive letter
    resource.lpRemoteName = &remote[0];
    resource.lpComment = comment;
    resource.lpProvider = nullptr;  // whichever provider knows the name
    // The caller's own credentials, no prompt, nothing remembered for later log-ons.
    const bool connected = gProvider.AddConnection(&resource, nullptr, nullptr, 0) == NO_ERROR;

    // Only a connection made just now is ours to drop: a refused add most often means the user
    // already holds one to this share (other credentials), and cancelling would cut theirs.
    if (!connected) return false;
    // A host that runs from this very share keeps the connection; anyone else gets it dropped.
    const std::string exe = gProvider.ExePath ? gProvider.ExePath() : std::string();
    if (!(IsUNCPath(exe) && ExtractShareRoot(exe) == shareRoot))
        gProvider.CancelConnection(remote.c_str(), 0, FALSE);
    return true;
}

bool UNCDirectoryExists(const std::string& Path)
{
    if (IsUNCPath(Path) && !ConnectShare(Path, true)) return false;
    DWORD attrs;
    {
        TErrorModeScope quiet(SEM_FAILCRITICALERRORS);  // no system box for a drive without a medium
        attrs = GetFileAttributesA(Path.c_str());
    }
    return attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool DirectoryExists(const std::string& Path)
{
    const DWORD attrs = GetFileAttributesA(Path.c_str());
    return attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool TargetDirectoryExists(const std::string& typed)
{
    return !LastNameEndsInSpaceOrDot(typed) && DirectoryExists(AddBackslash(typed));
}

bool UNCTargetDirectoryExists(const std::string& typed)
{
    return !LastNameEndsInSpaceOrDot(typed) && UNCDirectoryExists(AddBackslash(typed));
}
