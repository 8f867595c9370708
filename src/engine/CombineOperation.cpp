// The combine: joins the pieces beside a checksum descriptor (or, without one, the pieces alone)
// into the target directory and verifies the result. It never writes outside its target directory,
// never replaces an existing file, and verifies the size as well as the checksum; a piece that is
// a device or a directory is no file and is never read. The output is built under a temporary name and takes its final name
// only when complete and verified, so a file under the final name is never half a file; nothing
// that failed after the temporary file was created leaves it behind.
#include "CombineOperation.h"

#include <windows.h>

#include <memory>
#include <new>
#include <optional>

#include "App.h"
#include "CRC32.h"
#include "CRC32Core.h"
#include "CombineJob.h"
#include "Errors.h"
#include "Files.h"
#include "HostTexts.h"
#include "Par2Repair.h"
#include "PathText.h"
#include "Transfer.h"

namespace {

TOutcome CombineFailure(TCause cause, const std::string& file = std::string(), DWORD code = 0)
{
    return Failed(TOperation::Combine, cause, file, code);
}

// The pieces the list contradicts, the first one the cause's file.
TOutcome DamagedOutcome(const TCombineJob& job, const std::vector<TDamagedPiece>& damaged)
{
    TOutcome outcome = CombineFailure(TCause::PieceDamaged, damaged.front().File);
    outcome.FoundCRC = damaged.front().CRC;
    outcome.ExpectedCRC = damaged.front().RecordedCRC;
    outcome.List = job.List;
    outcome.MoreDamaged.assign(damaged.begin() + 1, damaged.end());
    return outcome;
}

// Appends piece i of the job to the output, read to its end whatever its length: a short read
// marks the end. A piece that is gone, or is no file on disk, is missing; one that holds another
// number of bytes than when the job was made changed meanwhile. A cancel ends the piece early; a
// piece read whole is complete all the same. A piece the list beside contradicts ends a join of
// pieces alone, where the list is all the verification there is; with a checksum file the copy
// goes on and the piece joins damaged, since only the checksum file's check can say whether the
// list or the piece is wrong.
TOutcome AppendPiece(const TCombineJob& job, uint32_t i, TOutFile& out, TTransfer& transfer,
                     std::vector<TDamagedPiece>& damaged)
{
    const std::string path = job.Piece(i);
    TInFile piece;
    if (!piece.Open(path, TInFile::ReadSharedWithWriters)) {
        const DWORD code = piece.Error();
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) return CombineFailure(TCause::PieceMissing, path);
        return CombineFailure(TCause::CannotRead, path, code);
    }
    if (!piece.IsDisk()) return CombineFailure(TCause::PieceNotAFile, path);

    uint64_t read = 0;
    const bool listed = i < job.PieceCRCs.size() && job.PieceCRCs[i].has_value();
    uint32_t crc = 0xFFFFFFFFu;  // of the blocks as they are copied: the piece is read once
    DWORD got = 0;
    do {
        if (!piece.Read(transfer.Buffer(), TransferBlockSize, got))
            return CombineFailure(TCause::CannotRead, path, piece.Error());
        if (!out.WriteAll(transfer.Buffer(), got)) return CombineFailure(TCause::CannotWrite, job.Output, out.Error());
        read += got;
        if (listed) crc = CRC32Update(crc, transfer.Buffer(), got);
        transfer.Moved(got);
    } while (!Cancelled() && got == TransferBlockSize);
    if (Cancelled() && read < job.Sizes[i]) return CombineFailure(TCause::Cancelled);
    if (read == job.Sizes[i]) {
        if (!listed || (crc ^ 0xFFFFFFFFu) == *job.PieceCRCs[i]) return Succeeded(TOperation::Combine);
        damaged.push_back({path, crc ^ 0xFFFFFFFFu, *job.PieceCRCs[i]});
        return job.HasDescriptor() ? Succeeded(TOperation::Combine) : DamagedOutcome(job, damaged);
    }
    TOutcome changed = CombineFailure(TCause::PieceChanged, path);
    changed.FoundSize = read;
    changed.ExpectedSize = job.Sizes[i];
    return changed;
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
            outcome.FoundSize = *fileSize;
            outcome.ExpectedSize = size;
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
            outcome.FoundCRC = *fileCRC;
            outcome.ExpectedCRC = crc;
            return outcome;
        }
        return Succeeded(TOperation::Combine);
    } catch (const std::bad_alloc&) {
        outcome.SystemError = ERROR_NOT_ENOUGH_MEMORY;
        return outcome;
    }
}

// Copies the job's pieces into out, letting messages run after each. A failed piece, or a cancel
// before the last piece was complete, is the result.
TOutcome CopyPieces(const TCombineJob& job, TOutFile& out, TTransfer& transfer, std::vector<TDamagedPiece>& damaged)
{
    for (uint32_t i = 0; i < job.Count(); ++i) {
        const TOutcome copy = AppendPiece(job, i, out, transfer, damaged);
        if (!copy.Ok()) return copy;
        App::ProcessMessages();
        if (Cancelled() && i + 1 < job.Count()) return CombineFailure(TCause::Cancelled);
    }
    return Succeeded(TOperation::Combine);
}

// Damage the plain combine met before its first write that PAR2 recovery files may mend.
bool Repairable(const TCombineJob& job)
{
    const TCause cause = job.Refusal.Cause;
    return cause == TCause::PieceMissing || cause == TCause::PieceDoesNotFit ||
           (job.HasDescriptor() && cause == TCause::SizeMismatch);
}

// Damage the copy or the check found.
bool Damage(const TCombineJob& job, const TOutcome& outcome)
{
    return outcome.Cause == TCause::PieceDamaged || (job.HasDescriptor() && outcome.Cause == TCause::ChecksumMismatch);
}

// The recovery set beside the pieces that describes them or the output, if any.
std::optional<TRepairPlan> FindPlan(const TCombineJob& job)
{
    const TRecoveryFiles files = FindRecoveryFiles(job);
    if (files.Names.empty()) return std::nullopt;
    return PlanRepair(job, files);
}

// The output, built into temp from the pieces as they are.
TOutcome PlainCopy(const TCombineJob& job, TTempOutputFile& temp, TTransfer& transfer,
                   std::vector<TDamagedPiece>& damaged)
{
    TOutcome outcome = CopyPieces(job, temp.File(), transfer, damaged);
    if (!temp.File().Close() && outcome.Ok()) outcome = CombineFailure(TCause::CannotWrite, job.Output, temp.File().Error());
    return outcome;
}

TOutcome Combine(const TCombineJob& job, TPlugInProgressProc Progress, TClosingReport* Closing)
{
    TOutcome outcome = job.Refusal;
    outcome.WithoutDescriptor = !job.HasDescriptor();
    // PAR2 files beside the pieces may mend what the plain combine refuses; without a checksum
    // file they are also the one check of a join that no list verifies.
    std::optional<TRepairPlan> plan;
    if (outcome.Ok() ? !job.HasDescriptor() && !job.ListCoversAll() : Repairable(job)) plan = FindPlan(job);
    if (plan) {
        TOutcome upFront = RefusalUpFront(*plan);
        upFront.WithoutDescriptor = !job.HasDescriptor();
        if (!upFront.Ok()) return upFront;
    }
    if (!outcome.Ok() && !plan) return outcome;

    const TReporter reporter{Progress, hosttext::CombineStatus, job.Output, ExtractFileDir(job.Base),
                             ExtractFileDir(job.Output)};
    auto transfer = std::make_unique<TTransfer>(reporter, plan ? plan->Size : job.Size(), false);
    if (!transfer->Ready()) {
        outcome = CombineFailure(TCause::NoMemory);
        outcome.WithoutDescriptor = !job.HasDescriptor();
        return outcome;
    }

    // Only a file this run creates is ever written or deleted: an existing one is only verified.
    auto temp = std::make_unique<TTempOutputFile>(job.Output);
    const bool created = !job.OutputThere && temp->Create();
    std::vector<TDamagedPiece> damaged;  // pieces the list contradicts, with a checksum file
    std::vector<TRebuiltPiece> rebuilt;
    // A repair that the set does not confirm leaves the combine as it would be without it.
    const auto repair = [&](const TOutcome& plain) {
        const TRepairResult result = RepairCombine(job, *plan, *temp, *transfer, reporter);
        rebuilt = result.Outcome.Done.Rebuilt;
        if (!result.Abandoned) return result.Outcome;
        if (!plain.Ok()) return plain;
        temp = std::make_unique<TTempOutputFile>(job.Output);
        transfer = std::make_unique<TTransfer>(reporter, job.Size(), false);
        if (!transfer->Ready()) return CombineFailure(TCause::NoMemory);
        if (!temp->Create()) return CombineFailure(TCause::CannotCreate, job.Output, temp->Error());
        plan.reset();
        return PlainCopy(job, *temp, *transfer, damaged);
    };
    if (created) {
        outcome = plan ? repair(job.Refusal) : PlainCopy(job, *temp, *transfer, damaged);
    } else if (!job.OutputThere) {
        // A temporary name that no system would take is named itself; otherwise the user knows the
        // final name only.
        const bool tooLong = temp->Error() == ERROR_FILENAME_EXCED_RANGE;
        outcome = CombineFailure(TCause::CannotCreate, tooLong ? temp->FailedPath() : job.Output, temp->Error());
    }

    // The one closing phase of both combines: the check (with a checksum file), the final name.
    const auto check = [&] {
        if (!outcome.Ok() || !job.HasDescriptor()) return;
        outcome = CheckOutput(created ? temp->Path() : job.Output, job.Descriptor.Size, job.Descriptor.CRC);
        if (outcome.File == temp->Path() && created) outcome.File = job.Output;
        if (!outcome.Ok() && !created && outcome.Cause != TCause::CannotRead)
            outcome = CombineFailure(TCause::DifferentFileThere, job.Output);
        // A file the checksum file confirms outvotes the list; one it does not is damaged where
        // the list says so.
        if (!damaged.empty() && outcome.Cause == TCause::ChecksumMismatch) outcome = DamagedOutcome(job, damaged);
    };
    const bool plainCopy = created && !plan;
    check();
    // Damage the copy or the check found is mended, where a recovery set beside allows, and
    // checked again.
    if (plainCopy && Damage(job, outcome) && (plan = FindPlan(job))) {
        const TOutcome plain = outcome;
        outcome = RefusalUpFront(*plan);
        if (outcome.Ok()) {
            temp = std::make_unique<TTempOutputFile>(job.Output);
            transfer = std::make_unique<TTransfer>(reporter, plan->Size, false);
            if (!transfer->Ready()) outcome = CombineFailure(TCause::NoMemory);
            else if (!temp->Create()) outcome = CombineFailure(TCause::CannotCreate, job.Output, temp->Error());
            else outcome = repair(plain);
            if (outcome.Cause == TCause::PieceDamaged) damaged.clear();
            check();
        }
    }
    if (outcome.Ok() && created && !temp->Commit()) {
        if (temp->Error() == ERROR_FILE_EXISTS)
            outcome = CombineFailure(job.HasDescriptor() ? TCause::DifferentFileThere : TCause::OutputThere, job.Output);
        else
            outcome = CombineFailure(TCause::CannotCreate, job.Output, temp->Error());
    }
    temp->Discard();

    outcome.WithoutDescriptor = !job.HasDescriptor();
    if (outcome.Cause != TCause::PieceDamaged && outcome.Cause != TCause::TooLittleRecovery)
        outcome.List = job.ListCoversAll() && damaged.empty() ? job.List : std::string();
    if (outcome.Ok()) {
        outcome.Done.Unverified = !job.HasDescriptor() && !job.ListCoversAll() && !plan;
        // Without a checksum file the recovery set's own checksums verified the join.
        if (plan && !job.HasDescriptor()) outcome.List = plan->Index;
        outcome.Done.ListUnused = job.ListUnused;
        if (!damaged.empty()) outcome.Done.ListMismatch = job.List;
        outcome.Done.Pieces = plan ? static_cast<uint32_t>(plan->Pieces.size()) : job.Count();
        outcome.Done.Joined = plan ? plan->Size : job.Total;
        outcome.Done.Rebuilt = rebuilt;
    }
    outcome.Leftovers = temp->Leftovers();
    transfer->End(Closing, outcome.Cause == TCause::Cancelled);
    return outcome;
}

}  // namespace

TOutcome RunCombine(const TCombineJob& job, TPlugInProgressProc Progress, TClosingReport* Closing)
{
    CancelFlag = 0;
    try {
        return Combine(job, Progress, Closing);
    } catch (const EZandrelError&) {
        return FailedWith(TOperation::Combine, std::current_exception());
    }
}

TOutcome RunCombineFrom(const std::string& FileName, const std::string& TargetDir, TPlugInProgressProc Progress,
                        TClosingReport* Closing)
{
    CancelFlag = 0;
    return RunCombine(MakeCombineJob(FindCombineSource(FileName), TargetDir), Progress, Closing);
}

bool CombineFiles(const std::string& FileName, const std::string& TargetDir, TPlugInProgressProc Progress)
{
    const TOutcome outcome = RunCombineFrom(FileName, TargetDir, Progress, nullptr);
    if (outcome.Cause == TCause::Error) std::rethrow_exception(outcome.Error);
    return outcome.Ok() && !outcome.Done.Unverified;
}
