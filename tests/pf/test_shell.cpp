#include "pf/desktop_shell.h"
#include "pf/recording_shell.h"

#include "pf_test_support.h"

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

} // namespace
