#include "CurrentDirectory.h"

#include <windows.h>

#include <stdexcept>

namespace testfiles {

TCurrentDirectoryScope::TCurrentDirectoryScope(const std::string& path)
{
    char old[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, old);
    old_ = old;
    if (!SetCurrentDirectoryA(path.c_str())) throw std::runtime_error("cannot enter " + path);
}

TCurrentDirectoryScope::~TCurrentDirectoryScope() { SetCurrentDirectoryA(old_.c_str()); }

char UnmappedDriveLetter()
{
    // The drive mask may lag behind a drive mapped a moment ago: the root must not read either.
    const DWORD drives = GetLogicalDrives();
    for (char letter = 'q'; letter <= 'y'; ++letter) {
        const std::string root = std::string(1, letter) + ":\\";
        if (!(drives & (1u << (letter - 'a'))) && GetFileAttributesA(root.c_str()) == INVALID_FILE_ATTRIBUTES)
            return letter;
    }
    return 0;
}

}  // namespace testfiles
