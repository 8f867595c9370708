// What an engine operation ended with, and the words that say why it failed.
//
// The engine fills one TOutcome per split or combine: success, a cancel, or a failure with its
// cause, the file concerned as the engine named it (a full path when the caller passed full
// paths) and, where they belong to the cause, the system's error code and the numbers involved.
// The texts are built here, with the system's description of the error code passed in, so that
// they can be checked without Windows.
#pragma once
#include <cstdint>
#include <exception>
#include <string>
#include <vector>

enum class TOperation { Split, Combine };

enum class TCause {
    None,                // success: the result is complete (and, for a combine, verified unless Unverified)
    Cancelled,           // the host set the cancel flag before the result was complete
    NoMemory,            // the transfer buffer could not be obtained
    TooManyPieces,       // split: FoundSize / PieceSize is 1000 or more (or PieceSize is 0)
    CannotOpen,          // split: the source cannot be opened (File, SystemError)
    CannotRead,          // a source, a piece or an output to verify cannot be read (File, SystemError)
    CannotCreate,        // a piece or the combine's output cannot be created (File, SystemError)
    CannotWrite,         // a write or the closing commit fails (File, SystemError)
    SourceChanged,       // split: the source changed while it was being split
    PieceMissing,        // combine: the pieces end before the recorded size (File: the next piece)
    DifferentFileThere,  // combine: another file of the output's name is in the target (File)
    OutputThere,         // combine without a checksum file: a file of the output's name is in the target (File)
    SizeMismatch,        // combine: the pieces hold FoundSize bytes, the descriptor records ExpectedSize
    ChecksumMismatch,    // combine: the rebuilt file's CRC, the descriptor's RecordedCRC
    PieceNotAFile,       // combine: a directory or a device stands at a piece's name (File)
    PieceIsLink,         // combine: a link that leads nowhere stands at a piece's name (File)
    PieceDoesNotFit,     // combine: piece File holds FoundSize bytes, the other pieces of its set ExpectedSize each
    PieceChanged,        // combine: piece File held ExpectedSize bytes when the combine began, FoundSize when read
    PieceDamaged,        // combine: piece File's CRC, the RecordedCRC that the checksum list List records
    MadeMeanwhile,       // split: another program made a file at a name the split writes after its checks (File)
    TooLittleRecovery,   // combine: PAR2 recovery files (List: the set's index file) hold RecoveryHeld slices
                         // where RecoveryNeeded are needed to rebuild piece File and the Unrebuilt ones
    Error,               // an error told in its own words (Error): a refusal before the first write (a
                         // source, a name or a checksum file the checks refuse, a descriptor that cannot
                         // be read), or a checksum file or list that cannot be created
};

// A piece whose CRC-32 differs from the one a checksum list records for it.
struct TDamagedPiece {
    std::string File;
    uint32_t CRC = 0, RecordedCRC = 0;
};

// A piece of a combine that PAR2 recovery data concerned: missing (no file, or shorter than its
// place in the set) or damaged (bytes that differ); From: the recovery file it was rebuilt from.
struct TRebuiltPiece {
    std::string File;
    bool Missing = false;
    std::string From;
};

// What a complete operation reports beside its success; empty in a result that failed.
struct TDone {
    uint32_t Pieces = 0;        // combine: the number of pieces joined
    uint64_t Joined = 0;        // combine: the bytes the pieces joined hold
    bool Unverified = false;    // combine: pieces joined without a checksum file, and no list checked them
    std::string ListUnused;     // combine without a checksum file: why the list beside the pieces was not used
    std::string ListMismatch;   // combine with a checksum file that verified the result: the list beside
                                // the pieces that contradicted it (not used)
    std::string ListSkipped;    // split: why no checksum list was written beside a complete set
    std::vector<TRebuiltPiece> Rebuilt;  // combine: the pieces rebuilt from PAR2 recovery files
};

struct TOutcome {
    TOperation Operation = TOperation::Split;
    TCause Cause = TCause::None;
    std::string File;             // the file concerned; empty when the cause names none
    uint32_t SystemError = 0;     // the system's error code; 0 when the cause has none
    // What a failed check found against what it expected; each means the same whatever the cause,
    // and is 0 where the cause compares nothing of the kind.
    uint64_t FoundSize = 0;     // the size found: of File, of the pieces together where the cause
                                // names no file, of the source for TooManyPieces
    uint64_t ExpectedSize = 0;  // the size File (the pieces together) should have had: the recorded
                                // one, the one the set's other pieces share, the one it had at the start
    uint32_t FoundCRC = 0;      // the CRC-32 found: of piece File, or of the rebuilt file
    uint32_t ExpectedCRC = 0;   // the CRC-32 recorded for it, by the checksum list or file
    uint32_t PieceSize = 0;     // TooManyPieces: the piece size asked for
    std::vector<TDamagedPiece> MoreDamaged;  // PieceDamaged: the further pieces the list contradicts
    std::exception_ptr Error;   // Error: the error in its own words (a std::runtime_error)
    std::string List;           // combine: the name of the checksum list (.sfv) that checked the pieces, or
                                // of the PAR2 index file that did
    uint32_t RecoveryHeld = 0;    // TooLittleRecovery: the recovery slices the PAR2 files hold
    uint32_t RecoveryNeeded = 0;  // TooLittleRecovery: the recovery slices the rebuild needs
    std::vector<TRebuiltPiece> Unrebuilt;  // TooLittleRecovery: the further pieces left unbuilt
    bool FileMissing = false;     // TooLittleRecovery: piece File is missing (else damaged)
    bool WithoutDescriptor = false;  // combine: pieces joined without a checksum file
    std::vector<std::string> Leftovers;  // combine: temporary files of its output left by earlier runs;
                                         // split: pieces of the set it replaced that it could not remove
    TDone Done;                 // success only

    bool Ok() const { return Cause == TCause::None; }
};

TOutcome Succeeded(TOperation operation);
TOutcome Failed(TOperation operation, TCause cause, const std::string& file = std::string(), uint32_t sysError = 0);
// The result of an operation that ends with error, told in its own words.
TOutcome FailedWith(TOperation operation, std::exception_ptr error);

// "1 byte", "2 bytes", ...
std::string ByteCount(uint64_t n);

// The smallest piece size a split of size bytes accepts (at most 1000 pieces): size / 1000 + 1.
uint64_t SmallestPieceSize(uint64_t size);

// The line a verified combine adds for a checksum list beside the pieces that contradicted it.
std::string ListMismatchText(const std::string& list);

// The line a success adds for a piece rebuilt from PAR2 recovery data.
std::string RebuiltText(const TRebuiltPiece& piece);

// The cause in words, one or two sentences, without a line break; systemText is the system's
// description of outcome.SystemError (used only by the causes that carry one). Empty for success.
std::string FailureText(const TOutcome& outcome, const std::string& systemText);
