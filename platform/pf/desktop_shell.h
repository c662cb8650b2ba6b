#pragma once
// The desktop's own opener (xdg-open) and plain program starts, through
// posix_spawn: no shell sees the arguments, and nothing waits for the child
// (a detached reaper collects it so no zombie is left).
#include "pf/shell.h"

namespace pf {

class DesktopShell final : public Shell {
public:
    bool openUrl(std::string_view url, ShowMode mode) override;
    bool openDocument(const std::filesystem::path& path) override;
    bool startProgram(const std::filesystem::path& path, std::vector<std::string> args) override;
    // $BROWSER when set, else xdg-open when it is on the PATH.
    std::optional<std::string> defaultBrowserCommand() override;
};

} // namespace pf
