// The chart view's commands: the interval, zoom and indicator boxes, the
// toolbar and menu commands (styles, scales, colours, drawing tools, zoom,
// print, bitmap), deleting objects and series, comparing a security, the
// menus, and saving and loading studies.

// The server's header before Qt's, as in the view's main file.
#include "server/SecurityTable.h"

#include "market/CEodChartView.h"

#include "app/base/ActivityStamp.h"
#include "app/base/LogWriter.h"
#include "app/base/MessageBox.h"
#include "frame/CMainFrame.h"
#include "frame/RibbonLayout.h"
#include "market/CWorkspaceBar.h"

#include "ui/prompter.h"

#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QPointer>
#include <QPushButton>

#include <algorithm>
#include <system_error>

namespace eod_chart_view_commands_detail {
namespace {

struct MenuEntry {
    int id;
    const char* text;
};

// Menu 217 by position: Object, Series, Chart, ToolBar Sel, Compare, Indices.
ui::MenuSpec chartMenu(CEodChartView& view, int position)
{
    auto item = [&](int id, const char* text) {
        ui::MenuItem m;
        m.id = id;
        m.text = text;
        m.checked = view.commandChecked(id);
        m.enabled = view.commandEnabled(id);
        return m;
    };
    auto sub = [&](const char* text, std::initializer_list<MenuEntry> entries) {
        ui::MenuItem m;
        m.id = -1;
        m.text = text;
        for (const auto& e : entries)
            m.children.push_back(item(e.id, e.text));
        return m;
    };
    ui::MenuSpec spec;
    switch (position) {
    case 0: spec.items = {item(33054, "Delete Object")}; break;
    case 1: spec.items = {item(33056, "Delete Series")}; break;
    default:
        spec.items = {
            sub("Scale Type", {{33205, "&Semi Log Scale"}, {33206, "&Linear Scale"}}),
            sub("Scale &Alignment", {{33207, "&Right"}, {33208, "&Left"}}),
            sub("&Grids", {{33209, "Show &X Grid"}, {33210, "Show &Y Grid"}}),
            sub("Add Study &Line", {{33178, "Trend Line"}, {33179, "Ellipse"}, {33180, "Rectangle"},
                                    {33181, "Speed Lines"}, {33182, "GannFan"}, {33183, "Fibonacci Arcs"},
                                    {33184, "Fibonacci Fan"}, {33185, "Fibonacci Retracements"},
                                    {33186, "Fibonacci Time Zones"}, {33187, "Tirone Levels"},
                                    {33188, "Quadrant Lines"}, {33189, "Raff Regression"}, {33190, "Error Channels"}}),
            sub("&Color Settings", {{33191, "&Fore Color"}, {33192, "&Back Color"}, {33193, "&Grid Color"},
                                    {33194, "&Up Tick Color"}, {33195, "&Down Tick Color"},
                                    {33196, "Gradient Top Color"}, {33197, "Gradient Bottom Color"}}),
            sub("&Style", {{33198, "&Three D Style"}, {33199, "Show &Wide Candles"}, {33200, "Display Dar&vas Boxes"}}),
            sub("Zoom", {{33201, "Zoom In"}, {33202, "Zoom Out"}, {33203, "Zoom Icon"}, {33204, "Zoom Reset"}}),
            item(33177, "Save Chart Bitmap"),
        };
        break;
    }
    return spec;
}

} // namespace
} // namespace eod_chart_view_commands_detail

// --- boxes, indicators, zoom ----------------------------------------------------

void CEodChartView::OnSelchangeInterval(int entry)
{
    try {
        IntervalOfEntry(m_kind, entry, m_interval, m_style);
        m_barLength = BarLength(m_kind, m_interval);
        if (m_kind == kChartEod) {
            DisplayEodChart(1);
        } else if (m_kind == kChartIntraday || m_kind == kChartIndex) {
            StopChartTimer();
            DrawIntradayChartFromQueue();
        }
    } catch (...) {
        WriteLog(0, "Exception in OnSelchangeInterval");
    }
}

void CEodChartView::OnSelchangeZoom(int entry)
{
    try {
        m_span = ZoomSpan(m_kind, entry);
        if (m_kind == kChartEod)
            DisplayEodChart(1);
        else
            DrawIntradayChartFromQueue();
    } catch (...) {
        WriteLog(0, "Exception in OnSelchangeZoom");
    }
}

void CEodChartView::OnAddIndicator()
{
    m_ready = false;
    try {
        const bool newPanel = m_newPanel->isChecked();
        std::string key = m_indicatorBox->currentText().toStdString();
        const int type = m_indicatorBox->currentIndex();
        if (key.empty() || type < 0) {
            m_ready = true;
            return;
        }
        const int count = m_control->indicatorCount(type);
        if (count + 1 > 1)
            key += " " + std::to_string(count + 1);
        WriteLog(0, "Adding Indicator " + key);
        if (IsOhlcOnlyIndicator(key) && !ChartTakesOhlcIndicators(m_style, m_interval)) {
            MsgBoxInfo(key + " can be Added in an OHLC type chart only");
            m_ready = true;
            return;
        }
        const int panel = newPanel ? m_control->addPanel() : m_mainPanel;
        bool added = false;
        try {
            added = m_control->addIndicator(type, key, panel, false);
        } catch (const ChartError&) {
            MsgBoxOk("Can't add indicator - may have been added already.\nUse a different key");
            m_ready = true;
            return;
        }
        m_added.push_back({key, panel, type, newPanel});
        if (added)
            m_control->redraw();
    } catch (...) {
        WriteLog(0, "Exception in OnAddIndicator");
    }
    m_ready = true;
}

void CEodChartView::SetIndicators()
{
    try {
        for (CCIndicatorsAdded& a : m_added) {
            if (IsOhlcOnlyIndicator(a.key) && !ChartTakesOhlcIndicators(m_style, m_interval)) {
                WriteLog(0, a.key + " can be Added in an OHLC type chart only");
                continue;
            }
            a.panel = a.newPanel ? m_control->addPanel() : m_mainPanel;
            try {
                m_control->addIndicator(a.type, a.key, a.panel, false);
            } catch (const ChartError&) {
                WriteLog(0, "Indicator " + a.key + " is on the chart already");
            }
        }
    } catch (...) {
        WriteLog(0, "Exception in CEodChartView::SetIndicators");
    }
}

void CEodChartView::SetZoomLevels()
{
    const ZoomSteps z = ZoomStepsOf(m_zoomLevel);
    if (z.reset)
        m_control->resetZoom();
    for (int i = 0; i < z.in; ++i)
        m_control->zoomIn(10);
    for (int i = 0; i < z.out; ++i)
        m_control->zoomOut(10);
}

// --- commands --------------------------------------------------------------

bool CEodChartView::commandEnabled(int id) const
{
    if (id == 32899 || id == 32920)
        return m_kind == kChartEod || m_interval > 1;
    return !(id == 32905 || id == 32908 || id == 32910 || id == 32911 || id == 32912 || id == 32919);
}

bool CEodChartView::commandChecked(int id)
{
    IChartControl& c = *m_control;
    switch (id) {
    case 33198: return c.threeD();
    case 33199: return c.candleWidth() == 10;
    case 33200: return c.darvasBoxes();
    case 33205: return c.scaleType() == 1;
    case 33206: return c.scaleType() == 2;
    case 33207: return c.scaleAlignment() == 2;
    case 33208: return c.scaleAlignment() == 1;
    case 33209: return c.xGrid();
    case 33210: return c.yGrid();
    default: return false;
    }
}

void CEodChartView::startTool(int id)
{
    // The picker opens on the chart's fore colour, which reads on its back
    // colour (black would vanish on the black chart).
    const auto colour = ui::prompter().pickColour(ui::Rgb{uint32_t(m_foreColour)});
    if (!colour)
        return; // cancelled: no number used
    m_control->setDrawingColour(int(colour->bgr & 0xFFFFFF));
    const std::string name = std::to_string(++m_objectCounter);
    if (id == 33178) {
        m_control->startTrendLine(name);
    } else {
        static const int tools[] = {kToolEllipse, kToolRectangle, kToolSpeedLines, kToolGannFan, kToolFibArcs,
                                    kToolFibFan, kToolFibRetracements, kToolFibTimeZones, kToolTironeLevels,
                                    kToolQuadrantLines, kToolRaffRegression, kToolErrorChannels};
        m_control->startDrawing(tools[id - 33179], name);
    }
    m_drawingFinished = false;
}

void CEodChartView::pickColourInto(int id)
{
    const int current = id == 33192 ? m_backColour : m_foreColour;
    const auto colour = ui::prompter().pickColour(ui::Rgb{uint32_t(current)});
    if (!colour)
        return;
    const int c = int(colour->bgr & 0xFFFFFF);
    IChartControl& ctl = *m_control;
    switch (id) {
    case 33191: ctl.setForeColour(c); m_foreColour = c; break;
    case 33192: ctl.setBackColour(c); m_backColour = c; break;
    case 33193: ctl.setGridColour(c); break;
    case 33194: ctl.setUpColour(c); break;
    case 33195: ctl.setDownColour(c); break;
    case 33196: ctl.setGradientTop(c); ctl.redraw(); break;
    case 33197: ctl.setGradientBottom(c); ctl.redraw(); break;
    default: break;
    }
}

void CEodChartView::OnCommand(int id)
{
    try {
        SetAccessTime();
        IChartControl& c = *m_control;
        if (id >= 33178 && id <= 33190)
            return startTool(id);
        if (id >= 33191 && id <= 33197)
            return pickColourInto(id);
        switch (id) {
        case 32898: case 32899: case 32900: case 32920:
            if (!commandEnabled(id))
                return;
            m_style = id == 32898 ? 502 : id == 32899 ? 501 : id == 32900 ? 503 : 500;
            DrawChartBase(false);
            return;
        case 32915: {
            const bool right = c.scaleAlignment() == 2;
            c.setScaleAlignment(right ? 1 : 2);
            m_alignLeft = right;
            return;
        }
        case 32917: c.setScaleType(c.scaleType() == 2 ? 1 : 2); return;
        case 32918: {
            const bool was = c.separators();
            if (!was) {
                if (const auto colour = ui::prompter().pickColour(ui::Rgb{0x808080}))
                    c.setSeparatorColour(int(colour->bgr & 0xFFFFFF));
            }
            c.setSeparators(!was);
            m_separators = !was;
            return;
        }
        case 33198: c.setThreeD(!c.threeD()); m_threeD = c.threeD(); return;
        case 33199: c.setCandleWidth(c.candleWidth() == 1 ? 10 : 1); return;
        case 33200: c.setDarvasPercent(0.01); c.setDarvasBoxes(!c.darvasBoxes()); return;
        case 33205: c.setScaleType(1); return;
        case 33206: c.setScaleType(2); return;
        case 33207: c.setScaleAlignment(2); m_alignLeft = false; return;
        case 33208: c.setScaleAlignment(1); m_alignLeft = true; return;
        case 33209: c.setXGrid(!c.xGrid()); return;
        case 33210: c.setYGrid(!c.yGrid()); return;
        // -1 is "never zoomed"; a zoom out below 0 is undone by a zoom in.
        case 33201: m_zoomLevel = (m_zoomLevel == -1 ? 0 : m_zoomLevel) + 10; c.zoomIn(10); return;
        case 33202: m_zoomLevel = (m_zoomLevel == -1 ? 0 : m_zoomLevel) - 10; c.zoomOut(10); return;
        case 33203: c.rubberBandZoom(); return;
        case 33204: m_zoomLevel = 0; c.resetZoom(); return;
        case 57607: c.print(); return;
        case 33177: OnSaveChartBmp(); return;
        case 33054: OnDeleteObject(); return;
        case 33056: OnDeleteSeries(); return;
        case 32973: OnSaveTrendAnalysis(); return;
        case 32975: OnSaveFullChart(); return;
        case 1205: OnCompareSecurity(); return;
        default: return;
        }
    } catch (...) {
        WriteLog(0, "Exception in CEodChartView command " + std::to_string(id));
    }
}

void CEodChartView::OnSaveChartBmp()
{
    try {
        ui::FilePrompt prompt;
        prompt.defaultSuffix = "bmp";
        prompt.filter = "Bitmap Files (*.bmp)";
        const auto path = ui::prompter().pickSavePath(prompt);
        if (!path || path->empty() || path->size() > 255)
            return;
        m_control->saveBitmap(*path);
    } catch (...) {
        WriteLog(0, "Exception in OnSaveChartBmp");
    }
}

void CEodChartView::OnDeleteObject()
{
    m_control->deleteObject(m_selType, m_selName);
    m_control->redraw();
}

void CEodChartView::OnDeleteSeries()
{
    const std::string name = m_selName;
    m_control->deleteSeries(name);
    for (int i = 0; i < m_comparedCount && i < kMaxCompared; ++i) {
        if (m_slots[size_t(i)].name != name)
            continue;
        for (int j = i; j + 1 < m_comparedCount; ++j)
            m_slots[size_t(j)] = m_slots[size_t(j + 1)];
        m_slots[size_t(m_comparedCount - 1)] = ChartSeriesSlot{};
        --m_comparedCount;
        WriteLog(1, "deleted form queue");
        std::vector<int> securities;
        if (m_kind == kChartIntraday)
            securities.push_back(m_security);
        for (int k = 0; k < m_comparedCount; ++k)
            securities.push_back(m_slots[size_t(k)].security);
        m_feed->setSecurities(securities);
        break;
    }
    m_added.erase(std::remove_if(m_added.begin(), m_added.end(), [&](const CCIndicatorsAdded& a) { return a.key == name; }),
                  m_added.end());
    m_control->redraw();
}

void CEodChartView::OnCompareSecurity()
{
    try {
        if (m_comparedCount >= kMaxCompared) {
            MsgBoxStyle("Only 3 securities can be compared at a time", MsgIconWarning);
            return;
        }
        if (m_kind != kChartEod && m_kind != kChartIntraday)
            return;
        // One compare at a time: a second one would take the slot of the one
        // still downloading and drop it.
        if (!m_comparing.empty()) {
            MsgBoxOk("Please wait: " + m_comparing + " is still being downloaded for comparison.");
            return;
        }
        const int security = services().pickCompareSecurity ? services().pickCompareSecurity(this) : -1;
        const auto table = SecurityTable::current();
        if (security < 0 || !table || !table->valid(security))
            return;
        int colour = kCompareColour;
        if (const auto picked = ui::prompter().pickColour(ui::Rgb{uint32_t(kCompareColour)}))
            colour = int(picked->bgr & 0xFFFFFF);
        const SecurityRecord& r = table->row(security);
        const int slot = m_comparedCount;
        ChartSeriesSlot& s = m_slots[size_t(slot)];
        s = ChartSeriesSlot{};
        s.security = security;
        s.colour = colour;
        s.spare = r.wtoken; // to find it again after a security re-download
        s.name = std::string(r.displayKey().view()) + "~" + std::string(r.market_exchange.view());
        WriteLog(0, "New Security being compared " + s.name);
        const ChartDataRequest request =
            MakeCompareRequest(m_kind, r.wtoken, ChartSecurityHost(), ChartTradeHost());
        QPointer<CEodChartView> self(this);
        const uint64_t generation = m_generation;
        const std::string name = s.name;
        m_ready = false;
        setComparing(name);
        services().download(request, false, [self, generation, slot, name](ChartDownloadResult result) {
            if (!self || self->m_closing)
                return;
            if (self->m_comparing == name)
                self->setComparing({});
            if (self->m_generation != generation)
                return;
            self->m_ready = true;
            if (slot != self->m_comparedCount || self->m_slots[size_t(slot)].name != name)
                return; // the slot changed meanwhile
            self->AddComparedText(slot, result.text);
        });
    } catch (...) {
        WriteLog(0, "Exception : Last Error [0] while adding security");
    }
}

void CEodChartView::setComparing(const std::string& name)
{
    m_comparing = name;
    if (!m_compareButton)
        return;
    m_compareButton->setEnabled(name.empty());
    m_compareButton->setToolTip(name.empty() ? QString()
                                             : QString::fromStdString(name + " is still being downloaded for comparison"));
}

void CEodChartView::AddComparedText(int slot, const std::string& text)
{
    if (slot < 0 || slot >= kMaxCompared || text.empty()) {
        if (slot >= 0 && slot < kMaxCompared && slot >= m_comparedCount)
            m_slots[size_t(slot)] = ChartSeriesSlot{};
        return;
    }
    ChartSeriesSlot& s = m_slots[size_t(slot)];
    std::vector<chartfeed> bars;
    if (m_kind == kChartEod)
        ParseEodChartText(text, bars);
    else
        ParseIntradayChartText(text, bars, ChartDayOf(services().now()));
    if (bars.empty()) {
        s = ChartSeriesSlot{};
        return;
    }
    s.bars.assign(bars.begin(), bars.end());
    s.values[1] = bars.back().close;
    m_comparedCount = std::max(m_comparedCount, slot + 1);
    if (m_kind == kChartEod) {
        DisplayEodChart(1);
    } else {
        std::vector<int> securities{m_security};
        for (int k = 0; k < m_comparedCount; ++k)
            securities.push_back(m_slots[size_t(k)].security);
        m_feed->setSecurities(securities);
        FeedSubscriptions::instance().Update_Feeds_Token();
        m_control->setIntradayFlag(true);
        DrawIntradayChartFromQueue();
    }
}

// --- menus -------------------------------------------------------------------

void CEodChartView::showSeriesMenu(int type, const std::string& name, int x, int y)
{
    m_selType = type;
    m_selName = name;
    if (type == kHitIndicator || (type >= kHitHlcSeries && type <= kHitHistogramSeries))
        runMenu({1}, x, y);
    else if (type == kHitText || type == kHitTrendLine || type == kHitShape || type == kHitTool)
        runMenu({0}, x, y);
}

void CEodChartView::runMenu(const std::vector<int>& path, int x, int y)
{
    const int chosen = ui::prompter().pickMenuCommand(eod_chart_view_commands_detail::chartMenu(*this, path.empty() ? 2 : path[0]), x, y);
    if (chosen > 0)
        OnCommand(chosen);
}

// The context-menu key on the chart opens the main window's menu at the
// middle of the chart; the command chosen runs as the frame's own.
void CEodChartView::showMainMenu()
{
    CMainFrame* frame = CMainFrame::Instance();
    if (!frame)
        return;
    ui::MenuSpec menu;
    for (const RibbonItem& item : RibbonMainMenu()) {
        if (item.id == 0) {
            menu.items.push_back({0, {}, false, true, {}});
            continue;
        }
        const ui::CommandState state = frame->Commands().state(item.id);
        menu.items.push_back({item.id, item.text, state.checked, state.enabled, {}});
    }
    QWidget* chart = m_control->widget() ? m_control->widget() : this;
    const QPoint centre = chart->mapToGlobal(chart->rect().center());
    const int chosen = ui::prompter().pickMenuCommand(menu, centre.x(), centre.y());
    if (chosen > 0)
        frame->Commands().invoke(chosen);
}

void CEodChartView::contextMenuEvent(QContextMenuEvent* event)
{
    SetAccessTime();
    runMenu({2}, event->globalPos().x(), event->globalPos().y());
}

// --- studies -----------------------------------------------------------------

std::filesystem::path CEodChartView::studyFolder() const
{
    return services().studyRoot() / std::to_string(m_kind);
}

void CEodChartView::SetPendingStudy(const std::string& name, const std::string& objectsPath,
                                    const std::string& indicatorsPath)
{
    m_studyName = name;
    m_studyObjects = objectsPath;
    m_studyIndicators = indicatorsPath;
    m_studyPending = true;
}

void CEodChartView::LoadStudy()
{
    if (!m_studyObjects.empty() && m_control->readObjects(m_studyObjects) != 0)
        WriteLog(0, "Study objects could not be read: " + m_studyObjects);
    if (!m_studyIndicators.empty() && m_control->readIndicators(m_studyIndicators) != 0)
        WriteLog(0, "Study indicators could not be read: " + m_studyIndicators);
}

bool CEodChartView::saveStudy(bool full)
{
    if (m_kind < kChartEod || m_kind > kChartIndex || m_security < 0)
        return false;
    std::string name = m_studyName;
    if (!services().askStudyName || !services().askStudyName(this, full ? "Save full chart" : "Save trend analysis", name))
        return false;
    const std::filesystem::path folder = studyFolder();
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    int token = m_indexFeedCode;
    if (m_kind != kChartIndex) {
        const auto table = SecurityTable::current();
        token = table && table->valid(m_security) ? table->row(m_security).wtoken : 0;
    }
    std::string stem = name;
    if (!full)
        stem += "-" + std::to_string(token) + "-" + std::to_string(m_style) + "-" + std::to_string(m_interval);
    const std::filesystem::path objects = folder / (stem + ".scgx");
    const std::filesystem::path indicators = folder / (stem + ".scox");
    CWorkspaceBar* bar = CWorkspaceBar::instance();
    const bool exists = bar ? bar->find(m_kind, name) != nullptr : std::filesystem::exists(objects);
    if (exists && MyMessageBox("The given template name already exists. Do you want to overwrite it?", kProductCaption,
                               MsgYesNo | MsgIconQuestion) != 6)
        return false;
    // The control writes each file through a temporary one, so an old study
    // stays whole until its replacement is.
    bool ok = false;
    if (full)
        ok = m_control->writeChart(objects.string()) == 0;
    else
        ok = m_control->writeObjects(objects.string()) == 0 && m_control->writeIndicators(indicators.string()) == 0;
    if (!ok) {
        MyMessageBox("Chart Analysis could not be saved.", kProductCaption, MsgIconError);
        return false;
    }
    m_studyName = name;
    if (bar)
        bar->AddStudy(name, objects.string(), m_kind, full ? 0 : m_style, full ? 0 : m_interval, full ? 0 : token);
    if (services().status)
        services().status("Chart Analysis saved successfully");
    emit studySaved(full ? kChartSaved : m_kind, QString::fromStdString(stem));
    return true;
}

void CEodChartView::OnSaveTrendAnalysis()
{
    try {
        saveStudy(false);
    } catch (...) {
        WriteLog(0, "Exception in OnSaveTrendAnalysis");
    }
}

void CEodChartView::OnSaveFullChart()
{
    try {
        saveStudy(true);
    } catch (...) {
        WriteLog(0, "Exception in OnSaveFullChart");
    }
}
