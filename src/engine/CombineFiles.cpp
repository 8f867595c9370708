// The combine: joins the pieces beside a checksum descriptor (or, without one, the pieces alone)
// into the target directory and verifies the result. It never writes outside its target directory,
// never replaces an existing file, and verifies the size as well as the checksum; a piece that is
// a device counts as missing. The output is built under a temporary name and takes its final name
// only when complete and verified, so a file under the final name is never half a file; nothing
// raised or failed after the temporary file was created leaves it behind.
#include "SplitFiles.h"

#include <windows.h>

#include <cctype>
#include <new>
#include <set>

#include "App.h"
#include "CRC32.h"
#include "CharText.h"
#include "DescriptorFile.h"
#include "Errors.h"
#include "Files.h"
#include "PathText.h"
#include "PieceNames.h"
#include "SysError.h"
#include "Transfer.h"

namespace {

const char CombineStatus[] = "Combining...";

TOutcome CombineFailure(TCause cause, const std::string& file = std::string(), DWORD code = 0)
{
    return Failed(TOperation::Combine, cause, file, code);
}

// A descriptor's file name must name a file inside the target directory, nothing else. Read in
// the ANSI code page: a two-byte character ending in 0x5C is part of a name, not a separator.
bool LeavesTargetDir(const std::string& name)
{
    return FindLastCharOf(name, "\\/:") != std::string::npos || name == "." || name == "..";
}

// Appends the piece at path to the output, read to its end whatever its length: a short read
// marks the end. A piece that does not exist, or is a device, is missing. A cancel ends the piece
// early and is no failure here: the caller looks at the flag.
TOutcome AppendPiece(const std::string& path, TOutFile& out, const std::string& outputPath, TTransfer& transfer)
{
    TInFile piece;
    if (!piece.Open(path, TInFile::ReadSharedWithWriters)) {
        const DWORD code = piece.Error();
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) return CombineFailure(TCause::PieceMissing, path);
        return CombineFailure(TCause::CannotRead, path, code);
    }
    if (!piece.IsDisk()) return CombineFailure(TCause::PieceMissing, path);

    DWORD got = 0;
    do {
        if (!piece.Read(transfer.Buffer(), TransferBlockSize, got))
            return CombineFailure(TCause::CannotRead, path, piece.Error());
        if (!out.WriteAll(transfer.Buffer(), got)) return CombineFailure(TCause::CannotWrite, outputPath, out.Error());
        transfer.Moved(got);
    } while (!Cancelled() && got == TransferBlockSize);
    return Succeeded(TOperation::Combine);
}

// Whether the file at path is what the descriptor describes: success, a size or checksum that
// differs (with both numbers), or CannotRead when the check cannot run (a file that cannot be
// opened, no memory for the reading buffer).
TOutcome CheckOutput(const std::string& path, uint64_t size, uint32_t crc)
{
    TOutcome outcome = CombineFailure(TCause::CannotRead, path);
    try {
        // The size first: cheap, and it catches what a checksum over a truncated view could miss.
        const std::optional<uint64_t> fileSize = FileSizeByName(path);
        if (!fileSize) {
            outcome.SystemError = GetLastError();
            return outcome;
        }
        if (*fileSize != size) {
            outcome.Cause = TCause::SizeMismatch;
            outcome.File.clear();
            outcome.Size = *fileSize;
            outcome.RecordedSize = size;
            return outcome;
        }
        unsigned long error = ERROR_SUCCESS;
        // A pass over the whole output: messages run as during the copy.
        App::TBlockPump pump;
        const std::optional<uint32_t> fileCRC = CalcFileCRC32(path, &error, [&pump] {
            pump.AfterBlock();
            return true;
        });
        if (!fileCRC) {
            outcome.SystemError = error;
            return outcome;
        }
        if (*fileCRC != crc) {
            outcome.Cause = TCause::ChecksumMismatch;
            outcome.File.clear();
            outcome.CRC = *fileCRC;
            outcome.RecordedCRC = crc;
            return outcome;
        }
        return Succeeded(TOperation::Combine);
    } catch (const std::bad_alloc&) {
        outcome.SystemError = ERROR_NOT_ENOUGH_MEMORY;
        return outcome;
    }
}

// The piece number that ends path, when its extension is one that PieceFileName writes (.001 to
// .999, then .1000 and up without leading zeros); 0 otherwise.
uint32_t PieceNumberOf(const std::string& path)
{
    const std::string ext = ExtractFileExt(path);
    if (ext.size() < 4 || ext.size() > 10) return 0;
    uint32_t n = 0;
    for (size_t i = 1; i < ext.size(); ++i) {
        if (ext[i] < '0' || ext[i] > '9') return 0;
        n = n * 10 + static_cast<uint32_t>(ext[i] - '0');
    }
    return n >= 1 && PieceFileName(path, n) == path ? n : 0;
}

bool ExistsByName(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Whether the system opens name as a device wherever it stands: NUL, CON, PRN, AUX, COM1-COM9,
// LPT1-LPT9 (and the console's CONIN$, CONOUT$), in any case, with any extension, and after the
// trailing spaces and dots that the system strips.
bool NamesDevice(const std::string& name)
{
    std::string stem = name;
    while (!stem.empty() && (stem.back() == ' ' || stem.back() == '.')) stem.pop_back();
    stem = stem.substr(0, stem.find('.'));
    while (!stem.empty() && stem.back() == ' ') stem.pop_back();
    for (char& c : stem) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (stem == "NUL" || stem == "CON" || stem == "PRN" || stem == "AUX" || stem == "CONIN$" || stem == "CONOUT$")
        return true;
    return stem.size() == 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0) && stem[3] >= '1' &&
           stem[3] <= '9';
}

[[noreturn]] void RefuseNotDescriptor(const std::string& path)
{
    throw EOperationRefused("File \"" + path + "\" is not a checksum file. Nothing was combined.");
}

// The descriptor of a combine, read and judged before anything is created. Only a checksum file
// is read as one: at most MaxDescriptorBytes, with a file name line that names a file, and that
// file inside the target directory and no device.
TDescriptor ReadCombineDescriptor(const std::string& path)
{
    DWORD error = ERROR_SUCCESS;
    const std::optional<std::string> text = ReadDescriptorText(path, error);
    if (!text) {
        if (error == ERROR_FILE_TOO_LARGE) RefuseNotDescriptor(path);
        ReadDescriptorFile(path);  // raises the reader's own error for this file
        RefuseNotDescriptor(path);  // it changed meanwhile; it is no checksum file to rely on
    }
    if (ParseDescriptorName(*text).empty()) RefuseNotDescriptor(path);
    const TDescriptor descriptor = ParseDescriptor(*text);
    if (LeavesTargetDir(descriptor.FileName))
        throw EOperationRefused("Checksum file \"" + path + "\" names the file \"" + descriptor.FileName +
                                "\", which would be written outside the target directory. Nothing was combined.");
    if (NamesDevice(descriptor.FileName))
        throw EOperationRefused("Checksum file \"" + path + "\" names the device \"" + descriptor.FileName +
                                "\". Nothing was combined.");
    return descriptor;
}

// The pieces of a set without a checksum file: Count pieces from First (1, or 0 where a splitter
// that counts from zero left a BASE.000), with Size bytes in all when counted. Missing is the
// first piece that is not there when the set has a hole (no first piece, or any piece numbered
// above the first missing one present); 0 when the set is whole.
struct TPieceSet {
    uint32_t First = 1;
    uint32_t Count = 0;
    uint64_t Size = 0;
    uint32_t Missing = 0;
};

TPieceSet FindPieces(const std::string& base)
{
    std::set<uint32_t> present;
    WIN32_FIND_DATAA found;
    const std::string dir = ExtractFileDir(base);
    const size_t stem = ExtractFileName(ChangeFileExt(base, "")).size();
    const HANDLE search = FindFirstFileA(ChangeFileExt(base, ".*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            // "BASE.*" also finds "BASE.x.003", which is no piece of this set.
            const bool directory = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            if (directory || ChangeFileExt(found.cFileName, "").size() != stem) continue;
            const uint32_t n = PieceNumberOf(AddBackslash(dir) + found.cFileName);
            if (n != 0) present.insert(n);
            if (ExtractFileExt(found.cFileName) == ".000") present.insert(0);
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    TPieceSet set;
    set.First = present.count(0) && FileSizeByName(PieceFileName(base, 0)) ? 0 : 1;
    uint32_t n = set.First;
    for (;; ++n) {
        const std::optional<uint64_t> size = present.count(n) ? FileSizeByName(PieceFileName(base, n)) : std::nullopt;
        if (!size) break;
        set.Size += *size;
        ++set.Count;
    }
    if (set.Count == 0 || (!present.empty() && *present.rbegin() > n)) set.Missing = n;
    return set;
}

// The temporary file that an output is built in: the output's name followed by ".part", or
// ".part2", ".part3", ... the first that does not exist. Where such a name is longer than the
// system allows (an output near the path limit), the output's name is cut, a character at a time,
// until it fits: a final name as long as the system allows can still be combined.
// Created only where no file is, so no file of anyone else is ever opened; deleted again unless it
// took the final name.
class TTempOutput {
    // Names longer than this may be refused for their length alone.
    static constexpr size_t LongName = 128;

public:
    explicit TTempOutput(const std::string& output) : output_(output) {}
    ~TTempOutput() { Discard(); }
    TTempOutput(const TTempOutput&) = delete;
    TTempOutput& operator=(const TTempOutput&) = delete;

    // False with the system's error code when no temporary file can be created (the output's
    // directory missing or not writable, every temporary name taken) or it is no file on disk.
    bool Create(DWORD& error)
    {
        const std::string name = ExtractFileName(output_);
        const std::string dir = output_.substr(0, output_.size() - name.size());
        size_t keep = name.size();
        // Cut only for a final name that the system takes: for any other the rename would fail
        // after the whole copy.
        const bool mayCut = FitsPathLimit(output_);
        for (uint32_t n = 1; n <= 1000;) {
            const std::string path =
                dir + name.substr(0, keep) + (n == 1 ? std::string(".part") : ".part" + std::to_string(n));
            if (file_.Create(path, TOutFile::CreateNewExclusive)) {
                path_ = path;
                if (file_.IsDisk()) return true;
                Discard();
                error = ERROR_NOT_SUPPORTED;
                return false;
            }
            error = file_.Error();
            // A name too long for its directory (or, for some file systems, "invalid" when longer
            // than they hold); a name made invalid by its characters is never cut far.
            const bool tooLong = error == ERROR_FILENAME_EXCED_RANGE ||
                                 (error == ERROR_INVALID_NAME && keep + 10 > LongName);
            if (tooLong && mayCut && PrevCharIndex(name, keep) > 0) {
                keep = PrevCharIndex(name, keep);
                continue;
            }
            if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return false;
            ++n;
        }
        return false;
    }
    TOutFile& File() { return file_; }
    const std::string& Path() const { return path_; }
    // Gives the closed file its final name, never over a file that is there.
    TOutcome Commit()
    {
        if (MoveFileExA(path_.c_str(), output_.c_str(), MOVEFILE_WRITE_THROUGH)) {
            path_.clear();
            return Succeeded(TOperation::Combine);
        }
        const DWORD error = GetLastError();
        if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS || ExistsByName(output_))
            return CombineFailure(TCause::DifferentFileThere, output_);
        return CombineFailure(TCause::CannotCreate, output_, error);
    }
    // Closes and deletes the temporary file, if this run still holds one.
    void Discard()
    {
        file_.Close();
        if (!path_.empty()) DeleteFileA(path_.c_str());
        path_.clear();
    }

private:
    const std::string output_;
    std::string path_;
    TOutFile file_;
};

// Copies pieces first, first + 1, ... into out until count pieces are copied (count given) or
// size bytes are reached.
// A failed piece, or a cancel before the copy was complete, is the result.
TOutcome CopyPieces(const std::string& base, uint32_t first, uint32_t count, uint64_t size, TOutFile& out,
                    const std::string& output, TTransfer& transfer)
{
    for (uint32_t n = first;; ++n) {
        TOutcome copy = AppendPiece(PieceFileName(base, n), out, output, transfer);
        if (!copy.Ok()) return copy;
        App::ProcessMessages();
        const bool complete = count != 0 ? n - first + 1 >= count : transfer.Done() >= size;
        if (Cancelled() && !(complete && transfer.Done() >= size)) return CombineFailure(TCause::Cancelled);
        if (complete) return Succeeded(TOperation::Combine);
    }
}

// The join of a set without a checksum file into TargetDir under the base name.
TOutcome JoinPieces(const std::string& FileName, const std::string& TargetDir, TPlugInProgressProc Progress,
                    const TCombineVerdict& Verdict)
{
    const std::string output = AddBackslash(TargetDir) + ExtractFileName(ChangeFileExt(FileName, ""));
    // Before anything is written: a whole set, and no file in the way.
    const TPieceSet pieces = FindPieces(FileName);
    TOutcome early = Succeeded(TOperation::Combine);
    const std::string name = ExtractFileName(output);
    if (pieces.Missing != 0) early = CombineFailure(TCause::PieceMissing, PieceFileName(FileName, pieces.Missing));
    // Pieces named only by their number (".001") give no name to join into.
    else if (name.find_first_not_of(" .") == std::string::npos)
        early = CombineFailure(TCause::CannotCreate, output, ERROR_INVALID_NAME);
    else if (ExistsByName(output)) early = CombineFailure(TCause::OutputThere, output);

    TTransfer transfer({Progress, CombineStatus, output, ExtractFileDir(FileName), ExtractFileDir(output)},
                       pieces.Size, false);
    if (early.Ok() && !transfer.Ready()) early = CombineFailure(TCause::NoMemory);
    if (!early.Ok()) {
        early.Unverified = true;
        return early;
    }
    TTempOutput temp(output);
    DWORD createError = ERROR_SUCCESS;
    TOutcome result = temp.Create(createError)
                          ? CopyPieces(FileName, pieces.First, pieces.Count, pieces.Size, temp.File(), output, transfer)
                          : CombineFailure(TCause::CannotCreate, output, createError);
    if (result.Ok() && !temp.File().Close()) result = CombineFailure(TCause::CannotWrite, output, temp.File().Error());
    if (result.Ok()) result = temp.Commit();
    temp.Discard();

    result.Unverified = true;
    result.Pieces = pieces.Count;
    if (Verdict) Verdict(result);
    transfer.ReportEnd();
    return result;
}

}  // namespace

TCombineSource FindCombineSource(const std::string& FileName)
{
    TCombineSource source;
    source.Descriptor = FileName;
    source.SelectedPiece = PieceNumberOf(FileName);
    if (source.SelectedPiece != 0) {
        source.Descriptor = DescriptorFileName(FileName);
        const DWORD attributes = GetFileAttributesA(source.Descriptor.c_str());
        source.HasDescriptor = attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
    }
    return source;
}

TOutcome RunCombine(const std::string& FileName, const std::string& TargetDir, TPlugInProgressProc Progress,
                    const TCombineVerdict& Verdict)
{
    CancelFlag = 0;

    const TCombineSource source = FindCombineSource(FileName);
    if (!source.HasDescriptor) return JoinPieces(FileName, TargetDir, Progress, Verdict);

    const std::string& descriptorPath = source.Descriptor;
    const TDescriptor descriptor = ReadCombineDescriptor(descriptorPath);
    const uint64_t size = descriptor.Size;

    const std::string output = AddBackslash(TargetDir) + descriptor.FileName;
    TTransfer transfer({Progress, CombineStatus, output, ExtractFileDir(descriptorPath), ExtractFileDir(output)}, size,
                       false);
    if (!transfer.Ready()) return CombineFailure(TCause::NoMemory);

    // Only a file this run creates is ever written or deleted: an existing one is only verified.
    TTempOutput temp(output);
    const bool there = ExistsByName(output);
    DWORD createError = ERROR_SUCCESS;
    const bool created = !there && temp.Create(createError);

    // The first thing that went wrong while copying; it explains a check that fails.
    TOutcome copy = Succeeded(TOperation::Combine);
    if (created) copy = CopyPieces(descriptorPath, 1, 0, size, temp.File(), output, transfer);

    // Closing phase, on every path. A failed read or write leaves a partial output, which the
    // check judges as it stands; the result is the check's.
    TOutcome outcome = Succeeded(TOperation::Combine);
    if (created && !temp.File().Close()) outcome = CombineFailure(TCause::CannotWrite, output, temp.File().Error());
    if (!created && !there) outcome = CombineFailure(TCause::CannotCreate, output, createError);
    if (outcome.Ok()) outcome = CheckOutput(created ? temp.Path() : output, size, descriptor.CRC);
    if (outcome.File == temp.Path() && created) outcome.File = output;  // the user knows the final name only
    if (!outcome.Ok()) {
        if (created) {
            if (!copy.Ok()) outcome = copy;
        } else if (there && outcome.Cause != TCause::CannotRead) {
            outcome = CombineFailure(TCause::DifferentFileThere, output);
        }
    } else if (created) {
        outcome = temp.Commit();
    }
    temp.Discard();

    if (Verdict) Verdict(outcome);
    transfer.ReportEnd();
    return outcome;
}

bool CombineFiles(const std::string& FileName, const std::string& TargetDir, TPlugInProgressProc Progress)
{
    const TOutcome outcome = RunCombine(FileName, TargetDir, Progress, nullptr);
    return outcome.Ok() && !outcome.Unverified;
}
