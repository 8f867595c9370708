// What a split checks before its first write. A refused split raises (EFileError or
// EOperationRefused, naming the file at risk) and has changed nothing, so the copy never needs to
// look back.
#pragma once
#include <string>
#include <vector>

#include "Files.h"
#include "SplitJob.h"

// The source must be a file on disk: a directory (which cannot be opened as a file) or a device
// (which can) is refused. A source that could not be opened for any other reason passes here.
void CheckSplitSource(const TInFile& source, const std::string& path);

// Every name the job will create: each must fit the system's path limit, as typed and as a full
// path; must not be a device or a directory; must not be the source itself (pieces are emptied, so
// the source would be destroyed before it is read); and must not be a link. A split never writes
// through another name: a name where a symbolic link stands, or whose file other names (hard links)
// reach too, is refused here, and each file the copy opens for writing is looked at once more on
// its handle before it is emptied (TOutFile::ReplaceExclusive). So two names of one split never
// reach the same file, and no file but the pieces and the descriptor changes.
// A file at the descriptor's name is replaced only when it is a readable descriptor naming this
// same file (the older set of a re-split); a descriptor of another file marks that file's set, whose
// pieces carry the very names this split would write, and anything else there (unreadable, without
// a file name, not a descriptor) is not this split's to replace. A link that leads nowhere counts as
// a link, also where the system hides it from every look-up (Wine does).
// Returns the pieces of the set this split replaces that are numbered above its own last piece,
// which it removes so that no stale piece stays beside the new set: found only where this file's
// own descriptor is replaced, and each checked like a name the split writes (a file on disk that
// this name alone reaches, not the source), refused otherwise.
std::vector<std::string> CheckSplitPlan(const TInFile& source, const TSplitJob& job);
