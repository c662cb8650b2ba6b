#pragma once
// The live workbook: LibreOffice Calc, driven over UNO by the helper program
// vx_calclink, which this backend runs as a child and talks to over its
// standard input and output. The office, its runtime and its threads stay in
// the helper's process: a fault there is a disconnect here, never a crash of
// the terminal. Without the helper or the office, opening a book fails with
// the absent-program text. Qt-free.
#include "watch/excel/SheetLink.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <thread>

struct CalcOptions {
    std::string helper;              // the vx_calclink program
    std::string program = "soffice"; // the office, from the PATH by default
    bool headless = true;            // no window, a throwaway profile
    // Where a new book of an office without a window is saved (nobody can
    // see it); the success message names the file. Empty: not saved.
    std::string saveFolder;
    // How long an answer may take before the office counts as gone; then the
    // helper and the headless office the link started are ended.
    std::chrono::milliseconds replyTimeout{30000};
};

class CalcSheetLink : public SheetLink {
public:
    explicit CalcSheetLink(CalcOptions options);
    ~CalcSheetLink() override;

    bool openBook(const std::string& path, std::string& bookName, std::string& error) override;
    std::vector<std::string> sheetNames() override;
    bool insertSheet(int position, const std::string& name) override;
    bool renameSheet(const std::string& from, const std::string& to) override;
    bool removeSheet(const std::string& name) override;
    bool hideSheet(const std::string& name) override;
    bool writeCells(const std::string& sheet, const std::vector<SheetCell>& cells) override;
    bool fillRow(const std::string& sheet, int row, int firstCol, int lastCol, uint32_t colour,
                 int pattern) override;
    bool deleteRows(const std::string& sheet, int firstRow, int lastRow) override;
    int lastUsedRow(const std::string& sheet) override;
    SheetCellState readCell(const std::string& sheet, int row, int col) override;
    void release(bool closeBook) override;
    void setDisconnectHandler(std::function<void()> handler) override;
    // Ends the helper and the headless office it started for this link.
    void interrupt() override;

    bool running() const { return m_helper > 0; }
    // True when the office runs without a window (asked to, or it has none).
    bool headless() const { return m_runsHeadless; }
    // For the live check: the office's process (-1 when it was already
    // running) and closing the book as the user does.
    int officeProcess();
    bool closeBookAsUser();

private:
    bool spawn(std::string& error);
    // One command and its answer; false on ERR, a time-out or a lost helper.
    bool request(const std::vector<std::string>& fields, std::vector<std::string>* answer,
                 std::chrono::milliseconds timeout);
    bool request(const std::vector<std::string>& fields) { return request(fields, nullptr, m_options.replyTimeout); }
    void readLoop();
    void lost();
    void stopHelper();
    // Kills the process group of the headless office this link started; a
    // visible office (the user's) is never ended here.
    void endOwnOffice();

    CalcOptions m_options;
    std::atomic<pid_t> m_helper{-1};
    std::atomic<pid_t> m_officeGroup{-1}; // the headless office this link started
    int m_toHelper = -1;
    int m_fromHelper = -1;
    std::string m_profileDir;
    bool m_runsHeadless = true;
    std::thread m_reader;
    std::mutex m_mutex;
    std::condition_variable m_answered;
    std::deque<std::vector<std::string>> m_answers;
    std::function<void()> m_onDisconnect;
    std::atomic<bool> m_gone{false};
    bool m_notified = false;
};
