#include "pf/recording_shell.h"

namespace pf {

bool RecordingShell::record(Call call)
{
    std::lock_guard lock(m_mutex);
    m_calls.push_back(std::move(call));
    return m_succeeds;
}

bool RecordingShell::openUrl(std::string_view url, ShowMode mode)
{
    return record({Kind::Url, std::string(url), {}, mode});
}

bool RecordingShell::openDocument(const std::filesystem::path& path)
{
    return record({Kind::Document, path.string(), {}, ShowMode::Default});
}

bool RecordingShell::startProgram(const std::filesystem::path& path, std::vector<std::string> args)
{
    return record({Kind::Program, path.string(), std::move(args), ShowMode::Default});
}

std::optional<std::string> RecordingShell::defaultBrowserCommand()
{
    std::lock_guard lock(m_mutex);
    return m_browser;
}

void RecordingShell::setSucceeds(bool succeeds)
{
    std::lock_guard lock(m_mutex);
    m_succeeds = succeeds;
}

void RecordingShell::setBrowserCommand(std::optional<std::string> command)
{
    std::lock_guard lock(m_mutex);
    m_browser = std::move(command);
}

std::vector<RecordingShell::Call> RecordingShell::calls() const
{
    std::lock_guard lock(m_mutex);
    return m_calls;
}

void RecordingShell::clear()
{
    std::lock_guard lock(m_mutex);
    m_calls.clear();
}

} // namespace pf
