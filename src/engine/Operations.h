// What the split and the combine share: the cancel flag that the host sets through progress
// calls, the transfer block size, and an outcome's failure text with the system's words.
//
// One rule for failures, in both operations:
// - What happened is returned as a TOutcome (Outcome.h): success, a cancel, or a failure with its
//   cause, the file concerned and, where they belong to the cause, the system's error code and
//   the numbers involved. Expected failures (a file that cannot be opened, created, read or
//   written, a full disk, a source that changed, a failed check) are outcomes, never exceptions;
//   pieces already written stay on disk.
// - Raised are only the errors that callers have always seen raised, each derived from
//   EZandrelError (Errors.h) and carrying the text a user sees: the descriptor layer's (a checksum
//   file that cannot be read or created, a size that is not a number) and the refusals before the
//   first write. Nothing is created when a refusal is raised.
// - The engine shows no message: its callers turn outcomes into what the user sees.
#pragma once
#include <cstdint>
#include <string>

#include "Outcome.h"

// Zero at load; cleared at the start of every operation; only the host makes it non-zero.
extern volatile uint8_t CancelFlag;

// Transfer buffer size of both operations.
constexpr uint32_t TransferBlockSize = 131072;

// FailureText (Outcome.h) with the system's description of the outcome's error code.
std::string FailureText(const TOutcome& outcome);
