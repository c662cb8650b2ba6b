#include "pf/desktop_shell.h"
#include "pf/recording_shell.h"

#include "pf_test_support.h"
#include "stand_in_opener.h"

#include <algorithm>
#include <chrono>
#include <fstream>
#include <thread>

namespace {

using Kind = pf::RecordingShell::Kind;

TEST(RecordingShell, RecordsEveryCallAndAnswersAsScripted)
{
    pf::RecordingShell shell;
    pf::Shell& s = shell;
    EXPECT_TRUE(s.openUrl("https://example.invalid/logout", pf::ShowMode::Minimised));
    EXPECT_TRUE(s.openDocument("/opt/vx/Docs/WhatsNew.pdf"));
    shell.setSucceeds(false);
    EXPECT_FALSE(s.startProgram("/opt/vx/Launcher", {"-u", "U1"}));
    EXPECT_EQ(s.defaultBrowserCommand(), "xdg-open");
    shell.setBrowserCommand(std::nullopt);
    EXPECT_FALSE(s.defaultBrowserCommand());

    const auto calls = shell.calls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].kind, Kind::Url);
    EXPECT_EQ(calls[0].target, "https://example.invalid/logout");
    EXPECT_EQ(calls[0].mode, pf::ShowMode::Minimised);
    EXPECT_EQ(calls[1].kind, Kind::Document);
    EXPECT_EQ(calls[1].target, "/opt/vx/Docs/WhatsNew.pdf");
    EXPECT_EQ(calls[2].kind, Kind::Program);
    EXPECT_EQ(calls[2].args, (std::vector<std::string>{"-u", "U1"}));
    shell.clear();
    EXPECT_TRUE(shell.calls().empty());
}

TEST(DesktopShell, ReportsLaunchFailuresAndRefusesOptionLikeTargets)
{
    pftest::LogCapture log;
    pftest::TempDir dir;
    pf::DesktopShell shell;
    EXPECT_FALSE(shell.startProgram(dir / "no-such-program", {}));
    EXPECT_FALSE(shell.openUrl("--help", pf::ShowMode::Normal));
    EXPECT_FALSE(shell.openUrl("", pf::ShowMode::Normal));
    EXPECT_FALSE(shell.openDocument(dir / "missing.pdf"));
    // A real start returns without waiting for the program.
    EXPECT_TRUE(shell.startProgram("/bin/sh", {"-c", "exit 3"}));
}

using opener::StandInOpener;

TEST(DesktopShell, OpensWebAddressesOnlyAndLogsTheRefusedScheme)
{
    pftest::LogCapture log;
    StandInOpener opener;
    pf::DesktopShell shell;
    const struct {
        const char* url;
        bool opens;
    } cases[] = {
        {"file:///bin/sh", false},
        {"FILE:///etc/passwd", false},
        {"javascript:alert(1)", false},
        {"smb://host/share", false},
        {"ssh://host", false},
        {"httpx://host", false},
        {"http:", false},
        {"http://broker.test/qtrade/logout.html", true},
        {"HTTPS://broker.test/", true},
    };
    std::vector<std::string> expected;
    for (const auto& c : cases) {
        EXPECT_EQ(shell.openUrl(c.url, pf::ShowMode::Normal), c.opens) << c.url;
        if (c.opens)
            expected.push_back(c.url);
    }
    std::vector<std::string> calls = opener.calls(expected.size());
    std::sort(calls.begin(), calls.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(calls, expected);
    int refusals = 0;
    for (const std::string& line : log.lines())
        refusals += line.find("refused") != std::string::npos;
    EXPECT_EQ(refusals, 7);
}

// An address with a query (the session id rides in it) never reaches the
// opener's arguments: the opener gets a private page that forwards to it,
// removed once its time is up.
TEST(DesktopShell, AnAddressWithAQueryGoesThroughAPrivatePage)
{
    pftest::TempDir runtime;
    const char* oldRuntime = std::getenv("XDG_RUNTIME_DIR");
    const std::string keptRuntime = oldRuntime ? oldRuntime : "";
    ::setenv("XDG_RUNTIME_DIR", runtime.path().c_str(), 1);
    {
        StandInOpener opener;
        pf::DesktopShell shell(std::chrono::milliseconds(100));
        const std::string url = "http://broker.test/qtrade/qlogin.exe?LoginData=1002|U1|SESS0042|408&a=\"<x>'";
        ASSERT_TRUE(shell.openUrl(url, pf::ShowMode::Normal));
        const std::vector<std::string> calls = opener.calls(1);
        ASSERT_EQ(calls.size(), 1u);
        EXPECT_EQ(calls[0].find("SESS0042"), std::string::npos) << calls[0];
        EXPECT_EQ(calls[0].rfind(runtime.path().string(), 0), 0u) << calls[0];
        EXPECT_EQ(opener.pageMode(0), "600");
        EXPECT_EQ(opener.page(0), pf::forwardingPage(url));
        EXPECT_NE(opener.page(0).find("SESS0042"), std::string::npos);
        // Gone once its time is up.
        bool removed = false;
        for (int i = 0; i < 1000 && !removed; ++i) {
            removed = !std::filesystem::exists(calls[0]);
            if (!removed)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        EXPECT_TRUE(removed);
        // An address without a query goes as it is.
        ASSERT_TRUE(shell.openUrl("https://broker.test/about", pf::ShowMode::Normal));
        EXPECT_EQ(opener.calls(2).back(), "https://broker.test/about");
    }
    if (oldRuntime)
        ::setenv("XDG_RUNTIME_DIR", keptRuntime.c_str(), 1);
    else
        ::unsetenv("XDG_RUNTIME_DIR");
}

// The forwarding page keeps the address whole and lets nothing in it end the
// script's string or the attribute.
TEST(DesktopShell, TheForwardingPageEscapesTheAddress)
{
    const std::string page = pf::forwardingPage("http://b.test/?a=\"</script><script>x()</script>&b='c'");
    EXPECT_EQ(page.find("</script><script>x()"), std::string::npos);
    EXPECT_NE(page.find("window.location.replace(\"http://b.test/?a=\\u0022\\u003c/script\\u003e"), std::string::npos)
        << page;
    EXPECT_NE(page.find("url=http://b.test/?a=&#34;&#60;/script&#62;"), std::string::npos) << page;
}

} // namespace
