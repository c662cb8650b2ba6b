#pragma once
// Opening URLs and documents and starting programs: the terminal's only ways
// of launching something outside itself. Production uses DesktopShell; tests
// use RecordingShell.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pf {

// How a launched window should appear; desktops may ignore it.
enum class ShowMode { Normal, Minimised, Default, Hidden };

std::string_view showModeName(ShowMode mode);

class Shell {
public:
    virtual ~Shell() = default;
    // All three return at once (never wait for the launched program) and
    // report whether the launch could be started.
    virtual bool openUrl(std::string_view url, ShowMode mode) = 0;
    virtual bool openDocument(const std::filesystem::path& path) = 0;
    virtual bool startProgram(const std::filesystem::path& path, std::vector<std::string> args) = 0;
    // The command that opens web pages, when one is known.
    virtual std::optional<std::string> defaultBrowserCommand() = 0;
};

} // namespace pf
