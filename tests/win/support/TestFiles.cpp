#include "TestFiles.h"

#include <algorithm>
#include <atomic>
#include <stdexcept>
#include <vector>

namespace testfiles {

namespace {
std::atomic<unsigned> gCounter{0};

std::string LastErrorText(const char* what, const std::string& path)
{
    return std::string(what) + " \"" + path + "\" failed, error " + std::to_string(GetLastError());
}
}  // namespace

TempDir::TempDir()
{
    char base[MAX_PATH + 1];
    const DWORD n = GetTempPathA(sizeof base, base);
    if (n == 0 || n > sizeof base) throw std::runtime_error("GetTempPathA failed");
    std::string root(base, n);
    if (!root.empty() && root.back() != '\\') root += '\\';
    for (int attempt = 0; attempt < 1000; ++attempt) {
        std::string candidate = root + "zdt" + std::to_string(GetCurrentProcessId()) + "_" +
                                std::to_string(GetTickCount()) + "_" + std::to_string(gCounter++);
        if (CreateDirectoryA(candidate.c_str(), nullptr)) {
            path_ = candidate;
            return;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
    throw std::runtime_error(LastErrorText("CreateDirectoryA", root));
}

TempDir::~TempDir() { RemoveTree(path_); }

std::string TempDir::File(const std::string& name) const { return path_ + "\\" + name; }

void WriteFileBytes(const std::string& path, const std::string& bytes)
{
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) throw std::runtime_error(LastErrorText("CreateFileA", path));
    size_t done = 0;
    bool ok = true;
    while (ok && done < bytes.size()) {
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 24));
        DWORD written = 0;
        ok = WriteFile(h, bytes.data() + done, chunk, &written, nullptr) && written == chunk;
        done += written;
    }
    CloseHandle(h);
    if (!ok) throw std::runtime_error(LastErrorText("WriteFile", path));
}

std::string ReadFileBytes(const std::string& path)
{
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) throw std::runtime_error(LastErrorText("CreateFileA", path));
    std::string out;
    std::vector<char> buf(1 << 16);
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(h, buf.data(), static_cast<DWORD>(buf.size()), &got, nullptr)) {
            CloseHandle(h);
            throw std::runtime_error(LastErrorText("ReadFile", path));
        }
        if (got == 0) break;
        out.append(buf.data(), got);
    }
    CloseHandle(h);
    return out;
}

std::string PatternBytes(size_t length, uint32_t seed)
{
    std::string out(length, '\0');
    uint32_t x = seed * 2654435761u + 0x9E3779B9u;
    for (size_t i = 0; i < length; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        out[i] = static_cast<char>(x >> 24);
    }
    return out;
}

bool FileExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool RemoveTree(const std::string& path)
{
    if (path.empty()) return true;
    const DWORD attrs = GetFileAttributesA(path.c_str());
    if (attrs == INVALID_FILE_ATTRIBUTES) return true;
    if (!(attrs & FILE_ATTRIBUTE_DIRECTORY)) {
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        return DeleteFileA(path.c_str()) != FALSE;
    }
    WIN32_FIND_DATAA fd;
    HANDLE find = FindFirstFileA((path + "\\*").c_str(), &fd);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = fd.cFileName;
            if (name == "." || name == "..") continue;
            RemoveTree(path + "\\" + name);
        } while (FindNextFileA(find, &fd));
        FindClose(find);
    }
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    return RemoveDirectoryA(path.c_str()) != FALSE;
}

}  // namespace testfiles
