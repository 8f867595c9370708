#include "Errors.h"
#include "Outcome.h"

#include <gtest/gtest.h>

#include "Rows.h"

namespace {

const auto C = TOperation::Combine;
const auto S = TOperation::Split;
const std::string Sys = "Access is denied.";

// A failure that carries sizes (held, recorded) rather than only a file.
TOutcome Sizes(uint64_t held, uint64_t recorded, TOutcome o = Failed(C, TCause::SizeMismatch))
{
    o.FoundSize = held; o.ExpectedSize = recorded;
    return o;
}

TOutcome Checksums(uint32_t crc, uint32_t recorded)
{
    TOutcome o = Failed(C, TCause::ChecksumMismatch);
    o.FoundCRC = crc; o.ExpectedCRC = recorded;
    return o;
}

TOutcome TooLittle(uint32_t held, uint32_t needed)
{
    TOutcome o = Failed(C, TCause::TooLittleRecovery, "X:\\r.002");
    o.FileMissing = true; o.Unrebuilt = {{.File = "X:\\r.003"}}; o.List = "r.par2";
    o.RecoveryHeld = held; o.RecoveryNeeded = needed;
    return o;
}

TOutcome TooMany(uint64_t size, uint32_t pieceSize)
{
    TOutcome o = Failed(S, TCause::TooManyPieces);
    o.FoundSize = size; o.PieceSize = pieceSize;
    return o;
}

std::string TooSmall(const std::string& pieces, const std::string& file, const std::string& least)
{
    return "Pieces of " + pieces + " too small for a file of " + file + " bytes: a split takes only a file smaller "
           "than 1000 pieces, at most 999 whole pieces and a shorter last one. Choose pieces of at least " + least +
           " bytes.";
}

struct TOutcomeRow { const char* name; TOutcome outcome; std::string text = ""; };  // text empty: a success
class FailureTexts : public ::testing::TestWithParam<TOutcomeRow> {};

// The texts of a missing piece, a different file in the target, too many pieces (1234567890 bytes
// in pieces of 1000) and a split's source that cannot be opened are asserted whole, through the
// same FailureText, in the dialogs' boxes (tests/ui/commands_test.cpp).
TEST_P(FailureTexts, EachCauseHasItsText)
{
    EXPECT_EQ(GetParam().outcome.Ok(), GetParam().text.empty()) << GetParam().text;
    EXPECT_EQ(FailureText(GetParam().outcome, Sys), GetParam().text);
}

const TOutcomeRow Outcomes[] = {
    {.name = "CombineSucceeded", .outcome = Succeeded(C)},
    {.name = "SplitSucceeded", .outcome = Succeeded(S)},
    {.name = "CombineCannotRead", .outcome = Failed(C, TCause::CannotRead, "X:\\dir\\report.002", 5),
     .text = "Cannot read file \"X:\\dir\\report.002\". " + Sys},
    {.name = "CombineCannotCreate", .outcome = Failed(C, TCause::CannotCreate, "T:\\report.txt", 5),
     .text = "Cannot create file \"T:\\report.txt\". " + Sys},
    {.name = "CombineCannotWrite", .outcome = Failed(C, TCause::CannotWrite, "T:\\report.txt", 112),
     .text = "Cannot write file \"T:\\report.txt\". " + Sys},
    {.name = "OutputThere", .outcome = Failed(C, TCause::OutputThere, "T:\\report"),
     .text = "A file \"T:\\report\" is already there; it was left as it is."},
    {.name = "SizeMismatch", .outcome = Sizes(250000, 240000),
     .text = "The pieces hold 250000 bytes; the checksum file records 240000."},
    {.name = "ChecksumMismatch", .outcome = Checksums(0x1A2B3C4D, 0x5E6F7A8B),
     .text = "The rebuilt file's CRC-32 is 1A2B3C4D; the checksum file records 5E6F7A8B."},
    // Leading zeros kept: eight digits each.
    {.name = "ChecksumsWithLeadingZeros", .outcome = Checksums(0xABC, 0),
     .text = "The rebuilt file's CRC-32 is 00000ABC; the checksum file records 00000000."},
    {.name = "CombineCancelled", .outcome = Failed(C, TCause::Cancelled),
     .text = "The combine was cancelled before the file was complete."},
    // Exactly 1000 pieces' worth is one too many; the proposal then makes 999 pieces and a rest.
    {.name = "TooManyPieces", .outcome = TooMany(3000, 3), .text = TooSmall("3 bytes are", "3000", "4")},
    {.name = "TooManyPiecesOver4G", .outcome = TooMany(5ull << 40, 4294967295u),
     .text = TooSmall("4294967295 bytes are", "5497558138880", "5497558139")},
    {.name = "TooManyPiecesOfOneByte", .outcome = TooMany(1000, 1), .text = TooSmall("1 byte are", "1000", "2")},
    {.name = "PieceDoesNotFit", .outcome = Sizes(1, 5, Failed(C, TCause::PieceDoesNotFit, "X:\\q.002")),
     .text = "Piece \"X:\\q.002\" holds 1 byte, not 5 like the other pieces of the set: only the last piece may "
             "differ. Nothing was combined."},
    {.name = "MadeMeanwhile", .outcome = Failed(S, TCause::MadeMeanwhile, "T:\\report.003"),
     .text = "Another program made the file \"T:\\report.003\" while the split ran; it was left as it is."},
    {.name = "SplitCannotRead", .outcome = Failed(S, TCause::CannotRead, "X:\\dir\\report.txt", 23),
     .text = "Cannot read file \"X:\\dir\\report.txt\". " + Sys},
    {.name = "SplitCannotCreate", .outcome = Failed(S, TCause::CannotCreate, "T:\\report.003", 5),
     .text = "Cannot create file \"T:\\report.003\". " + Sys},
    {.name = "SplitCannotWrite", .outcome = Failed(S, TCause::CannotWrite, "T:\\report.003", 112),
     .text = "Cannot write file \"T:\\report.003\". " + Sys},
    {.name = "SourceChanged", .outcome = Failed(S, TCause::SourceChanged),
     .text = "The file changed while it was being split."},
    // A refusal raised from within gives its own text.
    {.name = "TooLittleRecovery", .outcome = TooLittle(12, 20), .text = "Piece \"X:\\r.002\" is missing, piece "
     "\"X:\\r.003\" is damaged; r.par2 and its volumes hold 12 recovery slices, 20 are needed."},
    {.name = "RefusedWith", .outcome = FailedWith(C, std::make_exception_ptr(EOperationRefused("No."))), .text = "No."},
};
ZANDREL_ROWS(FailureTexts, Outcomes);

// The proposal in the text of too many pieces: a split takes size / pieceSize up to 999: the
// proposal passes, one byte less does not.
TEST(Outcome, TheProposedPieceSizeIsTheSmallestAccepted)
{
    for (const uint64_t size : {0ull, 1ull, 999ull, 1000ull, 1001ull, 999999ull, 1000000ull, 1234567890ull,
                                4294967295ull * 999 + 1}) {
        const uint64_t p = SmallestPieceSize(size);
        EXPECT_LT(size / p, 1000u) << size;
        if (p > 1) {
            EXPECT_GE(size / (p - 1), 1000u) << size;
        }
    }
}

}  // namespace
