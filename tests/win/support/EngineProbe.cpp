#include "EngineProbe.h"

#include <array>
#include <cstdlib>
#include <stdexcept>

#include "App.h"
#include "Progress.h"
#include "SplitFiles.h"
#include "TestFiles.h"

namespace engineprobe {

namespace {
TProgressRecorder* gActive = nullptr;
TPumpProbe* gPump = nullptr;

// A file opened for this scope only; throws what failed.
struct TFile {
    HANDLE h;
    TFile(const std::string& path, DWORD access)
        : h(CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr))
    {
        if (h == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot open " + path);
    }
    ~TFile() { CloseHandle(h); }
    bool Seek(uint64_t at) const
    {
        LARGE_INTEGER to;
        to.QuadPart = static_cast<LONGLONG>(at);
        return SetFilePointerEx(h, to, nullptr, FILE_BEGIN) != FALSE;
    }
};
}  // namespace

TProgressRecorder::TProgressRecorder()
{
    if (gActive) throw std::logic_error("one progress recorder at a time");
    gActive = this;
}

TProgressRecorder::~TProgressRecorder() { gActive = nullptr; }

TPlugInProgressProc TProgressRecorder::Proc() const { return &TProgressRecorder::Record; }

std::vector<int32_t> TProgressRecorder::Percents() const
{
    std::vector<int32_t> out;
    for (const auto& c : calls_) out.push_back(c.Percent);
    return out;
}

void TProgressRecorder::ExpectCalls(const std::string& status, const std::string& file, const std::string& sourceDir,
    const std::string& targetDir, uint64_t size, const std::vector<uint32_t>& reads) const
{
    for (const auto& call : calls_) {
        EXPECT_EQ(call.Status, status);
        EXPECT_EQ(call.FileName, file);
        EXPECT_EQ(call.SourceDir, sourceDir);
        EXPECT_EQ(call.TargetDir, targetDir);
        EXPECT_EQ(call.Cancel, const_cast<uint8_t*>(&CancelFlag));
    }
    if (reads.empty()) return;
    std::vector<int32_t> expected;
    uint64_t done = 0;
    for (uint32_t r : reads) expected.push_back(BlockPercent(done += r, size));
    expected.push_back(ProgressPercent(size, size));
    EXPECT_EQ(Percents(), expected);
}

void ZANDREL_STDCALL TProgressRecorder::Record(int32_t Percent, const char* Status, const char* FileName,
                                               const char* SourceDir, const char* TargetDir, uint8_t* Cancel)
{
    TProgressRecorder* self = gActive;
    if (!self) return;
    const auto text = [](const char* s) { return std::string(s ? s : "<null>"); };
    self->calls_.push_back({Percent, text(Status), text(FileName), text(SourceDir), text(TargetDir), Cancel,
                            Cancel ? *Cancel : uint8_t(0xEE)});
    if (self->OnCall && self->OnCall(self->calls_.size() - 1) && Cancel) *Cancel = 1;
}

TPumpProbe::TPumpProbe(unsigned readsPerTick) : readsPerTick_(readsPerTick)
{
    if (gPump) throw std::logic_error("one pump probe at a time");
    gPump = this;
    App::SetTickClock(&TPumpProbe::Clock);
    App::SetPumpHook([this] {
        const size_t index = pumps_++;
        if (OnPump) OnPump(index);
    });
}

TPumpProbe::~TPumpProbe()
{
    App::SetTickClock(nullptr);
    App::SetPumpHook(nullptr);
    gPump = nullptr;
}

unsigned long TPumpProbe::Clock()
{
    const unsigned long read = gPump->reads_++;
    return gPump->readsPerTick_ ? read / gPump->readsPerTick_ : 0;
}

TOutcome Combine(const std::string& descriptor, const std::string& targetDir, TPlugInProgressProc progress, bool due)
{
    TClosingReport closing;
    const TOutcome outcome = RunCombineFrom(descriptor, targetDir, progress, &closing);
    if (outcome.Cause == TCause::Error) {
        EXPECT_FALSE(closing.Due()) << "a refusal ends before the first progress call";
        return outcome;
    }
    EXPECT_EQ(closing.Due(), due) << "a closing report on every path through the closing phase, none before it";
    const size_t callsBefore = gActive ? gActive->Calls().size() : 0;
    closing.Send();
    closing.Send();
    if (progress && gActive) { EXPECT_EQ(gActive->Calls().size(), callsBefore + due) << "the caller's, once"; }
    return outcome;
}

std::pair<uint64_t, uint64_t> Sizes(const TOutcome& outcome) { return {outcome.FoundSize, outcome.ExpectedSize}; }

::testing::AssertionResult Ended(const TOutcome& outcome, TCause cause, const std::string& file, uint32_t error)
{
    if (outcome.Cause == cause && outcome.File == file && (error == AnyError || outcome.SystemError == error))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "ended with cause " << static_cast<int>(outcome.Cause) << " \""
                                         << outcome.File << "\" error " << outcome.SystemError << ", expected cause "
                                         << static_cast<int>(cause) << " \"" << file << "\" error " << error;
}

TSnapshot Snapshot(const std::string& dir)
{
    TSnapshot out;
    testfiles::ForEachEntry(dir, [&](const std::string& name, bool directory) {
        if (!directory) out[name] = testfiles::ReadFileBytes(dir + "\\" + name);
        for (const auto& [rel, bytes] : directory ? Snapshot(dir + "\\" + name) : TSnapshot())
            out[name + "\\" + rel] = bytes;
    });
    return out;
}

std::vector<std::string> FileNames(const std::string& dir)
{
    std::vector<std::string> out;
    testfiles::ForEachEntry(dir, [&](const std::string& name, bool directory) {
        if (!directory) out.push_back(name);
    });
    return out;
}

TUnchanged::TUnchanged(std::vector<std::string> dirs)
{
    for (auto& dir : dirs) before_.emplace_back(dir, Snapshot(dir));
}

TUnchanged::~TUnchanged()
{
    for (const auto& [dir, snapshot] : before_) EXPECT_EQ(Snapshot(dir), snapshot) << dir << " changed";
}

THold::THold(const std::string& path, DWORD access, DWORD share)
    : h_(CreateFileA(path.c_str(), access, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr))
{
    EXPECT_NE(h_, INVALID_HANDLE_VALUE) << "cannot hold " << path;
}

THold::~THold() { if (h_ != INVALID_HANDLE_VALUE) CloseHandle(h_); }

std::optional<TFileStamp> Stamp(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
    return TFileStamp{(static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow, data.ftLastWriteTime};
}

void MakeSparseFile(const std::string& path, uint64_t size, const std::vector<TMark>& marks)
{
    testfiles::WriteFileBytes(path, "");
    const TFile file(path, GENERIC_WRITE);
    bool ok = file.Seek(size) && SetEndOfFile(file.h);
    for (const TMark& m : marks) {
        DWORD written = 0;
        ok = ok && file.Seek(m.At) &&
             WriteFile(file.h, m.Bytes.data(), static_cast<DWORD>(m.Bytes.size()), &written, nullptr) &&
             written == m.Bytes.size();
    }
    if (!ok) throw std::runtime_error("cannot make " + path);
}

void MakeSparseFile(const std::string& path, uint64_t size, const std::string& head)
{
    MakeSparseFile(path, size, std::vector<TMark>{{0, head}});
}

std::string ReadAt(const std::string& path, uint64_t offset, uint32_t len)
{
    const TFile file(path, GENERIC_READ);
    std::string bytes(len, '\0');
    DWORD got = 0;
    if (!file.Seek(offset) || !ReadFile(file.h, &bytes[0], len, &got, nullptr)) throw std::runtime_error(path);
    bytes.resize(got);
    return bytes;
}

namespace {
// The CRC register after a zero byte is a linear map over GF(2) (column i: the image of bit i);
// squared k times, it skips 2^k zero bytes.
using TCrcMap = std::array<uint32_t, 32>;
uint32_t Apply(const TCrcMap& map, uint32_t v)
{
    uint32_t r = 0;
    for (int i = 0; v; ++i, v >>= 1) r ^= (v & 1) ? map[i] : 0;
    return r;
}

TCrcMap Squared(const TCrcMap& map)
{
    TCrcMap sq;
    for (int i = 0; i < 32; ++i) sq[i] = Apply(map, map[i]);
    return sq;
}

uint32_t FoldZeros(uint32_t crc, uint64_t n)
{
    TCrcMap map;  // one zero bit: shift right, folding the polynomial in for a low 1
    map[0] = 0xEDB88320u;
    for (int i = 1; i < 32; ++i) map[i] = 1u << (i - 1);
    map = Squared(Squared(Squared(map)));  // eight bits
    for (; n; n >>= 1) {
        if (n & 1) crc = Apply(map, crc);
        if (n > 1) map = Squared(map);
    }
    return crc;
}

uint32_t FoldBytes(uint32_t crc, const std::string& bytes)
{
    for (unsigned char b : bytes) {
        crc ^= b;
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return crc;
}
}  // namespace

uint32_t Crc32Sparse(uint64_t size, const std::vector<TMark>& marks)
{
    uint32_t crc = 0xFFFFFFFFu;
    uint64_t pos = 0;
    for (const TMark& m : marks) {
        crc = FoldBytes(FoldZeros(crc, m.At - pos), m.Bytes);
        pos = m.At + m.Bytes.size();
    }
    return ~FoldZeros(crc, size - pos);
}

uint32_t Crc32(const std::string& bytes) { return ~FoldBytes(0xFFFFFFFFu, bytes); }

std::optional<std::string> FixtureDir()
{
    const char* unixDir = std::getenv("ZANDREL_ENGINE_SCRATCH");
    std::string path = std::string("Z:") + (unixDir ? unixDir : "");
    for (char& c : path) c = c == '/' ? '\\' : c;
    if (!unixDir || !*unixDir || !testfiles::FileExists(path)) return std::nullopt;
    return path;
}

bool SmallFilesystemMounted()
{
    const auto dir = FixtureDir();
    return dir && testfiles::FileExists(*dir + "\\small.mounted");
}

}  // namespace engineprobe
