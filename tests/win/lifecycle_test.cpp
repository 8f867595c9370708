// Library load and unload: the module order, the state each module sets up and tears down, and
// the loading thread's OLE state around LoadLibrary/FreeLibrary of the real zandrel.pdl.
#include <gtest/gtest.h>

#include <windows.h>
#include <ole2.h>

#include <malloc.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "CRC32Core.h"
#include "DropSource.h"
#include "Library.h"
#include "LibraryModules.h"
#include "Lifecycle.h"
#include "PrgConst.h"
#include "Rows.h"
#include "nettools.h"

// The bytes in use on the C runtime's heap, where every allocation of the modules lands.
static size_t HeapInUse()
{
    _HEAPINFO entry{};
    size_t used = 0;
    while (_heapwalk(&entry) == _HEAPOK) used += entry._useflag == _USEDENTRY ? entry._size : 0;
    return used;
}

namespace {

// The library's own table, as its entry point hands it to the lifecycle.
const TModuleTable Library = ModuleTable(LibraryModules);

// The modules' notifications as "+Name" and "-Name", in the order they came, each with the state
// that the modules with state showed at that moment.
struct TStep {
    std::string event;
    bool texts, shares, ole, crcTable;
};
std::vector<TStep> gTrace;
void RecordModule(char sign, const TModule& module)
{
    gTrace.push_back({sign + std::string(module.name), !PrgConstTexts[0].empty(), ConnectedShares != nullptr,
                      DropSourceOleInitialized(), CRCTable[255] != 0});
}

std::vector<std::string> Events()
{
    std::vector<std::string> events;
    for (const TStep& step : gTrace) events.push_back(step.event);
    return events;
}

// Where an event stands in the trace (the trace's length when it is missing).
size_t StepOf(const std::string& event)
{
    const auto at = std::find_if(gTrace.begin(), gTrace.end(), [&](const TStep& s) { return s.event == event; });
    return static_cast<size_t>(at - gTrace.begin());
}

// The apartment state of the calling thread, probed without changing it.
enum class TApartment { None, STA, MTA };
TApartment ProbeApartment()
{
    const HRESULT hr = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (SUCCEEDED(hr)) CoUninitialize();
    return hr == S_FALSE ? TApartment::MTA : hr == RPC_E_CHANGED_MODE ? TApartment::STA : TApartment::None;
}

const std::string LibraryPath = ProgramDir() + "\\zandrel.pdl";

// A task allocator that only counts its releases.
class TCountingMalloc : public IMalloc {
public:
    int releases = 0;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override { *out = nullptr; return E_NOINTERFACE; }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { ++releases; return 1; }
    void* STDMETHODCALLTYPE Alloc(SIZE_T) override { return nullptr; }
    void* STDMETHODCALLTYPE Realloc(void*, SIZE_T) override { return nullptr; }
    void STDMETHODCALLTYPE Free(void*) override {}
    SIZE_T STDMETHODCALLTYPE GetSize(void*) override { return 0; }
    int STDMETHODCALLTYPE DidAlloc(void*) override { return -1; }
    void STDMETHODCALLTYPE HeapMinimize() override {}
};

// The test's thread is where COM is untouched at the start of each test, and again at its end:
// the row's own initialisation (none; an STA, where OleInitialize gives S_FALSE and must still be
// balanced; the MTA, where OleInitialize fails and is not undone) is undone after the test.
const struct TThreadRow { const char* name; int mode; TApartment apartment; } Threads[] = {
    {.name = "Untouched", .mode = -1, .apartment = TApartment::None},
    {.name = "AlreadySTA", .mode = COINIT_APARTMENTTHREADED, .apartment = TApartment::STA},
    {.name = "InTheMTA", .mode = COINIT_MULTITHREADED, .apartment = TApartment::MTA},
};
class LifecycleThread : public ::testing::TestWithParam<TThreadRow> {
protected:
    void SetUp() override
    {
        if (GetParam().mode >= 0) {
            ASSERT_EQ(CoInitializeEx(nullptr, GetParam().mode), S_OK);
        }
    }
    void TearDown() override
    {
        if (GetParam().mode >= 0) CoUninitialize();
        EXPECT_EQ(ProbeApartment(), TApartment::None);
    }
    static bool Mta() { return GetParam().apartment == TApartment::MTA; }
    // The library's modules initialised twice (at most once per load), traced from a cleared
    // checksum table; then finalised twice (the second finds nothing left).
    static void Load()
    {
        std::memset(CRCTable, 0, sizeof CRCTable);
        gTrace.clear();
        SetLifecycleObserver(&RecordModule);
        InitializeModules(Library);
        InitializeModules(Library);
    }
    static void Unload()
    {
        FinalizeModules(false);
        FinalizeModules(false);
        SetLifecycleObserver(nullptr);
    }
};
ZANDREL_ROWS(LifecycleThread, Threads);

// An unload releases the shell's allocator exactly once, whatever runs after it; at process exit
// no other library may be called, so it is not released and OLE is left to the ending process.
const struct TEndingRow { const char* name; bool ending; } Endings[] = {
    {.name = "Unload", .ending = false},
    {.name = "ProcessExit", .ending = true},
};
class LifecycleEnding : public ::testing::TestWithParam<TEndingRow> {};
ZANDREL_ROWS(LifecycleEnding, Endings);

// A table of the test's own: the lifecycle runs whatever table it is given. Module b fails, c has
// nothing to initialise, d nothing to finalise.
std::string gCalls;
const TModule OwnModules[] = {
    {"a", [] { gCalls += "+a"; }, [](bool ending) { gCalls += ending ? "!a" : "-a"; }},
    {"b", [] { gCalls += "+b"; throw 1; }, [](bool) { gCalls += "-b"; }},
    {"c", nullptr, [](bool) { gCalls += "-c"; }},
    {"d", [] { gCalls += "+d"; }, nullptr},
};

}  // namespace

// ---- The modules of the static library, initialised and finalised directly ----

TEST_P(LifecycleThread, UnloadTearsDownTheStateEachModuleSetsUp)
{
    Load();
    // The table the module built is the one the core's checks hold to.
    const std::vector<uint32_t> built(CRCTable, CRCTable + 256);
    BuildCRCTable();
    EXPECT_EQ(built, std::vector<uint32_t>(CRCTable, CRCTable + 256));
    ASSERT_NE(ConnectedShares, nullptr);
    EXPECT_TRUE(ConnectedShares->empty());
    EXPECT_NE(ShellMalloc, nullptr);
    EXPECT_EQ(ProbeApartment(), Mta() ? TApartment::MTA : TApartment::STA);
    for (int i = 0; i < PrgConstCount; ++i) ASSERT_FALSE(PrgConstTexts[i].empty()) << i;
    Unload();
    EXPECT_FALSE(IsShareConnected("\\\\server\\share")) << "no list, no entry";
    EXPECT_EQ(ShellMalloc, nullptr);
    EXPECT_EQ(ProbeApartment(), GetParam().apartment) << "the caller's own initialisation was undone or kept";
    for (int i = 0; i < PrgConstCount; ++i) ASSERT_TRUE(PrgConstTexts[i].empty()) << i;
}

// The formats a drop source offers the host, registered by name in this order (identifiers handed
// out after the test's own marker are new registrations, allocated in call order).
TEST_P(LifecycleThread, DropSourceRegistersTheHostsFormatsInOrder)
{
    GUID guid{};
    ASSERT_EQ(CoCreateGuid(&guid), S_OK);
    const UINT fresh = RegisterClipboardFormatA(
        ("zandrel-lifecycle-marker-" + std::to_string(guid.Data1) + "-" + std::to_string(guid.Data2)).c_str());
    ASSERT_NE(fresh, 0u);
    Load();
    const UINT* ids = DropSourceFormats();
    const struct { UINT id; const char* name; } formats[DropSourceFormatCount] = {
        {CF_FILECONTENTS, "FileContents"}, {CF_FILEGROUPDESCRIPTOR, "FileGroupDescriptor"},
        {CF_IDLIST, "Shell IDList Array"}, {CF_PREFERREDDROPEFFECT, "Preferred DropEffect"},
        {CF_URL, "UniformResourceLocator"}, {CF_FILENAMEMAP, "FileNameMap"}, {CF_FILENAMEMAPW, "FileNameMapW"}};
    UINT lastNew = fresh;
    for (int i = 0; i < DropSourceFormatCount; ++i) {
        const char* name = formats[i].name;
        EXPECT_STREQ(DropSourceFormatNames[i], name);
        EXPECT_EQ(ids[i], formats[i].id) << name;
        ASSERT_NE(ids[i], 0u) << name;
        EXPECT_EQ(RegisterClipboardFormatA(name), ids[i]) << name;
        char text[64] = {};
        GetClipboardFormatNameA(ids[i], text, sizeof text);
        EXPECT_STREQ(text, name);
        if (ids[i] > fresh) {
            EXPECT_GT(ids[i], lastNew) << name << " registered out of order";
            lastNew = ids[i];
        }
    }
    Unload();
}

// Modules come up in the table's order and go down in reverse, each announced once it is
// initialised or finalised. Each module's state appears at its own notification and is gone at its
// own one on the way out (so all are up at the last load step and down at the last unload step):
// the texts, then the share list, then OLE (none in the MTA), then the checksum table, which stays
// filled.
TEST_P(LifecycleThread, EachModuleComesUpInTableOrderWithItsState)
{
    Load();
    std::vector<std::string> events;
    for (const TModule& module : LibraryModules) events.push_back(std::string("+") + module.name);
    EXPECT_EQ(Events(), events);
    Unload();
    for (int i = Library.count - 1; i >= 0; --i) events.push_back(std::string("-") + LibraryModules[i].name);
    EXPECT_EQ(Events(), events);
    for (int i = 0; i < Library.count; ++i) EXPECT_FALSE(ModuleInitialized(i)) << LibraryModules[i].name;
    const struct { const char* module; bool TStep::*state; bool tornDown; } stateful[] = {
        {"PrgConst", &TStep::texts, true}, {"nettools", &TStep::shares, true},
        {"DropSource", &TStep::ole, true}, {"CRC32", &TStep::crcTable, false}};
    size_t previous = 0;
    for (const auto& m : stateful) {
        const size_t up = StepOf(std::string("+") + m.module), down = StepOf(std::string("-") + m.module);
        ASSERT_LT(down, gTrace.size()) << m.module << " is not in the library's table";
        EXPECT_GE(up, previous) << m.module << " comes before a module it follows";
        previous = up;
        for (size_t i = 0; i < gTrace.size(); ++i) {
            const bool expected = i >= up && (i < down || !m.tornDown) && !(Mta() && m.state == &TStep::ole);
            EXPECT_EQ(gTrace[i].*m.state, expected) << m.module << " at " << gTrace[i].event;
        }
    }
}

TEST_P(LifecycleThread, LoadUnloadCyclesKeepNoMemory)
{
    Load();
    Unload();
    const size_t before = HeapInUse();
    for (int cycle = 0; cycle < 8; ++cycle) {
        InitializeModules(Library);
        FinalizeModules(false);
    }
    EXPECT_EQ(HeapInUse(), before) << "bytes left behind by eight load/unload cycles";
}

TEST(ModuleTable, AFailedModuleIsSkippedAtUnload)
{
    const TModule other[] = {{"x", [] { gCalls += "+x"; }, nullptr}};
    gCalls.clear();
    InitializeModules(ModuleTable(OwnModules));
    InitializeModules(ModuleTable(other));  // another table while this one is loaded: ignored
    EXPECT_EQ(gCalls, "+a+b+d");
    for (int i : {0, 1, 2}) EXPECT_EQ(ModuleInitialized(i), i != 1) << i;
    FinalizeModules(false);
    EXPECT_EQ(gCalls, "+a+b+d-c-a");
}

TEST(ModuleTable, AtProcessExitEachModuleIsToldTheProcessEnds)
{
    gCalls.clear();
    InitializeModules(ModuleTable(OwnModules));
    FinalizeModules(true);
    EXPECT_EQ(gCalls, "+a+b+d-c!a");
}

TEST_P(LifecycleEnding, ReleasesTheShellAllocatorOnlyOnAnUnload)
{
    std::thread([] {  // a thread of its own: each row starts where COM is untouched
        const bool ending = GetParam().ending;
        InitializeModules(Library);
        IMalloc* real = ShellMalloc;
        ASSERT_NE(real, nullptr);
        TCountingMalloc counting;
        ShellMalloc = &counting;
        ConnectedShares->push_back("\\\\server\\share");
        FinalizeModules(ending);
        FinalizeModules(ending);
        FinalizeDropSource();
        FinalizeNettools();
        EXPECT_EQ(counting.releases, ending ? 0 : 1);
        EXPECT_EQ(ShellMalloc, nullptr);
        EXPECT_EQ(ConnectedShares, nullptr);
        EXPECT_EQ(ProbeApartment(), ending ? TApartment::STA : TApartment::None);
        if (ending) OleUninitialize();  // balanced here instead
        real->Release();
    }).join();
}

// ---- The real library ----

// Twenty cycles on each row's thread.
TEST_P(LifecycleThread, TheRealLibraryLeavesTheThreadsOleStateAsItWas)
{
    const TApartment before = ProbeApartment();
    for (int cycle = 0; cycle < 20; ++cycle) {
        HMODULE lib = LoadLibraryA(LibraryPath.c_str());
        ASSERT_NE(lib, nullptr) << "cycle " << cycle << ", error " << GetLastError();
        EXPECT_NE(GetProcAddress(lib, "InitPlugInLib"), nullptr);
        // A second load of the mapped library only counts a reference: its release detaches nothing.
        EXPECT_EQ(LoadLibraryA(LibraryPath.c_str()), lib);
        FreeLibrary(lib);
        if (!Mta()) {
            EXPECT_EQ(ProbeApartment(), TApartment::STA) << "OLE is ready on the loading thread";
        }
        ASSERT_TRUE(FreeLibrary(lib));
        ASSERT_EQ(GetModuleHandleA(LibraryPath.c_str()), nullptr) << "the library stays mapped";
        ASSERT_EQ(ProbeApartment(), before) << "cycle " << cycle;
    }
}
