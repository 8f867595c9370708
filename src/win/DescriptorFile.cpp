// The checksum descriptor on disk: the whole file is read at once and handed to the text parser;
// writing creates the file anew and removes it again when it cannot be written completely.
#include "DescriptorFile.h"

#include <windows.h>

#include <cstdint>
#include <new>
#include <vector>

#include "Errors.h"
#include "Files.h"
#include "SysError.h"

namespace {

[[noreturn]] void RaiseFileError(const char* what, const std::string& path, DWORD code)
{
    throw EFileError(std::string(what) + " \"" + path + "\". " + SysErrorMessage(code));
}

// The whole file as text. False, with the system's error code, when it cannot be opened or read;
// a device (a console, a pipe, an endless character device) is no descriptor and reads as an
// error too, rather than as input without end.
bool ReadTextFile(const std::string& path, std::string& text, DWORD& error, uint64_t limit = UINT64_MAX)
{
    TInFile file;
    if (!file.Open(path, TInFile::ReadSharedWithReaders)) { error = file.Error(); return false; }
    if (!file.IsDisk()) { error = ERROR_NOT_SUPPORTED; return false; }

    // The room for the whole file is taken at once: a file far too large for memory (a
    // multi-gigabyte file picked by mistake) fails here as out of memory, before any reading.
    const std::optional<uint64_t> size = file.Size();
    if (!size) { error = file.Error(); return false; }
    if (*size > limit) { error = ERROR_FILE_TOO_LARGE; return false; }
    if (*size > text.max_size()) throw std::bad_alloc();
    text.reserve(static_cast<size_t>(*size));

    std::vector<char> chunk(4096);
    for (;;) {
        DWORD got = 0;
        if (!file.Read(chunk.data(), static_cast<DWORD>(chunk.size()), got)) {
            error = file.Error();
            return false;
        }
        if (got == 0) break;
        text.append(chunk.data(), got);
        if (text.size() > limit) { error = ERROR_FILE_TOO_LARGE; return false; }  // it grew meanwhile
    }
    return true;
}

}  // namespace

TDescriptor ReadDescriptorFile(const std::string& path)
{
    std::string text;
    DWORD error = ERROR_SUCCESS;
    if (!ReadTextFile(path, text, error)) RaiseFileError("Cannot open file", path, error);
    return ParseDescriptor(text);
}

std::optional<std::string> ReadDescriptorFileName(const std::string& path)
{
    std::string text;
    DWORD error = ERROR_SUCCESS;
    if (!ReadTextFile(path, text, error, MaxDescriptorFileSize)) return std::nullopt;
    return ParseDescriptorName(text);
}

void WriteDescriptorFile(const std::string& path, const std::string& fileName, uint64_t size, uint32_t crc,
                         const TFile* mustNotBe)
{
    const std::string text = FormatDescriptor(fileName, size, crc);
    TOutFile file;
    if (!file.Create(path, TOutFile::ReplaceExclusive, mustNotBe))
        RaiseFileError("Cannot create file", path, file.Error());

    // A short write without an error counts as a full disk.
    DWORD code = file.WriteAll(text.data(), static_cast<DWORD>(text.size())) ? ERROR_SUCCESS : file.Error();
    if (!file.Close() && code == ERROR_SUCCESS) code = file.Error();
    if (code != ERROR_SUCCESS) {
        // A partial descriptor could pass for a complete one (a cut size or checksum line still
        // parses): leave none behind.
        DeleteFileA(path.c_str());
        RaiseFileError("Cannot create file", path, code);
    }
}
