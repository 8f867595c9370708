// Thin file classes: each owns one handle, is opened by a named intention that fixes its access,
// sharing and creation, and closes on every path. Every file the product opens is opened here.
// A call that fails returns false (or no value) and keeps the system's error code in Error().
#pragma once
#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "WinHandles.h"

// What a look at a file on its handle found: which file it is (its volume and file index), its
// size and its last write, so that a later look can tell whether a name still leads to that file.
struct TFileSeen {
    DWORD Volume = 0, IndexHigh = 0, IndexLow = 0;
    uint64_t Size = 0;
    FILETIME LastWrite{};
    // The same file, whatever it holds now.
    bool SameFile(const TFileSeen& other) const;
    // The same file, of the same size and last written at the same time.
    bool Unchanged(const TFileSeen& other) const;
};
// What stood at a name when a writer looked before its first write: nothing, or that file. A
// writer that made the file looks again once it is closed: its last write is then final.
using TNameSeen = std::optional<TFileSeen>;

// What input and output files share.
class TFile {
public:
    bool IsOpen() const { return handle_.Valid(); }
    // The size in bytes (64-bit); no value when the system cannot tell.
    std::optional<uint64_t> Size();
    // A file on disk: not a console, a pipe or another device (those answer to file names too,
    // "nul.txt" among them, and would swallow bytes or deliver them without end).
    bool IsDisk() const;
    // True when both hold the very same file (same volume, same file index), whatever spelling,
    // short name or link led there.
    bool SameFileAs(const TFile& other) const;
    // True when path, the name this file was opened by, is the file's one and only way in: no
    // symbolic link stands at path itself (the directories on the way may be links) and no other
    // name (hard link) leads to the same file. Where the system cannot tell the path it resolved,
    // the name is taken at its word.
    bool OnlyReachedBy(const std::string& path) const;
    // Which file this is, with its size and last write; no value when the system cannot tell.
    std::optional<TFileSeen> Seen() const;
    // Closes now; false when the system reports a failure, which for an output means data that may
    // not have reached the disk. The handle is gone either way; closing a closed file succeeds.
    bool Close();
    // The system's error code of the last call on this file that failed; ERROR_SUCCESS when none.
    DWORD Error() const { return error_; }

protected:
    TFile() = default;
    ~TFile() = default;
    TFile(const TFile&) = delete;
    TFile& operator=(const TFile&) = delete;
    bool OpenHandle(const std::string& path, DWORD access, DWORD share, DWORD creation);
    // Keeps the thread's last error and answers false.
    bool Failed();
    HANDLE Handle() const { return handle_.Get(); }

private:
    struct TIdentity {
        DWORD Volume, IndexHigh, IndexLow;
    };
    const std::optional<TIdentity>& Identity() const;

    TFileHandle handle_;
    DWORD error_ = ERROR_SUCCESS;
    mutable bool identityKnown_ = false;
    mutable std::optional<TIdentity> identity_;
};

// A file opened for reading, or only for a look at what it is; existing files only.
class TInFile : public TFile {
public:
    enum TIntent {
        // Read; others may go on reading and writing it meanwhile.
        ReadSharedWithWriters,
        // Read; others may read it too, but nobody may write it meanwhile.
        ReadSharedWithReaders,
        // No access to the data, everything shared: answers also for a file that others hold
        // without sharing, and for a pipe without waiting for its other end.
        InspectOnly,
    };
    bool Open(const std::string& path, TIntent intent);
    // Reads up to len bytes at the current position; got receives how many came (0 at the end).
    bool Read(void* data, DWORD len, DWORD& got);
    // Moves the position to offset bytes from the start.
    bool Seek(uint64_t offset);
};

// A file opened for writing; nobody else may open it while it is held.
class TOutFile : public TFile {
public:
    enum TIntent {
        // Only when no file of that name exists (Error() is then ERROR_FILE_EXISTS).
        CreateNewExclusive,
        // Created, or emptied first when it exists, so that it holds exactly what is written now.
        // Never through another name: a file already there is opened as it is, looked at on its
        // handle and emptied only when it is a file on disk that this name alone reaches
        // (OnlyReachedBy) and not the file mustNotBe holds. Otherwise it stays as it was and the
        // call fails: Error() is ERROR_NOT_SUPPORTED for a device, ERROR_CANT_RESOLVE_FILENAME for
        // a link or one name of several, ERROR_SHARING_VIOLATION for mustNotBe's file.
        ReplaceExclusive,
        // An existing file opened for writing as ReplaceExclusive would open it, and left as it
        // is: whether it could be replaced now, or is held by another program.
        ProbeExclusive,
        // An existing file opened for reading and writing at any offset (Seek, Read, WriteAll),
        // as it is: the combine's own temporary output, rebuilt in place.
        UpdateExclusive,
    };
    bool Create(const std::string& path, TIntent intent, const TFile* mustNotBe = nullptr);
    // Created or emptied only as the writer's earlier look found the name, so that a name that
    // changed since is never written over. Where nothing stood, the file is created only where
    // still nothing is (CreateNewExclusive); where a file stood, it is replaced as ReplaceExclusive
    // replaces it and only while it is that very file, unchanged (a file gone meanwhile leaves the
    // name free again; size and last write are compared too, since a file system may hand a new
    // file the index of one just removed). Otherwise what is there stays as it is and the call
    // fails with ERROR_FILE_EXISTS.
    bool CreateAsSeen(const std::string& path, const TNameSeen& seen, const TFile* mustNotBe = nullptr);
    // Writes all of len bytes (also none): a short write is a failed write, ERROR_DISK_FULL when
    // the system gave no reason.
    bool WriteAll(const void* data, DWORD len);
    // Moves the position to offset bytes from the start.
    bool Seek(uint64_t offset);
    // Reads up to len bytes at the position (UpdateExclusive only); got: how many came.
    bool Read(void* data, DWORD len, DWORD& got);

private:
    // Closes the file and fails with code.
    bool Refuse(DWORD code);
    // The existing file just opened at path, looked at on its handle before anything in it
    // changes: emptied only when it is a file on disk that path alone reaches, not mustNotBe's file
    // and, where seen is given, still that very file, unchanged.
    bool EmptyExisting(const std::string& path, const TFile* mustNotBe, const TFileSeen* seen);
};

// Removes the file at path only while it is the file seen, unchanged, reached by that name alone
// (no link at the name, no other name of the file). The
// file is opened without sharing and removed through that handle, so nothing another program holds
// open and no file put at the name meanwhile is removed. False with error otherwise:
// ERROR_FILE_NOT_FOUND when nothing is there, ERROR_FILE_EXISTS when another file is (or this one
// changed), the system's code when it cannot be opened or removed (held open, read-only).
bool RemoveSeenFile(const std::string& path, const TFileSeen& seen, DWORD& error);

// A file name as the system receives it from the ANSI file functions: converted from the ANSI
// code page to UTF-16. Empty when the text does not convert.
std::wstring WideFileName(const std::string& name);
// Whether the system takes path from the ANSI file functions: as typed, and as the full path it
// makes of it, within MAX_PATH units with the terminating zero (a double-byte character counts once).
bool FitsPathLimit(const std::string& path);
// Two names compared as the file system compares them: ordinal, without regard to case, on their
// UTF-16 forms (never by a language's rules).
bool SameFileName(const std::wstring& a, const std::wstring& b);

// The size of the file at path, without opening it for data (so a file that others hold open,
// even exclusively, still answers). No value for a directory or a name that cannot be looked up;
// the thread's last error then says why.
std::optional<uint64_t> FileSizeByName(const std::string& path);

// Whether a file stands at path (a name the system answers to; a directory too).
bool ExistsByName(const std::string& path);
// Whether path is a symbolic link that leads nowhere. Windows shows such a link to every look-up;
// Wine hides it from all of them (attributes, listings, opens of the link itself say "not found"),
// and only creating the name fails ("The filename cannot be resolved"). So a name that nothing
// answers to is created once, exclusively and deleted on close: where that succeeds no file was
// there, and nothing stays.
bool IsLinkToNothing(const std::string& path);

// The names in the directory of pattern (FindFirstFileA's pattern, "dir\\name.*") that are files,
// not directories. Empty when the directory cannot be listed.
std::vector<std::string> ListFiles(const std::string& pattern);

// The temporary file that an output is built in, beside it: the output's name followed by
// ".part", or ".part2", ".part3", ... the first that does not exist. Where such a name would be
// longer than the system allows (an output near the path limit), the output's name is cut, a
// character at a time, until it fits; where not even one character fits, the temporary file is
// made under the output's whole name in the system's long form ("\\?\..."), which this class
// and the file classes here take through the wide functions: every output the system allows can
// still be built.
// Created only where no file is, so no file of anyone else is ever opened; deleted again unless it
// took the output's name.
class TTempOutputFile {
public:
    explicit TTempOutputFile(const std::string& output) : output_(output) {}
    ~TTempOutputFile() { Discard(); }
    TTempOutputFile(const TTempOutputFile&) = delete;
    TTempOutputFile& operator=(const TTempOutputFile&) = delete;

    // False when no temporary file can be created (the directory missing or not writable, every
    // temporary name taken, no name that fits) or it is no file on disk; Error() then says why and
    // FailedPath() names the file concerned.
    bool Create();
    // The temporary files of earlier runs that Create() found in its way, in the order met.
    const std::vector<std::string>& Leftovers() const { return leftovers_; }
    TOutFile& File() { return file_; }
    const std::string& Path() const { return path_; }
    const std::string& FailedPath() const { return failedPath_; }
    DWORD Error() const { return error_; }
    // Gives the closed file the output's name, never over a file that is there; false with
    // Error() when the rename fails (ERROR_FILE_EXISTS when a file took the name meanwhile).
    bool Commit();
    // Closes and deletes the temporary file, if this run still holds one.
    void Discard();

private:
    const std::string output_;
    std::string path_;
    std::string failedPath_;
    std::vector<std::string> leftovers_;
    DWORD error_ = ERROR_SUCCESS;
    TOutFile file_;
};
