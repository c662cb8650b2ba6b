#pragma once
// The message bar's rules that need no window: the row code that colours a
// message's rows, the cutting of a long message into rows, and the day's four
// message files ("Vortanex_<Kind>_<user>_<DDMMYYYY>.msg" in Logs), to which
// each message is appended whole as one "HH:MM:SS|text\n" line.
#include "pf/append_file.h"
#include "pf/paths.h"

#include <array>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <vector>

// Message kinds: the list, the tab and the file word.
enum MessageKind : int { MsgTrading = 1, MsgExchange = 2, MsgGeneral = 3, MsgResearch = 4 };

inline constexpr int kMessageWrapWidth = 220;

// The row code the list colours a row by: kind 4 -1 whatever the side; then
// 'B' 100, 'S' 200, '+' 1, '-' 2, anything else 3.
int MessageRowCode(int kind, char side);

// The pieces of text, one per row: a row starting at p ends at the first
// space at or after p + width (that space begins the next row); with no such
// space, or p + width at or past the end, the row runs to the end.
std::vector<std::string> WrapMessageRows(std::string_view text, int width = kMessageWrapWidth);

// "%02d:%02d:%02d" of the local time.
std::string MessageTimeText(int hour, int minute, int second);
// "%s|%s\n": the time and the whole text.
std::string MessageFileLine(std::string_view time, std::string_view text);
// "<logs>/Vortanex_<Word>_<user>_<DDMMYYYY>.msg"; empty for an unknown kind.
std::string MessageFileName(const pf::Paths& paths, int kind, std::string_view userId, int day, int month,
                            int year);

// The four files of the day the bar opened them on; a message after midnight
// still goes to the files opened that day. Appends may come from any thread.
class MessageFiles {
public:
    // Opens the four files for the user and the day (General, Trading,
    // Exchange, Research); a file that cannot be opened is skipped. Returns
    // how many were opened.
    int open(const pf::Paths& paths, std::string_view userId, int day, int month, int year);
    void close();
    bool isOpen(int kind) const;
    // One write of the whole line, committed to disk; false when the kind's
    // file is not open or the write failed.
    bool append(int kind, std::string_view line);

private:
    static int slotOf(int kind); // -1 for an unknown kind

    // Appends share the lock (each is one write of its own); opening and
    // closing take it alone.
    mutable std::shared_mutex m_mutex;
    std::array<pf::AppendFile, 4> m_files; // guarded by m_mutex; General, Trading, Exchange, Research
};
