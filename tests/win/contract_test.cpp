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

// The first differing offset, or -1.
long FirstDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b)
{
    for (size_t i = 0; i < a.size() && i < b.size(); ++i)
        if (a[i] != b[i]) return static_cast<long>(i);
    return a.size() == b.size() ? -1 : static_cast<long>(std::min(a.size(), b.size()));
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
        ASSERT_NE(infoProc_, 0u);
    }

    // Calls GetPlugInInfo(index) on a 0xFF record; returns the record.
    std::vector<uint8_t> PlugInInfo(int32_t index, TAbiCall* call = nullptr)
    {
        std::vector<uint8_t> rec = Filled(sizeof(TPlugInInfo) + RecordSlack);
        TAbiCall c = AbiCall(reinterpret_cast<const void*>(infoProc_), 0xDEADBEEF,
                             {static_cast<uint32_t>(index), Addr(rec.data())});
        if (call) *call = c;
        return rec;
    }

    TLoadedLibrary lib_;
    const void* init_ = nullptr;
    uint32_t infoProc_ = 0;
};

TEST_F(ContractTest, OnlyInitPlugInLibIsExportedFromAnI386DllAndWritesExactlyItsFields)
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

    // InitPlugInLib takes EAX, removes nothing and writes exactly its fields.
    const std::vector<uint8_t> expected =
        Image(sizeof(TPlugInLibInfo) + RecordSlack, {{4, ZANDREL_LIB_NAME}, {280, ZANDREL_COPYRIGHT}},
              {{268, 1}, {272, 0}, {276, 2}, {804, 2}, {808, 0x18000}, {812, infoProc_}, {816, 0}, {820, 0}});

    for (int round = 0; round < 2; ++round) {  // repeated calls write the same bytes
        std::vector<uint8_t> info = Filled(expected.size());
        // Junk on the stack must not matter: the argument travels in EAX only.
        const TAbiCall call = AbiCall(init_, Addr(info.data()), {0x12345678, 0x9ABCDEF0});
        EXPECT_EQ(call.StackRemoved, 0);
        EXPECT_TRUE(call.RegistersPreserved);
        EXPECT_EQ(FirstDifference(info, expected), -1) << "round " << round;
    }
}

// Indexes 1 and 2 fill their record byte for byte (result 3); any other index leaves it untouched.
TEST_F(ContractTest, GetPlugInInfoFillsBothPlugInsByteForByteTheirTablesAnswerAboutAndExecuteWithTheirConventions)
{
    struct {
        int32_t index;
        uint32_t result;
        const char* name;  // null: no plug-in
        const char* description;
        const char* caption;
    } const cases[] = {
        {1, 3, "Split file Plugin", "Split file plug-in for Ferncove Trellisan", "Split file"},
        {2, 3, "Combine splitted files Plugin", "Combine splitted files plug-in for Ferncove Trellisan",
         "Combine files"},
        {3, 2, nullptr, nullptr, nullptr},          {4, 2, nullptr, nullptr, nullptr},
        {-1, 2, nullptr, nullptr, nullptr},         {0x7FFFFFFF, 2, nullptr, nullptr, nullptr},
        {INT32_MIN, 2, nullptr, nullptr, nullptr},  {0, 0, nullptr, nullptr, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.index);
        TAbiCall call;
        const std::vector<uint8_t> rec = PlugInInfo(c.index, &call);
        EXPECT_EQ(call.Result, c.result);
        EXPECT_EQ(call.StackRemoved, 8);
        EXPECT_TRUE(call.RegistersPreserved);
        uint32_t fp;  // the function table, whatever its address
        std::memcpy(&fp, &rec[1592], 4);
        const std::vector<uint8_t> expected =
            c.name ? Image(rec.size(), {{4, c.name}, {265, c.description}, {532, c.caption}},
                           {{528, 2}, {1576, 1}, {1580, 0x10809}, {1592, fp}})
                   : Filled(rec.size());
        if (c.name) {
            EXPECT_NE(fp, 0u);
            EXPECT_EQ(PlugInInfo(c.index), rec) << "a second call writes the same bytes";
        }
        EXPECT_EQ(FirstDifference(rec, expected), -1);
    }

    // The plug-ins' function tables, reached through the host's walk.
    const void* tables[] = {reinterpret_cast<const void*>(lib_.Functions(1)), reinterpret_cast<const void*>(lib_.Functions(2))};
    std::vector<uint32_t> entries;
    std::vector<int32_t> codes = {0x7FFFFFFF, INT32_MIN};
    for (int32_t code = -1; code <= 40; ++code) codes.push_back(code);
    for (const void* table : tables) {
        for (int32_t code : codes) {
            const TAbiCall call = AbiCall(table, 0, {static_cast<uint32_t>(code)});
            EXPECT_EQ(call.StackRemoved, 4) << code;
            EXPECT_TRUE(call.RegistersPreserved) << code;
            if (code == 2 || code == 4) {
                EXPECT_NE(call.Result, 0u) << code;
                entries.push_back(call.Result);
            } else {
                EXPECT_EQ(call.Result, 0u) << "code " << code;
            }
        }
    }
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(std::set<uint32_t>(entries.begin(), entries.end()).size(), 4u) << "four different entries, two tables";

    // The About boxes as the user sees them (caption, the four lines, the host's window as owner, the
    // information icon), and the commands' dialogs, reached through the exact conventions.
    THostWindow host;
    ASSERT_NE(host.Get(), nullptr);
    const char* const firstLines[] = {"Split files plugin for Ferncove Trellisan",
                                      "Combine splitted files plugin for Ferncove Trellisan"};
    for (int32_t index : {1, 2}) {
        const void* about = reinterpret_cast<const void*>(lib_.About(index));
        const void* execute = reinterpret_cast<const void*>(lib_.Execute(index));
        ASSERT_TRUE(about && execute) << index;
        for (HWND owner : {host.Get(), static_cast<HWND>(nullptr)}) {
            TBoxWatcher watcher(IDOK);
            const TAbiCall call = AbiCall(about, 0, {0xCAFEF00D, Addr(owner)});
            EXPECT_EQ(call.StackRemoved, 8);
            EXPECT_TRUE(call.RegistersPreserved);
            const auto seen = watcher.Seen();
            ASSERT_EQ(seen.size(), 1u);
            EXPECT_EQ(seen[0].Caption, "Ferncove Trellisan Standart Plug-In");
            EXPECT_EQ(seen[0].Text,
                      std::string(firstLines[index - 1]) + "\r\n\r\nFerncove Project.\r\n" ZANDREL_COPYRIGHT);
            EXPECT_EQ(seen[0].Owner, owner);
            EXPECT_EQ(seen[0].Icon, SystemIcon(IDI_INFORMATION));
        }
        {
            // The command's dialog is cancelled at once; junk in the unused arguments does not matter.
            TBoxWatcher watcher(IDCANCEL);
            const char* target = "C:\\";
            const char* file = "C:\\no-such-file.txt";
            const TAbiCall call = AbiCall(execute, 0, {0xAAAAAAAA, 0, 0xBBBBBBBB, 0xCCCCCCCC, 0xDDDDDDDD,
                                                       Addr(target), Addr(file), 0xEEEEEEEE, 0});
            EXPECT_EQ(call.StackRemoved, 36);
            EXPECT_TRUE(call.RegistersPreserved);
            EXPECT_EQ(call.Result, 0u);
        }
    }
}

}  // namespace
