// One combine, worked out once before anything is written: what was selected, the set of pieces
// that will be joined with their sizes, and the output's name. The combine dialog builds it once
// for its label, its messages and the call; the checks and the copy both read it.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "Descriptor.h"
#include "Outcome.h"
#include "PieceNames.h"

// What a combine of the selected file reads. A selected piece (a name ending in a piece number as
// PieceFileName writes it, or .000) stands for its set: the checksum file beside it (the same path
// with ".crc" in place of the number) when anything stands at that name, otherwise the pieces
// alone. Any other file is read as the checksum file itself.
struct TCombineSource {
    std::string Selected;                  // the file selected, as the caller named it
    std::string Descriptor;                // the checksum file; for pieces alone, the one that is not there
    std::optional<uint32_t> SelectedPiece;  // the number of the selected piece, when a piece was selected
    bool HasDescriptor = true;             // false: the pieces are joined without a checksum file
};
TCombineSource FindCombineSource(const std::string& FileName);

struct TCombineJob {
    TCombineSource Source;
    TDescriptor Descriptor;        // with a checksum file: what it records
    std::string Base;              // the path whose extension the piece numbers replace
    uint32_t First = 1;            // the number of the first piece: 1, or 0 for a set that starts at .000
    std::vector<uint64_t> Sizes;   // the sizes of the pieces First, First + 1, ... that are joined
    uint64_t Total = 0;            // the bytes they hold
    std::string Output;            // the final name in the target directory
    bool OutputThere = false;      // with a checksum file: a file of that name is only verified
    TOutcome Refusal;              // a reason the set cannot be joined, found before anything is written
    // The checksum list (.sfv) beside the pieces, when it lists any of them: its name, and the
    // CRC-32 it records for each piece joined (none for a piece it does not list).
    std::string List;
    std::vector<std::optional<uint32_t>> PieceCRCs;
    std::string ListUnused;        // without a checksum file: why a list beside the pieces is not used

    bool HasDescriptor() const { return Source.HasDescriptor; }
    uint32_t Count() const { return static_cast<uint32_t>(Sizes.size()); }
    std::string Piece(uint32_t i) const { return PieceFileName(Base, First + i); }  // i from 0
    // The size the copy is measured against: the recorded one, or what the pieces hold.
    uint64_t Size() const { return HasDescriptor() ? Descriptor.Size : Total; }
    // Every piece joined has its checksum in the list.
    bool ListCoversAll() const
    {
        for (const auto& crc : PieceCRCs)
            if (!crc) return false;
        return !PieceCRCs.empty();
    }
};

// The job of a combine of source into TargetDir. Whatever the combine refuses before anything is
// written is the job's Refusal: a set that cannot be joined (a piece missing, not a file, a link
// that leads nowhere, of a size that does not fit the set, an output already there) with its
// cause, and with the cause Error what the checks refuse in their own words (EOperationRefused: a
// file that is no checksum file, a checksum file that names a file outside the target, a device or
// a name the system would change, a split that did not finish, a checksum file name that is a
// directory or a link that leads nowhere) and the descriptor reader's errors.
TCombineJob MakeCombineJob(const TCombineSource& source, const std::string& TargetDir);
