// The split and combine operations and the cancel flag that the host sets through progress calls.
//
// One rule for failures, in both operations:
// - What happened is returned as a TOutcome (Outcome.h): success, a cancel, or a failure with its
//   cause, the file concerned and, where they belong to the cause, the system's error code and
//   the numbers involved. Expected failures (a file that cannot be opened, created, read or
//   written, a full disk, a source that changed, a failed check) are outcomes, never exceptions;
//   pieces already written stay on disk.
// - Raised are only the errors that callers have always seen raised, each derived from
//   EZandrelError (Errors.h) and carrying the text a user sees: the descriptor layer's (a checksum
//   file that cannot be read or created, a size that is not a number) and the refusals before the
//   first write. Nothing is created when a refusal is raised.
// - The engine shows no message: its callers turn outcomes into what the user sees.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "CombineJob.h"
#include "Outcome.h"
#include "ProgressProc.h"

// Zero at load; cleared at the start of every operation; only the host makes it non-zero.
extern volatile uint8_t CancelFlag;

// Transfer buffer size of both operations.
constexpr uint32_t TransferBlockSize = 131072;

// Cuts FileName into pieces of PieceSize bytes in TargetDir, then writes the descriptor.
// Succeeds only when every piece and the descriptor were written and nothing cancelled.
// Sources of any size are taken that fit in 1000 pieces (size / PieceSize at most 999); a larger
// one ends with TooManyPieces and nothing created. Raises EFileError when the descriptor cannot be
// created or a name the split would write is refused before the first write (the source itself,
// a device or directory, a link, a name too long), and EOperationRefused for a source that is not
// a file on disk or a file at the descriptor's name that is not a readable descriptor of this
// same file; nothing is created in those cases (SplitChecks.h). A piece or descriptor name that
// another program took after the checks ends it with MadeMeanwhile; a list name taken so leaves
// the set without a list (ListSkipped says why). A success names in Leftovers the replaced set's
// pieces it could not remove.
TOutcome RunSplit(const std::string& FileName, const std::string& TargetDir, uint32_t PieceSize,
                  TPlugInProgressProc Progress);
// True only for a successful RunSplit.
bool SplitFile(const std::string& FileName, const std::string& TargetDir, uint32_t PieceSize,
               TPlugInProgressProc Progress);

// Hears the combine's verdict in its closing phase: after the check, and after the removal of an
// output that failed it, before the closing progress call. Called once on every path that reaches
// the closing phase; not when the combine raises, finds no memory for its buffer, or (joining
// pieces without a checksum file) ends before anything is written: the outcome is then only
// returned, and no progress call is made.
using TCombineVerdict = std::function<void(const TOutcome&)>;

// Runs the combine that job describes (CombineJob.h): a job with a Refusal ends at once with it,
// nothing created and no progress call. Otherwise as below.
TOutcome RunCombine(const TCombineJob& job, TPlugInProgressProc Progress, const TCombineVerdict& Verdict);
// Joins the pieces of FileName's set (see TCombineSource) into TargetDir. With a checksum file the
// result is verified and succeeds only when it has the recorded size and checksum; without one the
// pieces BASE.001, BASE.002, ... (from BASE.000 where a splitter that counts from zero left one)
// are joined under the base name when they form one set (one run of numbers, every piece but the
// last of one size), and a complete join succeeds with Unverified set. The output is
// built under a temporary name beside its final name (the final name followed by ".part", ".part2",
// ...) and takes its final name only once complete (and verified), never replacing a file; the
// temporary file never survives the combine. A file of the final name that is already there is only
// verified (or, without a checksum file, left alone: OutputThere). Raises the descriptor reader's
// errors, and EOperationRefused for a chosen file that is not a checksum file, or a checksum file
// naming a file outside the target directory, a device or a name the system would change, or
// written by a split that did not finish; nothing is created then. Temporary files of earlier
// runs in the way are named in the outcome's Leftovers and never touched.
TOutcome RunCombine(const std::string& FileName, const std::string& TargetDir, TPlugInProgressProc Progress,
                    const TCombineVerdict& Verdict);
// True only for a successful and verified RunCombine (a join without a checksum file gives false
// even when complete, since nothing confirmed it); hears no verdict.
bool CombineFiles(const std::string& FileName, const std::string& TargetDir, TPlugInProgressProc Progress);

// FailureText (Outcome.h) with the system's description of the outcome's error code.
std::string FailureText(const TOutcome& outcome);
