// The process's current directory for one scope, and a drive letter that names no drive: what a
// bare letter typed as a target is tested against.
#pragma once
#include <windows.h>

#include <stdexcept>
#include <string>

namespace testfiles {

class TCurrentDirectoryScope {
public:
    explicit TCurrentDirectoryScope(const std::string& path)
    {
        char old[MAX_PATH] = {};
        old_.assign(old, GetCurrentDirectoryA(MAX_PATH, old));
        if (!SetCurrentDirectoryA(path.c_str())) throw std::runtime_error("cannot enter " + path);
    }
    ~TCurrentDirectoryScope() { SetCurrentDirectoryA(old_.c_str()); }
    TCurrentDirectoryScope(const TCurrentDirectoryScope&) = delete;
    TCurrentDirectoryScope& operator=(const TCurrentDirectoryScope&) = delete;

private:
    std::string old_;
};

// A lower-case letter from q to y that no drive has; 0 when every one is taken. The drive mask may
// lag behind a drive mapped a moment ago: the root must not read either.
inline char UnmappedDriveLetter()
{
    const DWORD drives = GetLogicalDrives();
    for (char letter = 'q'; letter <= 'y'; ++letter) {
        const std::string root = std::string(1, letter) + ":\\";
        if (!(drives & (1u << (letter - 'a'))) && GetFileAttributesA(root.c_str()) == INVALID_FILE_ATTRIBUTES)
            return letter;
    }
    return 0;
}

}  // namespace testfiles
