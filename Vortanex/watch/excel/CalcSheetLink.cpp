#include "watch/excel/CalcSheetLink.h"

#include "app/base/LogWriter.h"
#include "watch/excel/CalcLinkProtocol.h"
#include "watch/excel/ExcelLink.h"

#include "pf/ui_guard.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

CalcSheetLink::CalcSheetLink(CalcOptions options) : m_options(std::move(options)) {}

CalcSheetLink::~CalcSheetLink()
{
    stopHelper();
}

bool CalcSheetLink::spawn(std::string& error)
{
    error = kExcelAbsentText;
    if (m_options.helper.empty() || access(m_options.helper.c_str(), X_OK) != 0) {
        WriteLog(0, "Calc link: no helper program " + m_options.helper);
        return false;
    }
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0)
        return false;
    if (pipe2(out, O_CLOEXEC) != 0) {
        close(in[0]);
        close(in[1]);
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    std::string helper = m_options.helper;
    char* argv[] = {helper.data(), nullptr};
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, helper.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    close(out[1]);
    if (rc != 0) {
        close(in[1]);
        close(out[0]);
        WriteLog(0, "Calc link: the helper did not start");
        return false;
    }
    m_helper = pid;
    m_toHelper = in[1];
    m_fromHelper = out[0];
    m_gone = false;
    m_notified = false;
    m_reader = std::thread([this] { readLoop(); });

    std::string profileUrl;
    if (m_options.headless) {
        std::string pattern = (std::filesystem::temp_directory_path() / "vortanex-calc-XXXXXX").string();
        if (mkdtemp(pattern.data()))
            m_profileDir = pattern;
        if (!m_profileDir.empty())
            profileUrl = "file://" + m_profileDir;
    }
    // A pipe of this start's own: an office of an earlier link of this
    // process may still be ending and holding its name.
    static std::atomic<int> starts{0};
    const std::string pipe = "vortanex-" + std::to_string(getuid()) + "-" + std::to_string(getpid()) + "-" +
                             std::to_string(++starts);
    std::vector<std::string> answer;
    if (!request({"start", m_options.headless ? "1" : "0", m_options.program, pipe, profileUrl}, &answer,
                 std::chrono::seconds(kCalcStartWaitSeconds))) {
        WriteLog(0, "Calc link: the office did not start");
        stopHelper();
        return false;
    }
    // The helper names the office it started (its own process group); only a
    // headless one is this link's to end.
    if (m_options.headless && answer.size() > 1 && std::atoi(answer[1].c_str()) > 0)
        m_officeGroup = std::atoi(answer[1].c_str());
    m_runsHeadless = m_options.headless || (answer.size() > 2 && answer[2] == "1");
    return true;
}

namespace {

// A file in folder named after the book that no earlier run has taken:
// "Untitled 1.ods", then "Untitled 1 (2).ods" and so on.
std::filesystem::path freshBookFile(const std::filesystem::path& folder, const std::string& book)
{
    std::string stem = book;
    for (char& c : stem)
        if (c == '/' || c == '\\' || c == '\0')
            c = '_';
    if (stem.empty() || stem == "." || stem == "..")
        stem = "Untitled";
    std::filesystem::path file = folder / (stem + ".ods");
    std::error_code ec;
    for (int n = 2; std::filesystem::exists(file, ec) && n < 10000; ++n)
        file = folder / (stem + " (" + std::to_string(n) + ").ods");
    return file;
}

} // namespace

bool CalcSheetLink::openBook(const std::string& path, std::string& bookName, std::string& error)
{
    if (m_helper <= 0 && !spawn(error))
        return false;
    std::vector<std::string> answer;
    if (!request({"open", path}, &answer, std::chrono::seconds(60))) {
        error = answer.size() > 1 ? answer[1] : (path.empty() ? kExcelAbsentText : "Failed to open " + path);
        return false;
    }
    bookName = answer.size() > 1 ? answer[1] : std::string();
    if (!m_runsHeadless)
        return true; // the user sees the book and saves it
    // Nobody can see a book without a window: what the link writes into it
    // is kept in a file, written again when the link lets go. A chosen book
    // is kept in its own file; a new one, or a chosen one whose file cannot
    // be written, in a file of the save folder that the book's name then
    // gives (the user is told of it).
    if (!path.empty()) {
        std::vector<std::string> refused;
        if (request({"store"}, &refused, m_options.replyTimeout))
            return true;
        WriteLog(0, "Calc link: the book " + path + " cannot be written" +
                        (refused.size() > 1 ? ": " + refused[1] : std::string()));
    }
    if (m_options.saveFolder.empty())
        return true;
    std::error_code ec;
    std::filesystem::create_directories(m_options.saveFolder, ec);
    const std::string stem = path.empty() ? bookName : std::filesystem::path(bookName).stem().string();
    const std::string file = freshBookFile(m_options.saveFolder, stem).string();
    if (request({"saveas", file}))
        bookName = file;
    else
        WriteLog(0, "Calc link: the book could not be saved as " + file);
    return true;
}

std::vector<std::string> CalcSheetLink::sheetNames()
{
    std::vector<std::string> answer;
    if (!request({"names"}, &answer, m_options.replyTimeout))
        return {};
    answer.erase(answer.begin());
    return answer;
}

bool CalcSheetLink::insertSheet(int position, const std::string& name)
{
    return request({"insert", std::to_string(position), name});
}

bool CalcSheetLink::renameSheet(const std::string& from, const std::string& to)
{
    return request({"rename", from, to});
}

bool CalcSheetLink::removeSheet(const std::string& name)
{
    return request({"remove", name});
}

bool CalcSheetLink::hideSheet(const std::string& name)
{
    return request({"hide", name});
}

bool CalcSheetLink::writeCells(const std::string& sheet, const std::vector<SheetCell>& cells)
{
    std::vector<std::string> f;
    f.reserve(2 + cells.size() * 7);
    f.push_back("cells");
    f.push_back(sheet);
    for (const auto& c : cells) {
        f.push_back(std::to_string(c.row));
        f.push_back(std::to_string(c.col));
        f.push_back(c.styled ? "1" : "0");
        f.push_back(std::to_string(c.style.interior));
        f.push_back(std::to_string(c.style.font));
        f.push_back(c.style.bold ? "1" : "0");
        f.push_back(c.text);
    }
    return request(f);
}

bool CalcSheetLink::fillRow(const std::string& sheet, int row, int firstCol, int lastCol, uint32_t colour,
                            int pattern)
{
    return request({"fill", sheet, std::to_string(row), std::to_string(firstCol), std::to_string(lastCol),
                    std::to_string(colour), std::to_string(pattern)});
}

bool CalcSheetLink::deleteRows(const std::string& sheet, int firstRow, int lastRow)
{
    return request({"delrows", sheet, std::to_string(firstRow), std::to_string(lastRow)});
}

int CalcSheetLink::lastUsedRow(const std::string& sheet)
{
    std::vector<std::string> answer;
    if (!request({"lastrow", sheet}, &answer, m_options.replyTimeout) || answer.size() < 2)
        return 0;
    return std::atoi(answer[1].c_str());
}

SheetCellState CalcSheetLink::readCell(const std::string& sheet, int row, int col)
{
    std::vector<std::string> answer;
    SheetCellState st;
    if (!request({"read", sheet, std::to_string(row), std::to_string(col)}, &answer, m_options.replyTimeout) ||
        answer.size() < 5)
        return st;
    st.text = answer[1];
    st.style.interior = std::atoll(answer[2].c_str());
    st.style.font = static_cast<uint32_t>(std::atoll(answer[3].c_str()));
    st.style.bold = answer[4] == "1";
    if (answer.size() >= 8) {
        st.shown = answer[5];
        st.number = answer[6] == "1";
        st.columnWidth = std::atoi(answer[7].c_str());
    }
    return st;
}

int CalcSheetLink::officeProcess()
{
    std::vector<std::string> answer;
    if (!request({"pid"}, &answer, m_options.replyTimeout) || answer.size() < 2)
        return -1;
    return std::atoi(answer[1].c_str());
}

bool CalcSheetLink::closeBookAsUser()
{
    return request({"userclose"});
}

void CalcSheetLink::release(bool closeBook)
{
    if (m_helper <= 0)
        return;
    if (!m_gone) {
        m_gone = true; // our own ending is no disconnect
        std::lock_guard lock(m_mutex);
        m_notified = true;
    }
    const std::string line = CalcLinkLine({"release", closeBook ? "1" : "0"}) + "\n";
    if (write(m_toHelper, line.data(), line.size()) < 0)
        WriteLog(0, "Calc link: the helper is gone");
    stopHelper();
}

void CalcSheetLink::setDisconnectHandler(std::function<void()> handler)
{
    std::lock_guard lock(m_mutex);
    m_onDisconnect = std::move(handler);
}

bool CalcSheetLink::request(const std::vector<std::string>& fields, std::vector<std::string>* answer,
                            std::chrono::milliseconds timeout)
{
    if (m_helper <= 0 || (m_gone && fields[0] != "start"))
        return false;
    const pf::uiguard::Section talking(pf::uiguard::Kind::Helper, "spreadsheet " + fields[0]);
    const std::string line = CalcLinkLine(fields) + "\n";
    size_t done = 0;
    while (done < line.size()) {
        const ssize_t n = write(m_toHelper, line.data() + done, line.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            lost();
            return false;
        }
        done += static_cast<size_t>(n);
    }
    std::unique_lock lock(m_mutex);
    if (!m_answered.wait_for(lock, timeout, [&] { return !m_answers.empty() || m_gone; })) {
        lock.unlock();
        // A stuck office is as good as gone: the link must never hang on it.
        WriteLog(0, "Calc link: no answer to " + fields[0]);
        kill(m_helper, SIGKILL);
        endOwnOffice();
        lost();
        return false;
    }
    if (m_answers.empty())
        return false;
    std::vector<std::string> got = std::move(m_answers.front());
    m_answers.pop_front();
    const bool ok = !got.empty() && got[0] == "OK";
    if (answer)
        *answer = std::move(got);
    return ok;
}

void CalcSheetLink::readLoop()
{
    std::string buffer;
    char chunk[65536];
    for (;;) {
        const ssize_t n = read(m_fromHelper, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        buffer.append(chunk, static_cast<size_t>(n));
        size_t start = 0, end;
        while ((end = buffer.find('\n', start)) != std::string::npos) {
            std::vector<std::string> fields = CalcLinkSplit(buffer.substr(start, end - start));
            start = end + 1;
            if (fields[0] == "EVENT") {
                lost();
                continue;
            }
            {
                std::lock_guard lock(m_mutex);
                m_answers.push_back(std::move(fields));
            }
            m_answered.notify_all();
        }
        buffer.erase(0, start);
    }
    lost();
}

void CalcSheetLink::lost()
{
    std::function<void()> handler;
    {
        std::lock_guard lock(m_mutex);
        m_gone = true;
        if (!m_notified) {
            m_notified = true;
            handler = m_onDisconnect;
        }
    }
    m_answered.notify_all();
    if (handler)
        handler();
}

void CalcSheetLink::stopHelper()
{
    if (m_toHelper >= 0) {
        close(m_toHelper); // end of input: the helper lets go and ends
        m_toHelper = -1;
    }
    if (const pid_t helper = m_helper; helper > 0) {
        // The helper ends the office it started within a few seconds; one
        // that does not is ended with its headless office, so that the
        // program's exit stays short whatever the office does.
        bool ended = false;
        for (int i = 0; i < 30 && !ended; ++i) {
            ended = waitpid(helper, nullptr, WNOHANG) == helper;
            if (!ended)
                usleep(100 * 1000);
        }
        if (!ended) {
            kill(helper, SIGKILL);
            endOwnOffice();
            waitpid(helper, nullptr, 0);
        }
        m_helper = -1;
    }
    m_officeGroup = -1;
    if (m_reader.joinable())
        m_reader.join();
    if (m_fromHelper >= 0) {
        close(m_fromHelper);
        m_fromHelper = -1;
    }
    if (!m_profileDir.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(m_profileDir, ec);
        m_profileDir.clear();
    }
}

void CalcSheetLink::endOwnOffice()
{
    const pid_t group = m_officeGroup.exchange(-1);
    if (group > 0 && kill(-group, SIGKILL) == 0)
        WriteLog(0, "Calc link: ended the headless office " + std::to_string(group));
}

void CalcSheetLink::interrupt()
{
    {
        std::lock_guard lock(m_mutex);
        m_gone = true;
        m_notified = true; // the program is ending: no disconnect notice
    }
    m_answered.notify_all();
    if (const pid_t helper = m_helper; helper > 0)
        kill(helper, SIGKILL);
    endOwnOffice();
}
