#include "watch/excel/RecordingSheetLink.h"

#include <algorithm>
#include <thread>

void RecordingSheetLink::log(std::string text)
{
    std::lock_guard lock(m_mutex);
    m_calls.push_back(std::move(text));
}

RecordingSheetLink::Sheet* RecordingSheetLink::find(const std::string& name)
{
    for (auto& s : m_sheets)
        if (s.name == name)
            return &s;
    return nullptr;
}

bool RecordingSheetLink::openBook(const std::string& path, std::string& bookName, std::string& error)
{
    log("open " + path);
    if (absent) {
        error = "Failed to Create Excel Instance";
        return false;
    }
    std::lock_guard lock(m_mutex);
    if (!path.empty() && failOpen) {
        error = "Failed to open " + path;
        return false;
    }
    m_sheets.clear();
    if (path.empty()) {
        bookName = "Book1";
        m_sheets.push_back(Sheet{"Sheet1", true, {}});
    } else {
        const auto slash = path.find_last_of('/');
        bookName = slash == std::string::npos ? path : path.substr(slash + 1);
        for (const auto& n : existingSheets)
            m_sheets.push_back(Sheet{n, true, {}});
        if (m_sheets.empty())
            m_sheets.push_back(Sheet{"Sheet1", true, {}});
    }
    m_open = true;
    m_released = false;
    m_disconnected = false;
    return true;
}

std::vector<std::string> RecordingSheetLink::sheetNames()
{
    std::lock_guard lock(m_mutex);
    std::vector<std::string> names;
    for (const auto& s : m_sheets)
        names.push_back(s.name);
    return names;
}

static bool sameNameNoCase(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

bool RecordingSheetLink::insertSheet(int position, const std::string& name)
{
    log("insert " + std::to_string(position) + " " + name);
    std::lock_guard lock(m_mutex);
    if (!m_open || refusedNames.count(name))
        return false;
    for (const auto& s : m_sheets)
        if (sameNameNoCase(s.name, name))
            return false;
    position = std::clamp(position, 0, static_cast<int>(m_sheets.size()));
    m_sheets.insert(m_sheets.begin() + position, Sheet{name, true, {}});
    return true;
}

bool RecordingSheetLink::renameSheet(const std::string& from, const std::string& to)
{
    log("rename " + from + " " + to);
    std::lock_guard lock(m_mutex);
    Sheet* s = find(from);
    if (!s || refusedNames.count(to))
        return false;
    for (const auto& o : m_sheets)
        if (&o != s && sameNameNoCase(o.name, to))
            return false;
    s->name = to;
    return true;
}

bool RecordingSheetLink::removeSheet(const std::string& name)
{
    log("remove " + name);
    std::lock_guard lock(m_mutex);
    const auto it = std::find_if(m_sheets.begin(), m_sheets.end(), [&](const Sheet& s) { return s.name == name; });
    if (it == m_sheets.end())
        return false;
    m_sheets.erase(it);
    return true;
}

bool RecordingSheetLink::hideSheet(const std::string& name)
{
    log("hide " + name);
    std::lock_guard lock(m_mutex);
    Sheet* s = find(name);
    if (!s)
        return false;
    s->visible = false;
    return true;
}

bool RecordingSheetLink::countWrite()
{
    {
        std::unique_lock lock(m_mutex);
        if (writeDelay.count() > 0)
            m_interruptWake.wait_for(lock, writeDelay, [&] { return m_interrupted; });
        if (m_interrupted)
            return false;
    }
    if (m_disconnected)
        return false;
    if (disconnectAfterWrites.load() >= 0 && disconnectAfterWrites.fetch_sub(1) == 0) {
        disconnect();
        return false;
    }
    return true;
}

bool RecordingSheetLink::writeCells(const std::string& sheet, const std::vector<SheetCell>& cells)
{
    log("cells " + sheet + " " + std::to_string(cells.size()));
    if (!countWrite())
        return false;
    std::lock_guard lock(m_mutex);
    Sheet* s = find(sheet);
    if (!s)
        return false;
    ++m_blockWrites;
    for (const auto& c : cells) {
        SheetCellState& st = s->cells[{c.row, c.col}];
        st.text = c.text;
        if (c.styled) {
            st.style = c.style;
            st.pattern = 0;
        }
        ++m_cellWrites;
    }
    return true;
}

bool RecordingSheetLink::fillRow(const std::string& sheet, int row, int firstCol, int lastCol, uint32_t colour,
                                 int pattern)
{
    log("fill " + sheet + " " + std::to_string(row) + " " + std::to_string(firstCol) + ":" + std::to_string(lastCol));
    if (!countWrite())
        return false;
    std::lock_guard lock(m_mutex);
    Sheet* s = find(sheet);
    if (!s)
        return false;
    for (int c = firstCol; c <= lastCol; ++c) {
        SheetCellState& st = s->cells[{row, c}];
        st.style.interior = colour;
        st.pattern = pattern;
    }
    return true;
}

bool RecordingSheetLink::deleteRows(const std::string& sheet, int firstRow, int lastRow)
{
    log("delete " + sheet + " " + std::to_string(firstRow) + ":" + std::to_string(lastRow));
    if (!countWrite())
        return false;
    std::lock_guard lock(m_mutex);
    Sheet* s = find(sheet);
    if (!s)
        return false;
    std::map<std::pair<int, int>, SheetCellState> kept;
    const int n = lastRow - firstRow + 1;
    for (auto& [at, st] : s->cells) {
        if (at.first < firstRow)
            kept[at] = st;
        else if (at.first > lastRow)
            kept[{at.first - n, at.second}] = st;
    }
    s->cells = std::move(kept);
    return true;
}

int RecordingSheetLink::lastUsedRow(const std::string& sheet)
{
    std::lock_guard lock(m_mutex);
    Sheet* s = find(sheet);
    int last = 0;
    if (s)
        for (const auto& [at, st] : s->cells)
            last = std::max(last, at.first);
    return last;
}

SheetCellState RecordingSheetLink::readCell(const std::string& sheet, int row, int col)
{
    std::lock_guard lock(m_mutex);
    Sheet* s = find(sheet);
    if (!s)
        return {};
    const auto it = s->cells.find({row, col});
    return it == s->cells.end() ? SheetCellState{} : it->second;
}

void RecordingSheetLink::release(bool closeBook)
{
    log(closeBook ? "release close" : "release keep");
    std::lock_guard lock(m_mutex);
    m_released = true;
    if (closeBook)
        m_open = false;
}

void RecordingSheetLink::setDisconnectHandler(std::function<void()> handler)
{
    std::lock_guard lock(m_mutex);
    m_onDisconnect = std::move(handler);
}

void RecordingSheetLink::disconnect()
{
    std::function<void()> handler;
    {
        std::lock_guard lock(m_mutex);
        if (m_disconnected.exchange(true))
            return;
        m_open = false;
        m_calls.push_back("disconnect");
        handler = m_onDisconnect;
    }
    if (handler)
        handler();
}

std::vector<RecordingSheetLink::Sheet> RecordingSheetLink::sheets() const
{
    std::lock_guard lock(m_mutex);
    return m_sheets;
}

bool RecordingSheetLink::sheetVisible(const std::string& name) const
{
    std::lock_guard lock(m_mutex);
    for (const auto& s : m_sheets)
        if (s.name == name)
            return s.visible;
    return false;
}

std::vector<std::string> RecordingSheetLink::calls() const
{
    std::lock_guard lock(m_mutex);
    return m_calls;
}

int RecordingSheetLink::callCount(const std::string& prefix) const
{
    std::lock_guard lock(m_mutex);
    return static_cast<int>(std::count_if(m_calls.begin(), m_calls.end(), [&](const std::string& c) {
        return c.compare(0, prefix.size(), prefix) == 0;
    }));
}

bool RecordingSheetLink::bookOpen() const
{
    std::lock_guard lock(m_mutex);
    return m_open;
}

void RecordingSheetLink::interrupt()
{
    {
        std::lock_guard lock(m_mutex);
        m_interrupted = true;
    }
    m_interruptWake.notify_all();
}
