// Library load and unload: the module order, the state each module sets up and tears down, and
// the loading thread's OLE state around LoadLibrary/FreeLibrary of the real zandrel.pdl.
#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>
#include <ole2.h>

#include <malloc.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "CRC32.h"
#include "CRC32Core.h"
#include "DropSource.h"
#include "LibraryModules.h"
#include "Lifecycle.h"
#include "PrgConst.h"
#include "TestFiles.h"
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
    size_t i = 0;
    while (i < gTrace.size() && gTrace[i].event != event) ++i;
    return i;
}

// Runs fn on a thread of its own, so that each case starts with a thread where COM is untouched.
template <class Fn>
void OnFreshThread(Fn fn)
{
    std::thread t(fn);
    t.join();
}

// The apartment state of the calling thread, probed without changing it.
enum class TApartment { None, STA, MTA };
TApartment ProbeApartment()
{
    const HRESULT hr = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (hr == S_OK) {
        CoUninitialize();
        return TApartment::None;
    }
    if (hr == S_FALSE) {
        CoUninitialize();
        return TApartment::MTA;
    }
    return hr == RPC_E_CHANGED_MODE ? TApartment::STA : TApartment::None;
}

std::string LibraryPath()
{
    char exe[MAX_PATH];
    const DWORD n = GetModuleFileNameA(nullptr, exe, MAX_PATH);
    std::string dir(exe, n);
    return dir.substr(0, dir.find_last_of('\\') + 1) + "zandrel.pdl";
}

// A task allocator that only counts its releases.
class TCountingMalloc : public IMalloc {
public:
    int releases = 0;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override
    {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        ++releases;
        return 1;
    }
    void* STDMETHODCALLTYPE Alloc(SIZE_T) override { return nullptr; }
    void* STDMETHODCALLTYPE Realloc(void*, SIZE_T) override { return nullptr; }
    void STDMETHODCALLTYPE Free(void*) override {}
    SIZE_T STDMETHODCALLTYPE GetSize(void*) override { return 0; }
    int STDMETHODCALLTYPE DidAlloc(void*) override { return -1; }
    void STDMETHODCALLTYPE HeapMinimize() override {}
};

}  // namespace

// ---- The modules of the static library, initialised and finalised directly ----

TEST(Lifecycle, ModulesRunInLoadOrderAndFinishInReverse)
{
    OnFreshThread([] {
        std::memset(CRCTable, 0, sizeof CRCTable);
        gTrace.clear();
        SetLifecycleObserver(&RecordModule);
        InitializeModules(Library);
        InitializeModules(Library);  // at most once per load
        std::vector<std::string> load;
        for (const TModule& module : LibraryModules) load.push_back("+" + std::string(module.name));
        EXPECT_EQ(Events(), load);
        for (int i = 0; i < Library.count; ++i) EXPECT_TRUE(ModuleInitialized(i)) << LibraryModules[i].name;

        FinalizeModules(false);
        FinalizeModules(false);  // nothing left to finalise
        std::vector<std::string> all = load;
        for (auto it = load.rbegin(); it != load.rend(); ++it) all.push_back("-" + it->substr(1));
        EXPECT_EQ(Events(), all);
        for (int i = 0; i < Library.count; ++i) EXPECT_FALSE(ModuleInitialized(i)) << LibraryModules[i].name;
        SetLifecycleObserver(nullptr);

        // Each module's state appears at its own notification and is gone at its own one on the
        // way out: the texts, then the share list, then OLE, then the checksum table.
        const struct {
            const char* module;
            bool TStep::*state;
            bool tornDown;  // the checksum table stays filled
        } stateful[] = {{"PrgConst", &TStep::texts, true},
                        {"nettools", &TStep::shares, true},
                        {"DropSource", &TStep::ole, true},
                        {"CRC32", &TStep::crcTable, false}};
        size_t previous = 0;
        for (const auto& m : stateful) {
            const size_t up = StepOf("+" + std::string(m.module)), down = StepOf("-" + std::string(m.module));
            ASSERT_LT(down, gTrace.size()) << m.module << " is not in the library's table";
            EXPECT_GE(up, previous) << m.module << " comes before a module it follows";
            previous = up;
            for (size_t i = 0; i < gTrace.size(); ++i) {
                const bool expected = i >= up && (i < down || !m.tornDown);
                EXPECT_EQ(gTrace[i].*m.state, expected) << m.module << " at " << gTrace[i].event;
            }
        }
    });
}

TEST(Lifecycle, ATableRunsInOrderAndAFailedModuleIsSkippedAtUnload)
{
    // A table of the test's own: the lifecycle runs whatever table it is given.
    static std::string calls;
    const TModule modules[] = {
        {"a", [] { calls += "+a"; }, [](bool ending) { calls += ending ? "!a" : "-a"; }},
        {"b", [] { calls += "+b"; throw 1; }, [](bool) { calls += "-b"; }},
        {"c", nullptr, [](bool) { calls += "-c"; }},
        {"d", [] { calls += "+d"; }, nullptr},
    };
    const TModule other[] = {{"x", [] { calls += "+x"; }, nullptr}};
    calls.clear();
    InitializeModules(ModuleTable(modules));
    InitializeModules(ModuleTable(other));  // another table while this one is loaded: ignored
    EXPECT_EQ(calls, "+a+b+d");
    EXPECT_TRUE(ModuleInitialized(0));
    EXPECT_FALSE(ModuleInitialized(1));
    EXPECT_TRUE(ModuleInitialized(2));
    FinalizeModules(false);
    EXPECT_EQ(calls, "+a+b+d-c-a");
    calls.clear();
    InitializeModules(ModuleTable(modules));
    FinalizeModules(true);
    EXPECT_EQ(calls, "+a+b+d-c!a");
}

TEST(Lifecycle, LoadAndUnloadCyclesKeepNothingAllocated)
{
    OnFreshThread([] {
        InitializeModules(Library);
        FinalizeModules(false);
        const size_t before = HeapInUse();
        for (int cycle = 0; cycle < 8; ++cycle) {
            InitializeModules(Library);
            FinalizeModules(false);
        }
        EXPECT_EQ(HeapInUse(), before) << "bytes left behind by eight load/unload cycles";
    });
}

TEST(Lifecycle, StateAfterLoadAndAfterUnload)
{
    OnFreshThread([] {
        std::memset(CRCTable, 0, sizeof CRCTable);
        InitializeModules(Library);

        // The CRC table is complete: every entry as the bitwise definition gives it.
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = (c >> 1) ^ ((c & 1) ? 0xEDB88320u : 0u);
            ASSERT_EQ(CRCTable[i], c) << i;
        }
        {
            testfiles::TempDir dir;
            testfiles::WriteFileBytes(dir.File("check.txt"), "123456789");
            EXPECT_EQ(CalcFileCRC32(dir.File("check.txt")), std::optional<uint32_t>(0xCBF43926u));
        }
        ASSERT_NE(ConnectedShares, nullptr);
        EXPECT_TRUE(ConnectedShares->empty());
        EXPECT_NE(ShellMalloc, nullptr);
        EXPECT_TRUE(DropSourceOleInitialized());
        EXPECT_EQ(ProbeApartment(), TApartment::STA);
        for (int i = 0; i < PrgConstCount; ++i) ASSERT_FALSE(PrgConstTexts[i].empty()) << i;

        FinalizeModules(false);
        EXPECT_EQ(ConnectedShares, nullptr);
        EXPECT_EQ(ShellMalloc, nullptr);
        EXPECT_FALSE(DropSourceOleInitialized());
        EXPECT_EQ(ProbeApartment(), TApartment::None);
        for (int i = 0; i < PrgConstCount; ++i) ASSERT_TRUE(PrgConstTexts[i].empty()) << i;
    });
}

TEST(Lifecycle, ClipboardFormatsAreRegisteredInOrder)
{
    OnFreshThread([] {
        // Identifiers handed out after this one are new registrations, allocated in call order.
        const std::string marker = "zandrel-lifecycle-marker-" + std::to_string(GetCurrentProcessId()) + "-" +
                                   std::to_string(GetTickCount());
        const UINT fresh = RegisterClipboardFormatA(marker.c_str());
        ASSERT_NE(fresh, 0u);

        InitializeModules(Library);
        const UINT* ids = DropSourceFormats();
        const UINT named[DropSourceFormatCount] = {CF_FILECONTENTS, CF_FILEGROUPDESCRIPTOR, CF_IDLIST,
                                                   CF_PREFERREDDROPEFFECT, CF_URL, CF_FILENAMEMAP, CF_FILENAMEMAPW};
        const char* const names[DropSourceFormatCount] = {"FileContents", "FileGroupDescriptor",
                                                          "Shell IDList Array", "Preferred DropEffect",
                                                          "UniformResourceLocator", "FileNameMap", "FileNameMapW"};
        UINT lastNew = fresh;
        for (int i = 0; i < DropSourceFormatCount; ++i) {
            EXPECT_STREQ(DropSourceFormatNames[i], names[i]);
            EXPECT_EQ(ids[i], named[i]) << names[i];
            ASSERT_NE(ids[i], 0u) << names[i];
            EXPECT_EQ(RegisterClipboardFormatA(names[i]), ids[i]) << names[i];
            char text[64] = {};
            GetClipboardFormatNameA(ids[i], text, sizeof text);
            EXPECT_STREQ(text, names[i]);
            if (ids[i] > fresh) {
                EXPECT_GT(ids[i], lastNew) << names[i] << " registered out of order";
                lastNew = ids[i];
            }
        }
        FinalizeModules(false);
    });
}

TEST(Lifecycle, UnloadReleasesTheShellAllocatorExactlyOnce)
{
    OnFreshThread([] {
        InitializeModules(Library);
        IMalloc* real = ShellMalloc;
        ASSERT_NE(real, nullptr);
        TCountingMalloc counting;
        ShellMalloc = &counting;
        ConnectedShares->push_back("\\\\server\\share");
        FinalizeModules(false);
        FinalizeModules(false);
        FinalizeDropSource();
        FinalizeNettools();
        EXPECT_EQ(counting.releases, 1);
        EXPECT_EQ(ShellMalloc, nullptr);
        EXPECT_EQ(ConnectedShares, nullptr);
        real->Release();
    });
}

TEST(Lifecycle, OleBalancedWhateverTheThreadHeld)
{
    // A thread that already has an STA: OleInitialize gives S_FALSE and must still be balanced.
    OnFreshThread([] {
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
        InitializeModules(Library);
        EXPECT_TRUE(DropSourceOleInitialized());
        FinalizeModules(false);
        EXPECT_EQ(ProbeApartment(), TApartment::STA);
        CoUninitialize();
        EXPECT_EQ(ProbeApartment(), TApartment::None);
    });
    // A thread in the MTA: OleInitialize fails and is not undone.
    OnFreshThread([] {
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        InitializeModules(Library);
        EXPECT_FALSE(DropSourceOleInitialized());
        FinalizeModules(false);
        EXPECT_EQ(ProbeApartment(), TApartment::MTA) << "the caller's own initialisation was undone";
        CoUninitialize();
        EXPECT_EQ(ProbeApartment(), TApartment::None);
    });
}

TEST(Lifecycle, ProcessExitTouchesNoOtherLibrary)
{
    OnFreshThread([] {
        InitializeModules(Library);
        IMalloc* real = ShellMalloc;
        TCountingMalloc counting;
        ShellMalloc = &counting;
        FinalizeModules(true);
        EXPECT_EQ(counting.releases, 0);
        EXPECT_EQ(ShellMalloc, nullptr);
        EXPECT_EQ(ConnectedShares, nullptr);
        // OLE was left to the ending process; balance it here.
        EXPECT_EQ(ProbeApartment(), TApartment::STA);
        OleUninitialize();
        if (real) real->Release();
    });
}

// ---- The real library ----

TEST(LifecycleLibrary, LoadAndUnloadLeaveTheThreadsOleStateAsItWas)
{
    const std::string path = LibraryPath();
    ASSERT_TRUE(testfiles::FileExists(path)) << path;
    // An untouched thread, an STA thread, an MTA thread; twenty cycles each.
    for (const int mode : {-1, int(COINIT_APARTMENTTHREADED), int(COINIT_MULTITHREADED)}) {
        OnFreshThread([&] {
            if (mode >= 0) {
                ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, mode)));
            }
            const TApartment before = ProbeApartment();
            for (int cycle = 0; cycle < 20; ++cycle) {
                HMODULE lib = LoadLibraryA(path.c_str());
                ASSERT_NE(lib, nullptr) << "cycle " << cycle << ", error " << GetLastError();
                EXPECT_NE(GetProcAddress(lib, "InitPlugInLib"), nullptr);
                if (mode != int(COINIT_MULTITHREADED)) {
                    EXPECT_EQ(ProbeApartment(), TApartment::STA) << "OLE is ready on the loading thread";
                }
                ASSERT_TRUE(FreeLibrary(lib));
                ASSERT_EQ(GetModuleHandleA(path.c_str()), nullptr) << "the library stays mapped";
                ASSERT_EQ(ProbeApartment(), before) << "mode " << mode << ", cycle " << cycle;
            }
            if (mode >= 0) CoUninitialize();
            EXPECT_EQ(ProbeApartment(), TApartment::None);
        });
    }
}

TEST(LifecycleLibrary, NestedLoadsInitialiseOnce)
{
    // A second LoadLibrary of a mapped library only counts a reference: no second attach.
    const std::string path = LibraryPath();
    OnFreshThread([&] {
        HMODULE a = LoadLibraryA(path.c_str());
        HMODULE b = LoadLibraryA(path.c_str());
        ASSERT_TRUE(a && b);
        EXPECT_EQ(a, b);
        FreeLibrary(b);
        EXPECT_EQ(ProbeApartment(), TApartment::STA);
        FreeLibrary(a);
        EXPECT_EQ(ProbeApartment(), TApartment::None);
    });
}
