#pragma once
// The desktop's own opener (xdg-open) and plain program starts, through
// posix_spawn: no shell sees the arguments, and nothing waits for the child
// (a detached reaper collects it so no zombie is left).
//
// Only http and https addresses are opened. An address with a query (which
// may hold the session id) never goes into the opener's arguments, where any
// local user could read it: the opener gets a private page (0600, in the
// user's runtime folder) that forwards to the address, and the page is
// removed a while after the opener has finished.
#include "pf/shell.h"

#include <chrono>

namespace pf {

class DesktopShell final : public Shell {
public:
    explicit DesktopShell(std::chrono::milliseconds pageLife = std::chrono::seconds(60)) : m_pageLife(pageLife) {}
    bool openUrl(std::string_view url, ShowMode mode) override;
    bool openDocument(const std::filesystem::path& path) override;
    bool startProgram(const std::filesystem::path& path, std::vector<std::string> args) override;
    // $BROWSER when set, else xdg-open when it is on the PATH.
    std::optional<std::string> defaultBrowserCommand() override;

private:
    std::chrono::milliseconds m_pageLife;
};

// The page that forwards the browser to `url` (an http or https address).
std::string forwardingPage(std::string_view url);

} // namespace pf
