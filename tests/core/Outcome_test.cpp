#include "Errors.h"
#include "Outcome.h"

#include <gtest/gtest.h>

namespace {

// Failures that carry numbers rather than a file.
TOutcome Sizes(uint64_t held, uint64_t recorded)
{
    TOutcome o = Failed(TOperation::Combine, TCause::SizeMismatch);
    o.FoundSize = held; o.ExpectedSize = recorded;
    return o;
}

TOutcome Checksums(uint32_t crc, uint32_t recorded)
{
    TOutcome o = Failed(TOperation::Combine, TCause::ChecksumMismatch);
    o.FoundCRC = crc; o.ExpectedCRC = recorded;
    return o;
}

TOutcome TooMany(uint64_t size, uint32_t pieceSize)
{
    TOutcome o = Failed(TOperation::Split, TCause::TooManyPieces);
    o.FoundSize = size; o.PieceSize = pieceSize;
    return o;
}

}  // namespace

// The texts of a missing piece, a different file in the target, too many pieces (1234567890 bytes
// in pieces of 1000) and a split's source that cannot be opened are asserted whole, through the
// same FailureText, in the dialogs' boxes (tests/ui/commands_test.cpp).
TEST(Outcome, FailureTextsAndTheProposedPieceSizeIsTheSmallestAccepted)
{
    const std::string sys = "Access is denied.";
    const auto C = TOperation::Combine;
    const auto S = TOperation::Split;
    const struct {
        TOutcome outcome;
        std::string text;
    } cases[] = {
        {Succeeded(C), ""}, {Succeeded(S), ""},
        {Failed(C, TCause::CannotRead, "X:\\dir\\report.002", 5), "Cannot read file \"X:\\dir\\report.002\". " + sys},
        {Failed(C, TCause::CannotCreate, "T:\\report.txt", 5), "Cannot create file \"T:\\report.txt\". " + sys},
        {Failed(C, TCause::CannotWrite, "T:\\report.txt", 112), "Cannot write file \"T:\\report.txt\". " + sys},
        {Failed(C, TCause::OutputThere, "T:\\report"), "A file \"T:\\report\" is already there; it was left as it is."},
        {Sizes(250000, 240000), "The pieces hold 250000 bytes; the checksum file records 240000."},
        {Checksums(0x1A2B3C4D, 0x5E6F7A8B), "The rebuilt file's CRC-32 is 1A2B3C4D; the checksum file records 5E6F7A8B."},
        // Leading zeros kept: eight digits each.
        {Checksums(0xABC, 0), "The rebuilt file's CRC-32 is 00000ABC; the checksum file records 00000000."},
        {Failed(C, TCause::Cancelled), "The combine was cancelled before the file was complete."},
        // Exactly 1000 pieces' worth is one too many; the proposal then makes 999 pieces and a rest.
        {TooMany(3000, 3), "Pieces of 3 bytes are too small for a file of 3000 bytes: a split takes only a file "
                           "smaller than 1000 pieces, at most 999 whole pieces and a shorter last one. Choose pieces "
                           "of at least 4 bytes."},
        {TooMany(5ull << 40, 4294967295u),
         "Pieces of 4294967295 bytes are too small for a file of 5497558138880 bytes: a split takes only a file "
         "smaller than 1000 pieces, at most 999 whole pieces and a shorter last one. Choose pieces of at least "
         "5497558139 bytes."},
        // One byte is a byte.
        {TooMany(1000, 1), "Pieces of 1 byte are too small for a file of 1000 bytes: a split takes only a file "
                           "smaller than 1000 pieces, at most 999 whole pieces and a shorter last one. Choose pieces "
                           "of at least 2 bytes."},
        {[] { TOutcome o = Failed(C, TCause::PieceDoesNotFit, "X:\\q.002"); o.FoundSize = 1; o.ExpectedSize = 5; return o; }(),
         "Piece \"X:\\q.002\" holds 1 byte, not 5 like the other pieces of the set: only the last piece may "
         "differ. Nothing was combined."},
        {[] {
             TOutcome o = Failed(C, TCause::TooLittleRecovery, "X:\\r.002");
             o.FileMissing = true;
             o.Unrebuilt = {{.File = "X:\\r.003"}};
             o.List = "r.par2";
             o.RecoveryHeld = 12;
             o.RecoveryNeeded = 20;
             return o;
         }(),
         "Piece \"X:\\r.002\" is missing, piece \"X:\\r.003\" is damaged; r.par2 and its volumes hold 12 recovery "
         "slices, 20 are needed."},
        {Failed(S, TCause::MadeMeanwhile, "T:\\report.003"),
         "Another program made the file \"T:\\report.003\" while the split ran; it was left as it is."},
        {Failed(S, TCause::CannotRead, "X:\\dir\\report.txt", 23), "Cannot read file \"X:\\dir\\report.txt\". " + sys},
        {Failed(S, TCause::CannotCreate, "T:\\report.003", 5), "Cannot create file \"T:\\report.003\". " + sys},
        {Failed(S, TCause::CannotWrite, "T:\\report.003", 112), "Cannot write file \"T:\\report.003\". " + sys},
        {Failed(S, TCause::SourceChanged), "The file changed while it was being split."},
        {FailedWith(C, std::make_exception_ptr(EOperationRefused("No."))), "No."},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.outcome.Ok(), c.text.empty()) << c.text;
        EXPECT_EQ(FailureText(c.outcome, sys), c.text);
    }
    // The proposal in the text of too many pieces: a split takes size / pieceSize up to 999: the proposal passes, one byte less does not.
    for (const uint64_t size : {0ull, 1ull, 999ull, 1000ull, 1001ull, 999999ull, 1000000ull, 1234567890ull,
                                4294967295ull * 999 + 1}) {
        const uint64_t p = SmallestPieceSize(size);
        EXPECT_LT(size / p, 1000u) << size;
        if (p > 1) {
            EXPECT_GE(size / (p - 1), 1000u) << size;
        }
    }
}
