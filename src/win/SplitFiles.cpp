// The split and combine operations.
//
// Both copy through one transfer buffer of TransferBlockSize bytes, report after every block, let
// the thread's messages run between blocks (at most once per clock tick, see App::TBlockPump) and
// after every piece, so the host stays live and can set CancelFlag. How they end is an outcome;
// only the errors of the text-file layer and the refusals before the first write are raised.
//
// Guards beyond the plain copy, all aimed at never losing or silently corrupting data:
// - sizes, positions and totals are 64-bit throughout, so a 4 GB + 100 byte file is never mistaken
//   for a 100-byte one and no count wraps around;
// - every loop makes progress or ends: a source that delivers nothing before its size is reached
//   ends the split;
// - the split writes a descriptor only when the bytes in the pieces are the bytes the checksum
//   describes (a source changed during the split ends it without one);
// - a failed close of a piece or of the output counts as a failed write;
// - before its first write a split checks every name it will create (SplitChecks.h): it never
//   writes over its own source, over another file's set, onto a device or a directory, nor starts
//   with names the system cannot create; the source itself must be a file on disk;
// - a source that another program holds open for writing is described by the bytes copied;
// - the combine never writes outside its target directory, never replaces an existing file, and
//   verifies the size as well as the checksum; a piece that is a device counts as missing, and
//   nothing raised after the output was created leaves it behind.
#include "SplitFiles.h"

#include <windows.h>

#include <memory>
#include <new>

#include "App.h"
#include "CRC32.h"
#include "CRC32Core.h"
#include "CharText.h"
#include "DescriptorFile.h"
#include "Errors.h"
#include "Files.h"
#include "PathText.h"
#include "PieceNames.h"
#include "Progress.h"
#include "SplitChecks.h"
#include "SplitJob.h"
#include "SysError.h"

volatile uint8_t CancelFlag = 0;

namespace {

const char SplitStatus[] = "Spliting...";
const char CombineStatus[] = "Combining...";

bool Cancelled() { return CancelFlag != 0; }

TOutcome SplitFailure(TCause cause, const std::string& file = std::string(), DWORD code = 0)
{
    return Failed(TOperation::Split, cause, file, code);
}

TOutcome CombineFailure(TCause cause, const std::string& file = std::string(), DWORD code = 0)
{
    return Failed(TOperation::Combine, cause, file, code);
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

// What a copy carries from block to block: the one transfer buffer, the bytes moved so far against
// the operation's size, the running checksum of those bytes (when asked for), and the progress
// report and message pump that follow every block.
class TTransfer {
public:
    TTransfer(const TReporter& reporter, uint64_t size, bool checksum)
        : buffer_(new (std::nothrow) unsigned char[TransferBlockSize]), reporter_(reporter), size_(size),
          checksum_(checksum)
    {
    }
    // False when memory is short: the operation ends before it creates anything.
    bool Ready() const { return buffer_ != nullptr; }
    unsigned char* Buffer() { return buffer_.get(); }
    uint64_t Done() const { return done_; }
    uint32_t Checksum() const { return crc_ ^ 0xFFFFFFFFu; }

    // After got bytes of the buffer went out: count them, report the block, let messages run.
    void Moved(DWORD got)
    {
        if (checksum_) crc_ = CRC32Update(crc_, buffer_.get(), got);
        done_ += got;
        reporter_.Report(BlockPercent(done_, size_));
        pump_.AfterBlock();
    }
    // The closing report: its percent may say 100.
    void ReportEnd() const { reporter_.Report(ProgressPercent(done_, size_)); }

private:
    std::unique_ptr<unsigned char[]> buffer_;
    TReporter reporter_;
    uint64_t size_;
    bool checksum_;
    uint64_t done_ = 0;
    uint32_t crc_ = 0xFFFFFFFFu;
    App::TBlockPump pump_;
};

// ---- Split ----

// Copies piece n of the job from the source into a new (or emptied) piece file, block by block.
// A cancel ends the piece early and is no failure here: the caller looks at the flag.
TOutcome CopyPiece(TInFile& source, const TSplitJob& job, uint32_t n, TTransfer& transfer)
{
    const std::string& path = job.Piece(n);
    TOutFile piece;
    if (!piece.Create(path, TOutFile::CreateAlwaysExclusive))
        return SplitFailure(TCause::CannotCreate, path, piece.Error());

    const uint32_t thisPiece = job.Plan.Length(n);
    const uint32_t block = job.Plan.PieceSize < TransferBlockSize ? job.Plan.PieceSize : TransferBlockSize;
    uint32_t pieceDone = 0;
    do {
        // Never past this piece: on the last piece that is the size taken at the start, so a
        // source that grows meanwhile cannot push bytes beyond it.
        const uint32_t left = thisPiece - pieceDone;
        const DWORD want = left < block ? left : block;
        DWORD got = 0;
        if (!source.Read(transfer.Buffer(), want, got)) return SplitFailure(TCause::CannotRead, job.Source, source.Error());
        // A source that ends before the size taken at the start would never fill this piece.
        if (got == 0 && want != 0) return SplitFailure(TCause::SourceChanged);
        if (!piece.WriteAll(transfer.Buffer(), got)) return SplitFailure(TCause::CannotWrite, path, piece.Error());
        transfer.Moved(got);
        pieceDone += got;
    } while (!Cancelled() && pieceDone < thisPiece);

    // Data that a close cannot commit is data lost: a failed close fails the piece.
    if (!piece.Close()) return SplitFailure(TCause::CannotWrite, path, piece.Error());
    return Succeeded(TOperation::Split);
}

// The checksum the descriptor records. Normally the file's own, read once more from disk, which
// must agree with the bytes copied. A source that another program holds open for writing cannot
// be read again (the checksum shares reads only); when nothing but sharing stands in the way and
// the size is unchanged, the checksum of the bytes copied describes exactly what the pieces hold.
TOutcome DescribedChecksum(TInFile& source, const TSplitJob& job, uint32_t copied, uint32_t& crc)
{
    unsigned long error = ERROR_SUCCESS;
    const std::optional<uint32_t> fileCRC = CalcFileCRC32(job.Source, &error);
    if (fileCRC && *fileCRC != copied) return SplitFailure(TCause::SourceChanged);
    const std::optional<uint64_t> sizeNow = source.Size();
    if (!sizeNow) return SplitFailure(TCause::CannotRead, job.Source, source.Error());
    if (*sizeNow != job.Plan.Size) return SplitFailure(TCause::SourceChanged);
    if (!fileCRC) {
        // Asked again the way the checksum asks: only a sharing refusal lets the copy stand in.
        TInFile again;
        if (again.Open(job.Source, TInFile::ReadSharedWithReaders) || again.Error() != ERROR_SHARING_VIOLATION)
            return SplitFailure(TCause::CannotRead, job.Source, again.IsOpen() ? error : again.Error());
    }
    crc = fileCRC ? *fileCRC : copied;
    return Succeeded(TOperation::Split);
}

// ---- Combine ----

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
            outcome.SysError = GetLastError();
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
        const std::optional<uint32_t> fileCRC = CalcFileCRC32(path, &error);
        if (!fileCRC) {
            outcome.SysError = error;
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
        outcome.SysError = ERROR_NOT_ENOUGH_MEMORY;
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

TOutcome RunSplit(const std::string& FileName, const std::string& TargetDir, uint32_t PieceSize,
                  TPlugInProgressProc Progress)
{
    CancelFlag = 0;

    TInFile source;
    const bool opened = source.Open(FileName, TInFile::ReadSharedWithWriters);
    CheckSplitSource(source, FileName);
    if (!opened) return SplitFailure(TCause::CannotOpen, FileName, source.Error());

    const std::optional<uint64_t> size = source.Size();
    if (!size) return SplitFailure(TCause::CannotRead, FileName, source.Error());

    const TPiecePlan plan{*size, PieceSize};
    if (!plan.Accepted()) {
        TOutcome outcome = SplitFailure(TCause::TooManyPieces);
        outcome.Size = *size;
        outcome.PieceSize = PieceSize;
        return outcome;
    }

    const TSplitJob job = MakeSplitJob(FileName, TargetDir, plan);
    // The pieces' directory is the descriptor's too: the closing report names the same one.
    TTransfer transfer({Progress, SplitStatus, FileName, ExtractFileDir(FileName), ExtractFileDir(job.Base)}, *size,
                       true);
    if (!transfer.Ready()) return SplitFailure(TCause::NoMemory);
    CheckSplitPlan(source, job);

    for (uint32_t n = 1; n <= job.Count(); ++n) {
        const TOutcome piece = CopyPiece(source, job, n, transfer);
        if (!piece.Ok()) return piece;
        App::ProcessMessages();
        if (Cancelled()) break;
    }

    App::ProcessMessages();
    if (Cancelled()) return SplitFailure(TCause::Cancelled);

    // The checksum must describe the bytes now in the pieces. A source written to or resized
    // during the split fails here instead of leaving a descriptor that no combine could satisfy.
    uint32_t crc = 0;
    const TOutcome described = DescribedChecksum(source, job, transfer.Checksum(), crc);
    if (!described.Ok()) return described;

    WriteDescriptorFile(job.Descriptor, job.SourceName, *size, crc);
    transfer.ReportEnd();
    return Succeeded(TOperation::Split);
}

bool SplitFile(const std::string& FileName, const std::string& TargetDir, uint32_t PieceSize,
               TPlugInProgressProc Progress)
{
    return RunSplit(FileName, TargetDir, PieceSize, Progress).Ok();
}

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

std::string FailureText(const TOutcome& outcome)
{
    return FailureText(outcome, outcome.SysError != 0 ? SysErrorMessage(outcome.SysError) : std::string());
}
