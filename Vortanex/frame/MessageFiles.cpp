#include "frame/MessageFiles.h"

#include <cstdio>
#include <mutex>

int MessageRowCode(int kind, char side)
{
    if (kind == MsgResearch)
        return -1;
    switch (side) {
    case 'B':
        return 100;
    case 'S':
        return 200;
    case '+':
        return 1;
    case '-':
        return 2;
    default:
        return 3;
    }
}

std::vector<std::string> WrapMessageRows(std::string_view text, int width)
{
    std::vector<std::string> rows;
    if (width < 1)
        width = 1;
    size_t p = 0;
    do {
        size_t end = text.size();
        const size_t from = p + size_t(width);
        if (from < text.size()) {
            const size_t space = text.find(' ', from);
            if (space != std::string_view::npos)
                end = space;
        }
        rows.emplace_back(text.substr(p, end - p));
        p = end;
    } while (p < text.size());
    return rows;
}

std::string MessageTimeText(int hour, int minute, int second)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", hour, minute, second);
    return buf;
}

std::string MessageFileLine(std::string_view time, std::string_view text)
{
    std::string line;
    line.reserve(time.size() + text.size() + 2);
    line.append(time).append("|");
    // One message, one line: a line break in the text would start a line
    // of its own that is no message.
    for (const char c : text)
        line.push_back(c == '\n' || c == '\r' ? ' ' : c);
    line.append("\n");
    return line;
}

std::string MessageFileName(const pf::Paths& paths, int kind, std::string_view userId, int day, int month, int year)
{
    const char* word = nullptr;
    switch (kind) {
    case MsgTrading:
        word = "Trading";
        break;
    case MsgExchange:
        word = "Exchange";
        break;
    case MsgGeneral:
        word = "General";
        break;
    case MsgResearch:
        word = "Research";
        break;
    default:
        return {};
    }
    char date[32];
    std::snprintf(date, sizeof date, "%02d%02d%d", day, month, year);
    const std::string name = std::string("Vortanex_") + word + "_" + std::string(userId) + "_" + date + ".msg";
    return (paths.logs() / name).string();
}

int MessageFiles::slotOf(int kind)
{
    // The handles are kept in the order General, Trading, Exchange, Research.
    switch (kind) {
    case MsgGeneral:
        return 0;
    case MsgTrading:
        return 1;
    case MsgExchange:
        return 2;
    case MsgResearch:
        return 3;
    default:
        return -1;
    }
}

int MessageFiles::open(const pf::Paths& paths, std::string_view userId, int day, int month, int year)
{
    std::lock_guard lock(m_mutex);
    int opened = 0;
    for (int kind : {MsgGeneral, MsgTrading, MsgExchange, MsgResearch}) {
        pf::AppendFile& f = m_files[size_t(slotOf(kind))];
        if (f.open(MessageFileName(paths, kind, userId, day, month, year), /*durable=*/true))
            ++opened;
    }
    return opened;
}

void MessageFiles::close()
{
    std::lock_guard lock(m_mutex);
    for (pf::AppendFile& f : m_files)
        f.close();
}

bool MessageFiles::isOpen(int kind) const
{
    const int slot = slotOf(kind);
    std::shared_lock lock(m_mutex);
    return slot >= 0 && m_files[size_t(slot)].isOpen();
}

bool MessageFiles::append(int kind, std::string_view line)
{
    const int slot = slotOf(kind);
    if (slot < 0)
        return false;
    std::shared_lock lock(m_mutex);
    pf::AppendFile& f = m_files[size_t(slot)];
    return f.isOpen() && f.appendLine(line);
}
