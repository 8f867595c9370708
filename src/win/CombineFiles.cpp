// The combine: joins the pieces beside a checksum descriptor into the target directory and
// verifies the result. It never writes outside its target directory, never replaces an existing
// file, and verifies the size as well as the checksum; a piece that is a device counts as missing,
// and nothing raised after the output was created leaves it behind.
#include "SplitFiles.h"

#include <windows.h>

#include <new>

#include "App.h"
#include "CRC32.h"
#include "CharText.h"
#include "DescriptorFile.h"
#include "Errors.h"
#include "Files.h"
#include "PathText.h"
#include "PieceNames.h"
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

// Removes the output again when anything is raised while it is being written or judged: a
// half-written output never survives the combine. The closing phase dismisses it once it has
// decided the output's fate.
class TOutputGuard {
public:
    TOutputGuard(TOutFile& file, const std::string& path, bool created) : file_(file), path_(path), armed_(created) {}
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
    TOutFile& file_;
    const std::string& path_;
    bool armed_;
};

}  // namespace

TOutcome RunCombine(const std::string& FileName, const std::string& TargetDir, TPlugInProgressProc Progress,
                    const TCombineVerdict& Verdict)
{
    CancelFlag = 0;

    const TDescriptor descriptor = ReadDescriptorFile(FileName);
    if (LeavesTargetDir(descriptor.FileName))
        throw EOperationRefused("Checksum file \"" + FileName + "\" names the file \"" + descriptor.FileName +
                                "\", which would be written outside the target directory. Nothing was combined.");
    const uint64_t size = descriptor.Size;

    const std::string output = AddBackslash(TargetDir) + descriptor.FileName;
    TTransfer transfer({Progress, CombineStatus, output, ExtractFileDir(FileName), ExtractFileDir(output)}, size, false);
    if (!transfer.Ready()) return CombineFailure(TCause::NoMemory);

    // Only a file this run creates is ever written or deleted: an existing one is only verified.
    TOutFile out;
    const bool created = out.Create(output, TOutFile::CreateNewExclusive);
    const DWORD createError = out.Error();
    TOutputGuard outputGuard(out, output, created);

    // The first thing that went wrong while copying; it explains a check that fails.
    TOutcome copy = Succeeded(TOperation::Combine);
    if (created) {
        for (uint32_t n = 1;; ++n) {
            copy = AppendPiece(PieceFileName(FileName, n), out, output, transfer);
            if (!copy.Ok()) break;
            App::ProcessMessages();
            if (Cancelled()) {
                copy = CombineFailure(TCause::Cancelled);
                break;
            }
            if (transfer.Done() >= size) break;
        }
    }

    // Closing phase, on every path. A failed read or write leaves a partial output, which the
    // check judges as it stands; the result is the check's.
    TOutcome outcome = Succeeded(TOperation::Combine);
    if (created && !out.Close()) outcome = CombineFailure(TCause::CannotWrite, output, out.Error());  // data lost
    if (outcome.Ok()) outcome = CheckOutput(output, size, descriptor.CRC);
    if (!outcome.Ok()) {
        if (created) {
            if (!copy.Ok()) outcome = copy;
        } else if (createError == ERROR_FILE_EXISTS || createError == ERROR_ALREADY_EXISTS) {
            if (outcome.Cause != TCause::CannotRead) outcome = CombineFailure(TCause::DifferentFileThere, output);
        } else {
            outcome = CombineFailure(TCause::CannotCreate, output, createError);
        }
        if (created) DeleteFileA(output.c_str());
    }
    outputGuard.Dismiss();

    if (Verdict) Verdict(outcome);
    transfer.ReportEnd();
    return outcome;
}

bool CombineFiles(const std::string& FileName, const std::string& TargetDir, TPlugInProgressProc Progress)
{
    return RunCombine(FileName, TargetDir, Progress, nullptr).Ok();
}
