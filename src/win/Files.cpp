#include "Files.h"

std::optional<uint64_t> TFile::Size()
{
    LARGE_INTEGER size;
    if (!GetFileSizeEx(Handle(), &size)) {
        Failed();
        return std::nullopt;
    }
    if (size.QuadPart < 0) return std::nullopt;
    return static_cast<uint64_t>(size.QuadPart);
}

bool TFile::IsDisk() const { return GetFileType(Handle()) == FILE_TYPE_DISK; }

bool TFile::SameFileAs(const TFile& other) const
{
    BY_HANDLE_FILE_INFORMATION x, y;
    if (!GetFileInformationByHandle(Handle(), &x) || !GetFileInformationByHandle(other.Handle(), &y)) return false;
    return x.dwVolumeSerialNumber == y.dwVolumeSerialNumber && x.nFileIndexHigh == y.nFileIndexHigh &&
           x.nFileIndexLow == y.nFileIndexLow;
}

bool TFile::Close() { return handle_.Close() || Failed(); }

bool TFile::OpenHandle(const std::string& path, DWORD access, DWORD share, DWORD creation)
{
    handle_ = TFileHandle(CreateFileA(path.c_str(), access, share, nullptr, creation, FILE_ATTRIBUTE_NORMAL, nullptr));
    return handle_.Valid() || Failed();
}

bool TFile::Failed()
{
    error_ = GetLastError();
    return false;
}

bool TInFile::Open(const std::string& path, TIntent intent)
{
    switch (intent) {
    case ReadSharedWithWriters:
        return OpenHandle(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
    case ReadSharedWithReaders: return OpenHandle(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    case InspectOnly:
        return OpenHandle(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING);
    }
    return false;
}

bool TInFile::Read(void* data, DWORD len, DWORD& got)
{
    got = 0;
    if (!ReadFile(Handle(), data, len, &got, nullptr)) return Failed();
    if (got > len) {  // never more than was asked for: a system that says so is not believed
        got = 0;
        SetLastError(ERROR_INVALID_DATA);
        return Failed();
    }
    return true;
}

bool TInFile::Seek(uint64_t offset)
{
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(offset);
    return SetFilePointerEx(Handle(), at, nullptr, FILE_BEGIN) || Failed();
}

bool TOutFile::Create(const std::string& path, TIntent intent)
{
    switch (intent) {
    case CreateNewExclusive: return OpenHandle(path, GENERIC_WRITE, 0, CREATE_NEW);
    case CreateAlwaysExclusive: return OpenHandle(path, GENERIC_WRITE, 0, CREATE_ALWAYS);
    }
    return false;
}

bool TOutFile::WriteAll(const void* data, DWORD len)
{
    DWORD written = 0;
    if (!WriteFile(Handle(), data, len, &written, nullptr)) return Failed();
    if (written != len) {
        SetLastError(ERROR_DISK_FULL);
        return Failed();
    }
    return true;
}

std::optional<uint64_t> FileSizeByName(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        SetLastError(ERROR_ACCESS_DENIED);  // what opening a directory as a file answers
        return std::nullopt;
    }
    return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}
