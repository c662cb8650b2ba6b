// The feed's headers first: a member of the feed tables is named like one of
// Qt's keyword macros.
#include "server/FeedState.h"
#include "server/MarketLookups.h"
#include "server/SecurityTable.h"

#include "market/CEodChartView.h"

#include "app/base/ActivityStamp.h"
#include "app/base/AppSettings.h"
#include "app/base/FixedText.h"
#include "app/base/LogWriter.h"
#include "app/base/MessageBox.h"
#include "app/base/ProgramPaths.h"
#include "app/base/SessionRecord.h"
#include "frame/CMainFrame.h"
#include "frame/RibbonLayout.h"
#include "frame/controls/MyCBCGPStatusBar.h"
#include "market/CIndicesDlg.h"
#include "market/CWorkspaceBar.h"
#include "market/QcpChartControl.h"

#include "pf/clock.h"
#include "pf/files.h"
#include "pf/threads.h"
#include "ui/document_area.h"
#include "ui/prompter.h"
#include "ui/ticker.h"
#include "ui/ui_thread.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QToolBar>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <ctime>
#include <system_error>

namespace eod_chart_view_detail {
namespace {

std::vector<CEodChartView*> g_chartViews; // UI thread
bool g_chartToolInstalled = true;
uint64_t g_nextGeneration = 1;

// The user's rising and falling colours (the settings' up and down back
// colours, 0x00BBGGRR as the control takes them), read at every draw so a
// change in the colour settings reaches the next one.
int upColour() { return static_cast<int>(g_AppSettings.up_back_colour & 0xFFFFFF); }
int downColour() { return static_cast<int>(g_AppSettings.down_back_colour & 0xFFFFFF); }

std::string localText(int64_t t, const char* format)
{
    const time_t tt = time_t(t);
    std::tm tm{};
    localtime_r(&tt, &tm);
    char buf[64];
    std::strftime(buf, sizeof buf, format, &tm);
    return buf;
}

CEodChartView::Services defaultServices()
{
    CEodChartView::Services s;
    s.now = [] { return pf::clock().nowSeconds(); };
    s.feedConnected = [] { return FeedState::instance().running() == 1; };
    s.logs = [] { return ProgramPaths().logs(); };
    s.download = [](ChartDataRequest request, bool useCache, std::function<void(ChartDownloadResult)> done) {
        const pf::LocalTime today = pf::clock().localNow();
        const std::filesystem::path logs = ProgramPaths().logs();
        pf::Worker::start("GetChartDataThread", [request = std::move(request), useCache, logs, today,
                                                  done = std::move(done)]() mutable {
            ChartDownloadResult r = FetchChartText(request, logs, today.year, today.month, today.day, useCache);
            ui::UiThread::post([done = std::move(done), r = std::move(r)]() mutable { done(std::move(r)); });
        });
    };
    // The security and name pickers are the market watch's dialogs, which
    // the start-up installs; until then a pick is cancelled.
    s.pickCompareSecurity = [](QWidget*) { return -1; };
    s.askStudyName = [](QWidget*, const std::string&, std::string&) { return false; };
    s.status = [](const std::string& text) {
        WriteLog(0, text);
        if (CMainFrame* f = CMainFrame::Instance(); f && f->StatusBar())
            f->StatusBar()->SetPaneText(0, QString::fromStdString(text));
    };
    s.studyRoot = [] { return ProgramPaths().data() / "Study" / std::string(FixedTextView(pv_user_info.user_id)); };
    return s;
}

CEodChartView::Services& servicesStore()
{
    static CEodChartView::Services s = defaultServices();
    return s;
}

} // namespace
} // namespace eod_chart_view_detail

CEodChartView::Services& CEodChartView::services()
{
    return eod_chart_view_detail::servicesStore();
}

void CEodChartView::resetServices()
{
    eod_chart_view_detail::servicesStore() = eod_chart_view_detail::defaultServices();
}

void SetChartToolInstalled(bool installed)
{
    eod_chart_view_detail::g_chartToolInstalled = installed;
}

std::vector<CEodChartView*> CEodChartView::openViews()
{
    return eod_chart_view_detail::g_chartViews;
}

CEodChartView::CEodChartView(std::unique_ptr<IChartControl> control, QWidget* parent)
    : QWidget(parent)
    , m_control(std::move(control))
    , m_feed(std::make_shared<ChartLiveFeed>())
    , m_generation(eod_chart_view_detail::g_nextGeneration++)
{
    setObjectName("CEodChartView");
    m_reload = SecurityReload::instance().add("chart", [this](const SecurityTable&, SecurityTable&) {
        if (m_closing || followTable())
            return SecurityReload::Outcome{};
        return SecurityReload::Outcome{true, "chart"};
    });
    if (!m_control)
        m_control = std::make_unique<QcpChartControl>();
    m_ticker = new ui::Ticker(this);
    m_ticker->onTick = [this](int id) {
        try {
            if (id == kLiveTimer)
                AppendLiveBar();
            else if (id == kDrainTimer)
                DrainFeed();
        } catch (...) {
            WriteLog(0, "Exception while appending values to the chart line no 0");
        }
    };
    buildWidgets();
    connectEvents();
    eod_chart_view_detail::g_chartViews.push_back(this);
}

CEodChartView::~CEodChartView()
{
    auto& v = eod_chart_view_detail::g_chartViews;
    v.erase(std::remove(v.begin(), v.end(), this), v.end());
    // The control outlives this body as a child widget: no more callbacks.
    if (m_control)
        m_control->setEvents({});
    FreeAllVariables();
    removeIndexToken();
    // The drawing control is a child widget: let it go with the view.
    if (m_control && m_control->widget() && m_control->widget()->parent() == this)
        (void)m_control.release();
}

void CEodChartView::buildWidgets()
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(2);
    buildToolBar();
    layout->addWidget(m_toolbar);

    auto* band = new QHBoxLayout;
    band->addWidget(new QLabel("Interval :", this));
    m_intervalBox = new QComboBox(this);
    m_intervalBox->setObjectName("1185");
    // The entries come with the security, after the box was first shown: it
    // grows to them rather than cut "TickByTick".
    m_intervalBox->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    band->addWidget(m_intervalBox);
    band->addWidget(new QLabel("Zoom :", this));
    m_zoomBox = new QComboBox(this);
    m_zoomBox->setObjectName("1402");
    m_zoomBox->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    band->addWidget(m_zoomBox);
    band->addWidget(new QLabel("Technical Indicators :", this));
    m_indicatorBox = new QComboBox(this);
    m_indicatorBox->setObjectName("1291");
    band->addWidget(m_indicatorBox, 1);
    band->addWidget(new QLabel("New Panel :", this));
    m_newPanel = new QCheckBox(this);
    m_newPanel->setObjectName("1298");
    band->addWidget(m_newPanel);
    m_addButton = new QPushButton("Add", this);
    m_addButton->setObjectName("1288");
    band->addWidget(m_addButton);
    m_compareButton = new QPushButton("Compare Security", this);
    m_compareButton->setObjectName("1205");
    band->addWidget(m_compareButton);
    layout->addLayout(band);

    if (QWidget* chart = m_control->widget()) {
        chart->setParent(this);
        chart->setObjectName("1281");
        layout->addWidget(chart, 1);
    } else {
        layout->addStretch(1);
    }
    m_scroll = new QScrollBar(Qt::Horizontal, this);
    m_scroll->setObjectName("1283");
    m_scroll->setRange(1, 1);
    layout->addWidget(m_scroll);

    connect(m_intervalBox, qOverload<int>(&QComboBox::currentIndexChanged), this, [this](int entry) {
        if (!m_filling)
            OnSelchangeInterval(entry);
    });
    connect(m_zoomBox, qOverload<int>(&QComboBox::currentIndexChanged), this, [this](int entry) {
        if (!m_filling)
            OnSelchangeZoom(entry);
    });
    connect(m_addButton, &QPushButton::clicked, this, [this] { OnAddIndicator(); });
    connect(m_compareButton, &QPushButton::clicked, this, [this] { OnCompareSecurity(); });
    connect(m_scroll, &QScrollBar::actionTriggered, this, [this](int action) { onScrollAction(action); });
}

void CEodChartView::buildToolBar()
{
    m_toolbar = new QToolBar(this);
    m_toolbar->setObjectName("217");
    struct Button {
        int id;
        const char* text;
        const char* tip;
    };
    static const Button buttons[] = {
        {32900, "Histogram", "Show chart in histogram view"}, {32898, "Line", "Show chart in Line view"},
        {32899, "Candle Stick", "Show chart in Candle Stick view"}, {32920, "HLC", "Draw HLC Chart"},
        {32905, "", ""}, {33178, "Draw Trendline", "Click the mouse and drag along the chart to draw a trendline "},
        {33179, "Draw Ellipse", "Click the mouse and drag along the chart to draw an ellipse"},
        {33180, "Draw rectangle", "Click the mouse and drag along the chart to draw a rectangle"},
        {33181, "Draw speedlines", "Click the mouse and drag along the chart to draw speedlines"},
        {33182, "Draw GanFan", "Click the mouse and drag along the chart to draw a GanFan"}, {32908, "", ""},
        {33183, "Draw Fibonacci Arcs", "Click the mouse and drag along the chart to draw a Fibonacci arcs"},
        {33184, "Draw Fibonacci Fan", "Click the mouse and drag along the chart to draw a Fibanacci Fan"},
        {33185, "Draw Fibonacci Retracements", "Click the mouse and drag along the chart to draw a Fibonacci Retracements"},
        {33186, "Draw Fibonacci TimeZones", "Click the mouse and drag along the chart to draw a Fibonacci TimeZones"},
        {32910, "", ""}, {33187, "Draw Tirone Levels", "Click the mouse and drag along the chart to draw a Tirone Levels"},
        {33188, "Draw Quadrant Lines", "Click the mouse and drag along the chart to draw a Quadrant Lines"},
        {33189, "Draw RaffRegression", "Click the mouse and drag along the chart to draw a RaffRegression"},
        {32911, "", ""}, {33209, " X-Axis", "Display the X Axis"}, {33210, " Y-Axis", "Display the Y Axis"},
        {33200, " Darvas Boxes", "Show Darvas Boxes (Only available in Candle Stick Charts)"}, {32912, "", ""},
        {33201, "Zoom In", "Click to zoom in to the chart"}, {33202, "Zoom Out", "Click to Zoom out of the chart"},
        {33203, "Selective Zoom", "Click and drag along a particular area on the chart to see a Zoomed View"},
        {33204, "Reset Zoom", "Reset all the Zoom"}, {0, nullptr, nullptr},
        {32915, "Change the alignment ", "Align"},
        {32917, "Swap Scale type", "Swap Scale type"},
        {32918, "Show Horizontal Separator", "Show Horizontal separators between the chart panels"},
        {32919, "", ""}, {32973, "Save Trend Analysis", "Save Trend Analysis for later use"},
        {32975, "Save Full Chart", "Save full chart with data and trend lines for future reference "},
        {33177, "Save", "Save the Chart as Bitmap"}, {57607, "Print", "Print the active document"},
        {32922, "color menu", "color menu"},
    };
    for (const Button& b : buttons) {
        if (b.id == 0) {
            m_toolbar->addSeparator();
            continue;
        }
        QAction* a = m_toolbar->addAction(QString::fromUtf8(b.text));
        a->setData(b.id);
        a->setObjectName(QString::number(b.id));
        a->setToolTip(QString::fromUtf8(b.text));
        a->setStatusTip(QString::fromUtf8(b.tip));
        const int id = b.id;
        // Buttons without a command of their own stay disabled.
        const bool handled = !(id == 32905 || id == 32908 || id == 32910 || id == 32911 || id == 32912 || id == 32919);
        a->setEnabled(handled);
        if (id == 32922) {
            // The "color menu": the colour commands.
            connect(a, &QAction::triggered, this, [this] {
                ui::MenuSpec spec;
                for (const auto& [cid, text] : std::initializer_list<std::pair<int, const char*>>{
                         {33191, "&Fore Color"}, {33192, "&Back Color"}, {33193, "&Grid Color"},
                         {33194, "&Up Tick Color"}, {33195, "&Down Tick Color"}, {33196, "Gradient Top Color"},
                         {33197, "Gradient Bottom Color"}}) {
                    ui::MenuItem m;
                    m.id = cid;
                    m.text = text;
                    spec.items.push_back(m);
                }
                const int chosen = ui::prompter().pickMenuCommand(spec, 0, 0);
                if (chosen > 0)
                    OnCommand(chosen);
            });
        } else if (handled) {
            connect(a, &QAction::triggered, this, [this, id] { OnCommand(id); });
        }
    }
}

void CEodChartView::connectEvents()
{
    ChartEvents e;
    e.mouseTrack = [this](int, int, int) {
        // The control places tools itself; nothing to send.
        (void)m_control->drawingState();
    };
    e.windowChanged = [this] { syncScrollPosition(); };
    e.objectMenu = [this](int type, const std::string& name, int x, int y) { showSeriesMenu(type, name, x, y); };
    e.recordCountChanged = [this] { syncScrollRange(); };
    e.indicatorOffered = [this](const std::string& name, int) {
        m_filling = true;
        m_indicatorBox->addItem(QString::fromStdString(name));
        m_filling = false;
    };
    e.keyUp = [this](short key, short, short) {
        try {
            if (key == 93)
                showMainMenu();
        } catch (...) {
            WriteLog(0, "Exception in OnKeyUpQuenmarkchartxctrl1");
        }
    };
    e.drawingFinished = [this](int, const std::string&) { m_drawingFinished = true; };
    m_control->setEvents(std::move(e));
}

// --- opening ---------------------------------------------------------------

bool CEodChartView::openCommon(int security, int kind, int style, bool fromPending)
{
    m_security = security;
    m_kind = kind;
    const char* frameTitle = "";
    const auto table = SecurityTable::current();
    if (kind == kChartEod || kind == kChartIntraday) {
        if (!table || !table->valid(security)) {
            WriteLog(0, "Chart of security " + std::to_string(security) + " not opened: no such security");
            m_security = -1;
            return false;
        }
        if (fromPending && m_style == 0)
            m_style = kind == kChartEod ? 501 : 502;
        else if (!fromPending)
            m_style = style;
        const SecurityRecord& r = table->row(security);
        m_wtoken = r.wtoken;
        m_tableSeen = table.get();
        m_displayName = std::string(r.displayKey().view());
        m_title = m_displayName + "~" + std::string(r.market_exchange.view());
        frameTitle = kind == kChartEod ? "EOD-CHART [%s]" : "INTRADAY-CHART [%s]";
    } else if (kind == kChartIndex) {
        const std::vector<IndexRecord> indices = IndexTable::instance().entries();
        if (security < 0 || security >= int(indices.size())) {
            WriteLog(0, "Index chart " + std::to_string(security) + " not opened: no such index");
            m_security = -1;
            return false;
        }
        if (fromPending && m_style == 0)
            m_style = 502;
        else if (!fromPending)
            m_style = style;
        const IndexRecord& r = indices[size_t(security)];
        m_displayName = std::string(FixedTextView(r.name));
        m_title = m_displayName + "~" + std::string(FixedTextView(r.exchange));
        m_indexFeedCode = r.feedCode;
        frameTitle = "INDEX-INTRADAY-CHART[%s]";
        m_control->setIntradayFlag(true);
        m_compareButton->hide();
        if ((fromPending || m_reopening) && table && table->valid(r.securityIndex)) {
            m_indexToken = table->row(r.securityIndex).wtoken;
            FeedSubscriptions::instance().AddChartIndexToken(m_indexToken);
            if (CIndicesDlg* bar = CIndicesDlg::instance())
                bar->RebuildIndexTokens();
        }
    } else {
        return false;
    }
    m_slot = ChartFeedLink::takeSlot(m_feed, kind, security);
    if (m_slot < 0) {
        WriteLog(0, "No window slot for a chart");
        m_security = -1;
        return false;
    }
    m_feed->setSecurities(kind == kChartIntraday ? std::vector<int>{security} : std::vector<int>{});
    m_feed->setIndex(kind == kChartIndex ? m_indexFeedCode : 0);
    m_filling = true;
    m_intervalBox->clear();
    for (const auto& e : IntervalEntries(kind))
        m_intervalBox->addItem(QString::fromStdString(e));
    m_zoomBox->clear();
    for (const auto& e : ZoomEntries(kind))
        m_zoomBox->addItem(QString::fromStdString(e));
    m_zoomBox->setCurrentIndex(fromPending ? 0 : -1);
    m_filling = false;
    char caption[400];
    std::snprintf(caption, sizeof caption, frameTitle, m_title.c_str());
    m_caption = caption;
    setWindowTitle(QString::fromStdString(m_caption));
    return true;
}

void CEodChartView::OnInitialUpdate(int security, int kind)
{
    try {
        if (security < 0)
            return;
        if (!openCommon(security, kind, 0, true))
            return;
        static const char* logs[] = {"", "*********** Drawing EOD chart for %s", "*********** Drawing Intraday chart for %s",
                                     "*********** Drawing Index chart for %s"};
        char line[400];
        std::snprintf(line, sizeof line, logs[kind], m_title.c_str());
        WriteLog(0, line);
        m_filling = true;
        m_intervalBox->setCurrentIndex(0);
        m_filling = false;
        int entryStyle = m_style;
        m_interval = kind == kChartEod ? 1 : 0;
        if (kind != kChartEod)
            IntervalOfEntry(kind, 0, m_interval, entryStyle);
        m_barLength = BarLength(kind, m_interval);
        DrawChartBase(true);
        FeedSubscriptions::instance().Update_Feeds_Token();
        m_ticker->start(kDrainTimer, 100);
    } catch (...) {
        WriteLog(0, "Exception in CEodChartView::OnInitialUpdate :0");
    }
}

void CEodChartView::OpenChart(int security, int kind, int style, int interval)
{
    try {
        if (kind == kChartSaved) {
            m_kind = kind;
            m_security = security;
            m_caption = "Saved Chart [" + m_studyName + "]";
            setWindowTitle(QString::fromStdString(m_caption));
            m_intervalBox->setEnabled(false);
            m_control->clearAll();
            if (m_control->readChart(m_studyObjects) != 0)
                MsgBoxInfo("The chart " + m_studyName + " could not be read.");
            m_ready = true;
            return;
        }
        if (!openCommon(security, kind, style, false))
            return;
        m_interval = interval;
        m_filling = true;
        m_intervalBox->setCurrentIndex(EntryOfInterval(kind, interval));
        m_filling = false;
        m_barLength = BarLength(kind, m_interval);
        DrawChartBase(true);
        if (kind == kChartIntraday || kind == kChartIndex) {
            WriteLog(0, "Chart Feeds subscribed");
            FeedSubscriptions::instance().Update_Feeds_Token();
        }
        m_ticker->start(kDrainTimer, 100);
    } catch (...) {
        WriteLog(0, "Exception in CEodChartView::OpenChart");
    }
}

// --- history ---------------------------------------------------------------

void CEodChartView::applyBaseSettings()
{
    IChartControl& c = *m_control;
    c.setScaleAlignment(m_alignLeft ? 1 : 2);
    c.setDrawFlag(true);
    c.setThreeD(m_threeD);
    c.setUpColour(eod_chart_view_detail::upColour());
    c.setDownColour(eod_chart_view_detail::downColour());
    c.setViewFlag(true);
    c.setBackColour(0);
    c.setForeColour(0xFFFFFF);
    m_backColour = 0;
    m_foreColour = 0xFFFFFF;
    c.setDrawingColour(0xFFFFFF);
    c.setSeparators(m_separators);
    const auto table = SecurityTable::current();
    const bool currency = table && table->valid(m_security) && table->row(m_security).currency != 0;
    c.setPriceDecimals(currency ? 4 : 2);
}

void CEodChartView::DrawChartBase(bool download)
{
    WriteLog(0, "Entry : CEodChartView::DrawChartBase");
    IChartControl& c = *m_control;
    // A new history clears the whole chart; a redraw (style, compare) keeps
    // the user's drawings, which the series rebuild leaves in place.
    if (download)
        c.clearAll();
    m_filling = true;
    if (m_indicatorBox->count() > 0)
        m_indicatorBox->setCurrentIndex(0);
    m_filling = false;
    applyBaseSettings();
    if (!download) {
        if (m_kind == kChartEod)
            DisplayEodChart(1);
        else if (m_kind == kChartIntraday || m_kind == kChartIndex)
            DrawIntradayChartFromQueue();
        WriteLog(0, "Exit : CEodChartView::DrawChartBase");
        return;
    }
    const auto table = SecurityTable::current();
    int token = 0;
    if (m_kind == kChartIndex) {
        token = m_indexFeedCode;
    } else if (table && table->valid(m_security)) {
        token = table->row(m_security).wtoken;
    }
    if (m_kind == kChartIntraday)
        c.setIntradayFlag(true);
    const ChartDataRequest request =
        MakeChartDataRequest(m_kind, token, ChartSecurityHost(), ChartTradeHost());
    if (m_kind == kChartIndex)
        WriteLog(1, "RequestData[" + request.query + "] ShortName[" + m_displayName + "]");
    startDownload(request, m_kind == kChartEod);
    WriteLog(0, "Exit : CEodChartView::DrawChartBase");
}

void CEodChartView::startDownload(const ChartDataRequest& base, bool useCache)
{
    ChartDataRequest request = base;
    request.slot = m_slot;
    request.generation = m_generation;
    m_ready = false;
    m_downloading = true;
    QPointer<CEodChartView> self(this);
    const uint64_t generation = m_generation;
    services().download(request, useCache, [self, generation](ChartDownloadResult result) {
        // Delivered to the view that asked, never to whatever window holds
        // its slot now.
        if (!self || self->m_closing || self->m_generation != generation)
            return;
        self->m_downloading = false;
        self->m_downloaded = !result.text.empty();
        self->UpdateChartData(result.text);
        // An empty chart alone would look like a security without history.
        if (result.failed)
            MsgBoxInfo("The chart data could not be loaded. Please try again.");
    });
}

void CEodChartView::UpdateChartData(const std::string& text)
{
    WriteLog(0, "Entry : UpdateChartData");
    try {
        m_text = text;
        switch (m_kind) {
        case kChartEod: DisplayEodChart(0); break;
        case kChartIntraday: DisplayIntradayChart(); break;
        case kChartIndex: DisplayIndexChart(); break;
        default: break;
        }
    } catch (...) {
        WriteLog(0, "Exception in UpdateChartData");
    }
    m_ready = true;
    WriteLog(0, "Exit : UpdateChartData");
}

bool CEodChartView::fourSeries() const
{
    return m_style == 500 || m_style == 501 || m_style == 506;
}

void CEodChartView::addComparedSeries(int panel)
{
    for (int i = 0; i < m_comparedCount; ++i) {
        ChartSeriesSlot& s = m_slots[size_t(i)];
        WriteLog(1, "Adding " + s.name + " to the chart on panel " + std::to_string(panel));
        m_control->addSeries(s.name, 502, panel);
        m_control->setSeriesColour(s.name, s.colour);
    }
}

void CEodChartView::appendBar(const ChartBar& bar, bool volume)
{
    IChartControl& c = *m_control;
    const std::string prefix = m_kind == kChartEod ? m_title : std::string("Scrip");
    if (m_kind == kChartEod) {
        if (fourSeries()) {
            c.appendValue(m_title + ".open", bar.date, bar.open);
            c.appendValue(m_title + ".high", bar.date, bar.high);
            c.appendValue(m_title + ".low", bar.date, bar.low);
        }
        c.appendValue(m_title + ".close", bar.date, bar.close);
        if (volume)
            c.appendValue(m_title + ".vol", bar.date, bar.volume);
    } else {
        if (fourSeries() && m_interval > 1) {
            c.appendValue("Scrip.Open", bar.date, bar.open);
            c.appendValue("Scrip.High", bar.date, bar.high);
            c.appendValue("Scrip.Low", bar.date, bar.low);
            c.appendValue("Scrip.Close", bar.date, bar.close);
        } else {
            c.appendValue(m_title + ".close", bar.date, bar.close);
        }
        if (volume)
            c.appendValue("Scrip.Volume", bar.date, bar.volume);
    }
    for (size_t i = 0; i < bar.compared.size() && int(i) < m_comparedCount; ++i)
        if (!std::isnan(bar.compared[i]))
            c.appendValue(m_slots[i].name, bar.date, bar.compared[i]);
}

void CEodChartView::watermark()
{
    if (m_mainPanel < 0)
        return;
    m_control->addText(m_mainPanel, m_title, "ZQVText", 250, true, 150, 1);
    m_control->addText(m_mainPanel, m_displayName, "SecName", 12, false, 255, 0);
}

void CEodChartView::afterLoad(int recordCount)
{
    const VisibleWindow w = InitialWindow(m_kind, recordCount);
    if (recordCount > 0) {
        WriteLog(0, "Visible First Record <" + std::to_string(w.first) + ">, Last Record <" + std::to_string(w.last) +
                        ">");
        m_control->setFirstVisible(w.first);
        m_control->setLastVisible(w.last);
    }
    watermark();
    syncScrollRange();
    SetIndicators();
    if (m_studyPending)
        LoadStudy();
    WriteLog(0, "Start SetZoomLevels");
    SetZoomLevels();
    WriteLog(0, "Over SetZoomLevels");
    m_control->redraw();
}

void CEodChartView::DisplayEodChart(int redraw)
{
    try {
        WriteLog(1, std::to_string(m_comparedCount) + " Securities will be added , Displaying EOD Chart Data with chart type " +
                        std::to_string(redraw));
        m_live = chartfeed{};
        IChartControl& c = *m_control;
        c.clearSeries();
        m_pastEnd = false;
        m_mainPanel = m_volumePanel = -1;
        c.setSymbol(m_title);
        m_mainPanel = c.addPanel();
        if (fourSeries()) {
            for (const char* part : {".open", ".high", ".low", ".close"})
                c.addSeries(m_title + part, m_style, m_mainPanel);
        } else {
            c.addSeries(m_title + ".close", m_style, m_mainPanel);
            c.setSeriesUpDown(m_title + ".close", eod_chart_view_detail::upColour(), eod_chart_view_detail::downColour());
        }
        addComparedSeries(m_mainPanel);
        m_volumePanel = c.addPanel();
        const std::string vol = m_title + ".vol";
        c.addSeries(vol, 503, m_volumePanel);
        c.setSeriesColour(vol, kCompareColour);
        c.setSeriesWidth(vol, 3);
        c.setBackColour(0);
        c.setForeColour(0xFFFFFF);
        m_backColour = 0;
        m_foreColour = 0xFFFFFF;
        c.setUpColour(eod_chart_view_detail::upColour());
        c.setDownColour(eod_chart_view_detail::downColour());
        c.setSeriesUpDown(vol, eod_chart_view_detail::upColour(), eod_chart_view_detail::downColour());
        c.setPanelSize(m_volumePanel, c.panelSize(m_volumePanel) + 50);
        c.setVolumeUnit("M");
        WriteLog(0, "DisplayEodChart Interval " + std::to_string(m_interval) + " Data Len :" + std::to_string(m_text.size()));
        if (redraw == 0) {
            m_days.clear();
            if (!m_text.empty())
                ParseEodChartText(m_text, m_days);
            WriteLog(1, std::to_string(m_days.size()) + " RecCount Obtained after parsing the string Queue Size = " +
                            std::to_string(m_days.size()));
        } else {
            WriteLog(1, "displaying EOD chart  without getting data");
        }
        std::vector<std::vector<chartfeed>> comparedDays(static_cast<size_t>(std::max(m_comparedCount, 0)));
        std::vector<const std::vector<chartfeed>*> compared;
        for (int i = 0; i < m_comparedCount; ++i) {
            comparedDays[size_t(i)].assign(m_slots[size_t(i)].bars.begin(), m_slots[size_t(i)].bars.end());
            compared.push_back(&comparedDays[size_t(i)]);
        }
        for (const ChartBar& b : FoldEod(m_days, m_interval, m_span, compared))
            appendBar(b, true);
        afterLoad(c.recordCount());
    } catch (...) {
        WriteLog(0, "Exception in DisplayEodChart");
    }
    m_ready = true;
    WriteLog(0, "Exit: DisplayEodChart");
}

void CEodChartView::DisplayIntradayChart()
{
    try {
        std::vector<chartfeed> trades;
        WriteLog(3, "DisplayIntradayChart Data Len :" + std::to_string(m_text.size()));
        ParseIntradayChartText(m_text, trades, ChartDayOf(services().now()));
        // Live trades that came while the history downloaded follow it: the
        // ones after its last trade are kept, the others it holds already.
        const double lastHistory = trades.empty() ? -1 : trades.back().stamp;
        std::deque<chartfeed> early;
        for (const chartfeed& t : m_queue)
            if (t.stamp > lastHistory)
                early.push_back(t);
        m_queue.assign(trades.begin(), trades.end());
        m_queue.insert(m_queue.end(), early.begin(), early.end());
        StopChartTimer();
        m_barLength = BarLength(m_kind, m_interval);
        DrawIntradayChartFromQueue();
    } catch (...) {
        WriteLog(0, "Exception in DisplayIntradayChart");
    }
    m_ready = true;
    WriteLog(0, "DisplayIntradayChart :Exit");
}

void CEodChartView::DisplayIndexChart()
{
    DisplayIntradayChart();
}

int64_t CEodChartView::sessionStart() const
{
    const int64_t now = services().now();
    if (m_downloaded) {
        const time_t t = time_t(now);
        std::tm tm{};
        localtime_r(&t, &tm);
        int64_t nine = ChartLocalEpoch(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, 9, 0, 0);
        // Trades from before nine (a history of another session) start at
        // their own minute rather than piling into the first bar.
        if (!m_queue.empty() && int64_t(m_queue.front().stamp) < nine)
            nine = int64_t(m_queue.front().stamp) / 60 * 60;
        return nine;
    }
    return m_firstDraw != 0 ? m_firstDraw : now;
}

void CEodChartView::DrawIntradayChartFromQueue()
{
    m_ready = false;
    try {
        IChartControl& c = *m_control;
        if (m_firstDraw == 0)
            m_firstDraw = services().now();
        c.clearSeries();
        m_pastEnd = false;
        m_mainPanel = m_volumePanel = -1;
        c.setSymbol(m_title);
        m_mainPanel = c.addPanel();
        WriteLog(1, " DrawIntradayChartFromQueue IntervalTime = " + std::to_string(m_interval) +
                        " ChartStyle = " + std::to_string(m_style));
        if (m_interval > 1 && fourSeries()) {
            for (const char* n : {"Scrip.Open", "Scrip.High", "Scrip.Low", "Scrip.Close"})
                c.addSeries(n, m_style, m_mainPanel);
        } else {
            const int style = fourSeries() ? 502 : m_style;
            c.addSeries(m_title + ".close", style, m_mainPanel);
            c.setSeriesUpDown(m_title + ".close", eod_chart_view_detail::upColour(), eod_chart_view_detail::downColour());
        }
        addComparedSeries(m_mainPanel);
        if (m_kind == kChartIntraday) {
            m_volumePanel = c.addPanel();
            c.addSeries("Scrip.Volume", 503, m_volumePanel);
            c.setSeriesWidth("Scrip.Volume", 3);
            c.setPanelSize(m_volumePanel, c.panelSize(m_volumePanel) + 50);
            c.setSeriesUpDown("Scrip.Volume", eod_chart_view_detail::upColour(), eod_chart_view_detail::downColour());
        }
        c.setBarInterval(m_interval);
        c.setBackColour(0);
        c.setForeColour(0xFFFFFF);
        m_backColour = 0;
        m_foreColour = 0xFFFFFF;
        c.setUpColour(eod_chart_view_detail::upColour());
        c.setDownColour(eod_chart_view_detail::downColour());
        std::vector<const ComparedTrades*> compared;
        for (int i = 0; i < m_comparedCount; ++i)
            compared.push_back(&m_slots[size_t(i)].bars);
        const IntradayFold fold = FoldIntraday(m_queue, sessionStart(), m_barLength, m_span, compared);
        if (fold.bars.empty()) {
            WriteLog(0, "Feeds List Size: " + std::to_string(m_queue.size()) + ", lv_ctr: 0 lv_feedIndex:0");
            m_liveValid = false;
        }
        for (const ChartBar& b : fold.bars)
            appendBar(b, m_kind == kChartIntraday);
        if (!fold.bars.empty()) {
            m_live = chartfeed{};
            m_live.open = fold.live.open;
            m_live.high = fold.live.high;
            m_live.low = fold.live.low;
            m_live.close = fold.live.close;
            m_live.volume = fold.live.volume;
            m_live.date = fold.live.date;
            m_barEnd = fold.live.end;
            m_liveValid = true;
            WriteLog(0, "Chart drawing complete with next time " + eod_chart_view_detail::localText(fold.nextEnd, "%H%M%S") +
                            " with quesize " + std::to_string(m_queue.size()) + " ChartCount " +
                            std::to_string(c.recordCount()) + " counter " + std::to_string(fold.tradesUsed));
            if (fold.lastMatched)
                WriteLog(0, "last feed matched in chart");
        }
        afterLoad(c.recordCount());
        // A live bar that has ended meanwhile rolls on with the timer; tick
        // by tick has no bars to roll.
        if (m_liveValid && m_barLength > 1)
            StartChartTimer();
    } catch (...) {
        WriteLog(0, "Exception in DrawIntradayChartFromQueue");
    }
    m_ready = true;
}

// --- scrolling ---------------------------------------------------------------

// The bar's position is the first visible record (1-based), its page the
// visible record count: the thumb is as long as the share of the records on
// screen and the largest position shows the last record.
void CEodChartView::syncScrollRange()
{
    const int n = m_control->recordCount();
    const int shown = m_control->visibleCount();
    QSignalBlocker block(m_scroll);
    m_scroll->setRange(1, std::max(1, n - shown + 1));
    m_scroll->setPageStep(std::max(1, shown));
    m_scroll->setSingleStep(1);
    m_scroll->setValue(std::max(1, m_control->firstVisible()));
}

void CEodChartView::syncScrollPosition()
{
    if (m_syncingScroll)
        return;
    const int first = m_control->firstVisible();
    if (first < 1)
        return;
    m_syncingScroll = true;
    syncScrollRange();
    m_syncingScroll = false;
}

void CEodChartView::onScrollAction(int action)
{
    m_pastEnd = false;
    const int n = m_control->visibleCount();
    const int total = m_control->recordCount();
    if (n <= 0 || total <= 0)
        return;
    const int from = m_control->firstVisible();
    int d = from;
    bool leftward = false;
    switch (action) {
    case QAbstractSlider::SliderSingleStepSub: d = from - 1; leftward = true; break;
    case QAbstractSlider::SliderPageStepSub: d = from - n; leftward = true; break;
    case QAbstractSlider::SliderSingleStepAdd: d = from + 1; break;
    case QAbstractSlider::SliderPageStepAdd: d = from + n; break;
    case QAbstractSlider::SliderMove:
        // Dragging the thumb moves the window with it.
        d = m_scroll->sliderPosition();
        leftward = d < from;
        break;
    default: return;
    }
    d = std::max(1, d);
    if (d == from) {
        syncScrollRange(); // the bar snaps back to the window
        return;
    }
    m_syncingScroll = true;
    if (d + n - 1 < total) {
        // Leftward the first record moves first, rightward the last, so the
        // window never shrinks on the way.
        if (leftward) {
            m_control->setFirstVisible(d);
            m_control->setLastVisible(d + n - 1);
        } else {
            m_control->setLastVisible(d + n - 1);
            m_control->setFirstVisible(d);
        }
    } else {
        // Pinned to the end: the last record shows, the window keeps its size.
        m_pastEnd = true;
        m_control->setLastVisible(total);
        m_control->setFirstVisible(std::max(1, total - n + 1));
        if (total == n)
            m_control->resetZoom();
    }
    m_syncingScroll = false;
    syncScrollRange();
}

// --- closing -------------------------------------------------------------------

bool CEodChartView::canClose()
{
    if (m_closing)
        return true;
    if (!m_ready) {
        const int answer = MyMessageBox("Chart data is currently being downloaded .. do you still want to close the chart?",
                                        kProductCaption, MsgYesNo | MsgIconQuestion);
        if (answer != 6)
            return false;
    }
    return true;
}

void CEodChartView::closeEvent(QCloseEvent* event)
{
    WriteLog(0, "Entry in CEodChartView::OnClose");
    if (!canClose()) {
        event->ignore();
        return;
    }
    FreeAllVariables();
    event->accept();
}

void CEodChartView::FreeAllVariables()
{
    if (m_closing)
        return;
    WriteLog(0, "Entry in CEodChartView::FreeAllVariables");
    m_closing = true;
    m_interval = 0;
    m_ready = true;
    m_feed->setClosing();
    if (m_slot >= 0) {
        WriteLog(0, "Freeing chart view pointer no. " + std::to_string(m_slot));
        ChartFeedLink::release(m_slot);
        m_slot = -1;
    }
    if (m_ticker)
        m_ticker->stopAll();
    WriteLog(0, "Exit : in CEodChartView::FreeAllVariables");
}

void CEodChartView::removeIndexToken()
{
    if (m_indexToken == 0)
        return;
    FeedSubscriptions::instance().RemoveChartIndexToken(m_indexToken);
    WriteLog(0, "Chart index tokens: " + FeedSubscriptions::instance().chartIndexTokenList());
    m_indexToken = 0;
    if (CIndicesDlg* bar = CIndicesDlg::instance())
        bar->RebuildIndexTokens();
}

// --- openers -------------------------------------------------------------------

namespace eod_chart_view_detail {
namespace {

CEodChartView* findOpen(int security, int kind)
{
    for (CEodChartView* v : g_chartViews)
        if (!v->closing() && v->security() == security && v->kind() == kind)
            return v;
    return nullptr;
}

bool chartAllowed()
{
    if (!g_chartToolInstalled) {
        MsgBoxInfo("Charting Tool is not proper installed. Please check whether you have sufficient rights.");
        return false;
    }
    if (ChartFeedLink::openCharts() >= 3) {
        MsgBoxInfo("You are allowed to open only 3 Charts.");
        return false;
    }
    return true;
}

void activate(CEodChartView* view, QWidget* frame)
{
    if (auto* f = qobject_cast<CMainFrame*>(frame); f && f->Documents())
        f->Documents()->activateDocument(view);
    view->show();
    view->raise();
}

CEodChartView* place(QWidget* frame)
{
    auto* view = new CEodChartView;
    view->setAttribute(Qt::WA_DeleteOnClose);
    if (auto* f = qobject_cast<CMainFrame*>(frame); f && f->Documents())
        f->Documents()->addDocument(view, "Chart");
    else
        view->show();
    return view;
}

// Closes the view's document window (the view itself when it has none).
void closeDocument(CEodChartView* view)
{
    (view->parentWidget() ? view->parentWidget() : view)->close();
}

void retitle(CEodChartView* view, QWidget* frame)
{
    view->setWindowTitle(QString::fromStdString(view->caption()));
    if (QWidget* sub = view->parentWidget(); sub && frame)
        sub->setWindowTitle(QString::fromStdString(view->caption()));
}

} // namespace
} // namespace eod_chart_view_detail

CEodChartView* OpenChartView(int security, int kind, QWidget* frame)
{
    try {
        SetAccessTime();
        if (CEodChartView* open = eod_chart_view_detail::findOpen(security, kind)) {
            eod_chart_view_detail::activate(open, frame);
            return open;
        }
        if (!eod_chart_view_detail::chartAllowed())
            return nullptr;
        CEodChartView* view = eod_chart_view_detail::place(frame);
        view->OnInitialUpdate(security, kind);
        if (view->security() < 0) {
            eod_chart_view_detail::closeDocument(view);
            return nullptr;
        }
        eod_chart_view_detail::retitle(view, frame);
        return view;
    } catch (...) {
        WriteLog(0, "Exception in OnReportEodChart");
        return nullptr;
    }
}

CEodChartView* OpenStudyChart(int security, int kind, int style, int interval, const std::string& name,
                              const std::string& objectsPath, const std::string& indicatorsPath, QWidget* frame)
{
    try {
        SetAccessTime();
        if (kind != kChartSaved) {
            if (CEodChartView* open = eod_chart_view_detail::findOpen(security, kind)) {
                open->SetPendingStudy(name, objectsPath, indicatorsPath);
                open->LoadStudy();
                open->control().redraw();
                eod_chart_view_detail::activate(open, frame);
                return open;
            }
        }
        if (!eod_chart_view_detail::chartAllowed())
            return nullptr;
        CEodChartView* view = eod_chart_view_detail::place(frame);
        view->SetPendingStudy(name, objectsPath, indicatorsPath);
        view->OpenChart(security, kind, style, interval);
        if (kind != kChartSaved && view->security() < 0) {
            eod_chart_view_detail::closeDocument(view);
            return nullptr;
        }
        eod_chart_view_detail::retitle(view, frame);
        return view;
    } catch (...) {
        WriteLog(0, "Exception in OpenChartView");
        return nullptr;
    }
}

ChartReopen CEodChartView::reopenState() const
{
    ChartReopen r;
    r.security = m_security;
    r.kind = m_kind;
    r.style = m_style;
    r.interval = m_interval;
    r.indicators = m_added;
    r.studyName = m_studyName;
    r.studyObjects = m_studyObjects;
    r.studyIndicators = m_studyIndicators;
    return r;
}

CEodChartView* CEodChartView::Reopen(const ChartReopen& state, QWidget* frame)
{
    try {
        if (state.kind < kChartEod || state.kind > kChartSaved)
            return nullptr;
        if (state.kind != kChartSaved)
            if (CEodChartView* open = eod_chart_view_detail::findOpen(state.security, state.kind))
                return open;
        if (!eod_chart_view_detail::g_chartToolInstalled || ChartFeedLink::openCharts() >= 3) {
            WriteLog(0, "A saved chart was not reopened: the chart tool is missing or 3 charts are open");
            return nullptr;
        }
        CEodChartView* view = eod_chart_view_detail::place(frame);
        // Replayed after the first drawing, like indicators the user adds.
        view->m_added = state.indicators;
        if (!state.studyName.empty() || !state.studyObjects.empty())
            view->SetPendingStudy(state.studyName, state.studyObjects, state.studyIndicators);
        // An index chart follows its index live, as when opened from the index.
        view->m_reopening = true;
        view->OpenChart(state.security, state.kind, state.style, state.interval);
        view->m_reopening = false;
        if (state.kind != kChartSaved && view->security() < 0) {
            eod_chart_view_detail::closeDocument(view);
            return nullptr;
        }
        eod_chart_view_detail::retitle(view, frame);
        return view;
    } catch (...) {
        WriteLog(0, "Exception in reopening a saved chart");
        return nullptr;
    }
}
