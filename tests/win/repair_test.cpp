// The combine's repair from PAR2 recovery files beside the pieces: a set made here, over the
// pieces or over the file before it was split, by a small writer of PAR2 packets (an index file
// and one volume), pieces lost or damaged, and what the combine makes of them.
#include <string>
#include <vector>

#include "EngineTest.h"
#include "Gf16.h"
#include "Md5.h"
#include "Operations.h"
#include "Rows.h"

namespace {

std::string Le(uint64_t value, int bytes)
{
    std::string text;
    for (int i = 0; i < bytes; ++i) text += static_cast<char>(value >> (8 * i));
    return text;
}
std::string Raw(const TMd5Digest& d) { return std::string(d.begin(), d.end()); }
std::string Md5(const std::string& bytes) { return Raw(Md5Of(bytes.data(), bytes.size())); }

// One packet: its header (magic, length, MD5 from the set ID on), the set ID, its type, the body.
std::string Packet(const std::string& setId, const char* type, const std::string& body)
{
    const std::string tail = setId + std::string(type, 16) + body;
    return std::string("PAR2\0PKT", 8) + Le(64 + body.size(), 8) + Md5(tail) + tail;
}

struct TSetFile {
    std::string Name, Bytes;
};

// Writes base.par2 (main, file descriptions, slice checksums) and base.vol0+N.par2 (N recovery
// slices, exponents 0 to N - 1) into dir: a recovery set over files, slice bytes per slice.
void WritePar2(const std::string& dir, const std::string& base, const std::vector<TSetFile>& files, uint32_t slice,
               uint32_t recoveries)
{
    std::string ids;
    std::vector<std::string> descs, checks, slices;  // bodies, then the padded input slices
    for (const TSetFile& f : files) {
        const std::string first16k = Md5(f.Bytes.substr(0, 16384));
        const std::string id = Md5(first16k + Le(f.Bytes.size(), 8) + f.Name);
        std::string name = f.Name;
        name.resize((name.size() + 3) / 4 * 4, '\0');
        descs.push_back(id + Md5(f.Bytes) + first16k + Le(f.Bytes.size(), 8) + name);
        checks.push_back(id);
        for (size_t at = 0; at < f.Bytes.size(); at += slice) {
            std::string data = f.Bytes.substr(at, slice);
            data.resize(slice, '\0');
            checks.back() += Md5(data) + Le(~CRC32Update(0xFFFFFFFFu, data.data(), data.size()), 4);
            slices.push_back(data);
        }
        ids += id;
    }
    const std::string main = Le(slice, 8) + Le(files.size(), 4) + ids;
    const std::string setId = Md5(main);
    std::string index = Packet(setId, "PAR 2.0\0Main\0\0\0\0", main);
    for (size_t f = 0; f < files.size(); ++f)
        index += Packet(setId, "PAR 2.0\0FileDesc", descs[f]) + Packet(setId, "PAR 2.0\0IFSC\0\0\0\0", checks[f]);
    WriteFileBytes(dir + "\\" + base + ".par2", index);
    std::string volume;
    for (uint32_t e = 0; e < recoveries; ++e) {
        std::string data(slice, '\0');
        for (size_t i = 0; i < slices.size(); ++i)
            Gf16MulAdd(data.data(), slices[i].data(), slice, Gf16Pow(Gf16InputConstant(static_cast<uint32_t>(i)), e));
        volume += Packet(setId, "PAR 2.0\0RecvSlic", Le(e, 4) + data);
    }
    WriteFileBytes(dir + "\\" + base + ".vol0+" + std::to_string(recoveries) + ".par2", volume);
}

}  // namespace

// The pieces set.001 .. set.003 (7000, 7000, 6000 bytes) of a 20000-byte set.bin, slices of 1024
// bytes: piece 2 holds 7 slices.
// What else lies beside the pieces: a set over other.bin, one over another set.bin of the same
// size, garbage behind a valid header, or the first recovery slice's data changed.
enum TBeside { Nothing, ForeignSet, SameNameOtherBytes, Hostile, BadPacket };
struct TRepairRow {
    const char* name;
    bool overFile = false;     // the set describes set.bin, not its pieces
    bool descriptor = true;    // false: set.crc removed, piece 1 selected
    uint32_t recoveries = 8;
    int lose = 0;              // the piece removed
    int damage = 0;            // slices of piece 2 with a byte changed
    int lastShort = 0;         // bytes cut from the end of piece 3
    TBeside beside = Nothing;
    TCause cause = TCause::None;
    int rebuilt = 0;           // the piece named as rebuilt, or the first named as unbuilt
    const char* text = "";     // the failure's text; %s: that piece's path
};

const TRepairRow RepairRows[] = {
    {.name = "LostPieceOverPieces", .lose = 2, .rebuilt = 2},
    {.name = "DamagedPieceOverPieces", .damage = 2, .rebuilt = 2},
    {.name = "LostPieceOverFile", .overFile = true, .lose = 2, .rebuilt = 2},
    {.name = "DamagedPieceOverFile", .overFile = true, .damage = 1, .rebuilt = 2},
    {.name = "LostMiddlePieceAlone", .descriptor = false, .lose = 2, .rebuilt = 2},
    {.name = "LostLastPieceAlone", .descriptor = false, .lose = 3, .rebuilt = 3},
    {.name = "ShortLastPieceAlone", .descriptor = false, .lastShort = 100, .rebuilt = 3},
    {.name = "TooLittleUpFront", .recoveries = 6, .lose = 2, .cause = TCause::TooLittleRecovery, .rebuilt = 2,
     .text = "Piece \"%s\" is missing; set.par2 and its volumes hold 6 recovery slices, 7 are needed."},
    {.name = "TooLittleAfterCheck", .recoveries = 1, .damage = 2, .cause = TCause::TooLittleRecovery, .rebuilt = 2,
     .text = "Piece \"%s\" is damaged; set.par2 and its volumes hold 1 recovery slice, 2 are needed."},
    {.name = "BadRecoveryPacketDropped", .lose = 2, .beside = BadPacket, .rebuilt = 2},
    {.name = "ForeignSetIgnored", .lose = 2, .beside = ForeignSet, .cause = TCause::PieceMissing, .rebuilt = 2},
    {.name = "SameNameOtherBytesIgnored", .overFile = true, .lose = 2, .beside = SameNameOtherBytes,
     .cause = TCause::PieceMissing, .rebuilt = 2},
    {.name = "HostileFileIgnored", .lose = 2, .beside = Hostile, .cause = TCause::PieceMissing, .rebuilt = 2},
};

class RepairTest : public TEngineTest, public ::testing::WithParamInterface<TRepairRow> {
protected:
    // The set's pieces with the row's recovery files beside them, damaged as the row says;
    // returns the file to select.
    std::string Prepare(const TRepairRow& row, const std::string& bytes)
    {
        descriptor_ = Pieces("set.bin", bytes, 7000);
        std::vector<TSetFile> files{{"set.bin", bytes}};
        if (!row.overFile) files = {{"set.001", bytes.substr(0, 7000)}, {"set.002", bytes.substr(7000, 7000)},
                                    {"set.003", bytes.substr(14000)}};
        if (row.beside == ForeignSet) files = {{"other.bin", bytes}};
        if (row.beside == SameNameOtherBytes) files = {{"set.bin", PatternBytes(bytes.size(), 9)}};
        if (row.beside == Hostile)
            WriteFileBytes(pieces.File("set.par2"), std::string("PAR2\0PKT", 8) + Le(4096, 8) + PatternBytes(4080, 7));
        else WritePar2(pieces.Path(), row.overFile ? "set.bin" : "set", files, 1024, row.recoveries);
        if (row.beside == BadPacket) {
            const std::string volume = pieces.File("set.vol0+" + std::to_string(row.recoveries) + ".par2");
            std::string data = ReadFileBytes(volume);
            data[64 + 4 + 10] ^= 1;
            WriteFileBytes(volume, data);
        }
        std::string second = ReadFileBytes(Piece(2));
        for (int i = 0; i < row.damage; ++i) second[100 + 1100 * i] ^= 0x5A;
        WriteFileBytes(Piece(2), second);
        WriteFileBytes(Piece(3), bytes.substr(14000, 6000 - row.lastShort));
        if (row.lose) { EXPECT_TRUE(DeleteFileA(Piece(row.lose).c_str())); }
        if (!row.descriptor) { EXPECT_TRUE(DeleteFileA(descriptor_.c_str())); }
        return row.descriptor ? descriptor_ : Piece(1);
    }
    std::string Piece(int n) const { return PieceFileName(descriptor_, n); }
    std::string descriptor_;
};

TEST_P(RepairTest, CombineRebuildsWhatRecoveryDataAllows)
{
    const TRepairRow& row = GetParam();
    const std::string bytes = PatternBytes(20000, 3);
    const std::string selected = Prepare(row, bytes);
    const TUnchanged unchanged({pieces.Path()});
    TClosingReport closing;  // a refusal before the first write makes no progress call
    const TOutcome outcome = RunCombineFrom(selected, target.Path(), nullptr, &closing);
    closing.Send();
    EXPECT_TRUE(Ended(outcome, row.cause, row.cause == TCause::None ? "" : Piece(row.rebuilt)));
    if (row.cause != TCause::None) {
        std::string text = row.text;
        if (const size_t at = text.find("%s"); at != std::string::npos) text.replace(at, 2, Piece(row.rebuilt));
        if (!text.empty()) { EXPECT_EQ(FailureText(outcome), text); }
        EXPECT_TRUE(FileNames(target.Path()).empty());
        return;
    }
    EXPECT_EQ(ReadFileBytes(target.File(row.descriptor ? "set.bin" : "set")), bytes);
    ASSERT_EQ(outcome.Done.Rebuilt.size(), 1u);
    EXPECT_EQ(outcome.Done.Rebuilt[0].File, Piece(row.rebuilt));
    EXPECT_EQ(outcome.Done.Rebuilt[0].Missing, row.lose != 0);
    EXPECT_EQ(outcome.Done.Rebuilt[0].From, row.overFile ? "set.bin.vol0+8.par2" : "set.vol0+8.par2");
    EXPECT_FALSE(outcome.Done.Unverified);
    if (!row.descriptor) { EXPECT_EQ(outcome.List, "set.par2"); }
}

ZANDREL_ROWS(RepairTest, RepairRows);

using RepairCancelTest = RepairTest;

// The host's cancel at the rebuild's first stripe report (after the copy's three reports).
TEST_F(RepairCancelTest, CancelDuringRebuildLeavesNothing)
{
    const std::string selected = Prepare({.name = "Lost", .lose = 2}, PatternBytes(20000, 3));
    const TUnchanged unchanged({pieces.Path()});
    TProgressRecorder progress;
    progress.OnCall = [](size_t index) { return index >= 3; };
    const TOutcome outcome = engineprobe::Combine(selected, target.Path(), progress.Proc());
    EXPECT_TRUE(Ended(outcome, TCause::Cancelled));
    EXPECT_TRUE(FileNames(target.Path()).empty());
    // The copy's three reports, the rebuild's one stripe, the closing one, which never says 100.
    EXPECT_EQ(progress.Percents(), (std::vector<int32_t>{35, 70, 99, 99, 99}));
}
