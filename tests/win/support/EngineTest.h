// The fixture of the engine tests: scratch directories, a top-level window standing in for the
// host's as the owner window, and the rule that the engine itself shows no message, whatever the
// outcome (its callers report it): a box seen during a test fails it.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>

#include "BoxWatcher.h"
#include "EngineProbe.h"
#include "TestFiles.h"

class TEngineTest : public ::testing::Test {
protected:
    static void SetUpTestSuite();
    void SetUp() override;
    void TearDown() override;

    // A source in work: n pattern bytes (seeded) as the file name.
    struct TSource {
        std::string Path, Bytes;
    };
    TSource Source(const std::string& name, size_t n, uint32_t seed = 1);
    // Splits bytes, as the file name, into the pieces directory (the source is written in work
    // and removed again); returns the descriptor's path.
    std::string Pieces(const std::string& name, const std::string& bytes, uint32_t pieceSize);

    testfiles::TempDir work;
    testfiles::TempDir pieces;
    testfiles::TempDir target;

private:
    HWND host_ = nullptr;
    std::unique_ptr<TBoxWatcher> boxes_;
};
