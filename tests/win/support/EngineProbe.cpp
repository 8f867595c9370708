#include "EngineProbe.h"

#include <cstdlib>
#include <stdexcept>

#include "App.h"
#include "SplitFiles.h"
#include "TestFiles.h"

namespace engineprobe {

namespace {
TProgressRecorder* gActive = nullptr;
TPumpProbe* gPump = nullptr;
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

void ZANDREL_STDCALL TProgressRecorder::Record(int32_t Percent, const char* Status, const char* FileName,
                                               const char* SourceDir, const char* TargetDir, uint8_t* Cancel)
{
    TProgressRecorder* self = gActive;
    if (!self) return;
    self->calls_.push_back({Percent, Status ? Status : "<null>", FileName ? FileName : "<null>",
                            SourceDir ? SourceDir : "<null>", TargetDir ? TargetDir : "<null>", Cancel,
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

TOutcome Combine(const std::string& descriptor, const std::string& targetDir, TPlugInProgressProc progress)
{
    std::vector<TOutcome> verdicts;
    size_t callsBefore = 0;
    const TOutcome outcome = RunCombine(descriptor, targetDir, progress, [&](const TOutcome& verdict) {
        verdicts.push_back(verdict);
        callsBefore = gActive ? gActive->Calls().size() : 0;
    });
    EXPECT_EQ(verdicts.size(), 1u) << "one verdict on every path through the closing phase";
    if (!verdicts.empty()) {
        EXPECT_EQ(verdicts[0].Cause, outcome.Cause);
        EXPECT_EQ(verdicts[0].File, outcome.File);
    }
    if (progress && gActive) {
        EXPECT_EQ(gActive->Calls().size(), callsBefore + 1) << "then only the closing report";
    }
    return outcome;
}

::testing::AssertionResult Ended(const TOutcome& outcome, TCause cause, const std::string& file, uint32_t error)
{
    if (outcome.Cause == cause && outcome.File == file && (error == AnyError || outcome.SystemError == error))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "ended with cause " << static_cast<int>(outcome.Cause) << " \""
                                         << outcome.File << "\" error " << outcome.SystemError << ", expected cause "
                                         << static_cast<int>(cause) << " \"" << file << "\" error " << error;
}

namespace {
// Calls each(name, isDirectory) for every entry of dir but "." and "..".
void ForEachEntry(const std::string& dir, const std::function<void(const std::string&, bool)>& each)
{
    WIN32_FIND_DATAA fd;
    HANDLE find = FindFirstFileA((dir + "\\*").c_str(), &fd);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        const std::string name = fd.cFileName;
        if (name != "." && name != "..") each(name, (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0);
    } while (FindNextFileA(find, &fd));
    FindClose(find);
}

void SnapshotInto(const std::string& root, const std::string& rel, TSnapshot& out)
{
    ForEachEntry(rel.empty() ? root : root + "\\" + rel, [&](const std::string& name, bool directory) {
        const std::string relName = rel.empty() ? name : rel + "\\" + name;
        if (directory)
            SnapshotInto(root, relName, out);
        else
            out[relName] = testfiles::ReadFileBytes(root + "\\" + relName);
    });
}
}  // namespace

TSnapshot Snapshot(const std::string& dir)
{
    TSnapshot out;
    SnapshotInto(dir, "", out);
    return out;
}

std::vector<std::string> FileNames(const std::string& dir)
{
    std::vector<std::string> out;
    ForEachEntry(dir, [&](const std::string& name, bool directory) {
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

THold::~THold()
{
    if (h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
}

std::optional<TFileStamp> Stamp(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
    TFileStamp s;
    s.Size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    s.LastWrite = data.ftLastWriteTime;
    return s;
}

void MakeSparseFile(const std::string& path, uint64_t size, const std::vector<TMark>& marks)
{
    testfiles::WriteFileBytes(path, "");
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot reopen " + path);
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(size);
    bool ok = SetFilePointerEx(h, at, nullptr, FILE_BEGIN) && SetEndOfFile(h);
    for (const TMark& m : marks) {
        at.QuadPart = static_cast<LONGLONG>(m.At);
        DWORD written = 0;
        ok = ok && SetFilePointerEx(h, at, nullptr, FILE_BEGIN) &&
             WriteFile(h, m.Bytes.data(), static_cast<DWORD>(m.Bytes.size()), &written, nullptr) &&
             written == m.Bytes.size();
    }
    CloseHandle(h);
    if (!ok) throw std::runtime_error("cannot make " + path);
}

void MakeSparseFile(const std::string& path, uint64_t size, const std::string& head)
{
    MakeSparseFile(path, size, std::vector<TMark>{{0, head}});
}

std::string ReadAt(const std::string& path, uint64_t offset, uint32_t len)
{
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot open " + path);
    std::string bytes(len, '\0');
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(offset);
    DWORD got = 0;
    const bool ok = SetFilePointerEx(h, at, nullptr, FILE_BEGIN) && ReadFile(h, &bytes[0], len, &got, nullptr);
    CloseHandle(h);
    if (!ok) throw std::runtime_error("cannot read " + path);
    bytes.resize(got);
    return bytes;
}

namespace {
// A linear operator on the 32-bit CRC register over GF(2): column i is the image of bit i.
struct TCrcOperator {
    uint32_t Column[32];
    uint32_t Apply(uint32_t v) const
    {
        uint32_t r = 0;
        for (int i = 0; v; ++i, v >>= 1)
            if (v & 1) r ^= Column[i];
        return r;
    }
    TCrcOperator Squared() const
    {
        TCrcOperator sq;
        for (int i = 0; i < 32; ++i) sq.Column[i] = Apply(Column[i]);
        return sq;
    }
};

// The register after n zero bytes.
uint32_t FoldZeros(uint32_t crc, uint64_t n)
{
    TCrcOperator op;  // one zero bit: shift right, folding the polynomial in for a low 1
    op.Column[0] = 0xEDB88320u;
    for (int i = 1; i < 32; ++i) op.Column[i] = 1u << (i - 1);
    op = op.Squared().Squared().Squared();  // eight bits
    for (; n; n >>= 1) {
        if (n & 1) crc = op.Apply(crc);
        if (n > 1) op = op.Squared();
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

std::optional<std::string> FixtureDir()
{
    const char* unixDir = std::getenv("ZANDREL_ENGINE_SCRATCH");
    if (!unixDir || !*unixDir) return std::nullopt;
    std::string path = std::string("Z:") + unixDir;
    for (char& c : path)
        if (c == '/') c = '\\';
    if (!testfiles::FileExists(path)) return std::nullopt;
    return path;
}

bool SmallFilesystemMounted()
{
    const auto dir = FixtureDir();
    return dir && testfiles::FileExists(*dir + "\\small.mounted");
}

uint32_t Crc32(const std::string& bytes) { return ~FoldBytes(0xFFFFFFFFu, bytes); }

}  // namespace engineprobe
