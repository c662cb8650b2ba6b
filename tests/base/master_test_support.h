#pragma once
// Shared helpers of the security-master tests: a temporary program folder, a
// scripted prompter, a fake server and a small master builder.
#include "server/SecurityFile.h"
#include "server/SecurityTable.h"
#include "server/ServerAccess.h"

#include "pf/files.h"
#include "pf/lzo.h"
#include "pf/paths.h"
#include "ui/prompter.h"

#include <atomic>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <unistd.h>

namespace testsupport {

inline std::filesystem::path fixtureDir(const std::string& name)
{
    return std::filesystem::path(VX_MASTER_FIXTURES) / name;
}

inline std::string readFixture(const std::string& caseName, const std::string& file)
{
    auto text = pf::files::readAll(fixtureDir(caseName) / file);
    return text ? *text : std::string();
}

// A program folder below the system's temporary folder, removed at the end.
class TempRoot {
public:
    TempRoot()
    {
        static std::atomic<int> serial{0};
        m_path = std::filesystem::temp_directory_path() /
                 ("vx-master-" + std::to_string(::getpid()) + "-" + std::to_string(serial++));
        std::filesystem::remove_all(m_path);
        std::filesystem::create_directories(m_path / "Comp");
        std::filesystem::create_directories(m_path / "Data" / "Sound");
        m_paths = pf::Paths(m_path);
    }
    ~TempRoot()
    {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    const pf::Paths& paths() const { return m_paths; }
    std::filesystem::path comp() const { return m_paths.comp(); }

private:
    std::filesystem::path m_path;
    pf::Paths m_paths;
};

// Answers questions from a script and records them.
class ScriptedPrompter : public ui::Prompter {
public:
    std::vector<ui::Ask> asked;
    int answer = ui::Ok;

    int ask(const ui::Ask& a) override
    {
        asked.push_back(a);
        return a.buttons == ui::Buttons::Ok ? ui::Ok : answer;
    }
    std::optional<std::string> pickSavePath(const ui::FilePrompt&) override { return std::nullopt; }
    std::optional<std::string> pickOpenPath(const ui::FilePrompt&) override { return std::nullopt; }
    std::optional<ui::Rgb> pickColour(ui::Rgb) override { return std::nullopt; }
    std::optional<std::pair<std::string, int>> pickFont(const std::string&, int) override { return std::nullopt; }
    int pickMenuCommand(const ui::MenuSpec&, int, int) override { return 0; }
};

class PrompterScope {
public:
    explicit PrompterScope(ui::Prompter& p) { ui::setPrompter(&p); }
    ~PrompterScope() { ui::setPrompter(nullptr); }
};

// Serves files by path and replies by transaction code; records the calls.
class FakeServer : public ServerAccess {
public:
    std::map<std::string, ServerReply> files;   // by path
    std::map<int, ServerReply> requests;        // by transaction code
    std::vector<std::string> downloads;         // paths asked for
    std::vector<std::pair<int, std::string>> sent;

    ServerReply downLoadFile(const std::string&, int port, const std::string& path) override
    {
        downloads.push_back(path + ":" + std::to_string(port));
        auto it = files.find(path);
        return it == files.end() ? ServerReply{404, {}} : it->second;
    }
    ServerReply requestServer(int, int code, const std::string& text) override
    {
        sent.emplace_back(code, text);
        auto it = requests.find(code);
        return it == requests.end() ? ServerReply{500, {}} : it->second;
    }
};

inline std::string pack(const std::string& text)
{
    auto v = pf::lzo::compress(reinterpret_cast<const unsigned char*>(text.data()), text.size());
    return std::string(v.begin(), v.end());
}

// A table built from master text records (header added).
inline std::shared_ptr<SecurityTable> tableFrom(const std::string& records, bool merge = false)
{
    SecurityFileContent c = ParseSecurityText("01012026-0-0~" + records, SecurityReading::Full);
    auto t = std::make_shared<SecurityTable>();
    t->build(std::move(c.rows), merge ? SecurityTable::Build::Merge : SecurityTable::Build::Full, c.extended);
    return t;
}

} // namespace testsupport
