// What a split checks before its first write. A refused split raises (EFileError or
// EOperationRefused, naming the file at risk) and has changed nothing, so the copy never needs to
// look back.
#pragma once
#include <string>

#include "Files.h"
#include "SplitJob.h"

// The source must be a file on disk: a directory (which cannot be opened as a file) or a device
// (which can) is refused. A source that could not be opened for any other reason passes here.
void CheckSplitSource(const TInFile& source, const std::string& path);

// Every name the job will create: each must fit the system's path limit, must not be a device or
// a directory, and must not be the source itself (pieces are created emptied, so the source would
// be destroyed before it is read). A descriptor already there that names another file marks that
// file's set, whose pieces carry the very names this split would write; a descriptor of this same
// file is the older set of a re-split, which is replaced.
void CheckSplitPlan(const TInFile& source, const TSplitJob& job);
