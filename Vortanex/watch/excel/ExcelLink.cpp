#include "watch/excel/ExcelLink.h"

#include "app/base/LogWriter.h"

#include "pf/ui_guard.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <future>

bool ExcelSheetNameAllowed(const std::string& name)
{
    if (name.empty() || name.size() > 31)
        return false;
    return name.find_first_of(":\\/?*[]") == std::string::npos;
}

static bool sameNoCase(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

// --- ExcelWriter ---

bool ExcelWriter::alive() const
{
    return m_link.m_generation.load() == m_generation && !m_link.m_dropBackend.load() &&
           !(m_target && m_target->cancelled.load());
}

bool ExcelWriter::writeCells(const std::vector<SheetCell>& cells)
{
    return alive() && m_backend.writeCells(m_target->sheetName, cells);
}

bool ExcelWriter::fillRow(int row, int firstCol, int lastCol, uint32_t colour, int pattern)
{
    return alive() && m_backend.fillRow(m_target->sheetName, row, firstCol, lastCol, colour, pattern);
}

bool ExcelWriter::deleteRows(int firstRow, int lastRow)
{
    return alive() && m_backend.deleteRows(m_target->sheetName, firstRow, lastRow);
}

int ExcelWriter::lastUsedRow()
{
    return alive() ? m_backend.lastUsedRow(m_target->sheetName) : 0;
}

// --- CMSExcel ---

namespace {
std::mutex g_programMutex;
std::unique_ptr<CMSExcel> g_program;
CMSExcel::Factory g_programFactory;
CMSExcel::Poster g_programPoster;
} // namespace

CMSExcel& CMSExcel::program()
{
    std::lock_guard lock(g_programMutex);
    if (!g_program)
        g_program = std::make_unique<CMSExcel>(g_programFactory, g_programPoster);
    return *g_program;
}

void CMSExcel::installProgram(Factory factory, Poster poster)
{
    std::lock_guard lock(g_programMutex);
    g_programFactory = std::move(factory);
    g_programPoster = std::move(poster);
    g_program.reset();
}

bool CMSExcel::programInstalled()
{
    std::lock_guard lock(g_programMutex);
    return static_cast<bool>(g_programFactory);
}

void CMSExcel::letGoProgram()
{
    std::unique_ptr<CMSExcel> link;
    {
        std::lock_guard lock(g_programMutex);
        link = std::move(g_program);
    }
    link.reset(); // the destructor lets the book go, the program stays
}

CMSExcel::CMSExcel(Factory factory, Poster poster) : m_factory(std::move(factory)), m_poster(std::move(poster))
{
    m_reload = SecurityReload::instance().add("spreadsheet link", [this](const SecurityTable&, SecurityTable&) {
        std::lock_guard lock(m_mutex);
        m_pendingRows.clear();
        return SecurityReload::Outcome{};
    });
    m_thread = std::thread([this] { writerLoop(); });
}

CMSExcel::~CMSExcel()
{
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
        for (const auto& t : m_linked)
            t->cancelled = true;
    }
    m_wake.notify_all();
    // The exit never waits long on the spreadsheet: a writer still busy after
    // a moment has its backend interrupted (a stuck office is ended), then
    // it runs through what is left at once.
    {
        std::unique_lock lock(m_mutex);
        if (!m_done.wait_for(lock, std::chrono::milliseconds(1500), [&] { return m_writerEnded; })
            && m_interruptible)
            m_interruptible->interrupt();
    }
    m_thread.join();
}

void CMSExcel::post(std::function<void()> uiTask) const
{
    if (m_poster)
        m_poster(std::move(uiTask));
    else
        uiTask();
}

void CMSExcel::writerLoop()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [&] {
            return m_stop || !m_jobs.empty() || !m_pending.empty() || !m_pendingRows.empty() || m_dropBackend;
        });
        if (m_dropBackend.exchange(false) && m_backend) {
            // The book went away: the backend is let go on this thread, the
            // only one that calls it.
            m_interruptible = nullptr;
            auto gone = std::move(m_backend);
            lock.unlock();
            gone->release(false);
            gone.reset();
            lock.lock();
            m_done.notify_all();
            continue;
        }
        if (m_stop && m_jobs.empty()) {
            auto gone = std::move(m_backend);
            m_pending.clear();
            m_pendingRows.clear();
            lock.unlock();
            // Still interruptible while it lets the book go.
            if (gone)
                gone->release(false);
            lock.lock();
            m_interruptible = nullptr;
            m_writerEnded = true;
            m_done.notify_all();
            lock.unlock();
            return;
        }
        if (!m_jobs.empty()) {
            Job job = std::move(m_jobs.front());
            m_jobs.pop_front();
            m_running = job.target.get();
            m_busy = true;
            const unsigned generation = m_generation.load();
            lock.unlock();
            try {
                const pf::uiguard::Section talking(pf::uiguard::Kind::Helper, "spreadsheet job");
                if (job.control) {
                    job.control(m_backend.get());
                } else if (m_backend && !(job.target && job.target->cancelled)) {
                    ExcelWriter writer(*this, *m_backend, job.target, generation);
                    if (writer.alive())
                        job.run(writer);
                }
            } catch (const std::exception& e) {
                WriteLog(0, std::string("Excel Exception : Writing Failed ") + e.what());
            } catch (...) {
                WriteLog(0, "Excel Exception : Writing Failed");
            }
            job = Job{};
            lock.lock();
            m_running = nullptr;
            m_busy = false;
            m_done.notify_all();
            continue;
        }
        if (!m_pending.empty() || !m_pendingRows.empty()) {
            auto pending = std::move(m_pending);
            m_pending.clear();
            auto pendingRows = std::move(m_pendingRows);
            m_pendingRows.clear();
            const RowFormatter formatter = m_rowFormatter;
            m_busy = true;
            const unsigned generation = m_generation.load();
            lock.unlock();
            const pf::uiguard::Section talking(pf::uiguard::Kind::Helper, "spreadsheet cells");
            std::map<ExcelTargetPtr, std::vector<SheetCell>> lists;
            for (auto& [target, cells] : pending) {
                auto& list = lists[target];
                for (auto& [at, cell] : cells)
                    list.push_back(std::move(cell));
            }
            if (formatter)
                for (auto& [target, rows] : pendingRows)
                    for (int row : rows.rows)
                        formatter(rows.securityOf[static_cast<size_t>(row)], row, lists[target]);
            for (auto& [target, list] : lists) {
                if (!m_backend)
                    break;
                ExcelWriter writer(*this, *m_backend, target, generation);
                if (!writer.alive() || !target->cellsLive || list.empty())
                    continue;
                try {
                    writer.writeCells(list);
                } catch (...) {
                    WriteLog(0, "Excel Exception : Writing Failed");
                }
            }
            pending.clear();
            lists.clear();
            lock.lock();
            m_busy = false;
            m_done.notify_all();
        }
    }
}

void CMSExcel::runControl(std::function<void(SheetLink*)> step)
{
    std::promise<void> finished;
    auto done = finished.get_future();
    {
        std::lock_guard lock(m_mutex);
        Job job;
        job.control = [&](SheetLink* backend) {
            try {
                step(backend);
            } catch (...) {
                finished.set_exception(std::current_exception());
                return;
            }
            finished.set_value();
        };
        m_jobs.push_back(std::move(job));
    }
    m_wake.notify_all();
    // A caller on the UI thread would freeze while the spreadsheet works.
    const pf::uiguard::WaitFor waiting(m_thread.get_id(), "the spreadsheet writer");
    done.get(); // rethrows what the step threw
}

int CMSExcel::Initialization(const std::string& sheet, std::string& error, const std::string& path, int mode)
{
    try {
        int result = -1;
        runControl([&](SheetLink*) {
            // A fresh backend for every start: whatever an earlier one was
            // doing is over.
            if (m_backend) {
                m_backend->release(true);
                {
                    std::lock_guard lock(m_mutex);
                    m_interruptible = nullptr;
                }
                m_backend.reset();
            }
            m_dropBackend = false;
            std::unique_ptr<SheetLink> backend = m_factory ? m_factory() : nullptr;
            if (!backend) {
                error = kExcelAbsentText;
                return;
            }
            std::string book;
            if (!backend->openBook(mode == 1 ? path : std::string(), book, error)) {
                if (error.empty())
                    error = kExcelAbsentText;
                backend->release(true);
                return;
            }
            const auto refuse = [&] {
                error = kExcelNameRefusedText;
                backend->release(true);
            };
            std::vector<std::string> names = backend->sheetNames();
            if (mode == 1) {
                const bool exact = std::find(names.begin(), names.end(), sheet) != names.end();
                if (!exact) {
                    const bool clash = std::any_of(names.begin(), names.end(),
                                                   [&](const std::string& n) { return sameNoCase(n, sheet); });
                    if (clash || !ExcelSheetNameAllowed(sheet) || !backend->insertSheet(0, sheet))
                        return refuse();
                }
            } else {
                if (names.empty() || !backend->renameSheet(names.front(), kExcelProductSheet))
                    return refuse();
                if (!ExcelSheetNameAllowed(sheet) || sameNoCase(sheet, kExcelProductSheet) ||
                    !backend->insertSheet(0, sheet))
                    return refuse();
                backend->hideSheet(kExcelProductSheet);
            }
            const unsigned generation = ++m_generation;
            backend->setDisconnectHandler([this, generation] { onDisconnected(generation); });
            m_backend = std::move(backend);
            {
                std::lock_guard lock(m_mutex);
                m_interruptible = m_backend.get();
                m_bookName = book;
            }
            m_linkOpen = true;
            result = 1;
        });
        return result;
    } catch (...) {
        WriteLog(0, "Exception in Initialization");
        return -2;
    }
}

bool CMSExcel::IsSheetLinked(const std::string& sheet)
{
    if (!m_linkOpen)
        return false;
    bool found = false;
    runControl([&](SheetLink* backend) {
        if (!backend || m_dropBackend)
            return;
        const auto names = backend->sheetNames();
        found = std::find(names.begin(), names.end(), sheet) != names.end();
    });
    return found;
}

int CMSExcel::AddSheet(const std::string& sheet)
{
    int result = -1;
    if (!m_linkOpen)
        return result;
    runControl([&](SheetLink* backend) {
        if (!backend || m_dropBackend || !ExcelSheetNameAllowed(sheet))
            return;
        const auto names = backend->sheetNames();
        if (std::any_of(names.begin(), names.end(), [&](const std::string& n) { return sameNoCase(n, sheet); }))
            return;
        if (backend->insertSheet(0, sheet))
            result = 1;
    });
    return result;
}

std::string CMSExcel::GetActiveWorkbookName() const
{
    std::lock_guard lock(m_mutex);
    return m_bookName;
}

void CMSExcel::resetLocked()
{
    m_linkOpen = false;
    for (const auto& t : m_linked) {
        t->cancelled = true;
        t->cellsLive = false;
    }
    m_linked.clear();
    m_pending.clear();
    m_pendingRows.clear();
    m_bookName.clear();
}

int CMSExcel::Close()
{
    {
        std::lock_guard lock(m_mutex);
        ++m_generation;
        resetLocked();
    }
    int result = -1;
    runControl([&](SheetLink* backend) {
        if (!backend)
            return;
        {
            std::lock_guard lock(m_mutex);
            m_interruptible = nullptr;
        }
        auto gone = std::move(m_backend);
        gone->release(false);
        result = 0;
    });
    return result;
}

void CMSExcel::onDisconnected(unsigned generation)
{
    std::function<void()> notice;
    std::vector<ExcelTargetPtr> was;
    {
        std::lock_guard lock(m_mutex);
        if (m_generation.load() != generation)
            return; // an earlier book's late notice
        ++m_generation;
        was.assign(m_linked.begin(), m_linked.end());
        resetLocked();
        m_dropBackend = true;
        notice = m_notice;
    }
    m_wake.notify_all();
    WriteLog(0, "Excel Closed Successfully");
    post([was = std::move(was), notice = std::move(notice)] {
        for (const auto& t : was)
            if (t->onLive)
                t->onLive(false);
        if (notice)
            notice();
    });
}

int CMSExcel::linkedCount() const
{
    std::lock_guard lock(m_mutex);
    return static_cast<int>(m_linked.size());
}

void CMSExcel::linkTarget(const ExcelTargetPtr& target)
{
    std::lock_guard lock(m_mutex);
    target->cancelled = false;
    m_linked.insert(target);
}

void CMSExcel::unlinkTarget(const ExcelTargetPtr& target)
{
    std::unique_lock lock(m_mutex);
    target->cancelled = true;
    target->cellsLive = false;
    m_linked.erase(target);
    m_pending.erase(target);
    m_pendingRows.erase(target);
    // No wait for a write of the target already under way: the spreadsheet
    // may be stuck, and the caller is the UI thread. That one write lands on
    // the target's own sheet; the writer runs one job at a time, so whatever
    // is linked next is written after it.
}

bool CMSExcel::isLinked(const ExcelTargetPtr& target) const
{
    std::lock_guard lock(m_mutex);
    return m_linked.count(target) != 0;
}

void CMSExcel::setDisconnectNotice(std::function<void()> notice)
{
    std::lock_guard lock(m_mutex);
    m_notice = std::move(notice);
}

void CMSExcel::postJob(const ExcelTargetPtr& target, std::function<void(ExcelWriter&)> job)
{
    {
        std::lock_guard lock(m_mutex);
        if (!m_linkOpen || target->cancelled)
            return;
        m_jobs.push_back(Job{target, std::move(job), {}});
    }
    m_wake.notify_all();
}

void CMSExcel::putCells(const ExcelTargetPtr& target, std::vector<SheetCell> cells)
{
    {
        std::lock_guard lock(m_mutex);
        if (!m_linkOpen || target->cancelled || !m_linked.count(target))
            return;
        auto& sheet = m_pending[target];
        for (auto& c : cells) {
            auto& slot = sheet[{c.row, c.col}];
            slot = std::move(c);
        }
    }
    m_wake.notify_all();
}

void CMSExcel::setRowFormatter(RowFormatter formatter, int cellsPerRow)
{
    std::lock_guard lock(m_mutex);
    m_rowFormatter = std::move(formatter);
    m_cellsPerRow = cellsPerRow;
    m_hasRowFormatter = static_cast<bool>(m_rowFormatter);
}

void CMSExcel::putRow(const ExcelTargetPtr& target, int rowPlace, int security)
{
    if (rowPlace < 0)
        return;
    {
        std::lock_guard lock(m_mutex);
        if (!m_linkOpen || target->cancelled || !m_linked.count(target))
            return;
        PendingRows& p = m_pendingRows[target];
        if (static_cast<size_t>(rowPlace) >= p.securityOf.size())
            p.securityOf.resize(static_cast<size_t>(rowPlace) + 1, -1);
        int& slot = p.securityOf[static_cast<size_t>(rowPlace)];
        if (slot < 0)
            p.rows.push_back(rowPlace);
        slot = security;
    }
    m_wake.notify_one();
}

size_t CMSExcel::pendingCells() const
{
    std::lock_guard lock(m_mutex);
    size_t n = 0;
    for (const auto& [t, cells] : m_pending)
        n += cells.size();
    for (const auto& [t, rows] : m_pendingRows)
        n += rows.rows.size() * static_cast<size_t>(m_cellsPerRow);
    return n;
}

void CMSExcel::waitIdle()
{
    std::unique_lock lock(m_mutex);
    m_done.wait(lock, [&] {
        return m_jobs.empty() && m_pending.empty() && m_pendingRows.empty() && !m_busy && !m_dropBackend;
    });
}
