#include "SplitChecks.h"

#include <windows.h>

#include "App.h"
#include "DescriptorFile.h"
#include "Errors.h"
#include "SysError.h"
#include "nettools.h"

namespace {

const char NotAFile[] = "It is a device or a directory, not a file on disk.";

[[noreturn]] void RefuseSource(const std::string& path)
{
    throw EOperationRefused("File \"" + path + "\" cannot be split. " + NotAFile);
}

[[noreturn]] void RefuseName(const std::string& path, const std::string& reason)
{
    throw EFileError("Cannot create file \"" + path + "\". " + reason);
}

// The ANSI file functions take a full path of fewer than MAX_PATH characters (the terminating zero
// has the last place); a longer name would fail only when its piece is reached. The system counts
// after converting from the ANSI code page, so a double-byte character counts once.
bool FitsPathLimit(const std::string& path)
{
    const int units = MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, nullptr, 0);
    if (units <= 0) return false;
    std::wstring wide(static_cast<size_t>(units), L'\0');
    if (MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, &wide[0], units) != units) return false;
    wchar_t full[MAX_PATH];
    const DWORD n = GetFullPathNameW(wide.c_str(), MAX_PATH, full, nullptr);
    return n != 0 && n < MAX_PATH;
}

// What stands at a name that the split will create.
enum class TNameState { Unseen, OtherFile, Source, NotAFile };

TNameState InspectName(const TInFile& source, const std::string& path)
{
    if (DirectoryExists(path)) return TNameState::NotAFile;
    TInFile there;
    // Nothing there, or nothing that lets itself be looked at: the copy meets it as before.
    if (!there.Open(path, TInFile::InspectOnly)) return TNameState::Unseen;
    if (!there.IsDisk()) return TNameState::NotAFile;
    return source.SameFileAs(there) ? TNameState::Source : TNameState::OtherFile;
}

// File names as the file system compares them: without regard to case.
bool SameFileName(const std::string& a, const std::string& b)
{
    return CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, a.c_str(), -1, b.c_str(), -1) == CSTR_EQUAL;
}

}  // namespace

void CheckSplitSource(const TInFile& source, const std::string& path)
{
    if (source.IsOpen() ? !source.IsDisk() : DirectoryExists(path)) RefuseSource(path);
}

void CheckSplitPlan(const TInFile& source, const TSplitJob& job)
{
    // Up to 1001 names, each asked of the system several times: messages run between them.
    App::TBlockPump pump;
    const auto fits = [&pump](const std::string& path) {
        pump.AfterBlock();
        if (!FitsPathLimit(path)) RefuseName(path, "The name is longer than the system allows.");
    };
    for (const std::string& path : job.Pieces) fits(path);
    fits(job.Descriptor);

    const auto inspect = [&](const std::string& path, bool descriptor) {
        pump.AfterBlock();
        switch (InspectName(source, path)) {
        case TNameState::NotAFile: RefuseName(path, NotAFile);
        case TNameState::Source:
            // The descriptor's own error, as its creation would meet it, but before any piece exists.
            RefuseName(path, descriptor ? SysErrorMessage(ERROR_SHARING_VIOLATION)
                                        : std::string("It is the file being split."));
        default: break;
        }
    };
    for (const std::string& path : job.Pieces) inspect(path, false);
    inspect(job.Descriptor, true);

    const std::optional<std::string> described = ReadDescriptorFileName(job.Descriptor);
    if (described && !described->empty() && !SameFileName(*described, job.SourceName))
        throw EOperationRefused("Checksum file \"" + job.Descriptor + "\" describes the file \"" + *described +
                                "\"; splitting \"" + job.SourceName +
                                "\" here would overwrite its pieces. Nothing was split.");
}
