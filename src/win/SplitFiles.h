// The split and combine operations and the cancel flag that the host sets through progress calls.
#pragma once
#include <cstdint>
#include <string>

#include "ProgressProc.h"

// Zero at load; cleared at the start of every operation; only the host makes it non-zero.
extern volatile uint8_t CancelFlag;

// Transfer buffer size of both operations.
constexpr uint32_t TransferBlockSize = 131072;

// Cuts FileName into pieces of PieceSize bytes in TargetDir, then writes the descriptor.
// True only when every piece and the descriptor were written and nothing cancelled.
// Sources of any size are taken that fit in 1000 pieces (size / PieceSize at most 999); a larger
// one is refused with false and nothing created. Raises EFileError when the descriptor cannot be
// created or a name the split would write is refused before the first write (the source itself,
// a device or directory, a name too long), and EOperationRefused for a source that is not a file
// on disk or a descriptor there that names another file; nothing is created in those cases.
bool SplitFile(const std::string& FileName, const std::string& TargetDir, uint32_t PieceSize,
               TPlugInProgressProc Progress);

// Joins the pieces beside the descriptor FileName into TargetDir and verifies the CRC-32.
// True only when the file at the output path has the descriptor's checksum.
// Raises the descriptor reader's errors, and EOperationRefused for a file name that would leave
// the target directory.
bool CombineFiles(const std::string& FileName, const std::string& TargetDir, TPlugInProgressProc Progress);
