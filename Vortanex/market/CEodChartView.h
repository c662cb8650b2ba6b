#pragma once
// The chart window: one price chart of a security (end of day or intraday) or
// of an index, or a saved full chart. It drives the chart control only
// through IChartControl. The history comes from a download on a worker (the
// request held by value, the text delivered to this view's identity or
// dropped); live trades come from the feed through ChartLiveFeed's queue,
// drained on the UI thread; everything that touches the control runs here.
#include "frame/DocumentPrint.h"
#include "market/ChartFetch.h"
#include "market/ChartLiveFeed.h"
#include "market/ChartSeries.h"
#include "market/IChartControl.h"
#include "server/SecurityReload.h"
#include "ui/document_view.h"

#include <QWidget>

#include <array>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QScrollBar;
class QToolBar;
namespace ui {
class Ticker;
}

// One compared security.
struct ChartSeriesSlot {
    std::deque<chartfeed> bars;
    std::string name;
    short flag = 0;
    int security = -1;
    int colour = 0;
    int spare = 0; // the compared security's watch token
    std::array<double, 4> values{}; // [1]: the last price
};

// An indicator the user added: replayed after every redraw.
struct CCIndicatorsAdded {
    std::string key;
    int panel = 0;
    int type = 0;
    bool newPanel = false;
};

// What brings a chart back as it is: its security (the index's place in the
// index table for an index chart), kind, style, interval, the indicators the
// user added and the study loaded on it.
struct ChartReopen {
    int security = -1;
    int kind = 0;
    int style = 0;
    int interval = 0;
    std::vector<CCIndicatorsAdded> indicators;
    std::string studyName, studyObjects, studyIndicators;
};

class CEodChartView : public QWidget, public ui::DocumentView, public SelfPrintingView {
    Q_OBJECT
public:
    static constexpr int kIntervalBox = 1185, kZoomBox = 1402, kIndicatorBox = 1291, kNewPanel = 1298, kAdd = 1288,
                         kCompare = 1205, kScroll = 1283, kChart = 1281;
    static constexpr int kLiveTimer = 3;     // 1 s: the live bar
    static constexpr int kDrainTimer = 4;    // 100 ms: the feed's trades
    static constexpr int kMaxCompared = 3;
    static constexpr int kCompareColour = 0xC80000;

    // What the view reaches outside itself; tests replace parts.
    struct Services {
        std::function<int64_t()> now;                 // epoch seconds
        std::function<bool()> feedConnected;
        std::function<std::filesystem::path()> logs;  // the day cache's folder
        // Runs the download off the UI thread and hands the result back on
        // the UI thread (dropped when the view is gone).
        std::function<void(ChartDataRequest, bool useCache, std::function<void(ChartDownloadResult)>)> download;
        // The compare security (the scrip search in its one-security mode); -1 cancelled.
        std::function<int(QWidget*)> pickCompareSecurity;
        // The study name dialog; false cancelled.
        std::function<bool(QWidget*, const std::string& caption, std::string& name)> askStudyName;
        // The study folder's root: <program>/Data/Study/<user>.
        std::function<std::filesystem::path()> studyRoot;
        // The first pane of the frame's status bar.
        std::function<void(const std::string&)> status;
    };
    static Services& services();
    static void resetServices();

    // control: the chart to drive (null: the drawing control).
    explicit CEodChartView(std::unique_ptr<IChartControl> control = {}, QWidget* parent = nullptr);
    ~CEodChartView() override;

    static std::vector<CEodChartView*> openViews();

    // Opening: a pending chart (kinds 1-3), or a chart with a known style and
    // interval (all four kinds; kind 4 loads the study's full chart file).
    void OnInitialUpdate(int security, int kind);
    void OpenChart(int security, int kind, int style, int interval);

    // History and drawing.
    void DrawChartBase(bool download);
    void UpdateChartData(const std::string& text);
    void DisplayEodChart(int redraw);
    void DisplayIntradayChart();
    void DisplayIndexChart();
    void DrawIntradayChartFromQueue();

    // Live trades (UI thread; the drain timer hands them over).
    void UpdateRTFeed(const ChartTrade& trade);
    void UpdateAllDataforIntradayFeeds(double chartDate, double price, double quantity, int64_t time);
    void StartChartTimer();
    void AppendLiveBar();
    void StopChartTimer();
    void DrainFeed();

    // Boxes, indicators, zoom.
    void OnSelchangeInterval(int entry);
    void OnSelchangeZoom(int entry);
    void OnAddIndicator();
    void SetIndicators();
    void SetZoomLevels();

    // Commands of menu and toolbar 217 (and the compare button).
    void OnCommand(int id);
    bool commandEnabled(int id) const;
    bool commandChecked(int id);
    void OnCompareSecurity();
    void AddComparedText(int slot, const std::string& text);
    void OnDeleteSeries();
    void OnDeleteObject();
    void OnSaveChartBmp();

    // Studies.
    void OnSaveTrendAnalysis();
    void OnSaveFullChart();
    // A trend study to load after every drawing of the chart.
    void SetPendingStudy(const std::string& name, const std::string& objectsPath, const std::string& indicatorsPath);
    void LoadStudy();

    // Closing.
    bool canClose();
    void FreeAllVariables();
    // As the document's view: the document's pre-close frees the chart once.
    std::string_view viewClassName() const override { return "CEodChartView"; }
    bool isClosed() const override { return m_closing; }
    void closeFromFrame() override { FreeAllVariables(); }
    // The frame's Print: the chart control's own print.
    void printView() override { OnCommand(57607); }

    // The chart as it is now, for the saved workspace.
    ChartReopen reopenState() const;
    // Opens a chart from a saved state, under the opener's limits; null when
    // refused or its security is not there. Tells no box: the caller names
    // what did not come back.
    static CEodChartView* Reopen(const ChartReopen& state, QWidget* frame);

    // State, for the openers and tests.
    IChartControl& control() { return *m_control; }
    int security() const { return m_security; }
    int kind() const { return m_kind; }
    int style() const { return m_style; }
    int interval() const { return m_interval; }
    int64_t barLength() const { return m_barLength; }
    int span() const { return m_span; }
    int zoomLevel() const { return m_zoomLevel; }
    int slot() const { return m_slot; }
    bool ready() const { return m_ready; }
    bool closing() const { return m_closing; }
    uint64_t generation() const { return m_generation; }
    int comparedCount() const { return m_comparedCount; }
    const ChartSeriesSlot& comparedSlot(int i) const { return m_slots[size_t(i)]; }
    const std::deque<chartfeed>& tickQueue() const { return m_queue; }
    const std::vector<chartfeed>& dayBars() const { return m_days; }
    const std::vector<CCIndicatorsAdded>& indicators() const { return m_added; }
    const std::string& titleText() const { return m_title; }
    std::string caption() const { return m_caption; }
    const chartfeed& liveBar() const { return m_live; }
    int64_t liveBarEnd() const { return m_barEnd; }
    bool liveTimerRunning() const;
    std::shared_ptr<ChartLiveFeed> liveFeed() const { return m_feed; }
    QComboBox* intervalBox() const { return m_intervalBox; }
    QComboBox* zoomBox() const { return m_zoomBox; }
    QComboBox* indicatorBox() const { return m_indicatorBox; }
    QCheckBox* newPanelBox() const { return m_newPanel; }
    QScrollBar* scrollBar() const { return m_scroll; }
    bool pastEnd() const { return m_pastEnd; }
    QToolBar* toolBar() const { return m_toolbar; }
    int objectCounter() const { return m_objectCounter; }
    void setSelection(int type, const std::string& name)
    {
        m_selType = type;
        m_selName = name;
    }
    // The folder of this chart's studies: <root>/<kind>.
    std::filesystem::path studyFolder() const;

signals:
    // A trend study or full chart was saved (the study bar lists it).
    void studySaved(int kind, const QString& fileStem);

protected:
    void closeEvent(QCloseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void buildWidgets();
    void buildToolBar();
    void connectEvents();
    bool openCommon(int security, int kind, int style, bool fromPending);
    void startDownload(const ChartDataRequest& request, bool useCache);
    void applyBaseSettings();
    bool fourSeries() const;
    void addComparedSeries(int panel);
    void appendBar(const ChartBar& bar, bool volume);
    void afterLoad(int recordCount);
    void watermark();
    void syncScrollRange();
    void syncScrollPosition();
    void onScrollAction(int action);
    void drawLiveBar();
    void rollLiveBar(int64_t until);
    int64_t sessionStart() const;
    void showSeriesMenu(int type, const std::string& name, int x, int y);
    void runMenu(const std::vector<int>& path, int x, int y);
    void showMainMenu();
    void startTool(int id);
    void pickColourInto(int id);
    bool saveStudy(bool full);
    void removeIndexToken();
    // After a security re-download: the chart's security (and the compared
    // ones) found again by watch token; false when it is gone (the chart
    // closes with a message).
    bool followTable();

    std::unique_ptr<IChartControl> m_control;
    std::shared_ptr<ChartLiveFeed> m_feed;
    ui::Ticker* m_ticker = nullptr;
    QToolBar* m_toolbar = nullptr;
    QComboBox* m_intervalBox = nullptr;
    QComboBox* m_zoomBox = nullptr;
    QComboBox* m_indicatorBox = nullptr;
    QCheckBox* m_newPanel = nullptr;
    QPushButton* m_addButton = nullptr;
    QPushButton* m_compareButton = nullptr;
    QScrollBar* m_scroll = nullptr;
    bool m_filling = false;       // boxes being filled: no selection handling
    bool m_syncingScroll = false; // event 5 re-entrancy
    bool m_pastEnd = false;       // a scroll pinned the window to the last record

    int m_security = -1;
    int m_kind = 0;
    int m_style = 0;
    int m_interval = 0;
    int64_t m_barLength = 1;
    int m_span = -1;
    int m_zoomLevel = -1;
    int m_slot = -1;
    bool m_ready = true;
    bool m_closing = false;
    bool m_drawingFinished = true;
    bool m_downloading = false;
    bool m_downloaded = false;  // the chart holds downloaded history
    uint64_t m_generation = 0;
    int m_indexFeedCode = 0;
    int m_wtoken = 0;                       // the security's watch token
    const void* m_tableSeen = nullptr;      // the security table the indices refer to
    SecurityReload::Registration m_reload;  // follows the table at once after a re-download
    std::string m_comparing;                // the compared security downloading now, empty when none
    void setComparing(const std::string& name);
    int m_indexToken = 0;       // the chart-index token this view added (0 none)
    bool m_reopening = false;   // Reopen is opening this view from a saved state
    bool m_threeD = false;
    bool m_separators = false;
    bool m_alignLeft = false;
    int m_mainPanel = -1, m_volumePanel = -1;
    int m_objectCounter = 0;
    // The colours last given to the chart (0x00BBGGRR): colour pickers open on them.
    int m_foreColour = 0xFFFFFF;
    int m_backColour = 0;
    int m_selType = 0;
    std::string m_selName;
    std::string m_title;        // "%s~%s"
    std::string m_displayName;
    std::string m_caption;
    std::string m_text;         // the last downloaded text
    std::string m_studyName, m_studyObjects, m_studyIndicators;
    bool m_studyPending = false;
    std::deque<chartfeed> m_queue;   // intraday trades
    std::vector<chartfeed> m_days;   // end-of-day bars
    std::array<ChartSeriesSlot, 4> m_slots{};
    int m_comparedCount = 0;
    std::vector<CCIndicatorsAdded> m_added;
    int64_t m_firstDraw = 0;
    // The live bar: values in m_live (date = its end's chart date).
    chartfeed m_live;
    bool m_liveValid = false;
    int64_t m_barEnd = 0;
    int m_liveBars = 0;
};

// The chart opener: at most three charts of kinds 1 to 3 together ("You are
// allowed to open only 3 Charts."); the same security and kind brings its
// view forward. frame: the main frame (or null: a top-level window). Returns
// the view shown, null when refused. UI thread.
CEodChartView* OpenChartView(int security, int kind, QWidget* frame);
// A saved study: the chart of its security, kind, style and interval with the
// study loaded (kind 4: the full chart file).
CEodChartView* OpenStudyChart(int security, int kind, int style, int interval, const std::string& name,
                              const std::string& objectsPath, const std::string& indicatorsPath, QWidget* frame);
// Tests: whether the control stand-in is present (the refusal otherwise).
void SetChartToolInstalled(bool installed);
