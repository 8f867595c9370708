// The binary contract of the shipped library, checked on zandrel.pdl itself: the export table,
// each entry called through its exact convention, every byte the entries write, and the About box.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "AbiCall.h"
#include "BoxWatcher.h"
#include "HostWindow.h"
#include "Library.h"
#include "PlugIntf.h"
#include "Rows.h"
#include "Version.h"

namespace {

// Every byte the host leaves to the library is compared with this image; the rest stays 0xFF.
constexpr size_t RecordSlack = 64;

std::vector<uint8_t> Filled(size_t n) { return std::vector<uint8_t>(n, 0xFF); }

// n bytes of 0xFF with the texts (their terminating zero included) and the 32-bit values at their offsets.
std::vector<uint8_t> Image(size_t n, std::initializer_list<std::pair<size_t, const char*>> texts,
                           std::initializer_list<std::pair<size_t, uint32_t>> values)
{
    std::vector<uint8_t> image = Filled(n);
    for (const auto& [at, text] : texts) std::memcpy(&image[at], text, std::strlen(text) + 1);
    for (const auto& [at, value] : values) std::memcpy(&image[at], &value, sizeof value);
    return image;
}

uint32_t Addr(const void* p) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)); }

// How an entry left the stack and the registers it must keep: {bytes removed, EBX ESI EDI EBP kept}.
std::pair<int32_t, bool> Convention(const TAbiCall& c) { return {c.StackRemoved, c.RegistersPreserved}; }

// The first differing offset, or -1.
long FirstDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b)
{
    const auto at = std::mismatch(a.begin(), a.end(), b.begin(), b.end());
    return at.first == a.end() && at.second == b.end() ? -1 : static_cast<long>(at.first - a.begin());
}

class ContractTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(lib_.Get(), nullptr) << "zandrel.pdl beside the test program";
        init_ = lib_.Proc("InitPlugInLib");
        ASSERT_NE(init_, nullptr);
        std::vector<uint8_t> info = Filled(sizeof(TPlugInLibInfo));
        AbiCall(init_, Addr(info.data()), {});
        std::memcpy(&infoProc_, &info[812], 4);
        ASSERT_NE(infoProc_, nullptr);
    }

    // Calls GetPlugInInfo(index) on a 0xFF record; returns the record.
    std::vector<uint8_t> PlugInInfo(int32_t index, TAbiCall* call = nullptr)
    {
        std::vector<uint8_t> rec = Filled(sizeof(TPlugInInfo) + RecordSlack);
        const TAbiCall c = AbiCall(infoProc_, 0xDEADBEEF, {static_cast<uint32_t>(index), Addr(rec.data())});
        if (call) *call = c;
        return rec;
    }

    TLoadedLibrary lib_;
    const void* init_ = nullptr;
    const void* infoProc_ = nullptr;  // GetPlugInInfo, as InitPlugInLib gives it
};

TEST_F(ContractTest, OnlyInitPlugInLibIsExportedFromAnI386Dll)
{
    const auto* base = reinterpret_cast<const uint8_t*>(lib_.Get());
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(base + dos->e_lfanew);
    EXPECT_EQ(nt->FileHeader.Machine, IMAGE_FILE_MACHINE_I386);
    EXPECT_TRUE(nt->FileHeader.Characteristics & IMAGE_FILE_DLL);
    const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    ASSERT_NE(dir.VirtualAddress, 0u);
    const auto* exp = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + dir.VirtualAddress);
    EXPECT_EQ(exp->NumberOfFunctions, 1u);
    ASSERT_EQ(exp->NumberOfNames, 1u);
    const auto* names = reinterpret_cast<const DWORD*>(base + exp->AddressOfNames);
    EXPECT_STREQ(reinterpret_cast<const char*>(base + names[0]), "InitPlugInLib");
    EXPECT_EQ(lib_.Proc("GetPlugInInfo"), nullptr);
}

// InitPlugInLib takes EAX, removes nothing and writes exactly its fields, the same on every call.
TEST_F(ContractTest, InitPlugInLibWritesExactlyItsFieldsFromEax)
{
    const std::vector<uint8_t> expected =
        Image(sizeof(TPlugInLibInfo) + RecordSlack, {{4, ZANDREL_LIB_NAME}, {280, ZANDREL_COPYRIGHT}},
              {{268, 1}, {272, 0}, {276, 2}, {804, 2}, {808, 0x18000}, {812, Addr(infoProc_)}, {816, 0}, {820, 0}});
    for (int round = 0; round < 2; ++round) {  // repeated calls write the same bytes
        std::vector<uint8_t> info = Filled(expected.size());
        // Junk on the stack must not matter: the argument travels in EAX only.
        const TAbiCall call = AbiCall(init_, Addr(info.data()), {0x12345678, 0x9ABCDEF0});
        EXPECT_EQ(Convention(call), std::make_pair(0, true));
        EXPECT_EQ(FirstDifference(info, expected), -1) << "round " << round;
    }
}

// The two plug-ins: the texts of their record and the first line of their About box.
const struct TPlugInRow { const char *name, *plugIn, *description, *caption, *aboutLine; int32_t index; } PlugIns[] = {
    {.name = "Split", .plugIn = "Split file Plugin", .description = "Split file plug-in for Ferncove Trellisan",
     .caption = "Split file", .aboutLine = "Split files plugin for Ferncove Trellisan", .index = 1},
    {.name = "Combine", .plugIn = "Combine splitted files Plugin",
     .description = "Combine splitted files plug-in for Ferncove Trellisan", .caption = "Combine files",
     .aboutLine = "Combine splitted files plugin for Ferncove Trellisan", .index = 2},
};

class PlugIn : public ContractTest, public ::testing::WithParamInterface<TPlugInRow> {
protected:
    // The About box as the user sees it: caption, the four lines, the owner, the information icon.
    void ExpectAbout(HWND owner)
    {
        const void* about = reinterpret_cast<const void*>(lib_.About(GetParam().index));
        ASSERT_NE(about, nullptr);
        TBoxWatcher watcher(IDOK);
        const TAbiCall call = AbiCall(about, 0, {0xCAFEF00D, Addr(owner)});
        EXPECT_EQ(Convention(call), std::make_pair(8, true));
        const auto seen = watcher.Seen();
        ASSERT_EQ(seen.size(), 1u);
        EXPECT_EQ(seen[0].Caption, "Ferncove Trellisan Standart Plug-In");
        EXPECT_EQ(seen[0].Text, std::string(GetParam().aboutLine) + "\r\n\r\nFerncove Project.\r\n" ZANDREL_COPYRIGHT);
        EXPECT_EQ(seen[0].Owner, owner);
        EXPECT_EQ(seen[0].Icon, SystemIcon(IDI_INFORMATION));
    }
};
ZANDREL_ROWS(PlugIn, PlugIns);

// Result 3, and the same bytes on a second call.
TEST_P(PlugIn, GetPlugInInfoFillsItsRecordByteForByte)
{
    const TPlugInRow& p = GetParam();
    TAbiCall call;
    const std::vector<uint8_t> rec = PlugInInfo(p.index, &call);
    EXPECT_EQ(call.Result, 3u);
    EXPECT_EQ(Convention(call), std::make_pair(8, true));
    uint32_t fp;  // the function table, whatever its address
    std::memcpy(&fp, &rec[1592], 4);
    EXPECT_NE(fp, 0u);
    EXPECT_EQ(FirstDifference(rec, Image(rec.size(), {{4, p.plugIn}, {265, p.description}, {532, p.caption}},
                                         {{528, 2}, {1576, 1}, {1580, 0x10809}, {1592, fp}})),
              -1);
    EXPECT_EQ(PlugInInfo(p.index), rec) << "a second call writes the same bytes";
}

TEST_P(PlugIn, AboutShowsItsBoxOwnedByTheHostWindow)
{
    THostWindow host;
    ASSERT_NE(host.Get(), nullptr);
    ExpectAbout(host.Get());
}

TEST_P(PlugIn, AboutWithoutAWindowShowsItsBoxWithoutOwner) { ExpectAbout(nullptr); }

// The command's dialog is cancelled at once; junk in the unused arguments does not matter.
TEST_P(PlugIn, ExecuteKeepsTheConventionOfItsNineArguments)
{
    const void* execute = reinterpret_cast<const void*>(lib_.Execute(GetParam().index));
    ASSERT_NE(execute, nullptr);
    TBoxWatcher watcher(IDCANCEL);
    const TAbiCall call = AbiCall(execute, 0, {0xAAAAAAAA, 0, 0xBBBBBBBB, 0xCCCCCCCC, 0xDDDDDDDD, Addr("C:\\"),
                                               Addr("C:\\no-such-file.txt"), 0xEEEEEEEE, 0});
    EXPECT_EQ(Convention(call), std::make_pair(36, true));
    EXPECT_EQ(call.Result, 0u);
}

// Any index but 1 and 2 leaves the record untouched: result 2 (0 for index 0).
const struct TIndexRow { const char* name; int32_t index; uint32_t result = 2; } OtherIndexes[] = {
    {.name = "Three", .index = 3},
    {.name = "Four", .index = 4},
    {.name = "MinusOne", .index = -1},
    {.name = "Int32Max", .index = 0x7FFFFFFF},
    {.name = "Int32Min", .index = INT32_MIN},
    {.name = "Zero", .index = 0, .result = 0},
};
class OtherIndex : public ContractTest, public ::testing::WithParamInterface<TIndexRow> {};
ZANDREL_ROWS(OtherIndex, OtherIndexes);

TEST_P(OtherIndex, GetPlugInInfoLeavesTheRecordUntouched)
{
    TAbiCall call;
    const std::vector<uint8_t> rec = PlugInInfo(GetParam().index, &call);
    EXPECT_EQ(call.Result, GetParam().result);
    EXPECT_EQ(Convention(call), std::make_pair(8, true));
    EXPECT_EQ(FirstDifference(rec, Filled(rec.size())), -1);
}

// A plug-in's function table, reached through the host's walk, answers codes 2 and 4 with an
// entry and every other code with none; the two tables give four different entries.
std::vector<uint32_t> TableEntries(const void* table)
{
    std::vector<uint32_t> entries;
    std::vector<int32_t> codes = {0x7FFFFFFF, INT32_MIN};
    for (int32_t code = -1; code <= 40; ++code) codes.push_back(code);
    for (int32_t code : codes) {
        const TAbiCall call = AbiCall(table, 0, {static_cast<uint32_t>(code)});
        EXPECT_EQ(Convention(call), std::make_pair(4, true)) << code;
        EXPECT_EQ(call.Result != 0, code == 2 || code == 4) << "code " << code;
        if (call.Result != 0) entries.push_back(call.Result);
    }
    return entries;
}

TEST_F(ContractTest, FunctionTablesGiveFourEntriesForTheirTwoCodes)
{
    std::vector<uint32_t> entries = TableEntries(reinterpret_cast<const void*>(lib_.Functions(1)));
    const std::vector<uint32_t> combine = TableEntries(reinterpret_cast<const void*>(lib_.Functions(2)));
    entries.insert(entries.end(), combine.begin(), combine.end());
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(std::set<uint32_t>(entries.begin(), entries.end()).size(), 4u) << "four different entries, two tables";
}

}  // namespace
