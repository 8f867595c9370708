#include "Files.h"

#include "CharText.h"
#include "PathText.h"

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

const std::optional<TFile::TIdentity>& TFile::Identity() const
{
    // Asked once per handle: the answer cannot change while the handle is open, and asking costs
    // a question to the volume (slow under Wine).
    if (!identityKnown_) {
        BY_HANDLE_FILE_INFORMATION info;
        if (GetFileInformationByHandle(Handle(), &info))
            identity_ = TIdentity{info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
        identityKnown_ = true;
    }
    return identity_;
}

bool TFileSeen::SameFile(const TFileSeen& other) const
{
    return Volume == other.Volume && IndexHigh == other.IndexHigh && IndexLow == other.IndexLow;
}

bool TFileSeen::Unchanged(const TFileSeen& other) const
{
    return SameFile(other) && Size == other.Size && CompareFileTime(&LastWrite, &other.LastWrite) == 0;
}

std::optional<TFileSeen> TFile::Seen() const
{
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(Handle(), &info)) return std::nullopt;
    TFileSeen seen;
    seen.Volume = info.dwVolumeSerialNumber;
    seen.IndexHigh = info.nFileIndexHigh;
    seen.IndexLow = info.nFileIndexLow;
    seen.Size = (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    seen.LastWrite = info.ftLastWriteTime;
    return seen;
}

bool TFile::SameFileAs(const TFile& other) const
{
    const std::optional<TIdentity>& x = Identity();
    const std::optional<TIdentity>& y = other.Identity();
    return x && y && x->Volume == y->Volume && x->IndexHigh == y->IndexHigh && x->IndexLow == y->IndexLow;
}

namespace {

// The ANSI file functions take no name beyond MAX_PATH, whatever its form; a name in the system's
// long form goes through the wide functions, which take it whole.
bool InLongForm(const std::string& path) { return path.compare(0, 4, "\\\\?\\") == 0; }

DWORD AttributesOf(const std::string& path)
{
    return InLongForm(path) ? GetFileAttributesW(WideFileName(path).c_str()) : GetFileAttributesA(path.c_str());
}

// The path by which the system reached the file behind handle, every link resolved; no value
// when the system cannot tell.
std::optional<std::wstring> FinalPath(HANDLE handle)
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetFinalPathNameByHandleW(handle, &path[0], static_cast<DWORD>(path.size()),
                                                  FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (n == 0) return std::nullopt;
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        path.resize(n + 1);
    }
}

// The full path of name as the system makes it; the file name part starts at leaf.
std::wstring FullPath(const std::wstring& name, size_t& leaf)
{
    std::wstring full(MAX_PATH, L'\0');
    for (;;) {
        wchar_t* part = nullptr;
        const DWORD n = GetFullPathNameW(name.c_str(), static_cast<DWORD>(full.size()), &full[0], &part);
        if (n == 0) return std::wstring();
        if (n < full.size()) {
            leaf = part ? static_cast<size_t>(part - full.c_str()) : n;
            full.resize(n);
            return full;
        }
        full.resize(n + 1);
    }
}

}  // namespace

bool TFile::OnlyReachedBy(const std::string& path) const
{
    // (The standard information answers at once; the full one asks the volume too.)
    FILE_STANDARD_INFO info;
    if (GetFileInformationByHandleEx(Handle(), FileStandardInfo, &info, sizeof info) && info.NumberOfLinks > 1)
        return false;

    const std::optional<std::wstring> reached = FinalPath(Handle());
    size_t leaf = 0;
    const std::wstring full = FullPath(WideFileName(path), leaf);
    if (!reached || full.empty()) return true;
    // The directory as the system resolves it, joined with the name as given: a link at the name
    // itself resolves elsewhere, a link on the way resolves in both.
    std::wstring dir = full.substr(0, leaf);
    if (dir.size() > 1 && dir.back() == L'\\' && dir[dir.size() - 2] != L':') dir.pop_back();
    const TFileHandle folder(CreateFileW(dir.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                         nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    const std::optional<std::wstring> folderReached = folder.Valid() ? FinalPath(folder.Get()) : std::nullopt;
    if (!folderReached) return true;
    std::wstring expected = *folderReached;
    if (expected.empty() || expected.back() != L'\\') expected += L'\\';
    expected += full.substr(leaf);
    return SameFileName(*reached, expected);
}

bool TFile::Close()
{
    identityKnown_ = false;
    identity_.reset();
    return handle_.Close() || Failed();
}

bool TFile::OpenHandle(const std::string& path, DWORD access, DWORD share, DWORD creation)
{
    handle_ = TFileHandle(InLongForm(path) ? CreateFileW(WideFileName(path).c_str(), access, share, nullptr, creation,
                                                         FILE_ATTRIBUTE_NORMAL, nullptr)
                                           : CreateFileA(path.c_str(), access, share, nullptr, creation,
                                                         FILE_ATTRIBUTE_NORMAL, nullptr));
    identityKnown_ = false;
    identity_.reset();
    if (!handle_.Valid()) return Failed();
    error_ = ERROR_SUCCESS;  // a file opened anew has no failure behind it
    return true;
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

bool TOutFile::Seek(uint64_t offset)
{
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(offset);
    return SetFilePointerEx(Handle(), at, nullptr, FILE_BEGIN) || Failed();
}

bool TOutFile::Read(void* data, DWORD len, DWORD& got)
{
    got = 0;
    if (!ReadFile(Handle(), data, len, &got, nullptr)) return Failed();
    if (got > len) {
        got = 0;
        SetLastError(ERROR_INVALID_DATA);
        return Failed();
    }
    return true;
}

bool TOutFile::Create(const std::string& path, TIntent intent, const TFile* mustNotBe)
{
    if (intent == CreateNewExclusive) return OpenHandle(path, GENERIC_WRITE, 0, CREATE_NEW);
    if (intent == ProbeExclusive) return OpenHandle(path, GENERIC_WRITE, 0, OPEN_EXISTING);
    if (intent == UpdateExclusive) return OpenHandle(path, GENERIC_READ | GENERIC_WRITE, 0, OPEN_EXISTING);

    // A new file is the name's own. A name already taken is opened as it is: nothing has changed
    // before the handle has been looked at.
    bool existed = false;
    if (!OpenHandle(path, GENERIC_WRITE, 0, CREATE_NEW)) {
        if (Error() != ERROR_FILE_EXISTS && Error() != ERROR_ALREADY_EXISTS) return false;
        existed = true;
        if (!OpenHandle(path, GENERIC_WRITE, 0, OPEN_EXISTING))
            // Taken, yet nothing to open there: a link that leads nowhere.
            return Refuse(Error() == ERROR_FILE_NOT_FOUND ? ERROR_CANT_RESOLVE_FILENAME : Error());
    }
    // A file that this call created is no other file and has no other name.
    if (existed) return EmptyExisting(path, mustNotBe, nullptr);
    return IsDisk() || Refuse(ERROR_NOT_SUPPORTED);
}

bool TOutFile::EmptyExisting(const std::string& path, const TFile* mustNotBe, const TFileSeen* seen)
{
    if (!IsDisk()) return Refuse(ERROR_NOT_SUPPORTED);
    if (mustNotBe && SameFileAs(*mustNotBe)) return Refuse(ERROR_SHARING_VIOLATION);
    if (!OnlyReachedBy(path)) return Refuse(ERROR_CANT_RESOLVE_FILENAME);
    if (seen) {
        const std::optional<TFileSeen> now = Seen();
        if (!now || !now->Unchanged(*seen)) return Refuse(ERROR_FILE_EXISTS);
    }
    return SetEndOfFile(Handle()) || Failed();  // opened at offset 0
}

bool TOutFile::CreateAsSeen(const std::string& path, const TNameSeen& seen, const TFile* mustNotBe)
{
    if (seen) {
        // Opened as it is: nothing changes before the handle has been looked at.
        if (OpenHandle(path, GENERIC_WRITE, 0, OPEN_EXISTING)) return EmptyExisting(path, mustNotBe, &*seen);
        if (Error() != ERROR_FILE_NOT_FOUND) return false;
    }
    if (!OpenHandle(path, GENERIC_WRITE, 0, CREATE_NEW)) {
        if (Error() == ERROR_ALREADY_EXISTS) return Refuse(ERROR_FILE_EXISTS);
        return false;
    }
    return IsDisk() || Refuse(ERROR_NOT_SUPPORTED);
}

bool TOutFile::Refuse(DWORD code)
{
    Close();
    SetLastError(code);
    return Failed();
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

namespace {

// A file opened only to be removed: nothing shared, so that no other program holds it meanwhile.
class TRemovableFile : public TFile {
public:
    bool Open(const std::string& path)
    {
        return OpenHandle(path, DELETE | FILE_READ_ATTRIBUTES, 0, OPEN_EXISTING);
    }
    // Marks the file to go when its handle closes, and closes it.
    bool Remove()
    {
        FILE_DISPOSITION_INFO disposition;
        disposition.DeleteFile = TRUE;
        if (!SetFileInformationByHandle(Handle(), FileDispositionInfo, &disposition, sizeof disposition))
            return Failed();
        return Close();
    }
};

}  // namespace

bool RemoveSeenFile(const std::string& path, const TFileSeen& seen, DWORD& error)
{
    TRemovableFile file;
    if (!file.Open(path)) {
        error = file.Error() == ERROR_PATH_NOT_FOUND ? ERROR_FILE_NOT_FOUND : file.Error();
        return false;
    }
    const std::optional<TFileSeen> now = file.Seen();
    if (!file.IsDisk() || !now || !now->Unchanged(seen) || !file.OnlyReachedBy(path)) {
        error = ERROR_FILE_EXISTS;
        return false;
    }
    if (file.Remove()) return true;
    error = file.Error();
    return false;
}

std::optional<uint64_t> FileSizeByName(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    const bool found = InLongForm(path)
                           ? GetFileAttributesExW(WideFileName(path).c_str(), GetFileExInfoStandard, &data)
                           : GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data);
    if (!found) return std::nullopt;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        SetLastError(ERROR_ACCESS_DENIED);  // what opening a directory as a file answers
        return std::nullopt;
    }
    return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

std::wstring WideFileName(const std::string& name)
{
    const int units = MultiByteToWideChar(CP_ACP, 0, name.data(), static_cast<int>(name.size()), nullptr, 0);
    if (units <= 0) return std::wstring();
    std::wstring wide(static_cast<size_t>(units), L'\0');
    MultiByteToWideChar(CP_ACP, 0, name.data(), static_cast<int>(name.size()), &wide[0], units);
    return wide;
}

// The ANSI file functions hand the system the name as typed, converted to UTF-16 into a buffer of
// MAX_PATH units whose last place is the terminating zero; the system then makes the full path,
// which must fit the same limit. A name with "..\" segments may be short once resolved and still
// too long as typed, and the other way round, so both are counted. A double-byte character counts
// once, as the system converts it.
bool FitsPathLimit(const std::string& path)
{
    const std::wstring wide = WideFileName(path);
    if (wide.empty() || wide.size() >= MAX_PATH) return false;
    size_t leaf = 0;
    const std::wstring full = FullPath(wide, leaf);
    return !full.empty() && full.size() < MAX_PATH;
}

bool SameFileName(const std::wstring& a, const std::wstring& b)
{
    return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

bool ExistsByName(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool IsLinkToNothing(const std::string& path)
{
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return false;
        TInFile target;  // a link that is seen: it leads nowhere when what it names cannot be opened
        return !target.Open(path, TInFile::InspectOnly) &&
               (target.Error() == ERROR_FILE_NOT_FOUND || target.Error() == ERROR_PATH_NOT_FOUND);
    }
    // A device that a link reaches answers to an open.
    TInFile there;
    if (there.Open(path, TInFile::InspectOnly)) return false;
    const TFileHandle probe(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                        FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    if (probe.Valid()) return false;
    // Wine: the name is taken, yet nothing answers to it.
    const DWORD error = GetLastError();
    return error == ERROR_CANT_RESOLVE_FILENAME || error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
}

std::vector<std::string> ListFiles(const std::string& pattern)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    const TFindHandle search(FindFirstFileA(pattern.c_str(), &found));
    if (!search.Valid()) return names;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(found.cFileName);
    } while (FindNextFileA(search.Get(), &found));
    return names;
}

namespace {

// The system's long form of a path that fits its limit: "\\?\" and the full path ("\\?\UNC\"
// for a share's), in which the wide file functions take names of any length. Empty when the
// system cannot make the full path.
std::string LongPathForm(const std::string& path)
{
    size_t leaf = 0;
    const std::wstring full = FullPath(WideFileName(path), leaf);
    if (full.empty()) return std::string();
    const std::wstring form = full.compare(0, 2, L"\\\\") == 0 ? L"\\\\?\\UNC\\" + full.substr(2) : L"\\\\?\\" + full;
    const int bytes =
        WideCharToMultiByte(CP_ACP, 0, form.data(), static_cast<int>(form.size()), nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return std::string();
    std::string text(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_ACP, 0, form.data(), static_cast<int>(form.size()), &text[0], bytes, nullptr, nullptr);
    return text;
}

}  // namespace

bool TTempOutputFile::Create()
{
    const std::string name = ExtractFileName(output_);
    const std::string dir = output_.substr(0, output_.size() - name.size());
    // Cut only for an output name that the system takes: for any other the rename would fail
    // after the whole copy.
    if (!FitsPathLimit(output_)) {
        failedPath_ = output_;
        error_ = ERROR_FILENAME_EXCED_RANGE;
        return false;
    }
    size_t keep = name.size();
    for (uint32_t n = 1; n <= 1000; ++n) {
        const std::string suffix = n == 1 ? std::string(".part") : ".part" + std::to_string(n);
        // No path longer than a split would create: within the system's limit as typed and in full.
        while (!FitsPathLimit(dir + name.substr(0, keep) + suffix) && PrevCharIndex(name, keep) > 0)
            keep = PrevCharIndex(name, keep);
        std::string path = dir + name.substr(0, keep) + suffix;
        // Not even one character before the suffix fits (a short name deep down): the long form
        // holds the whole name, beside the output all the same. Only this file's own writes, its
        // check and its rename to the output's name, which fits, ever use it.
        if (!FitsPathLimit(path)) {
            const std::string longForm = LongPathForm(output_);
            if (longForm.empty()) {
                failedPath_ = path;
                error_ = ERROR_FILENAME_EXCED_RANGE;
                return false;
            }
            path = longForm + suffix;
        }
        if (file_.Create(path, TOutFile::CreateNewExclusive)) {
            path_ = path;
            if (file_.IsDisk()) return true;
            Discard();
            failedPath_ = path;
            error_ = ERROR_NOT_SUPPORTED;
            return false;
        }
        error_ = file_.Error();
        failedPath_ = path;
        if (error_ != ERROR_FILE_EXISTS && error_ != ERROR_ALREADY_EXISTS) return false;
        const DWORD attributes = AttributesOf(path);
        if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY))
            leftovers_.push_back(path);
    }
    return false;
}

bool TTempOutputFile::Commit()
{
    const bool moved = InLongForm(path_) ? MoveFileExW(WideFileName(path_).c_str(), WideFileName(output_).c_str(),
                                                       MOVEFILE_WRITE_THROUGH)
                                         : MoveFileExA(path_.c_str(), output_.c_str(), MOVEFILE_WRITE_THROUGH);
    if (moved) {
        path_.clear();
        return true;
    }
    error_ = GetLastError();
    if (error_ == ERROR_ALREADY_EXISTS || ExistsByName(output_)) error_ = ERROR_FILE_EXISTS;
    return false;
}

void TTempOutputFile::Discard()
{
    file_.Close();
    if (!path_.empty() && InLongForm(path_)) DeleteFileW(WideFileName(path_).c_str());
    else if (!path_.empty()) DeleteFileA(path_.c_str());
    path_.clear();
}
