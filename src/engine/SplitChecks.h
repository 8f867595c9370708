// What a split checks before its first write. A refusal is raised (EFileError or
// EOperationRefused, naming the file at risk; RunSplit makes it its result) and nothing has
// been changed, so the copy never needs to look back. What the checks saw is handed to the copy,
// which holds every name to it.
#pragma once
#include <string>
#include <vector>

#include "Files.h"
#include "SplitJob.h"

// The source must be a file on disk: a directory (which cannot be opened as a file) or a device
// (which can) is refused. A source that could not be opened for any other reason passes here.
void CheckSplitSource(const TInFile& source, const std::string& path);

// A piece of the set a re-split replaces, numbered above the new set's last piece and proven that
// set's own by the checks. Readable is false for one whose checksum could not be read for the
// proof (another program holds it): it is left, and named as left over.
struct TStalePiece {
    std::string Path;
    TFileSeen Seen;
    bool Readable = true;
};

// What the checks saw: at each name the split writes, nothing or the file that stood there (the
// copy creates a name only as it was seen, TOutFile::CreateAsSeen), and the replaced set's pieces
// that go once the new set is complete.
struct TSplitChecked {
    TNameSeen Descriptor;
    TNameSeen List;
    std::vector<TNameSeen> Pieces;  // piece n (from 1) at Pieces[n - 1]
    std::vector<TStalePiece> Stale;
};

// Every name the job will create: each must fit the system's path limit, as typed and as a full
// path; must not be a device or a directory; must not be the source itself (pieces are emptied, so
// the source would be destroyed before it is read); and must not be a link. A split never writes
// through another name: a name where a symbolic link stands, or whose file other names (hard links)
// reach too, is refused here, and each file the copy opens for writing is looked at once more on
// its handle before it is emptied. So two names of one split never reach the same file, and no
// file but the pieces, the list and the descriptor changes.
// A file at the descriptor's name is replaced only when it is a readable descriptor naming this
// same file (the older set of a re-split); a descriptor of another file marks that file's set, whose
// pieces carry the very names this split would write, and anything else there (unreadable, without
// a file name, not a descriptor) is not this split's to replace. A link that leads nowhere counts as
// a link, also where the system hides it from every look-up (Wine does). A file at the list's name
// is replaced only when it is a list of pieces of this file's name alone.
// The set a re-split replaces is known only from this file's own descriptor (its size) and its
// first piece (the piece size): its pieces are BASE.001 to BASE.N, each of the piece size but the
// last. Of those above the new last piece, Stale holds the ones that are provably that set's: a
// file on disk reached by that name alone, of the size its number gives, and where the older list
// lies beside (naming exactly those pieces), of the CRC-32 it records. Nothing else is ever
// removed; where the older set's shape cannot be known, nothing.
TSplitChecked CheckSplitPlan(const TInFile& source, const TSplitJob& job);
