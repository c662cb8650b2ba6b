#pragma once
// The spreadsheet link: the program's one connection to a live workbook, in
// which up to three watch lists are kept current, one sheet each. The link
// owns its backend (SheetLink) on a writer thread of its own: the UI thread
// and the feed path only hand it work, so a slow or stuck spreadsheet never
// blocks them and never grows a queue (pending cell values merge per cell,
// latest wins). A disconnect (the user closed the book or quit the program)
// drops every write after it and resets the link; its notice reaches the UI
// thread through the installed poster. Qt-free.
#include "server/SecurityReload.h"
#include "watch/excel/SheetLink.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

// One linked watch list: its sheet and the state of its cells. Shared by the
// view's side and the writer's jobs; a job of a cancelled target writes
// nothing more.
struct ExcelSheetTarget {
    std::string sheetName;
    std::string bookName;
    bool openedExisting = false;
    std::atomic<bool> cellsLive{false};  // ticks may be written
    std::atomic<bool> cancelled{false};  // the view is gone or switched list
    // UI thread: the view's own flag follows the cells' state.
    std::function<void(bool live)> onLive;
    // UI thread: the sheet place (row - 2) of each position of the list's
    // row array, as the last full write laid the rows out; empty: the same.
    std::vector<int> placeOf;
};
using ExcelTargetPtr = std::shared_ptr<ExcelSheetTarget>;

// What a writer job uses: the backend's writes, each dropped once the link
// went away or the target was cancelled.
class ExcelWriter {
public:
    bool alive() const;
    bool writeCells(const std::vector<SheetCell>& cells);
    bool fillRow(int row, int firstCol, int lastCol, uint32_t colour, int pattern);
    bool deleteRows(int firstRow, int lastRow);
    int lastUsedRow();
    const ExcelTargetPtr& target() const { return m_target; }

private:
    friend class CMSExcel;
    ExcelWriter(class CMSExcel& link, SheetLink& backend, ExcelTargetPtr target, unsigned generation)
        : m_link(link), m_backend(backend), m_target(std::move(target)), m_generation(generation)
    {
    }
    CMSExcel& m_link;
    SheetLink& m_backend;
    ExcelTargetPtr m_target;
    unsigned m_generation;
};

// Sheet names: at most 31 characters, none of : \ / ? * [ ], not empty.
bool ExcelSheetNameAllowed(const std::string& name);
// The texts Initialization answers with.
inline constexpr const char* kExcelAbsentText = "Failed to Create Excel Instance";
inline constexpr const char* kExcelNameRefusedText = "Failed To Connect Excel - Sheet name is not allowed";
// The product's own sheet of a new book, hidden behind the lists' sheets.
inline constexpr const char* kExcelProductSheet = "Vortanex";

class CMSExcel {
public:
    using Factory = std::function<std::unique_ptr<SheetLink>()>;
    using Poster = std::function<void(std::function<void()>)>;

    // factory makes the backend at each start; none (or a null backend) is
    // an absent spreadsheet program. poster runs a task on the UI thread
    // (unset: at once, on the calling thread).
    explicit CMSExcel(Factory factory, Poster poster = {});
    ~CMSExcel();
    CMSExcel(const CMSExcel&) = delete;
    CMSExcel& operator=(const CMSExcel&) = delete;

    // The program's link (made with the installed factory and poster).
    static CMSExcel& program();
    static void installProgram(Factory factory, Poster poster);
    static bool programInstalled();
    // Ends the program's link at exit: a visible program stays open with
    // the book.
    static void letGoProgram();

    // --- starting the link; these wait for the writer thread ---
    // mode 0 a new book, 1 the file at path. 1 linked, -1 failed (error
    // says why), -2 an exception.
    int Initialization(const std::string& sheet, std::string& error, const std::string& path, int mode);
    // A sheet of exactly that name is in the linked book.
    bool IsSheetLinked(const std::string& sheet);
    // A sheet for one more list, at the front: 1, or -1 when refused.
    int AddSheet(const std::string& sheet);
    std::string GetActiveWorkbookName() const;
    // Lets the book go and resets the link (a failed start, a reset).
    int Close();

    // --- state ---
    bool linkOpen() const { return m_linkOpen.load(); }
    // The number of linked lists (0 to 3).
    int linkedCount() const;
    void linkTarget(const ExcelTargetPtr& target);
    // The target's jobs are cancelled and nothing more of it is written but
    // the one write already under way, if any. Never waits.
    void unlinkTarget(const ExcelTargetPtr& target);
    bool isLinked(const ExcelTargetPtr& target) const;
    // Called on the UI thread after a disconnect reset the link.
    void setDisconnectNotice(std::function<void()> notice);
    void post(std::function<void()> uiTask) const;

    // --- writes; never block ---
    void postJob(const ExcelTargetPtr& target, std::function<void(ExcelWriter&)> job);
    // Cell values for the target's sheet, merged per cell with what waits.
    void putCells(const ExcelTargetPtr& target, std::vector<SheetCell> cells);
    // A row whose security ticked: the writer makes its cells with the row
    // formatter when it comes to it, from the latest quote. A row waits at
    // most once, so the UI thread's part of a tick is a flag.
    using RowFormatter = std::function<void(int security, int rowPlace, std::vector<SheetCell>& out)>;
    void setRowFormatter(RowFormatter formatter, int cellsPerRow);
    bool hasRowFormatter() const { return m_hasRowFormatter.load(); }
    void putRow(const ExcelTargetPtr& target, int rowPlace, int security);
    // Values waiting to be written (all sheets; a waiting row counts as
    // every cell it may write).
    size_t pendingCells() const;
    // Waits until the writer has nothing left (tests, benchmarks).
    void waitIdle();

private:
    friend class ExcelWriter;
    struct Job {
        ExcelTargetPtr target;
        std::function<void(ExcelWriter&)> run;
        std::function<void(SheetLink*)> control; // start-up steps
    };
    void writerLoop();
    // Runs a start-up step on the writer thread and waits for it.
    void runControl(std::function<void(SheetLink*)> step);
    void onDisconnected(unsigned generation);
    void resetLocked();

    Factory m_factory;
    Poster m_poster;
    std::unique_ptr<SheetLink> m_backend; // writer thread only
    std::atomic<unsigned> m_generation{0};
    std::atomic<bool> m_linkOpen{false};
    std::atomic<bool> m_dropBackend{false};
    std::string m_bookName; // guarded by m_mutex

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_done;
    std::deque<Job> m_jobs;
    std::map<ExcelTargetPtr, std::map<std::pair<int, int>, SheetCell>> m_pending;
    struct PendingRows {
        std::vector<int> securityOf; // by row place; -1 = not waiting
        std::vector<int> rows;       // waiting row places, in arrival order
    };
    std::map<ExcelTargetPtr, PendingRows> m_pendingRows;
    RowFormatter m_rowFormatter; // guarded by m_mutex
    int m_cellsPerRow = 0;
    std::atomic<bool> m_hasRowFormatter{false};
    std::set<ExcelTargetPtr> m_linked;
    ExcelSheetTarget* m_running = nullptr;
    bool m_busy = false;
    bool m_stop = false;
    bool m_writerEnded = false;           // guarded by m_mutex
    SheetLink* m_interruptible = nullptr; // guarded by m_mutex; the backend while it is linked
    std::function<void()> m_notice;
    // Rows waiting to be written name securities by index: after a
    // re-download they are dropped (the linked lists write their rows again).
    SecurityReload::Registration m_reload;
    std::thread m_thread;
};
