// The fixture of the engine tests: scratch directories, a top-level window standing in for the
// host's as the owner window, and the rule that the engine itself shows no message, whatever the
// outcome (its callers report it): a box seen during a test fails it. It brings the engine's
// headers and the probes' names that every engine test uses.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "BoxWatcher.h"
#include "CRC32Core.h"
#include "EngineProbe.h"
#include "Errors.h"
#include "PathText.h"
#include "PieceNames.h"
#include "Rows.h"
#include "SplitFiles.h"
#include "TestFiles.h"

using engineprobe::Ended;
using engineprobe::FileNames;
using engineprobe::TProgressRecorder;
using engineprobe::TUnchanged;
using testfiles::FileExists;
using testfiles::PatternBytes;
using testfiles::ReadFileBytes;
using testfiles::TempDir;
using testfiles::WriteFileBytes;

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

    // The text of the error E that run raises (a refusal before anything is written, or a failure
    // the engine raises rather than reports); a failure of the test and "" when run raises none.
    template <class E = EOperationRefused>
    static std::string Refusal(const std::function<void()>& run)
    {
        try {
            run();
        } catch (const E& e) {
            return e.what();
        }
        ADD_FAILURE() << "not refused";
        return "";
    }
    // The text of the error E that an operation's result carries (it ended with Error); a failure
    // of the test and "" when it ended otherwise.
    template <class E = EOperationRefused>
    static std::string RefusalOf(const TOutcome& outcome)
    {
        return Refusal<E>([&] {
            if (outcome.Cause == TCause::Error) std::rethrow_exception(outcome.Error);
        });
    }

    testfiles::TempDir work;
    testfiles::TempDir pieces;
    testfiles::TempDir target;

private:
    HWND host_ = nullptr;
    std::unique_ptr<TBoxWatcher> boxes_;
};

// The fixture of a parameterized engine suite (on Base, a file's own fixture): rows of Row.
template <class Row, class Base = TEngineTest>
class TEngineRows : public Base, public ::testing::WithParamInterface<Row> {};
