// Share connection and directory tests, with the network provider replaced by a recorder.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <tuple>
#include <vector>

#include "App.h"
#include "CurrentDirectory.h"
#include "Rows.h"
#include "TestFiles.h"
#include "nettools.h"

using testfiles::TempDir;

namespace {

// A connection asked for: plain when it has no local name, provider, password or user and an empty
// comment; cursor: the cursor while the provider works.
struct TAddCall { DWORD scope, type, displayType, usage, flags; bool plain; std::string remote; HCURSOR cursor; };
using V = std::vector<std::string>;
const char* const LocalHost = "C:\\Program Files\\Host\\host.exe";

// What the provider was asked (order: "add", "exe" and "cancel" as they came; cancels: "name flags
// force"), the host's path it gives and its answer to every connection (0: NO_ERROR).
struct TLog { std::vector<TAddCall> adds{}; V cancels{}, order{}; std::string exe = LocalHost; DWORD answer = 0; } g;

DWORD WINAPI RecordAdd(LPNETRESOURCEA r, LPCSTR password, LPCSTR user, DWORD flags)
{
    const bool plain = !r->lpLocalName && r->lpComment && !r->lpComment[0] && !r->lpProvider && !password && !user;
    g.adds.push_back({r->dwScope, r->dwType, r->dwDisplayType, r->dwUsage, flags, plain,
                     r->lpRemoteName ? r->lpRemoteName : "<null>", GetCursor()});
    g.order.push_back("add");
    return g.answer;
}

DWORD WINAPI RecordCancel(LPCSTR name, DWORD flags, BOOL force)
{
    g.cancels.push_back((name ? name : "<null>") + (" " + std::to_string(flags)) + " " + std::to_string(force));
    g.order.push_back("cancel");
    return NO_ERROR;
}

// Every test starts with a cross as the screen cursor and an error mode of the caller's own; each
// call must leave both as they were, and the provider always works under the hourglass. The
// scratch directory holds a folder E, a file file.txt and a folder named after a drive letter no
// drive has; no calls are recorded yet, the host runs from a local drive and every connection is
// accepted.
const UINT CallersErrorMode = SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX;
// What a row's text follows: nothing, the scratch directory, the unmapped letter, the scratch
// directory in UNC form.
enum TBase { Typed, InDir, Letter, UncDir };

class NettoolsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Forget();
        old_ = SetNetProvider({&RecordAdd, &RecordCancel, [] { g.order.push_back("exe"); return g.exe; }});
        InitializeNettools();
        App::SetScreenCursor(cross_);
        originalErrorMode_ = SetErrorMode(CallersErrorMode);
        ASSERT_TRUE(CreateDirectoryA(dir.File("E").c_str(), nullptr));
        testfiles::WriteFileBytes(dir.File("file.txt"), "x");
        ASSERT_TRUE(!letter[0] || CreateDirectoryA(dir.File(letter).c_str(), nullptr));
    }
    void ExpectCursorAndErrorModeRestored(const std::string& call) const
    {
        for (const auto& a : g.adds) EXPECT_EQ(a.cursor, wait_) << call << ": the provider works under the hourglass";
        EXPECT_EQ(App::ScreenCursor(), cross_) << call;
        EXPECT_EQ(GetCursor(), cross_) << call;
        EXPECT_EQ(SetErrorMode(CallersErrorMode), CallersErrorMode) << call;
    }
    static void Forget(const char* exe = LocalHost, DWORD answer = NO_ERROR) { g = {.exe = exe, .answer = answer}; }
    void TearDown() override
    {
        SetErrorMode(originalErrorMode_);
        App::SetScreenCursor(nullptr);
        FinalizeNettools();
        SetNetProvider(old_);
    }
    std::string After(TBase base, const char* text) const
    {
        return (base == InDir ? dir.Path() : base == Letter ? letter : base == UncDir ? unc : "") + text;
    }
    TempDir dir;
    const std::string unc = "\\\\?\\" + dir.Path();  // the scratch directory in UNC form
    const std::string letter = std::string(1, testfiles::UnmappedDriveLetter());

private:
    TNetProvider old_{};
    const HCURSOR wait_ = LoadCursor(nullptr, IDC_WAIT), cross_ = LoadCursor(nullptr, IDC_CROSS);
    UINT originalErrorMode_ = 0;
};

// The share root is connected and dropped again unless the host runs from that very share; another
// share of the same server, or the same share spelled otherwise, does not count.
const char* const Share = "\\\\server\\share";
const struct TConnectRow {
    const char *name, *path = "\\\\server\\share\\dir", *exe = "C:\\Host\\host.exe", *remote = Share;
    bool cancelled = true;
} Connects[] = {
    {.name = "Directory"},
    {.name = "SubdirectoryWithSlash", .path = "\\\\server\\share\\dir\\sub\\"},
    {.name = "ShareRoot", .path = Share},
    {.name = "ShareRootWithSlash", .path = "\\\\server\\share\\"},
    {.name = "HostOnTheShare", .exe = "\\\\server\\share\\Host\\host.exe", .cancelled = false},
    {.name = "HostInTheShareRoot", .path = Share, .exe = "\\\\server\\share\\host.exe", .cancelled = false},
    {.name = "HostOnAnotherShare", .exe = "\\\\server\\share2\\host.exe"},
    {.name = "HostOnTheShareBeside", .path = "\\\\server\\share2\\dir", .exe = "\\\\server\\share\\host.exe",
     .remote = "\\\\server\\share2"},
    {.name = "HostOnTheServerInCapitals", .exe = "\\\\SERVER\\share\\host.exe"},
    {.name = "HostPathTheShareRoot", .exe = Share, .cancelled = false},
    {.name = "NoHostPath", .exe = ""},
};
class ShareConnect : public NettoolsTest, public ::testing::WithParamInterface<TConnectRow> {};
ZANDREL_ROWS(ShareConnect, Connects);

// Only a share in the connected list (\\server\share\) is not connected again when asked to check.
const struct TListedRow { const char *name, *path; bool check; size_t adds = 1; } Listed[] = {
    {.name = "ListedChecked", .path = "\\\\server\\share\\dir", .check = true, .adds = 0},
    {.name = "ListedUnchecked", .path = "\\\\server\\share\\dir", .check = false},
    {.name = "UnlistedChecked", .path = "\\\\server\\other\\dir", .check = true},
};
class ListedShare : public NettoolsTest, public ::testing::WithParamInterface<TListedRow> {};
ZANDREL_ROWS(ListedShare, Listed);

// "\\?\C:\..." has the form of a UNC path with a share root, yet names a local directory that
// exists: only the provider's answer decides. Only an accepted connection is dropped again: a
// refused one (the user's own connection with other credentials, say) is left alone.
const struct TAnswerRow { const char* name; std::vector<DWORD> answers; bool found = false; } Answers[] = {
    {.name = "Accepted", .answers = {NO_ERROR}, .found = true},
    {.name = "Refused", .answers = {ERROR_BAD_NET_NAME, ERROR_ACCESS_DENIED, ERROR_SESSION_CREDENTIAL_CONFLICT,
                                    ERROR_NO_NETWORK}},
};
class ProviderAnswer : public NettoolsTest, public ::testing::WithParamInterface<TAnswerRow> {};
ZANDREL_ROWS(ProviderAnswer, Answers);

// Texts that share one result: each is base followed by one of texts.
struct TTextsRow { const char* name; TBase base = Typed; std::vector<const char*> texts; bool exists = false; };

// Paths without a share make no network call, not even for the host's path.
const TTextsRow NoShares[] = {
    {.name = "NoShareRoot", .texts = {"\\\\server\\", "\\\\server", "\\\\", ""}},
    {.name = "Directory", .base = InDir, .texts = {"", "\\"}, .exists = true},
    {.name = "NotADirectory", .base = InDir, .texts = {"\\file.txt", "\\missing"}},
    {.name = "OnAnotherDrive", .texts = {"Q:\\no\\such\\dir"}},
};
class NoShare : public NettoolsTest, public ::testing::WithParamInterface<TTextsRow> {};
ZANDREL_ROWS(NoShare, NoShares);

// A typed target is tested as the directory written into: from the scratch directory as the
// current one, which holds a folder named after the unmapped letter and no folder "c", a bare
// letter is that drive's root. A last name that ends in a space or dots is refused, although "E"
// exists, also in a UNC-formed target, and without a network call (with a good name a UNC-formed
// target connects: AUNCTargetConnectsItsShareRoot). No text asks the provider anything.
const TTextsRow Targets[] = {
    {.name = "DriveC", .texts = {"c", "C:"}, .exists = true},
    {.name = "UnmappedDrive", .base = Letter, .texts = {"", ":"}},
    {.name = "Folder", .base = InDir, .texts = {"\\E", "\\E\\", "\\E\\.", "\\E\\..", "\\"}, .exists = true},
    {.name = "LastNameEndsInASpaceOrDot", .base = InDir, .texts = {"\\E ", "\\E...", "\\E.", "\\E \\", "\\E\\. "}},
    {.name = "NotADirectory", .base = InDir, .texts = {"\\file.txt", "\\missing"}},
    {.name = "Empty", .texts = {""}},
    {.name = "UNCFormedEndsInASpaceOrDot", .base = UncDir, .texts = {"\\E ", "\\E."}},
};
class TargetDirectory : public NettoolsTest, public ::testing::WithParamInterface<TTextsRow> {};
ZANDREL_ROWS(TargetDirectory, Targets);

}  // namespace

TEST_P(ShareConnect, ConnectsTheShareRootDroppedUnlessTheHostRunsThere)
{
    const TConnectRow& c = GetParam();
    Forget(c.exe);
    EXPECT_TRUE(ConnectShare(c.path, true));
    ASSERT_EQ(g.adds.size(), 1u);
    const TAddCall& a = g.adds[0];
    EXPECT_EQ(a.remote, c.remote);
    EXPECT_EQ(std::make_tuple(a.scope, a.type, a.displayType, a.usage, a.flags),
              std::make_tuple(DWORD(RESOURCE_GLOBALNET), DWORD(RESOURCETYPE_ANY), DWORD(RESOURCEDISPLAYTYPE_SERVER),
                              DWORD(RESOURCEUSAGE_CONTAINER), DWORD(0)));
    EXPECT_TRUE(a.plain);
    EXPECT_EQ(g.cancels, c.cancelled ? V{std::string(c.remote) + " 0 0"} : V{});
    EXPECT_EQ(g.order, c.cancelled ? (V{"add", "exe", "cancel"}) : (V{"add", "exe"}));
    ExpectCursorAndErrorModeRestored("connected");
}

// The list stays empty, so each directory test asks the provider anew.
TEST_F(NettoolsTest, EachDirectoryTestConnectsAnew)
{
    for (int i = 0; i < 3; ++i) UNCDirectoryExists("\\\\server\\share\\dir");
    EXPECT_EQ(g.adds.size(), 3u);
    EXPECT_EQ(g.cancels.size(), 3u);
    ASSERT_NE(ConnectedShares, nullptr);
    EXPECT_TRUE(ConnectedShares->empty());
}

TEST_F(NettoolsTest, AShareIsConnectedWhenTheListHoldsItsRoot)
{
    ConnectedShares->push_back("\\\\server\\share\\");
    EXPECT_TRUE(IsShareConnected("\\\\server\\share\\dir\\file"));
    EXPECT_FALSE(IsShareConnected("\\\\server\\other\\dir"));
}

TEST_P(ListedShare, OnlyAnUnlistedOrUncheckedShareIsConnected)
{
    ConnectedShares->push_back("\\\\server\\share\\");
    EXPECT_TRUE(ConnectShare(GetParam().path, GetParam().check));
    EXPECT_EQ(g.adds.size(), GetParam().adds);
    EXPECT_EQ(g.cancels.size(), GetParam().adds);
}

TEST_P(ProviderAnswer, DecidesWhetherAUNCFormedDirectoryIsFound)
{
    for (const DWORD answer : GetParam().answers) {
        SCOPED_TRACE(answer);
        Forget(LocalHost, answer);
        EXPECT_EQ(UNCDirectoryExists(unc), GetParam().found) << unc;
        ExpectCursorAndErrorModeRestored("directory test");
        EXPECT_EQ(ConnectShare(unc, false), GetParam().found);
        EXPECT_EQ(g.adds.size(), 2u);
        EXPECT_EQ(g.cancels.size(), GetParam().found ? 2u : 0u);
    }
}

TEST_F(NettoolsTest, ARefusedConnectionIsNotDroppedWhoeverRunsTheHost)
{
    Forget("\\\\other\\share\\host.exe", ERROR_SESSION_CREDENTIAL_CONFLICT);
    EXPECT_FALSE(ConnectShare("\\\\server\\share\\dir", false));
    EXPECT_TRUE(g.cancels.empty());
}

TEST_P(NoShare, APathWithoutAShareMakesNoNetworkCall)
{
    for (const char* text : GetParam().texts) {
        const std::string path = After(GetParam().base, text);
        SCOPED_TRACE(path);
        EXPECT_EQ(UNCDirectoryExists(path), GetParam().exists);
        ExpectCursorAndErrorModeRestored(path);
        EXPECT_EQ(DirectoryExists(path), GetParam().exists);
        EXPECT_FALSE(ConnectShare(path, false));
        EXPECT_TRUE(g.order.empty()) << "no provider call, not even for the host's path";
    }
}

TEST_F(NettoolsTest, ThePlainTestsNeverConnectAShare)
{
    EXPECT_FALSE(DirectoryExists("\\\\server\\share\\dir"));
    EXPECT_FALSE(TargetDirectoryExists("\\\\server\\share\\dir"));
    EXPECT_TRUE(g.order.empty()) << "no provider call";
}

TEST_P(TargetDirectory, IsTheDirectoryWrittenInto)
{
    ASSERT_NE(letter[0], 0);
    const testfiles::TCurrentDirectoryScope current(dir.Path());
    ASSERT_TRUE(DirectoryExists(letter)) << "the folder a test of the text alone finds";
    for (const char* text : GetParam().texts) {
        const std::string typed = After(GetParam().base, text);
        SCOPED_TRACE('"' + typed + '"');
        EXPECT_EQ(TargetDirectoryExists(typed), GetParam().exists);
        EXPECT_EQ(UNCTargetDirectoryExists(typed), GetParam().exists);
        EXPECT_TRUE(g.order.empty()) << "no provider call";
    }
}

TEST_F(NettoolsTest, AUNCTargetConnectsItsShareRoot)
{
    EXPECT_TRUE(UNCTargetDirectoryExists(unc + "\\E"));
    ASSERT_EQ(g.adds.size(), 1u);
    EXPECT_EQ(g.adds[0].remote, "\\\\?\\" + dir.Path().substr(0, 2));
}
