// What an engine operation ended with, and the words that say why it failed.
//
// The engine fills one TOutcome per split or combine: success, a cancel, or a failure with its
// cause, the file concerned as the engine named it (a full path when the caller passed full
// paths) and, where they belong to the cause, the system's error code and the numbers involved.
// The texts are built here, with the system's description of the error code passed in, so that
// they can be checked without Windows.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

enum class TOperation { Split, Combine };

enum class TCause {
    None,                // success: the result is complete (and, for a combine, verified unless Unverified)
    Cancelled,           // the host set the cancel flag before the result was complete
    NoMemory,            // the transfer buffer could not be obtained
    TooManyPieces,       // split: Size / PieceSize is 1000 or more (or PieceSize is 0)
    CannotOpen,          // split: the source cannot be opened (File, SystemError)
    CannotRead,          // a source, a piece or an output to verify cannot be read (File, SystemError)
    CannotCreate,        // a piece or the combine's output cannot be created (File, SystemError)
    CannotWrite,         // a write or the closing commit fails (File, SystemError)
    SourceChanged,       // split: the source changed while it was being split
    PieceMissing,        // combine: the pieces end before the recorded size (File: the next piece)
    DifferentFileThere,  // combine: another file of the output's name is in the target (File)
    OutputThere,         // combine without a checksum file: a file of the output's name is in the target (File)
    SizeMismatch,        // combine: the pieces hold Size bytes, the descriptor records RecordedSize
    ChecksumMismatch,    // combine: the rebuilt file's CRC, the descriptor's RecordedCRC
    PieceNotAFile,       // combine: a directory or a device stands at a piece's name (File)
    PieceIsLink,         // combine: a link that leads nowhere stands at a piece's name (File)
    PieceDoesNotFit,     // combine: piece File holds Size bytes, the other pieces of its set RecordedSize each
    PieceChanged,        // combine: piece File held RecordedSize bytes when the combine began, Size when read
    PieceDamaged,        // combine: piece File's CRC, the RecordedCRC that the checksum list List records
    MadeMeanwhile,       // split: another program made a file at a name the split writes after its checks (File)
};

// A piece whose CRC-32 differs from the one a checksum list records for it.
struct TDamagedPiece {
    std::string File;
    uint32_t CRC = 0, RecordedCRC = 0;
};

struct TOutcome {
    TOperation Operation = TOperation::Split;
    TCause Cause = TCause::None;
    std::string File;           // the file concerned; empty when the cause names none
    uint32_t SystemError = 0;     // the system's error code; 0 when the cause has none
    uint64_t Size = 0;          // TooManyPieces: the source's size; SizeMismatch: the bytes the pieces
                                // hold; PieceDoesNotFit, PieceChanged: the piece's size
    uint64_t RecordedSize = 0;  // SizeMismatch: the size the checksum file records; PieceDoesNotFit: the
                                // size of the set's other pieces; PieceChanged: its size when the combine began
    uint32_t PieceSize = 0;     // TooManyPieces: the piece size asked for
    uint32_t CRC = 0;           // ChecksumMismatch: the rebuilt file's CRC-32
    uint32_t RecordedCRC = 0;   // ChecksumMismatch: the CRC-32 the checksum file records
    bool WithoutDescriptor = false;  // combine: pieces joined without a checksum file
    bool Unverified = false;    // combine: pieces joined without a checksum file, and no list checked them
    std::string List;           // combine: the name of the checksum list (.sfv) that checked the pieces
    std::string ListUnused;     // combine without a checksum file: why the list beside the pieces was not used
    std::string ListMismatch;   // combine with a checksum file that verified the result: the list beside
                                // the pieces that contradicted it (not used)
    std::vector<TDamagedPiece> MoreDamaged;  // PieceDamaged: the further pieces the list contradicts
    uint32_t Pieces = 0;        // combine: the number of pieces joined
    uint64_t Joined = 0;        // combine: the bytes the pieces joined hold
    std::vector<std::string> Leftovers;  // combine: temporary files of its output left by earlier runs;
                                         // split: pieces of the set it replaced that it could not remove
    std::string ListSkipped;    // split: why no checksum list was written beside a complete set

    bool Ok() const { return Cause == TCause::None; }
};

TOutcome Succeeded(TOperation operation);
TOutcome Failed(TOperation operation, TCause cause, const std::string& file = std::string(), uint32_t sysError = 0);

// "1 byte", "2 bytes", ...
std::string ByteCount(uint64_t n);

// The smallest piece size a split of size bytes accepts (at most 1000 pieces): size / 1000 + 1.
uint64_t SmallestPieceSize(uint64_t size);

// The line a verified combine adds for a checksum list beside the pieces that contradicted it.
std::string ListMismatchText(const std::string& list);

// The cause in words, one or two sentences, without a line break; systemText is the system's
// description of outcome.SystemError (used only by the causes that carry one). Empty for success.
std::string FailureText(const TOutcome& outcome, const std::string& systemText);
