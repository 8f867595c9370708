#include "EngineTest.h"

#include <windows.h>

#include "App.h"

void TEngineTest::SetUpTestSuite() { BuildCRCTable(); }

void TEngineTest::SetUp()
{
    host_ = CreateWindowExA(0, "STATIC", "host", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr,
                            GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(host_, nullptr);
    App::SetOwnerWindow(host_);
    boxes_ = std::make_unique<TBoxWatcher>();
}

void TEngineTest::TearDown()
{
    if (boxes_) { EXPECT_TRUE(boxes_->Seen().empty()) << "the engine shows no message"; }
    boxes_.reset();
    App::SetOwnerWindow(nullptr);
    DestroyWindow(host_);
}

TEngineTest::TSource TEngineTest::Source(const std::string& name, size_t n, uint32_t seed)
{
    TSource source{work.File(name), testfiles::PatternBytes(n, seed)};
    testfiles::WriteFileBytes(source.Path, source.Bytes);
    return source;
}

std::string TEngineTest::Pieces(const std::string& name, const std::string& bytes, uint32_t pieceSize)
{
    const std::string source = work.File(name);
    testfiles::WriteFileBytes(source, bytes);
    EXPECT_TRUE(SplitFile(source, pieces.Path(), pieceSize, nullptr));
    DeleteFileA(source.c_str());
    return DescriptorFileName(pieces.File(name));
}
