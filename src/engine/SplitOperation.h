// The split: a file cut into numbered pieces beside its checksum list and descriptor.
#pragma once
#include <cstdint>
#include <string>

#include "Operations.h"
#include "ProgressProc.h"

// Cuts FileName into pieces of PieceSize bytes in TargetDir, then writes the descriptor.
// Succeeds only when every piece and the descriptor were written and nothing cancelled.
// Sources of any size are taken that fit in 1000 pieces (size / PieceSize at most 999); a larger
// one ends with TooManyPieces and nothing created. Ends with Error carrying EFileError when the
// descriptor or list cannot be created or a name the split would write is refused before the
// first write (the source itself, a device or directory, a link, a name too long), and
// EOperationRefused for a source that is not a file on disk or a file at the descriptor's name
// that is not a readable descriptor of this same file; nothing is created in those cases
// (SplitChecks.h). A piece or descriptor name that another program took after the checks ends it
// with MadeMeanwhile; a list name taken so leaves the set without a list (Done.ListSkipped says
// why). A success names in Leftovers the replaced set's pieces it could not remove.
// A split that succeeds ends with the closing progress call, or with Closing holding it for the
// caller where Closing is given.
TOutcome RunSplit(const std::string& FileName, const std::string& TargetDir, uint32_t PieceSize,
                  TPlugInProgressProc Progress, TClosingReport* Closing = nullptr);
// True only for a successful RunSplit; raises the error of a RunSplit that ended with Error.
bool SplitFile(const std::string& FileName, const std::string& TargetDir, uint32_t PieceSize,
               TPlugInProgressProc Progress);
