// One split, worked out once before anything is written: the piece plan and every name the split
// will create. The checks before the first write and the copy both read this one value.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "PathText.h"
#include "PieceNames.h"
#include "PiecePlan.h"

struct TSplitJob {
    std::string Source;               // the file to split, as the caller named it
    std::string SourceName;           // its name without directory, as the descriptor records it
    std::string Base;                 // the target directory joined with SourceName
    TPiecePlan Plan;                  // accepted: at most MaxPieceCount pieces
    std::vector<std::string> Pieces;  // piece n (from 1) at Pieces[n - 1]
    std::string Descriptor;           // the checksum descriptor, beside the pieces
    std::string List;                 // the checksum list of the pieces (.sfv), beside them

    uint32_t Count() const { return static_cast<uint32_t>(Pieces.size()); }
    const std::string& Piece(uint32_t n) const { return Pieces[n - 1]; }
};

// The job for an accepted plan of source into targetDir.
inline TSplitJob MakeSplitJob(const std::string& source, const std::string& targetDir, const TPiecePlan& plan)
{
    TSplitJob job{source, ExtractFileName(source), std::string(), plan, {}, std::string(), std::string()};
    job.Base = AddBackslash(targetDir) + job.SourceName;
    job.Pieces.reserve(plan.Count());
    for (uint32_t n = 1; n <= plan.Count(); ++n) job.Pieces.push_back(PieceFileName(job.Base, n));
    job.Descriptor = DescriptorFileName(job.Base);
    job.List = ChangeFileExt(job.Base, ".sfv");
    return job;
}
