// Share connection and directory tests, with the network provider replaced by a recorder.
#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "App.h"
#include "CurrentDirectory.h"
#include "TestFiles.h"
#include "nettools.h"

using testfiles::TempDir;

namespace {

struct TAddCall {
    DWORD scope, type, displayType, usage, flags;
    bool plain;  // no local name, provider, password or user; an empty comment
    std::string remote;
    HCURSOR cursor;  // the cursor while the provider works
};
std::vector<TAddCall> gAdds;
std::vector<std::string> gCancels;  // "name flags force"
using V = std::vector<std::string>;
std::vector<std::string> gOrder;
DWORD gAddResult = NO_ERROR;
std::string gExePath;

DWORD WINAPI RecordAdd(LPNETRESOURCEA r, LPCSTR password, LPCSTR user, DWORD flags)
{
    const bool plain = !r->lpLocalName && r->lpComment && !r->lpComment[0] && !r->lpProvider && !password && !user;
    gAdds.push_back({r->dwScope, r->dwType, r->dwDisplayType, r->dwUsage, flags, plain,
                     r->lpRemoteName ? r->lpRemoteName : "<null>", GetCursor()});
    gOrder.push_back("add");
    return gAddResult;
}

DWORD WINAPI RecordCancel(LPCSTR name, DWORD flags, BOOL force)
{
    gCancels.push_back((name ? name : "<null>") + (" " + std::to_string(flags)) + " " + std::to_string(force));
    gOrder.push_back("cancel");
    return NO_ERROR;
}

std::string RecordExePath()
{
    gOrder.push_back("exe");
    return gExePath;
}

// Every test starts with a cross as the screen cursor and an error mode of the caller's own; each
// call must leave both as they were, and the provider always works under the hourglass.
const UINT CallersErrorMode = SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX;

class NettoolsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Forget();
        old_ = SetNetProvider(TNetProvider{&RecordAdd, &RecordCancel, &RecordExePath});
        InitializeNettools();
        App::SetScreenCursor(cross_);
        originalErrorMode_ = SetErrorMode(CallersErrorMode);
    }
    void ExpectCursorAndErrorModeRestored(const std::string& call) const
    {
        for (const TAddCall& a : gAdds) EXPECT_EQ(a.cursor, wait_) << call << ": the provider works under the hourglass";
        EXPECT_EQ(App::ScreenCursor(), cross_) << call;
        EXPECT_EQ(GetCursor(), cross_) << call;
        EXPECT_EQ(SetErrorMode(CallersErrorMode), CallersErrorMode) << call;
    }
    // No calls recorded; the host runs from a local drive and every connection is accepted.
    static void Forget(const char* exe = "C:\\Program Files\\Host\\host.exe", DWORD addResult = NO_ERROR)
    {
        gAdds.clear();
        gCancels.clear();
        gOrder.clear();
        gExePath = exe;
        gAddResult = addResult;
    }
    void TearDown() override
    {
        SetErrorMode(originalErrorMode_);
        App::SetScreenCursor(nullptr);
        FinalizeNettools();
        SetNetProvider(old_);
    }
    size_t Calls() const { return gAdds.size() + gCancels.size(); }

private:
    TNetProvider old_{};
    const HCURSOR wait_ = LoadCursor(nullptr, IDC_WAIT), cross_ = LoadCursor(nullptr, IDC_CROSS);
    UINT originalErrorMode_ = 0;
};

}  // namespace

TEST_F(NettoolsTest, ConnectsTheShareRootAndDropsItAgainUnlessItIsListed)
{
    const struct { const char* path; const char* exe; const char* remote; bool cancelled; } cases[] = {
        {"\\\\server\\share\\dir", "C:\\Host\\host.exe", "\\\\server\\share", true},
        {"\\\\server\\share\\dir\\sub\\", "C:\\Host\\host.exe", "\\\\server\\share", true},
        {"\\\\server\\share", "C:\\Host\\host.exe", "\\\\server\\share", true},
        {"\\\\server\\share\\", "C:\\Host\\host.exe", "\\\\server\\share", true},
        // The host runs from the share: the connection stays.
        {"\\\\server\\share\\dir", "\\\\server\\share\\Host\\host.exe", "\\\\server\\share", false},
        {"\\\\server\\share", "\\\\server\\share\\host.exe", "\\\\server\\share", false},
        // Another share of the same server, or the same share spelled otherwise, does not count.
        {"\\\\server\\share\\dir", "\\\\server\\share2\\host.exe", "\\\\server\\share", true},
        {"\\\\server\\share2\\dir", "\\\\server\\share\\host.exe", "\\\\server\\share2", true},
        {"\\\\server\\share\\dir", "\\\\SERVER\\share\\host.exe", "\\\\server\\share", true},
        {"\\\\server\\share\\dir", "\\\\server\\share", "\\\\server\\share", false},
        {"\\\\server\\share\\dir", "", "\\\\server\\share", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.path) + " from " + c.exe);
        Forget(c.exe);
        EXPECT_TRUE(ConnectShare(c.path, true));
        ASSERT_EQ(gAdds.size(), 1u);
        const TAddCall& a = gAdds[0];
        EXPECT_EQ(a.remote, c.remote);
        EXPECT_EQ(std::make_tuple(a.scope, a.type, a.displayType, a.usage, a.flags),
                  std::make_tuple(DWORD(RESOURCE_GLOBALNET), DWORD(RESOURCETYPE_ANY), DWORD(RESOURCEDISPLAYTYPE_SERVER),
                                  DWORD(RESOURCEUSAGE_CONTAINER), DWORD(0)));
        EXPECT_TRUE(a.plain);
        EXPECT_EQ(gCancels, c.cancelled ? V{std::string(c.remote) + " 0 0"} : V{});
        EXPECT_EQ(gOrder, c.cancelled ? (V{"add", "exe", "cancel"}) : (V{"add", "exe"}));
        ExpectCursorAndErrorModeRestored("connected");
    }

    // Only a share in the connected list is not connected again. The list stays empty, so each
    // directory test asks the provider anew.
    Forget();
    for (int i = 0; i < 3; ++i) UNCDirectoryExists("\\\\server\\share\\dir");
    EXPECT_EQ(gAdds.size(), 3u);
    EXPECT_EQ(gCancels.size(), 3u);
    ASSERT_NE(ConnectedShares, nullptr);
    EXPECT_TRUE(ConnectedShares->empty());
    Forget();
    ConnectedShares->push_back("\\\\server\\share\\");
    EXPECT_TRUE(IsShareConnected("\\\\server\\share\\dir\\file"));
    EXPECT_FALSE(IsShareConnected("\\\\server\\other\\dir"));
    EXPECT_TRUE(ConnectShare("\\\\server\\share\\dir", true));
    EXPECT_EQ(Calls(), 0u);
    // Without the check the provider is asked all the same.
    EXPECT_TRUE(ConnectShare("\\\\server\\share\\dir", false));
    EXPECT_EQ(gAdds.size(), 1u);
    // An unlisted share is connected.
    ConnectShare("\\\\server\\other\\dir", true);
    EXPECT_EQ(gAdds.size(), 2u);
}

TEST_F(NettoolsTest, RefusedConnectionMeansNotFoundAndPathsWithoutAShareMakeNoNetworkCall)
{
    // "\\?\C:\..." has the form of a UNC path with a share root, yet names a local directory
    // that exists: only the provider's answer decides.
    TempDir dir;
    const std::string path = "\\\\?\\" + dir.Path();
    ASSERT_TRUE(UNCDirectoryExists(path)) << "this system cannot read " << path;
    ExpectCursorAndErrorModeRestored("directory test connected");
    for (const DWORD refusal : {DWORD(ERROR_BAD_NET_NAME), DWORD(ERROR_ACCESS_DENIED),
                                DWORD(ERROR_SESSION_CREDENTIAL_CONFLICT), DWORD(ERROR_NO_NETWORK)}) {
        gAddResult = refusal;
        EXPECT_FALSE(UNCDirectoryExists(path)) << refusal;
        ExpectCursorAndErrorModeRestored("directory test refused " + std::to_string(refusal));
        EXPECT_FALSE(ConnectShare(path, false)) << refusal;
    }
    EXPECT_EQ(gAdds.size(), 9u);
    // Only the accepted connection is dropped again: a refused one (the user's own connection
    // with other credentials, say) is left alone, whoever runs the host.
    EXPECT_EQ(gCancels.size(), 1u);
    gExePath = "\\\\other\\share\\host.exe";
    gAddResult = ERROR_SESSION_CREDENTIAL_CONFLICT;
    EXPECT_FALSE(ConnectShare("\\\\server\\share\\dir", false));
    EXPECT_EQ(gCancels.size(), 1u);

    // Paths without a share make no network call, and the plain directory test never connects, also
    // for a share. A typed target is tested as the directory written into: from a current directory
    // that holds a folder named after a drive letter no drive has, and no folder "c", a bare letter is
    // that drive's root, whatever the current directory holds.
    Forget();
    const std::string letter(1, testfiles::UnmappedDriveLetter());
    ASSERT_NE(letter[0], 0);
    ASSERT_TRUE(CreateDirectoryA(dir.File(letter).c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA(dir.File("E").c_str(), nullptr));
    testfiles::WriteFileBytes(dir.File("file.txt"), "x");
    const struct { std::string path; bool exists; } paths[] = {
        {"\\\\server\\", false}, {"\\\\server", false},       {"\\\\", false},                {"", false},
        {dir.Path(), true},     {dir.Path() + "\\", true}, {dir.File("file.txt"), false}, {dir.File("missing"), false},
        {"Q:\\no\\such\\dir", false},
    };
    for (const auto& c : paths) {
        EXPECT_EQ(UNCDirectoryExists(c.path), c.exists) << c.path;
        ExpectCursorAndErrorModeRestored(c.path);
        EXPECT_EQ(DirectoryExists(c.path), c.exists) << c.path;
        EXPECT_FALSE(ConnectShare(c.path, false)) << c.path;
        EXPECT_TRUE(gOrder.empty()) << c.path << ": no provider call, not even for the host's path";
    }
    EXPECT_FALSE(DirectoryExists("\\\\server\\share\\dir"));
    auto current = std::make_unique<testfiles::TCurrentDirectoryScope>(dir.Path());
    ASSERT_TRUE(DirectoryExists(letter)) << "the folder a test of the text alone finds";
    const struct { std::string typed; bool exists; } targets[] = {
        {"c", true},             {"C:", true},              {letter, false},           {letter + ":", false},
        {dir.File("E"), true},   {dir.File("E\\"), true},    {dir.File("E\\."), true},   {dir.File("E\\.."), true},
        {dir.Path() + "\\", true},
        // The last name ends in a space or dots: refused, although "E" exists.
        {dir.File("E "), false}, {dir.File("E..."), false}, {dir.File("E."), false},  {dir.File("E \\"), false},
        {dir.File("E\\. "), false}, {"", false},            {dir.File("file.txt"), false}, {dir.File("missing"), false},
    };
    for (const auto& c : targets) {
        EXPECT_EQ(TargetDirectoryExists(c.typed), c.exists) << '"' << c.typed << '"';
        EXPECT_EQ(UNCTargetDirectoryExists(c.typed), c.exists) << '"' << c.typed << '"';
    }
    current.reset();
    EXPECT_EQ(Calls(), 0u);

    // A UNC-formed target: a refused name makes no network call; a good one connects as before.
    const std::string unc = "\\\\?\\" + dir.Path();
    EXPECT_FALSE(UNCTargetDirectoryExists(unc + "\\E "));
    EXPECT_FALSE(UNCTargetDirectoryExists(unc + "\\E."));
    EXPECT_EQ(Calls(), 0u);
    EXPECT_TRUE(UNCTargetDirectoryExists(unc + "\\E"));
    ASSERT_EQ(gAdds.size(), 1u);
    EXPECT_EQ(gAdds[0].remote, "\\\\?\\" + dir.Path().substr(0, 2));
    EXPECT_FALSE(TargetDirectoryExists("\\\\server\\share\\dir"));
    EXPECT_EQ(gAdds.size(), 1u);
}
