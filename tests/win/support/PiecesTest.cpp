#include "PiecesTest.h"

#include <windows.h>

#include "PieceNames.h"
#include "SplitFiles.h"

std::string TPiecesTest::Pieces(const std::string& name, const std::string& bytes, uint32_t pieceSize)
{
    const std::string source = work.File(name);
    testfiles::WriteFileBytes(source, bytes);
    EXPECT_TRUE(SplitFile(source, pieces.Path(), pieceSize, nullptr));
    DeleteFileA(source.c_str());
    return DescriptorFileName(pieces.File(name));
}
