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
    const DWORD drives = GetLogicalDrives();
    for (char letter = 'q'; letter <= 'y'; ++letter)
        if (!(drives & (1u << (letter - 'a')))) return letter;
    return 0;
}

}  // namespace testfiles
