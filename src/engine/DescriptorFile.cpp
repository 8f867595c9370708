// The checksum descriptor on disk: the whole file, never more than a bound, is read and handed to
// the text parser; writing creates the file anew and removes it again when it cannot be written completely.
#include "DescriptorFile.h"

#include <windows.h>

#include "Errors.h"
#include "Files.h"
#include "SysError.h"

namespace {

[[noreturn]] void RaiseFileError(const char* what, const std::string& path, DWORD code)
{
    throw EFileError(std::string(what) + " \"" + path + "\". " + SysErrorMessage(code));
}

}  // namespace

std::optional<std::string> ReadDescriptorText(const std::string& path, DWORD& error, uint32_t maxBytes)
{
    // A device (a console, a pipe, an endless character device) is no descriptor and reads as an
    // error, rather than as input without end.
    TInFile file;
    if (!file.Open(path, TInFile::ReadSharedWithReaders)) { error = file.Error(); return std::nullopt; }
    if (!file.IsDisk()) { error = ERROR_NOT_SUPPORTED; return std::nullopt; }

    // The size decides before any reading: a large file picked by mistake is refused at once.
    const std::optional<uint64_t> size = file.Size();
    if (!size) { error = file.Error(); return std::nullopt; }
    if (*size > maxBytes) { error = ERROR_FILE_TOO_LARGE; return std::nullopt; }

    // One byte more than allowed is asked for, so that a file that grew meanwhile is noticed
    // without reading more of it.
    std::string text(static_cast<size_t>(maxBytes) + 1, '\0');
    size_t have = 0;
    for (;;) {
        DWORD got = 0;
        if (!file.Read(&text[have], static_cast<DWORD>(text.size() - have), got)) {
            error = file.Error();
            return std::nullopt;
        }
        if (got == 0) break;
        have += got;
        if (have == text.size()) { error = ERROR_FILE_TOO_LARGE; return std::nullopt; }
    }
    text.resize(have);
    return text;
}

TDescriptor ReadDescriptorFile(const std::string& path, uint32_t maxBytes)
{
    DWORD error = ERROR_SUCCESS;
    const std::optional<std::string> text = ReadDescriptorText(path, error, maxBytes);
    if (!text) RaiseFileError("Cannot open file", path, error);
    return ParseDescriptor(*text);
}

std::optional<std::string> ReadDescriptorFileName(const std::string& path, uint32_t maxBytes)
{
    DWORD error = ERROR_SUCCESS;
    const std::optional<std::string> text = ReadDescriptorText(path, error, maxBytes);
    if (!text) return std::nullopt;
    return ParseDescriptorName(*text);
}

namespace {

void WriteDescriptorText(const std::string& path, const std::string& text, const TFile* mustNotBe)
{
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

}  // namespace

void WriteDescriptorFile(const std::string& path, const std::string& fileName, uint64_t size, uint32_t crc,
                         const TFile* mustNotBe)
{
    WriteDescriptorText(path, FormatDescriptor(fileName, size, crc), mustNotBe);
}

std::optional<TFileSeen> WriteSplitTextFile(const std::string& path, const std::string& text, const TFile& mustNotBe,
                                            const TNameSeen& seen, DWORD& error)
{
    TOutFile file;
    if (!file.CreateAsSeen(path, seen, &mustNotBe)) {
        error = file.Error();
        return std::nullopt;
    }
    const std::optional<TFileSeen> made = file.Seen();
    error = file.WriteAll(text.data(), static_cast<DWORD>(text.size())) ? ERROR_SUCCESS : file.Error();
    if (!file.Close() && error == ERROR_SUCCESS) error = file.Error();
    // Looked at again once closed, when its last write is final.
    TInFile written;
    std::optional<TFileSeen> now = written.Open(path, TInFile::InspectOnly) ? written.Seen() : std::nullopt;
    if (now && made && !now->SameFile(*made)) now.reset();
    if (error == ERROR_SUCCESS && now) return now;
    if (error == ERROR_SUCCESS) error = written.IsOpen() ? ERROR_FILE_EXISTS : written.Error();
    // Half a descriptor could pass for a whole one: none is left, and only this file goes.
    DWORD ignored = ERROR_SUCCESS;
    if (now) RemoveSeenFile(path, *now, ignored);
    return std::nullopt;
}
