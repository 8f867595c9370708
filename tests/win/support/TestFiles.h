// Test helpers for real files: a scratch directory removed with everything in it, and whole-file
// readers and writers that fail the test loudly instead of returning quietly.
#pragma once
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

namespace testfiles {

// A fresh, empty directory under the system's temporary directory. The destructor removes it
// with its whole content (read-only flags are cleared first).
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // The directory's path, without a trailing backslash.
    const std::string& Path() const { return path_; }
    // Path() + "\" + name.
    std::string File(const std::string& name) const;

private:
    std::string path_;
};

// Creates (or replaces) the file with exactly these bytes. Throws std::runtime_error on failure.
void WriteFileBytes(const std::string& path, const std::string& bytes);
// The whole content of the file. Throws std::runtime_error when it cannot be read.
std::string ReadFileBytes(const std::string& path);
// Deterministic pseudo-random content of the given length (same seed, same bytes).
std::string PatternBytes(size_t length, uint32_t seed = 1);
bool FileExists(const std::string& path);
// Calls each(name, isDirectory) for every entry of dir but "." and "..".
void ForEachEntry(const std::string& dir, const std::function<void(const std::string& name, bool directory)>& each);
// Removes a directory tree; true when nothing is left.
bool RemoveTree(const std::string& path);

}  // namespace testfiles
