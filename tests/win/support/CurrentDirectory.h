// The process's current directory for one scope, and a drive letter that names no drive: what a
// bare letter typed as a target is tested against.
#pragma once
#include <string>

namespace testfiles {

class TCurrentDirectoryScope {
public:
    explicit TCurrentDirectoryScope(const std::string& path);
    ~TCurrentDirectoryScope();
    TCurrentDirectoryScope(const TCurrentDirectoryScope&) = delete;
    TCurrentDirectoryScope& operator=(const TCurrentDirectoryScope&) = delete;

private:
    std::string old_;
};

// A lower-case letter from q to y that no drive has; 0 when every one is taken.
char UnmappedDriveLetter();

}  // namespace testfiles
