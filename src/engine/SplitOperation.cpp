// The split; the combine is in CombineOperation.cpp, what both share in Operations.cpp.
//
// Both operations copy through one transfer buffer of TransferBlockSize bytes, report after every
// block, let the thread's messages run between blocks (at most once per clock tick, see
// App::TBlockPump) and after every piece, so the host stays live and can set CancelFlag. The
// checksum passes and the split's checks over its names let them run the same way. How they end
// is the result, refusals included (Operations.h).
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
// - never through another name: a link at a name the split writes (a symbolic link, or a file that
//   other names reach too) refuses the split before its first write, and every piece and the
//   descriptor is looked at on its handle (a file on disk, not the source, reached by its name
//   alone) before an existing file is emptied;
// - a source that another program holds open for writing is described by the bytes copied;
// - from before the first piece until the last one the descriptor's name holds an unfinished
//   descriptor (FormatUnfinishedDescriptor), so that a split killed midway is never taken for a
//   set; a failure or cancel the split sees removes it, so a failed split leaves no descriptor;
// - never over a name that changed after the checks: a name free then is created only where still
//   nothing is, a file seen there is emptied only while it is that very file (TOutFile::CreateAsSeen);
// - a re-split over this file's own set removes that set's proven pieces above its own last piece
//   (SplitChecks.h) once the new set is complete, and only while they are the files the checks saw;
//   a failure or a cancel removes none.
#include "SplitOperation.h"

#include <windows.h>

#include <memory>
#include <new>
#include <optional>

#include "App.h"
#include "CRC32.h"
#include "CRC32Core.h"
#include "DescriptorFile.h"
#include "Errors.h"
#include "Files.h"
#include "HostTexts.h"
#include "PathText.h"
#include "PieceNames.h"
#include "Progress.h"
#include "Sfv.h"
#include "SplitChecks.h"
#include "SplitJob.h"
#include "SysError.h"
#include "Transfer.h"

namespace {

TOutcome SplitFailure(TCause cause, const std::string& file = std::string(), DWORD code = 0)
{
    return Failed(TOperation::Split, cause, file, code);
}

// A file that stands for an unfinished split (the unfinished descriptor written before the first
// piece, the list written before the real descriptor): removed on every path but the one that
// finished the split, and only while it is still the file the split wrote.
class TUnfinishedMark {
public:
    TUnfinishedMark(const std::string& path, const TFileSeen& written) : path_(path), written_(written) {}
    ~TUnfinishedMark()
    {
        DWORD ignored = ERROR_SUCCESS;
        if (!kept_) RemoveSeenFile(path_, written_, ignored);
    }
    TUnfinishedMark(const TUnfinishedMark&) = delete;
    TUnfinishedMark& operator=(const TUnfinishedMark&) = delete;
    void Keep() { kept_ = true; }

private:
    std::string path_;
    TFileSeen written_;
    bool kept_ = false;
};

// Writes one of the split's text files at a name as the checks saw it. A file that another
// program made there meanwhile is an outcome naming it; any other failure raises "Cannot create
// file", as a descriptor that cannot be created always has.
TOutcome WriteSplitText(const std::string& path, const std::string& text, const TInFile& source,
                        const TNameSeen& seen, TFileSeen& written)
{
    DWORD error = ERROR_SUCCESS;
    const std::optional<TFileSeen> file = WriteSplitTextFile(path, text, source, seen, error);
    if (file) {
        written = *file;
        return Succeeded(TOperation::Split);
    }
    if (error == ERROR_FILE_EXISTS) return SplitFailure(TCause::MadeMeanwhile, path);
    throw EFileError("Cannot create file \"" + path + "\". " + SysErrorMessage(error));
}

// Copies piece n of the job from the source into a new (or emptied) piece file, block by block.
// A cancel ends the piece early and is no failure here: the caller looks at the flag.
TOutcome CopyPiece(TInFile& source, const TSplitJob& job, const TSplitChecked& checked, uint32_t n, TTransfer& transfer,
                   uint32_t& crc)
{
    // The piece's own checksum, for the list, of the very blocks written: no byte is read twice.
    uint32_t pieceCrc = 0xFFFFFFFFu;
    const std::string& path = job.Piece(n);
    TOutFile piece;
    if (!piece.CreateAsSeen(path, checked.Pieces[n - 1], &source)) {
        if (piece.Error() == ERROR_FILE_EXISTS) return SplitFailure(TCause::MadeMeanwhile, path);
        return SplitFailure(TCause::CannotCreate, path, piece.Error());
    }

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
        pieceCrc = CRC32Update(pieceCrc, transfer.Buffer(), got);
        transfer.Moved(got);
        pieceDone += got;
    } while (!Cancelled() && pieceDone < thisPiece);

    // Data that a close cannot commit is data lost: a failed close fails the piece.
    if (!piece.Close()) return SplitFailure(TCause::CannotWrite, path, piece.Error());
    crc = pieceCrc ^ 0xFFFFFFFFu;
    return Succeeded(TOperation::Split);
}

// The checksum the descriptor records. Normally the file's own, read once more from disk, which
// must agree with the bytes copied. A source that another program holds open for writing cannot
// be read again (the checksum shares reads only); when nothing but sharing stands in the way and
// the size is unchanged, the checksum of the bytes copied describes exactly what the pieces hold.
TOutcome DescribedChecksum(TInFile& source, const TSplitJob& job, uint32_t copied, uint32_t& crc)
{
    unsigned long error = ERROR_SUCCESS;
    // The pass over the whole source lets messages run like the copy, and a cancel ends it.
    App::TBlockPump pump;
    const std::optional<uint32_t> fileCRC = CalcFileCRC32(job.Source, &error, [&pump] {
        pump.AfterBlock();
        return !Cancelled();
    });
    if (Cancelled()) return SplitFailure(TCause::Cancelled);
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

// Removes the replaced set's pieces above the new last piece, now that the new set is complete,
// each only while it is still the file the checks saw. Those that stay (one whose checksum could
// not be read for its proof, one held open or read-only) are returned; one changed or gone since
// the checks is no longer that set's, and is not named.
std::vector<std::string> RemoveStalePieces(const std::vector<TStalePiece>& stale)
{
    std::vector<std::string> left;
    for (const TStalePiece& piece : stale) {
        DWORD error = ERROR_SUCCESS;
        if (!piece.Readable) left.push_back(piece.Path);
        else if (!RemoveSeenFile(piece.Path, piece.Seen, error) && error != ERROR_FILE_NOT_FOUND &&
                 error != ERROR_FILE_EXISTS)
            left.push_back(piece.Path);
    }
    return left;
}


TOutcome Split(const std::string& FileName, const std::string& TargetDir, uint32_t PieceSize,
               TPlugInProgressProc Progress, TClosingReport* Closing)
{
    TInFile source;
    const bool opened = source.Open(FileName, TInFile::ReadSharedWithWriters);
    CheckSplitSource(source, FileName);
    if (!opened) return SplitFailure(TCause::CannotOpen, FileName, source.Error());

    const std::optional<uint64_t> size = source.Size();
    if (!size) return SplitFailure(TCause::CannotRead, FileName, source.Error());

    const TPiecePlan plan{*size, PieceSize};
    if (!plan.Accepted()) {
        TOutcome outcome = SplitFailure(TCause::TooManyPieces);
        outcome.FoundSize = *size;
        outcome.PieceSize = PieceSize;
        return outcome;
    }

    const TSplitJob job = MakeSplitJob(FileName, TargetDir, plan);
    // The pieces' directory is the descriptor's too: the closing report names the same one.
    TTransfer transfer(
        {Progress, hosttext::SplitStatus, FileName, ExtractFileDir(FileName), ExtractFileDir(job.Base)}, *size, true);
    if (!transfer.Ready()) return SplitFailure(TCause::NoMemory);
    const TSplitChecked checked = CheckSplitPlan(source, job);

    // Until the last piece is written the descriptor's name holds what says so: a split that is
    // killed (or loses its power) midway leaves a set that no combine takes for a whole one. A
    // failure or a cancel that the split sees removes it again, so that it leaves no descriptor.
    // The replaced set's other files stay until the new set is complete.
    TFileSeen unfinished;
    const TOutcome marked = WriteSplitText(job.Descriptor, FormatUnfinishedDescriptor(job.SourceName), source,
                                           checked.Descriptor, unfinished);
    if (!marked.Ok()) return marked;
    TUnfinishedMark mark(job.Descriptor, unfinished);

    std::vector<TSfvEntry> list;
    list.reserve(job.Count());

    for (uint32_t n = 1; n <= job.Count(); ++n) {
        uint32_t pieceCrc = 0;
        const TOutcome piece = CopyPiece(source, job, checked, n, transfer, pieceCrc);
        if (!piece.Ok()) return piece;
        list.push_back({ExtractFileName(job.Piece(n)), pieceCrc});
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
    // A cancel that arrived during the checksum pass still leaves no descriptor.
    App::ProcessMessages();
    if (Cancelled()) return SplitFailure(TCause::Cancelled);

    // The list before the descriptor: until the descriptor is there, the set is unfinished. A file
    // another program made at the list's name meanwhile is left as it is, and the set goes without
    // a list: the descriptor alone verifies it.
    TOutcome done = Succeeded(TOperation::Split);
    TFileSeen listWritten;
    const TOutcome listed = WriteSplitText(job.List, FormatSfv("zandrel.pdl: the pieces of " + job.SourceName, list),
                                           source, checked.List, listWritten);
    std::optional<TUnfinishedMark> listMark;
    if (listed.Ok()) listMark.emplace(job.List, listWritten);
    else done.Done.ListSkipped = FailureText(listed);
    // Over the unfinished descriptor, while it is still the one this split wrote.
    TFileSeen descriptor;
    const TOutcome finished = WriteSplitText(job.Descriptor, FormatDescriptor(job.SourceName, *size, crc), source,
                                             TNameSeen(unfinished), descriptor);
    if (!finished.Ok()) return finished;
    if (listMark) listMark->Keep();
    mark.Keep();
    done.Leftovers = RemoveStalePieces(checked.Stale);
    transfer.End(Closing);
    return done;
}

}  // namespace

TOutcome RunSplit(const std::string& FileName, const std::string& TargetDir, uint32_t PieceSize,
                  TPlugInProgressProc Progress, TClosingReport* Closing)
{
    CancelFlag = 0;
    try {
        return Split(FileName, TargetDir, PieceSize, Progress, Closing);
    } catch (const EZandrelError&) {
        // A refusal of the checks, or a checksum file that cannot be created: the marks have
        // removed what this split wrote by the time it is the result.
        return FailedWith(TOperation::Split, std::current_exception());
    }
}

bool SplitFile(const std::string& FileName, const std::string& TargetDir, uint32_t PieceSize,
               TPlugInProgressProc Progress)
{
    const TOutcome outcome = RunSplit(FileName, TargetDir, PieceSize, Progress);
    if (outcome.Cause == TCause::Error) std::rethrow_exception(outcome.Error);
    return outcome.Ok();
}
