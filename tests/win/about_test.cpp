// The About boxes as the user sees them: caption, the four lines, owner and icon.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "BoxWatcher.h"
#include "HostWindow.h"
#include "Library.h"
#include "Version.h"

namespace {

TEST(About, BothPlugInsShowTheirFourLinesOwnedByTheHostWindow)
{
    TLoadedLibrary lib;
    ASSERT_NE(lib.Get(), nullptr);
    THostWindow host;
    ASSERT_NE(host.Get(), nullptr);
    const struct {
        TAboutProc about;
        const char* firstLine;
    } cases[] = {
        {lib.About(1), "Split files plugin for Ferncove Trellisan"},
        {lib.About(2), "Combine splitted files plugin for Ferncove Trellisan"},
    };
    for (const auto& c : cases) {
        ASSERT_NE(c.about, nullptr);
        for (HWND owner : {host.Get(), static_cast<HWND>(nullptr)}) {
            TBoxWatcher watcher(IDOK);
            c.about(0x5555, owner);
            const auto seen = watcher.Seen();
            ASSERT_EQ(seen.size(), 1u);
            EXPECT_EQ(seen[0].Caption, "Ferncove Trellisan Standart Plug-In");
            EXPECT_EQ(seen[0].Text, std::string(c.firstLine) + "\r\n\r\nFerncove Project.\r\n" ZANDREL_COPYRIGHT);
            EXPECT_EQ(seen[0].Owner, owner);
            EXPECT_EQ(seen[0].Icon, InformationIcon());
        }
    }
}

}  // namespace
