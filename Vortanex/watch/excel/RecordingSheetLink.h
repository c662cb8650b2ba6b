#pragma once
// An in-memory workbook that records every call: the backend of the tests of
// the link and its writers. Faults can be injected: no program at all, names
// the program refuses, a disconnect after some writes, slow writes, a failed
// open. Its inspection calls may run on any thread.
#include "watch/excel/SheetLink.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <set>

class RecordingSheetLink : public SheetLink {
public:
    struct Sheet {
        std::string name;
        bool visible = true;
        std::map<std::pair<int, int>, SheetCellState> cells;
    };

    // Faults.
    bool absent = false;
    bool failOpen = false;                  // opening a file fails
    std::set<std::string> refusedNames;     // names the program refuses
    std::vector<std::string> existingSheets; // the sheets of an opened file
    std::atomic<int> disconnectAfterWrites{-1}; // writes until a disconnect
    std::chrono::milliseconds writeDelay{0};

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

    // The user closes the book (from any thread).
    void disconnect();
    // A delayed write (a hung book) ends at once; later writes fail.
    void interrupt() override;

    // Inspection.
    std::vector<Sheet> sheets() const;
    bool sheetVisible(const std::string& name) const;
    std::vector<std::string> calls() const;
    int callCount(const std::string& prefix) const;
    int cellWrites() const { return m_cellWrites; }
    int blockWrites() const { return m_blockWrites; }
    bool released() const { return m_released; }
    bool bookOpen() const;

private:
    Sheet* find(const std::string& name);
    void log(std::string text);
    bool countWrite();

    mutable std::mutex m_mutex;
    std::vector<Sheet> m_sheets;
    std::vector<std::string> m_calls;
    std::function<void()> m_onDisconnect;
    bool m_open = false;
    std::atomic<int> m_cellWrites{0};
    std::atomic<int> m_blockWrites{0};
    std::atomic<bool> m_released{false};
    std::atomic<bool> m_disconnected{false};
    std::condition_variable m_interruptWake;
    bool m_interrupted = false; // guarded by m_mutex
};

// The link owns its backend and drops it after a disconnect or a reset; a
// test that keeps looking at the book hands the link this forwarder.
class RecordingSheetLinkRef : public SheetLink {
public:
    explicit RecordingSheetLinkRef(std::shared_ptr<RecordingSheetLink> b) : m_b(std::move(b)) {}
    bool openBook(const std::string& p, std::string& n, std::string& e) override { return m_b->openBook(p, n, e); }
    std::vector<std::string> sheetNames() override { return m_b->sheetNames(); }
    bool insertSheet(int p, const std::string& n) override { return m_b->insertSheet(p, n); }
    bool renameSheet(const std::string& f, const std::string& t) override { return m_b->renameSheet(f, t); }
    bool removeSheet(const std::string& n) override { return m_b->removeSheet(n); }
    bool hideSheet(const std::string& n) override { return m_b->hideSheet(n); }
    bool writeCells(const std::string& s, const std::vector<SheetCell>& c) override { return m_b->writeCells(s, c); }
    bool fillRow(const std::string& s, int r, int f, int l, uint32_t c, int p) override
    {
        return m_b->fillRow(s, r, f, l, c, p);
    }
    bool deleteRows(const std::string& s, int f, int l) override { return m_b->deleteRows(s, f, l); }
    int lastUsedRow(const std::string& s) override { return m_b->lastUsedRow(s); }
    SheetCellState readCell(const std::string& s, int r, int c) override { return m_b->readCell(s, r, c); }
    void release(bool close) override { m_b->release(close); }
    void interrupt() override { m_b->interrupt(); }
    void setDisconnectHandler(std::function<void()> h) override { m_b->setDisconnectHandler(std::move(h)); }

private:
    std::shared_ptr<RecordingSheetLink> m_b;
};
