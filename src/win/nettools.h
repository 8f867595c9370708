// Network-share connection and the directory tests built on it.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

// The record of shares already connected, consulted by IsShareConnected. Created empty at load
// (InitializeNettools) and freed at unload (FinalizeNettools); null outside that time. Nothing in
// this library adds to it. Kept for what a host observes: a list made at load and freed at unload,
// and the share test that consults it.
extern std::vector<std::string>* ConnectedShares;
void InitializeNettools();
void FinalizeNettools();

// True when an entry of ConnectedShares contains the share root of ShareRoot.
bool IsShareConnected(const std::string& ShareRoot);
// Connects the share of a UNC path through the network provider, with the hourglass cursor shown
// meanwhile, and drops the connection again unless the host program itself runs from that share.
// True when the provider accepted the connection.
bool ConnectShare(const std::string& Path, bool CheckConnected);
// A directory test that first connects the share of a UNC path; no system error box for a drive
// without a medium.
bool UNCDirectoryExists(const std::string& Path);
// The plain directory test: the attributes can be read and carry the directory flag. No network
// connection, no change of the error mode.
bool DirectoryExists(const std::string& Path);

// The dialogs' tests of a target directory as the user typed it. They test the directory the
// operation writes into, the text as names are joined to it (AddBackslash: "c" is the root "c:\",
// never a folder "c" of the current directory), and refuse at once, without a network call, a
// text whose last name ends in a space or a dot. The plain test, and the one that first connects
// the share of a UNC path.
bool TargetDirectoryExists(const std::string& typed);
bool UNCTargetDirectoryExists(const std::string& typed);

// What ConnectShare reaches outside the process. The default is the network provider (mpr) and
// GetModuleFileNameA(NULL); tests put recorders in its place.
struct TNetProvider {
    DWORD(WINAPI* AddConnection)(LPNETRESOURCEA resource, LPCSTR password, LPCSTR userName, DWORD flags);
    DWORD(WINAPI* CancelConnection)(LPCSTR name, DWORD flags, BOOL force);
    std::string (*ExePath)();
};
TNetProvider DefaultNetProvider();
// Installs a provider and returns the one it replaces.
TNetProvider SetNetProvider(const TNetProvider& provider);
