#pragma once
// A Shell for tests: records every call and answers as scripted.
#include "pf/shell.h"

#include <mutex>

namespace pf {

class RecordingShell final : public Shell {
public:
    enum class Kind { Url, Document, Program };
    struct Call {
        Kind kind;
        std::string target;            // URL, document path or program path
        std::vector<std::string> args; // programs only
        ShowMode mode = ShowMode::Default;
    };

    bool openUrl(std::string_view url, ShowMode mode) override;
    bool openDocument(const std::filesystem::path& path) override;
    bool startProgram(const std::filesystem::path& path, std::vector<std::string> args) override;
    std::optional<std::string> defaultBrowserCommand() override;

    // Every later call reports this result (true at first); calls are
    // recorded either way.
    void setSucceeds(bool succeeds);
    void setBrowserCommand(std::optional<std::string> command);

    std::vector<Call> calls() const;
    void clear();

private:
    bool record(Call call);

    mutable std::mutex m_mutex;
    std::vector<Call> m_calls;                                  // guarded by m_mutex
    bool m_succeeds = true;                                     // guarded by m_mutex
    std::optional<std::string> m_browser = std::string("xdg-open"); // guarded by m_mutex
};

} // namespace pf
