#pragma once
// The terminal's one log: a daily file in Logs, written from every thread.
// Before login the lines go to the common log, after login to the user's log.
#include <atomic>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

namespace pf {
class Paths;
}

// Verbosity threshold: a line of level L is written when L <= Log_Level; a
// level-0 line is written whatever the threshold.
// 0 until the configuration file has been read.
extern std::atomic<int> Log_Level;

// Appends one line "<stamp> - <text>\n" when `level` passes Log_Level and a log
// is open; otherwise drops it. Any thread; a line is never mixed with another.
void WriteLog(int level, std::string_view text);

// The local time with milliseconds, "2024-03-05-09:07:31.042".
std::string LogTimestamp();

// Today's log file name for `namePart` ("Common" or the user id), and removes
// the logs in Logs that are more than 30 days old.
std::string CheckLogFiles(std::string_view namePart);

// Removes the message files in Logs that are more than 3 days old.
void CheckMsgFiles();

// Start-up: remembers the program folder, creates Logs when it is missing
// (moving the dated daily logs of the last 32 days from the program folder
// into it), clears old message and log files and opens the common log.
// False when the log could not be opened (lines are then dropped).
bool StartLog(const pf::Paths& paths);

// After login: clears old logs and moves from the common log to the user's.
bool SwitchToUserLog(std::string_view userId);

// Exit: writes the closing lines and closes the log.
void CloseLog();

// The open log file, empty when none is open (the crash-report offer reads it).
std::filesystem::path CurrentLogPath();

// Commit every line to disk. Each line reaches the file by one write before
// WriteLog returns, so a crash of the program loses none; the commit to disk,
// which a crash of the machine needs, runs on a thread of the log's own right
// after, taking all lines written meanwhile at once, so that no thread waits
// for the disk (a commit costs milliseconds, hundreds of them at start-up).
// A log that is switched or closed is committed to its last line; CloseLog
// returns once it is. The program switches it on at start-up; off until then
// (tests leave it off).
void SetLogSyncPerLine(bool on);
bool LogSyncPerLine();

// The commit of a log's written lines to disk, given a descriptor of the log
// file; fdatasync unless replaced (tests see what is committed, and when).
using LogCommit = std::function<void(int fd)>;
void SetLogCommit(LogCommit commit);

// Secrets never reach the log. MaskSecret gives what a log line shows in
// place of a password, password digest, security answer or one-time code;
// MaskSecretIn replaces every occurrence of `secret` in `text` with it.
std::string MaskSecret(std::string_view secret);
std::string MaskSecretIn(std::string_view text, std::string_view secret);

// The session id goes into nearly every request the log records: from this
// call on, every line shows it masked wherever it stands as a whole word
// (letters and digits on neither side). An empty id masks nothing.
void SetLoggedSessionId(std::string_view sessionId);
