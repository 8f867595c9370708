// What the split and the combine share: the cancel flag that the host sets through progress
// calls, the transfer block size, and an outcome's failure text with the system's words.
//
// One rule for saying no, in both operations: RunSplit and RunCombine never raise what they find.
// - Whatever an operation refuses before its first write, and whatever fails after it, is the
//   result, a TOutcome (Outcome.h): a cancel, or a failure with its cause, the file concerned and,
//   where they belong to the cause, the system's error code and the sizes or checksums found
//   against those expected. Nothing is created by an operation that refused.
// - The checks and the text-file layer speak in their own words (an EZandrelError, Errors.h,
//   carrying the text a user sees: a source or a name refused, a checksum file that cannot be
//   read or created, a size that is not a number); such a result has the cause Error and carries
//   the error. The boolean faces SplitFile and CombineFiles raise it again, as they always have.
// - What a complete operation adds to its success (pieces joined, a list not used or not
//   written) is reported apart, in the outcome's Done.
// - The engine shows no message: its callers turn outcomes into what the user sees.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <utility>

#include "Outcome.h"

// Zero at load; cleared at the start of every operation; only the host makes it non-zero.
extern volatile uint8_t CancelFlag;

// Transfer buffer size of both operations.
constexpr uint32_t TransferBlockSize = 131072;

// The closing progress call of an operation (its percent may say 100). The engine makes it itself
// unless its caller asks for it: then the caller, which tells the user how the operation ended,
// makes it where its box needs it (after a failure's box, before a success's). Empty where no
// closing call is due (an operation that ended before its first write, or a split that failed or
// was cancelled): Send() then makes none.
class TClosingReport {
public:
    TClosingReport() = default;
    explicit TClosingReport(std::function<void()> call) : call_(std::move(call)) {}
    bool Due() const { return static_cast<bool>(call_); }
    // Makes the call, at most once.
    void Send()
    {
        std::function<void()> call;
        call.swap(call_);
        if (call) call();
    }

private:
    std::function<void()> call_;
};

// FailureText (Outcome.h) with the system's description of the outcome's error code.
std::string FailureText(const TOutcome& outcome);
