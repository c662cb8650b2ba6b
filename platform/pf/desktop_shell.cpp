#include "pf/desktop_shell.h"

#include "pf/log.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <functional>
#include <optional>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <system_error>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace pf {
namespace desktop_shell_detail {

// Starts program (searched on the PATH when search is true) with args and
// returns at once; the child is reaped by a detached thread, which then runs
// `after` (when given).
bool spawnDetached(const std::string& program, const std::vector<std::string>& args, bool search,
                   std::function<void()> after = {})
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
        std::thread([pid, after = std::move(after)] {
            int status = 0;
            while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
            if (after)
                after();
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

// Only web pages go to the desktop's opener: any other scheme (a local file,
// a handler a program registered) would start a program from text the
// server sent, without a click.
bool webAddress(std::string_view url)
{
    const auto startsWith = [url](std::string_view scheme) {
        if (url.size() <= scheme.size())
            return false;
        for (size_t i = 0; i < scheme.size(); ++i)
            if (std::tolower(static_cast<unsigned char>(url[i])) != scheme[i])
                return false;
        return true;
    };
    return startsWith("http://") || startsWith("https://");
}

// The user's own private folder for forwarding pages: the runtime folder, or
// without one a 0700 folder of the user's under the home folder.
std::optional<std::filesystem::path> privatePageFolder()
{
    if (const char* run = std::getenv("XDG_RUNTIME_DIR"); run && *run)
        return std::filesystem::path(run);
    const char* home = std::getenv("HOME");
    if (!home || !*home)
        return std::nullopt;
    const std::filesystem::path dir = std::filesystem::path(home) / ".vortanex-pages";
    ::mkdir(dir.c_str(), 0700);
    struct stat st {};
    if (::lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid()
        || (st.st_mode & 077) != 0)
        return std::nullopt;
    return dir;
}

constexpr std::string_view kPagePrefix = "vortanex-page-";

// Pages older than their life that an earlier run left (it ended before
// their time was up) go now.
void removeStalePages(const std::filesystem::path& folder, std::chrono::milliseconds life)
{
    std::error_code ec;
    const auto now = std::filesystem::file_time_type::clock::now();
    for (const auto& e : std::filesystem::directory_iterator(folder, ec)) {
        const std::string name = e.path().filename().string();
        if (name.rfind(kPagePrefix, 0) != 0 || e.path().extension() != ".html")
            continue;
        std::error_code timeError;
        const auto written = e.last_write_time(timeError);
        if (!timeError && now - written > life)
            std::filesystem::remove(e.path(), timeError);
    }
}

// Writes the forwarding page to a new 0600 file; its path, or nothing.
std::optional<std::filesystem::path> writePrivatePage(std::string_view url, std::chrono::milliseconds life)
{
    const auto folder = privatePageFolder();
    if (!folder)
        return std::nullopt;
    removeStalePages(*folder, life);
    std::string name = (*folder / (std::string(kPagePrefix) + "XXXXXX.html")).string();
    const int fd = ::mkstemps(name.data(), 5); // mode 0600
    if (fd < 0)
        return std::nullopt;
    const std::string page = forwardingPage(url);
    size_t done = 0;
    while (done < page.size()) {
        const ssize_t n = ::write(fd, page.data() + done, page.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += static_cast<size_t>(n);
    }
    ::close(fd);
    if (done != page.size()) {
        ::unlink(name.c_str());
        return std::nullopt;
    }
    return std::filesystem::path(name);
}

} // namespace desktop_shell_detail

std::string forwardingPage(std::string_view url)
{
    // The address inside a script string and inside an attribute: every
    // character that could end either is written as an escape.
    std::string script;
    std::string attribute;
    for (const char c : url) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || c == '"' || c == '\\' || c == '<' || c == '>' || c == '&' || c == '\'' || u == 0x7F) {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\u%04x", u);
            script += esc;
            std::snprintf(esc, sizeof esc, "&#%d;", u);
            attribute += esc;
        } else {
            script += c;
            attribute += c;
        }
    }
    return "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\">"
           "<meta name=\"referrer\" content=\"no-referrer\">"
           "<meta http-equiv=\"refresh\" content=\"0;url="
        + attribute + "\"><title>Vortanex</title>"
        + "<script>window.location.replace(\"" + script + "\");</script>"
        + "</head><body></body></html>\n";
}

bool DesktopShell::openUrl(std::string_view url, ShowMode)
{
    if (!desktop_shell_detail::safeTarget(url) || !desktop_shell_detail::webAddress(url)) {
        logLine(0, "Shell: refused URL [" + std::string(url.substr(0, url.find_first_of(":?"))) + "]");
        return false;
    }
    if (url.find('?') == std::string_view::npos)
        return desktop_shell_detail::spawnDetached("xdg-open", {std::string(url)}, true);
    const auto page = desktop_shell_detail::writePrivatePage(url, m_pageLife);
    if (!page) {
        logLine(0, "Shell: no private page for an address with a query; not opened");
        return false;
    }
    const std::string path = page->string();
    const auto life = m_pageLife;
    const bool started = desktop_shell_detail::spawnDetached("xdg-open", {path}, true, [path, life] {
        std::this_thread::sleep_for(life);
        ::unlink(path.c_str());
    });
    if (!started)
        ::unlink(path.c_str());
    return started;
}

bool DesktopShell::openDocument(const std::filesystem::path& path)
{
    std::error_code ec;
    if (!std::filesystem::exists(path, ec))
        return false;
    const std::string target = std::filesystem::absolute(path, ec).string();
    if (ec || !desktop_shell_detail::safeTarget(target))
        return false;
    return desktop_shell_detail::spawnDetached("xdg-open", {target}, true);
}

bool DesktopShell::startProgram(const std::filesystem::path& path, std::vector<std::string> args)
{
    return desktop_shell_detail::spawnDetached(path.string(), args, false);
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
