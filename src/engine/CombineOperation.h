// The combine: the pieces beside a checksum file (or the pieces alone) joined into the target
// directory and verified.
#pragma once
#include <string>

#include "CombineJob.h"
#include "Operations.h"
#include "ProgressProc.h"

// Runs the combine that job describes (CombineJob.h): a job with a Refusal ends at once with it,
// nothing created and no progress call. Otherwise as below. Every path through the closing phase
// (after the check, and after the removal of an output that failed it) ends with the closing
// progress call, or with Closing holding it for the caller where Closing is given; a combine that
// ends with Error, finds no memory for its buffer or ends before anything is written makes none.
TOutcome RunCombine(const TCombineJob& job, TPlugInProgressProc Progress, TClosingReport* Closing = nullptr);
// Joins the pieces of FileName's set (see TCombineSource) into TargetDir. With a checksum file the
// result is verified and succeeds only when it has the recorded size and checksum; without one the
// pieces BASE.001, BASE.002, ... (from BASE.000 where a splitter that counts from zero left one)
// are joined under the base name when they form one set (one run of numbers, every piece but the
// last of one size), and a complete join succeeds with Done.Unverified set. The output is
// built under a temporary name beside its final name (the final name followed by ".part", ".part2",
// ...) and takes its final name only once complete (and verified), never replacing a file; the
// temporary file never survives the combine. A file of the final name that is already there is only
// verified (or, without a checksum file, left alone: OutputThere). Ends with Error carrying the
// descriptor reader's errors, or EOperationRefused for a chosen file that is not a checksum file,
// a checksum file naming a file outside the target directory, a device or a name the system would
// change, or written by a split that did not finish; nothing is created then. Temporary files of earlier
// runs in the way are named in the outcome's Leftovers and never touched.
TOutcome RunCombineFrom(const std::string& FileName, const std::string& TargetDir, TPlugInProgressProc Progress,
                        TClosingReport* Closing = nullptr);
// True only for a successful and verified RunCombineFrom (a join without a checksum file gives false
// even when complete, since nothing confirmed it); raises the error of one that ended with Error.
bool CombineFiles(const std::string& FileName, const std::string& TargetDir, TPlugInProgressProc Progress);
