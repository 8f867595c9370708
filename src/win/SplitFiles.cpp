// The split and combine operations.
//
// Both copy through one transfer buffer of TransferBlockSize bytes, report after every block, let
// the thread's messages run between blocks (at most once per clock tick, see App::TBlockPump) and
// after every piece, so the host stays live and can set CancelFlag. Expected failures
// end with false; the errors of the text-file layer, and the refusals below, are raised.
//
// Guards beyond the plain copy, all aimed at never losing or silently corrupting data:
// - sizes, positions and totals are 64-bit throughout, so a 4 GB + 100 byte file is never mistaken
//   for a 100-byte one and no count wraps around;
// - every loop makes progress or ends: a source that delivers nothing before its size is reached
//   ends the split with false;
// - the split writes a descriptor only when the bytes in the pieces are the bytes the checksum
//   describes (a source changed during the split ends with false);
// - a failed close of a piece or of the output counts as a failed write;
// - before its first write a split checks every name it will create (see CheckSplitPlan): it
//   never writes over its own source, over another file's set, onto a device or a directory, nor
//   starts with names the system cannot create; the source itself must be a file on disk;
// - a source that another program holds open for writing is described by the bytes copied;
// - the combine never writes outside its target directory, never replaces an existing file, and
//   verifies the size as well as the checksum; a piece that is a device counts as missing, and
//   nothing raised after the output was created leaves it behind.
#include "SplitFiles.h"

#include <windows.h>

#include <memory>
#include <new>
#include <vector>

#include "App.h"
#include "CRC32.h"
#include "CRC32Core.h"
#include "CharText.h"
#include "DescriptorFile.h"
#include "Errors.h"
#include "PathText.h"
#include "PieceNames.h"
#include "PiecePlan.h"
#include "Progress.h"
#include "SysError.h"
#include "WinHandles.h"

volatile uint8_t CancelFlag = 0;

namespace {

const char SplitStatus[] = "Spliting...";
const char CombineStatus[] = "Combining...";

bool Cancelled() { return CancelFlag != 0; }

// The one transfer buffer of an operation; empty when memory is short.
std::unique_ptr<unsigned char[]> NewTransferBuffer()
{
    return std::unique_ptr<unsigned char[]>(new (std::nothrow) unsigned char[TransferBlockSize]);
}

// The arguments a progress call repeats; only the percent changes from call to call.
struct TReporter {
    TPlugInProgressProc Proc;
    const char* Status;
    std::string FileName;
    std::string SourceDir;
    std::string TargetDir;

    void Report(int32_t percent) const
    {
        if (Proc)
            Proc(percent, Status, FileName.c_str(), SourceDir.c_str(), TargetDir.c_str(),
                 const_cast<uint8_t*>(&CancelFlag));
    }
};

// Writes all of len bytes (also none): a short write is a failed write.
bool WriteAll(HANDLE file, const void* data, DWORD len)
{
    DWORD written = 0;
    return WriteFile(file, data, len, &written, nullptr) && written == len;
}

std::optional<uint64_t> FileSize(HANDLE file)
{
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file, &size) || size.QuadPart < 0) return std::nullopt;
    return static_cast<uint64_t>(size.QuadPart);
}

// The size of the file at path, without opening it for data (so a file that others hold
// open, even exclusively, still answers).
std::optional<uint64_t> FileSizeByName(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return std::nullopt;
    return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// True when both handles hold the very same file (same volume, same file index), whatever
// spelling, short name or link led there.
bool SameFile(HANDLE a, HANDLE b)
{
    BY_HANDLE_FILE_INFORMATION x, y;
    if (!GetFileInformationByHandle(a, &x) || !GetFileInformationByHandle(b, &y)) return false;
    return x.dwVolumeSerialNumber == y.dwVolumeSerialNumber && x.nFileIndexHigh == y.nFileIndexHigh &&
           x.nFileIndexLow == y.nFileIndexLow;
}

// ---- What a split checks before its first write ----
// A refused split raises and has changed nothing; the copy loops never need to look back.

// A file on disk: not a console, a pipe or another device (those answer to file names too, "nul.txt"
// among them, and would swallow the pieces or deliver bytes without end).
bool IsDiskFile(HANDLE file) { return GetFileType(file) == FILE_TYPE_DISK; }

bool IsDirectory(const std::string& path)
{
    const DWORD attrs = GetFileAttributesA(path.c_str());
    return attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

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

TNameState InspectName(HANDLE source, const std::string& path)
{
    if (IsDirectory(path)) return TNameState::NotAFile;
    // No access asked: this looks at files that others hold without sharing, and at a pipe
    // without waiting for its other end.
    TFileHandle there(CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    // Nothing there, or nothing that lets itself be looked at: the copy meets it as before.
    if (!there.Valid()) return TNameState::Unseen;
    if (!IsDiskFile(there.Get())) return TNameState::NotAFile;
    return SameFile(source, there.Get()) ? TNameState::Source : TNameState::OtherFile;
}

// File names as the file system compares them: without regard to case.
bool SameFileName(const std::string& a, const std::string& b)
{
    return CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, a.c_str(), -1, b.c_str(), -1) == CSTR_EQUAL;
}

// Every name the split will create, before the first byte is written: each must fit the system's
// path limit, must not be a device or a directory, and must not be the source itself (pieces are
// created emptied, so the source would be destroyed before it is read). A descriptor already there
// that names another file marks that file's set, whose pieces carry the very names this split
// would write; a descriptor of this same file is the older set of a re-split, which is replaced.
void CheckSplitPlan(HANDLE source, const std::string& sourceName, const std::string& base, uint32_t pieces)
{
    std::vector<std::string> names;
    names.reserve(pieces + 1);
    for (uint32_t n = 1; n <= pieces; ++n) names.push_back(PieceFileName(base, n));
    const std::string descriptor = DescriptorFileName(base);
    names.push_back(descriptor);

    for (const std::string& path : names)
        if (!FitsPathLimit(path)) RefuseName(path, "The name is longer than the system allows.");
    for (const std::string& path : names) {
        switch (InspectName(source, path)) {
        case TNameState::NotAFile: RefuseName(path, NotAFile);
        case TNameState::Source:
            // The descriptor's own error, as its creation would meet it, but before any piece exists.
            RefuseName(path, path == descriptor ? SysErrorMessage(ERROR_SHARING_VIOLATION)
                                                : std::string("It is the file being split."));
        default: break;
        }
    }
    const std::optional<std::string> described = ReadDescriptorFileName(descriptor);
    if (described && !described->empty() && !SameFileName(*described, sourceName))
        throw EOperationRefused("Checksum file \"" + descriptor + "\" describes the file \"" + *described +
                                "\"; splitting \"" + sourceName +
                                "\" here would overwrite its pieces. Nothing was split.");
}

// The checksum the descriptor records. Normally the file's own, read once more from disk, which
// must agree with the bytes copied. A source that another program holds open for writing cannot
// be read again (the checksum shares reads only); when nothing but sharing stands in the way and
// the size is unchanged, the checksum of the bytes copied describes exactly what the pieces hold.
std::optional<uint32_t> DescribedChecksum(HANDLE source, const std::string& FileName, uint64_t size,
                                          uint32_t copied)
{
    const std::optional<uint32_t> fileCRC = CalcFileCRC32(FileName);
    if (fileCRC && *fileCRC != copied) return std::nullopt;
    const std::optional<uint64_t> sizeNow = FileSize(source);
    if (!sizeNow || *sizeNow != size) return std::nullopt;
    if (fileCRC) return fileCRC;
    // Asked again the way the checksum asks: only a sharing refusal lets the copy stand in.
    TFileHandle again(CreateFileA(FileName.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (again.Valid() || GetLastError() != ERROR_SHARING_VIOLATION) return std::nullopt;
    return copied;
}

// Whether the file at path is what the descriptor describes. Whatever stops the check (a file that
// cannot be opened, no memory for the reading buffer) is a mismatch, so that the combine's closing
// phase always reaches its clean-up.
bool MatchesDescriptor(const std::string& path, uint64_t size, uint32_t crc) noexcept
{
    try {
        // The size first: cheap, and it catches what a checksum over a truncated view could miss.
        const std::optional<uint64_t> fileSize = FileSizeByName(path);
        if (!fileSize || *fileSize != size) return false;
        const std::optional<uint32_t> fileCRC = CalcFileCRC32(path);
        return fileCRC && *fileCRC == crc;
    } catch (...) {
        return false;
    }
}

// Removes the output again when anything is raised while it is being written: a half-written
// output never survives the combine. The closing phase dismisses it and judges the output itself.
class TOutputGuard {
public:
    TOutputGuard(TFileHandle& file, const std::string& path, bool created) : file_(file), path_(path), armed_(created) {}
    ~TOutputGuard()
    {
        if (!armed_) return;
        file_.Close();
        DeleteFileA(path_.c_str());
    }
    TOutputGuard(const TOutputGuard&) = delete;
    TOutputGuard& operator=(const TOutputGuard&) = delete;
    void Dismiss() { armed_ = false; }

private:
    TFileHandle& file_;
    const std::string& path_;
    bool armed_;
};

// A descriptor's file name must name a file inside the target directory, nothing else. Read in
// the ANSI code page: a two-byte character ending in 0x5C is part of a name, not a separator.
bool LeavesTargetDir(const std::string& name)
{
    return FindLastCharOf(name, "\\/:") != std::string::npos || name == "." || name == "..";
}

// Copies one piece: this piece's bytes from the source into a new (or emptied) piece file.
// False on any failure or a cancel; crc runs over every byte written.
bool CopyPiece(HANDLE source, const std::string& piecePath, uint32_t pieceSize, uint32_t thisPiece,
               uint64_t size, uint64_t& done, uint32_t& crc, unsigned char* buffer, const TReporter& reporter,
               App::TBlockPump& pump)
{
    TFileHandle piece(CreateFileA(piecePath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!piece.Valid()) return false;

    const uint32_t block = pieceSize < TransferBlockSize ? pieceSize : TransferBlockSize;
    uint32_t pieceDone = 0;
    do {
        // Never past this piece: on the last piece that is the size taken at the start, so a
        // source that grows meanwhile cannot push bytes beyond it.
        const uint32_t left = thisPiece - pieceDone;
        const DWORD want = left < block ? left : block;
        DWORD got = 0;
        if (!ReadFile(source, buffer, want, &got, nullptr) || got > want) return false;
        // A source that ends before the size taken at the start would never fill this piece.
        if (got == 0 && want != 0) return false;
        if (!WriteAll(piece.Get(), buffer, got)) return false;
        crc = CRC32Update(crc, buffer, got);
        done += got;
        reporter.Report(BlockPercent(done, size));
        pieceDone += got;
        pump.AfterBlock();
    } while (!Cancelled() && pieceDone < thisPiece);

    // Data that a close cannot commit is data lost: a failed close fails the piece.
    return piece.Close();
}

}  // namespace

bool SplitFile(const std::string& FileName, const std::string& TargetDir, uint32_t PieceSize,
               TPlugInProgressProc Progress)
{
    CancelFlag = 0;

    TFileHandle source(CreateFileA(FileName.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!source.Valid()) {
        if (IsDirectory(FileName)) RefuseSource(FileName);
        return false;
    }
    if (!IsDiskFile(source.Get())) RefuseSource(FileName);

    const std::optional<uint64_t> fileSize = FileSize(source.Get());
    if (!fileSize) return false;
    const uint64_t size = *fileSize;

    const TPiecePlan plan{size, PieceSize};
    if (!plan.Accepted()) return false;

    const auto buffer = NewTransferBuffer();
    if (!buffer) return false;

    const std::string base = AddBackslash(TargetDir) + ExtractFileName(FileName);
    CheckSplitPlan(source.Get(), ExtractFileName(FileName), base, plan.Count());
    const TReporter reporter{Progress, SplitStatus, FileName, ExtractFileDir(FileName), ExtractFileDir(base)};

    uint64_t done = 0;
    uint32_t crc = 0xFFFFFFFFu;
    App::TBlockPump pump;
    for (uint32_t n = 1; n <= plan.Count(); ++n) {
        if (!CopyPiece(source.Get(), PieceFileName(base, n), PieceSize, plan.Length(n), size, done, crc,
                       buffer.get(), reporter, pump))
            return false;
        App::ProcessMessages();
        if (Cancelled()) break;
    }

    App::ProcessMessages();
    if (Cancelled()) return false;

    // The checksum must describe the bytes now in the pieces. A source written to or resized
    // during the split fails here instead of leaving a descriptor that no combine could satisfy.
    const std::optional<uint32_t> fileCRC = DescribedChecksum(source.Get(), FileName, size, crc ^ 0xFFFFFFFFu);
    if (!fileCRC) return false;

    const std::string descriptor = DescriptorFileName(base);
    WriteDescriptorFile(descriptor, ExtractFileName(FileName), size, *fileCRC);

    TReporter closing = reporter;
    closing.TargetDir = ExtractFileDir(descriptor);
    closing.Report(ProgressPercent(done, size));
    return true;
}

bool CombineFiles(const std::string& FileName, const std::string& TargetDir, TPlugInProgressProc Progress)
{
    CancelFlag = 0;

    const TDescriptor descriptor = ReadDescriptorFile(FileName);
    if (LeavesTargetDir(descriptor.FileName))
        throw EOperationRefused("Checksum file \"" + FileName + "\" names the file \"" + descriptor.FileName +
                                "\", which would be written outside the target directory. Nothing was combined.");
    const uint64_t size = descriptor.Size;

    const auto buffer = NewTransferBuffer();
    if (!buffer) return false;

    const std::string output = AddBackslash(TargetDir) + descriptor.FileName;
    const TReporter reporter{Progress, CombineStatus, output, ExtractFileDir(FileName), ExtractFileDir(output)};

    // Only a file this run creates is ever written or deleted: an existing one is only verified.
    TFileHandle out(CreateFileA(output.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    const bool created = out.Valid();
    TOutputGuard outputGuard(out, output, created);

    uint64_t total = 0;
    bool copyFailed = false;
    App::TBlockPump pump;
    if (created) {
        for (uint32_t n = 1;; ++n) {
            TFileHandle piece(CreateFileA(PieceFileName(FileName, n).c_str(), GENERIC_READ,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
            if (!piece.Valid() || !IsDiskFile(piece.Get())) break;  // a device is no piece: missing
            // Each piece is read to its end, whatever its length; a short read marks the end.
            DWORD got = 0;
            do {
                got = 0;
                if (!ReadFile(piece.Get(), buffer.get(), TransferBlockSize, &got, nullptr) || got > TransferBlockSize ||
                    !WriteAll(out.Get(), buffer.get(), got)) {
                    copyFailed = true;
                    break;
                }
                total += got;
                reporter.Report(BlockPercent(total, size));
                pump.AfterBlock();
            } while (!Cancelled() && got == TransferBlockSize);
            if (copyFailed) break;
            piece.Close();
            App::ProcessMessages();
            if (Cancelled() || total >= size) break;
        }
    }

    // Closing phase, on every path; nothing in it raises.
    // A failed read or write leaves a partial output, which the check below judges as it stands.
    outputGuard.Dismiss();
    bool ok = true;
    if (created && !out.Close()) ok = false;  // data a close cannot commit is lost
    if (ok) ok = MatchesDescriptor(output, size, descriptor.CRC);
    if (!ok) {
        if (created) DeleteFileA(output.c_str());
        MessageBoxA(App::OwnerWindow(), "CRC Error.", "Error", MB_OK | MB_ICONERROR);
    }
    reporter.Report(ProgressPercent(total, size));
    return ok;
}
