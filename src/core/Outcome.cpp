#include "Outcome.h"

#include <cstdio>
#include <stdexcept>
#include <utility>

#include "PiecePlan.h"

TOutcome Succeeded(TOperation operation)
{
    TOutcome outcome;
    outcome.Operation = operation;
    return outcome;
}

TOutcome Failed(TOperation operation, TCause cause, const std::string& file, uint32_t sysError)
{
    TOutcome outcome;
    outcome.Operation = operation;
    outcome.Cause = cause;
    outcome.File = file;
    outcome.SystemError = sysError;
    return outcome;
}

TOutcome FailedWith(TOperation operation, std::exception_ptr error)
{
    TOutcome outcome = Failed(operation, TCause::Error);
    outcome.Error = std::move(error);
    return outcome;
}

uint64_t SmallestPieceSize(uint64_t size) { return size / MaxPieceCount + 1; }

namespace {

// Always eight upper-case digits, so that two checksums line up digit by digit.
std::string Hex8(uint32_t value)
{
    char text[9];
    std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(value));
    return text;
}

std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

std::string Damaged(const std::string& piece, uint32_t crc, uint32_t recorded, const std::string& list)
{
    return "Piece " + Quoted(piece) + " is damaged: its CRC-32 is " + Hex8(crc) + "; " + list + " records " +
           Hex8(recorded) + ".";
}

}  // namespace

std::string ByteCount(uint64_t n) { return std::to_string(n) + (n == 1 ? " byte" : " bytes"); }

std::string ListMismatchText(const std::string& list)
{
    return "The checksum list " + list + " beside the pieces does not match this set; it was not used.";
}

std::string RebuiltText(const TRebuiltPiece& piece)
{
    return "Piece " + Quoted(piece.File) + (piece.Missing ? " was missing" : " was damaged") + "; it was rebuilt from " +
           piece.From + ".";
}

std::string FailureText(const TOutcome& o, const std::string& systemText)
{
    const bool split = o.Operation == TOperation::Split;
    switch (o.Cause) {
    case TCause::None: return std::string();
    case TCause::Cancelled:
        return split ? "The split was cancelled before every piece was written."
                     : "The combine was cancelled before the file was complete.";
    case TCause::NoMemory: return "There is not enough memory for the transfer buffer.";
    case TCause::TooManyPieces:
        // The rule as the plan applies it: the size divided by the piece size is at most 999.
        return "Pieces of " + ByteCount(o.PieceSize) + " are too small for a file of " + ByteCount(o.FoundSize) +
               ": a split takes only a file smaller than " + std::to_string(MaxPieceCount) + " pieces, at most " +
               std::to_string(MaxPieceCount - 1) + " whole pieces and a shorter last one. Choose pieces of at least " +
               ByteCount(SmallestPieceSize(o.FoundSize)) + ".";
    case TCause::CannotOpen: return "Cannot open file " + Quoted(o.File) + ". " + systemText;
    case TCause::CannotRead: return "Cannot read file " + Quoted(o.File) + ". " + systemText;
    case TCause::CannotCreate: return "Cannot create file " + Quoted(o.File) + ". " + systemText;
    case TCause::CannotWrite: return "Cannot write file " + Quoted(o.File) + ". " + systemText;
    case TCause::SourceChanged: return "The file changed while it was being split.";
    case TCause::MadeMeanwhile:
        return "Another program made the file " + Quoted(o.File) + " while the split ran; it was left as it is.";
    case TCause::PieceMissing: return "Piece " + Quoted(o.File) + " is missing.";
    case TCause::DifferentFileThere:
        return "A different file " + Quoted(o.File) + " is already there; it was left as it is.";
    case TCause::OutputThere: return "A file " + Quoted(o.File) + " is already there; it was left as it is.";
    case TCause::SizeMismatch:
        return "The pieces hold " + ByteCount(o.FoundSize) + "; the checksum file records " +
               std::to_string(o.ExpectedSize) + ".";
    case TCause::PieceNotAFile: return "Piece " + Quoted(o.File) + " is not a file.";
    case TCause::PieceIsLink: return "Piece " + Quoted(o.File) + " is a link that leads nowhere.";
    case TCause::PieceDoesNotFit:
        return "Piece " + Quoted(o.File) + " holds " + ByteCount(o.FoundSize) + ", not " +
               std::to_string(o.ExpectedSize) +
               " like the other pieces of the set: only the last piece may differ. Nothing was combined.";
    case TCause::PieceChanged:
        return "Piece " + Quoted(o.File) + " changed while it was being joined: it held " +
               ByteCount(o.ExpectedSize) + " when the combine began, " + std::to_string(o.FoundSize) + " now.";
    case TCause::PieceDamaged: {
        std::string text = Damaged(o.File, o.FoundCRC, o.ExpectedCRC, o.List);
        for (const TDamagedPiece& more : o.MoreDamaged)
            text += " " + Damaged(more.File, more.CRC, more.RecordedCRC, o.List);
        return text;
    }
    case TCause::TooLittleRecovery: {
        std::string text = "Piece " + Quoted(o.File) + (o.FileMissing ? " is missing" : " is damaged");
        for (const TRebuiltPiece& more : o.Unrebuilt)
            text += ", piece " + Quoted(more.File) + (more.Missing ? " is missing" : " is damaged");
        return text + "; " + o.List + " and its volumes hold " + std::to_string(o.RecoveryHeld) +
               (o.RecoveryHeld == 1 ? " recovery slice, " : " recovery slices, ") + std::to_string(o.RecoveryNeeded) +
               (o.RecoveryNeeded == 1 ? " is needed." : " are needed.");
    }
    case TCause::ChecksumMismatch:
        return "The rebuilt file's CRC-32 is " + Hex8(o.FoundCRC) + "; the checksum file records " +
               Hex8(o.ExpectedCRC) + ".";
    case TCause::Error:
        // The error's own words, as a caller that lets it rise shows them.
        try {
            if (o.Error) std::rethrow_exception(o.Error);
        } catch (const std::exception& e) {
            return e.what();
        } catch (...) {
        }
        return "Unexpected error.";
    }
    return std::string();
}
