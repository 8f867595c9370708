#include "TestFiles.h"

#include <atomic>
#include <stdexcept>

namespace testfiles {

namespace {
std::atomic<unsigned> gCounter{0};

std::runtime_error Failure(const char* what, const std::string& path)
{
    return std::runtime_error(std::string(what) + " \"" + path + "\" failed, error " + std::to_string(GetLastError()));
}
}  // namespace

TempDir::TempDir()
{
    char base[MAX_PATH + 1];
    const DWORD n = GetTempPathA(sizeof base, base);
    if (n == 0 || n > sizeof base) throw std::runtime_error("GetTempPathA failed");
    std::string root(base, n);
    if (root.back() != '\\') root += '\\';
    for (int attempt = 0; attempt < 1000; ++attempt) {
        path_ = root + "zdt" + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(GetTickCount()) + "_" +
                std::to_string(gCounter++);
        if (CreateDirectoryA(path_.c_str(), nullptr)) return;
        if (GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
    throw Failure("CreateDirectoryA", root);
}

TempDir::~TempDir() { RemoveTree(path_); }

std::string TempDir::File(const std::string& name) const { return path_ + "\\" + name; }

void WriteFileBytes(const std::string& path, const std::string& bytes)
{
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) throw Failure("CreateFileA", path);
    DWORD written = 0;
    const bool ok = WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                    written == bytes.size();
    CloseHandle(h);
    if (!ok) throw Failure("WriteFile", path);
}

std::string ReadFileBytes(const std::string& path)
{
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) throw Failure("CreateFileA", path);
    std::string out;
    char buf[1 << 16];
    DWORD got = 0;
    bool ok;
    while ((ok = ReadFile(h, buf, sizeof buf, &got, nullptr) != FALSE) && got > 0) out.append(buf, got);
    CloseHandle(h);
    if (!ok) throw Failure("ReadFile", path);
    return out;
}

std::string PatternBytes(size_t length, uint32_t seed)
{
    std::string out(length, '\0');
    uint32_t x = seed * 2654435761u + 0x9E3779B9u;
    for (char& c : out) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        c = static_cast<char>(x >> 24);
    }
    return out;
}

bool FileExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void ForEachEntry(const std::string& dir, const std::function<void(const std::string&, bool)>& each)
{
    WIN32_FIND_DATAA fd;
    HANDLE find = FindFirstFileA((dir + "\\*").c_str(), &fd);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        const std::string name = fd.cFileName;
        if (name != "." && name != "..") each(name, (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0);
    } while (FindNextFileA(find, &fd));
    FindClose(find);
}

bool RemoveTree(const std::string& path)
{
    const DWORD attrs = GetFileAttributesA(path.c_str());
    if (path.empty() || attrs == INVALID_FILE_ATTRIBUTES) return true;
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!(attrs & FILE_ATTRIBUTE_DIRECTORY)) return DeleteFileA(path.c_str()) != FALSE;
    ForEachEntry(path, [&](const std::string& name, bool) { RemoveTree(path + "\\" + name); });
    return RemoveDirectoryA(path.c_str()) != FALSE;
}

}  // namespace testfiles
