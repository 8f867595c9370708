// The fixture of the engine tests that combine: three scratch directories, and Pieces(), which
// splits given bytes through the real SplitFile into the pieces directory.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "TestFiles.h"

class TPiecesTest : public ::testing::Test {
protected:
    // Splits bytes, as the file name, into the pieces directory (the source is written in work
    // and removed again); returns the descriptor's path.
    std::string Pieces(const std::string& name, const std::string& bytes, uint32_t pieceSize);

    testfiles::TempDir work;
    testfiles::TempDir pieces;
    testfiles::TempDir target;
};
