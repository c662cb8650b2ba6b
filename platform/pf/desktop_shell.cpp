#include "pf/desktop_shell.h"

#include "pf/log.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <spawn.h>
#include <sys/wait.h>
#include <system_error>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace pf {
namespace detail {

// Starts program (searched on the PATH when search is true) with args and
// returns at once; the child is reaped by a detached thread.
bool spawnDetached(const std::string& program, const std::vector<std::string>& args, bool search)
{
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    pid_t pid = 0;
    const int rc = search ? ::posix_spawnp(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ)
                          : ::posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ);
    if (rc != 0) {
        logLine(0, "Shell: cannot start " + program + ": " + std::strerror(rc));
        return false;
    }
    try {
        std::thread([pid] {
            int status = 0;
            while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
        }).detach();
    } catch (const std::system_error&) {
        // Without a reaper the child stays a zombie until we exit; the launch
        // itself succeeded.
        logLine(0, "Shell: no reaper thread for " + program);
    }
    return true;
}

// A target starting with '-' would be taken as an option by the opener.
bool safeTarget(std::string_view target)
{
    return !target.empty() && target.front() != '-' && target.find('\0') == std::string_view::npos;
}

} // namespace detail

bool DesktopShell::openUrl(std::string_view url, ShowMode)
{
    if (!detail::safeTarget(url)) {
        logLine(0, "Shell: refused URL [" + std::string(url) + "]");
        return false;
    }
    return detail::spawnDetached("xdg-open", {std::string(url)}, true);
}

bool DesktopShell::openDocument(const std::filesystem::path& path)
{
    std::error_code ec;
    if (!std::filesystem::exists(path, ec))
        return false;
    const std::string target = std::filesystem::absolute(path, ec).string();
    if (ec || !detail::safeTarget(target))
        return false;
    return detail::spawnDetached("xdg-open", {target}, true);
}

bool DesktopShell::startProgram(const std::filesystem::path& path, std::vector<std::string> args)
{
    return detail::spawnDetached(path.string(), args, false);
}

std::optional<std::string> DesktopShell::defaultBrowserCommand()
{
    if (const char* browser = std::getenv("BROWSER"); browser && *browser)
        return std::string(browser);
    const char* pathVar = std::getenv("PATH");
    std::string_view dirs = pathVar ? pathVar : "/usr/bin:/bin";
    while (!dirs.empty()) {
        const size_t colon = dirs.find(':');
        const std::string dir(dirs.substr(0, colon));
        dirs = colon == std::string_view::npos ? std::string_view{} : dirs.substr(colon + 1);
        if (dir.empty())
            continue;
        const std::string candidate = dir + "/xdg-open";
        if (::access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return std::nullopt;
}

} // namespace pf
