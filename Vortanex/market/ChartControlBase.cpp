#include "market/ChartControlBase.h"

#include "market/ChartIndicators.h"

#include "app/base/LogWriter.h"
#include "pf/files.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <limits>

namespace {

constexpr const char* kFormat = "vortanex.chart";
constexpr int kVersion = 1;
constexpr double kNoPoint = std::numeric_limits<double>::quiet_NaN();

bool validStyle(int style)
{
    return style == kStyleHlcBars || style == kStyleCandles || style == kStyleLine || style == kStyleHistogram ||
           style == kStyleOhlcBars;
}

bool validTool(int tool)
{
    return tool == kToolTrendLine || (tool >= kToolEllipse && tool <= kToolErrorChannels && tool != 2);
}

std::string lower(std::string s)
{
    for (char& c : s)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// "X.close" -> ("X", "close").
std::pair<std::string, std::string> splitName(const std::string& name)
{
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos)
        return {name, ""};
    return {name.substr(0, dot), lower(name.substr(dot + 1))};
}

QString q(const std::string& s)
{
    return QString::fromStdString(s);
}

std::string s(const QJsonValue& v)
{
    return v.toString().toStdString();
}

QJsonObject header(const char* content)
{
    QJsonObject o;
    o["format"] = kFormat;
    o["version"] = kVersion;
    o["content"] = content;
    return o;
}

// The file's object when it is ours, of this content and a version we read.
bool readHeader(const std::string& path, const char* content, QJsonObject& out)
{
    const auto data = pf::files::readAll(path);
    if (!data) {
        WriteLog(1, "Chart file cannot be read: " + path);
        return false;
    }
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(*data), &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) {
        WriteLog(1, "Chart file is damaged: " + path);
        return false;
    }
    out = doc.object();
    if (out.value("format").toString() != kFormat || out.value("content").toString() != content) {
        WriteLog(1, "Chart file is not a chart file of this kind: " + path);
        return false;
    }
    if (out.value("version").toInt(-1) != kVersion) {
        WriteLog(1, "Chart file has a version this program does not read: " + path);
        return false;
    }
    return true;
}

int writeDoc(const std::string& path, const QJsonObject& o)
{
    const QByteArray bytes = QJsonDocument(o).toJson(QJsonDocument::Indented);
    if (!pf::files::writeAtomic(path, std::string_view(bytes.constData(), size_t(bytes.size())))) {
        WriteLog(1, "Chart file cannot be written: " + path);
        return -1;
    }
    return 0;
}

QJsonArray pointJson(const ChartPoint& p)
{
    return QJsonArray{p.date, p.value};
}

bool pointFrom(const QJsonValue& v, ChartPoint& p)
{
    const QJsonArray a = v.toArray();
    if (a.size() != 2 || !a[0].isDouble() || !a[1].isDouble())
        return false;
    p.date = a[0].toDouble();
    p.value = a[1].toDouble();
    return std::isfinite(p.date) && std::isfinite(p.value);
}

QJsonArray objectsJson(const std::vector<ChartObjectDef>& objects)
{
    QJsonArray list;
    for (const auto& o : objects) {
        QJsonObject j;
        j["tool"] = o.tool;
        j["name"] = q(o.name);
        j["colour"] = o.colour;
        j["panel"] = o.panel;
        j["points"] = QJsonArray{pointJson(o.a), pointJson(o.b)};
        list.append(j);
    }
    return list;
}

bool objectsFrom(const QJsonValue& v, std::vector<ChartObjectDef>& out)
{
    if (!v.isArray())
        return false;
    for (const QJsonValue& e : v.toArray()) {
        const QJsonObject j = e.toObject();
        ChartObjectDef o;
        o.tool = j.value("tool").toInt(-1000);
        o.name = s(j.value("name"));
        o.colour = j.value("colour").toInt(0xFFFFFF);
        o.panel = j.value("panel").toInt(-1);
        const QJsonArray pts = j.value("points").toArray();
        if (!validTool(o.tool) || o.name.empty() || o.panel < 0 || pts.size() != 2 || !pointFrom(pts[0], o.a) ||
            !pointFrom(pts[1], o.b))
            return false;
        out.push_back(std::move(o));
    }
    return true;
}

QJsonArray indicatorsJson(const std::vector<ChartIndicatorDef>& list)
{
    QJsonArray a;
    for (const auto& i : list)
        a.append(QJsonObject{{"type", i.type}, {"key", q(i.key)}, {"panel", i.panel}, {"flag", i.flag}});
    return a;
}

bool indicatorsFrom(const QJsonValue& v, std::vector<ChartIndicatorDef>& out)
{
    if (!v.isArray())
        return false;
    const int types = int(IndicatorNames().size());
    for (const QJsonValue& e : v.toArray()) {
        const QJsonObject j = e.toObject();
        ChartIndicatorDef d;
        d.type = j.value("type").toInt(-1);
        d.key = s(j.value("key"));
        d.panel = j.value("panel").toInt(-1);
        d.flag = j.value("flag").toBool();
        if (d.type < 0 || d.type >= types || d.key.empty() || d.panel < 0)
            return false;
        out.push_back(std::move(d));
    }
    return true;
}

QJsonArray panelsJson(const std::vector<int>& panels)
{
    QJsonArray a;
    for (int size : panels)
        a.append(size);
    return a;
}

bool panelsFrom(const QJsonValue& v, std::vector<int>& out)
{
    if (!v.isArray())
        return false;
    for (const QJsonValue& e : v.toArray()) {
        const int size = e.toInt(-1);
        if (size <= 0)
            return false;
        out.push_back(size);
    }
    return true;
}

QJsonObject settingsJson(const ChartSettings& c)
{
    QJsonObject j;
    j["intradayFlag"] = c.intradayFlag;
    j["separators"] = c.separators;
    j["separatorColour"] = c.separatorColour;
    j["viewFlag"] = c.viewFlag;
    j["threeD"] = c.threeD;
    j["yGrid"] = c.yGrid;
    j["xGrid"] = c.xGrid;
    j["drawFlag"] = c.drawFlag;
    j["gradientTop"] = c.gradientTop;
    j["gradientBottom"] = c.gradientBottom;
    j["volumeUnit"] = q(c.volumeUnit);
    j["back"] = c.back;
    j["fore"] = c.fore;
    j["grid"] = c.grid;
    j["scale"] = c.scale;
    j["symbol"] = q(c.symbol);
    j["up"] = c.up;
    j["down"] = c.down;
    j["align"] = c.align;
    j["drawingColour"] = c.drawingColour;
    j["darvas"] = c.darvas;
    j["darvasFraction"] = c.darvasFraction;
    j["candleWidth"] = c.candleWidth;
    j["barInterval"] = c.barInterval;
    return j;
}

ChartSettings settingsFrom(const QJsonObject& j)
{
    ChartSettings c;
    c.intradayFlag = j.value("intradayFlag").toBool(c.intradayFlag);
    c.separators = j.value("separators").toBool(c.separators);
    c.separatorColour = j.value("separatorColour").toInt(c.separatorColour);
    c.viewFlag = j.value("viewFlag").toBool(c.viewFlag);
    c.threeD = j.value("threeD").toBool(c.threeD);
    c.yGrid = j.value("yGrid").toBool(c.yGrid);
    c.xGrid = j.value("xGrid").toBool(c.xGrid);
    c.drawFlag = j.value("drawFlag").toBool(c.drawFlag);
    c.gradientTop = j.value("gradientTop").toInt(c.gradientTop);
    c.gradientBottom = j.value("gradientBottom").toInt(c.gradientBottom);
    c.volumeUnit = s(j.value("volumeUnit"));
    c.back = j.value("back").toInt(c.back);
    c.fore = j.value("fore").toInt(c.fore);
    c.grid = j.value("grid").toInt(c.grid);
    c.scale = j.value("scale").toInt(c.scale) == 1 ? 1 : 2;
    c.symbol = s(j.value("symbol"));
    c.up = j.value("up").toInt(c.up);
    c.down = j.value("down").toInt(c.down);
    c.align = j.value("align").toInt(c.align) == 1 ? 1 : 2;
    c.drawingColour = j.value("drawingColour").toInt(c.drawingColour);
    c.darvas = j.value("darvas").toBool(c.darvas);
    c.darvasFraction = j.value("darvasFraction").toDouble(c.darvasFraction);
    c.candleWidth = j.value("candleWidth").toInt(c.candleWidth);
    c.barInterval = j.value("barInterval").toInt(c.barInterval);
    return c;
}

} // namespace

ChartControlBase::ChartControlBase()
    : m_uiThread(std::this_thread::get_id())
{
}

bool ChartControlBase::enter(const char* member, int id, ChartCall::Kind kind, std::initializer_list<ChartArg> args)
{
    if (std::this_thread::get_id() != m_uiThread) {
        // A chart is a window: a call from a feed or download thread would
        // race the painting. Refuse it and say where it came from.
        WriteLog(0, std::string("Chart control: ") + member + " called off the UI thread, ignored");
        return false;
    }
    if (m_recordCalls) {
        ChartCall call;
        call.id = id;
        call.kind = kind;
        call.args.assign(args.begin(), args.end());
        noteCall(call);
    }
    return true;
}

void ChartControlBase::setEvents(ChartEvents events)
{
    if (!enter("setEvents", 0, ChartCall::Method))
        return;
    m_events = std::move(events);
    const auto& names = IndicatorNames();
    for (size_t i = 0; i < names.size(); ++i)
        if (m_events.indicatorOffered)
            m_events.indicatorOffered(names[i], int(i));
}

// Properties -------------------------------------------------------------

#define VX_PUT(member, id, field, value, parts)                                                                    \
    if (!enter(member, id, ChartCall::Put, {value}))                                                               \
        return;                                                                                                    \
    m_settings.field = value;                                                                                      \
    changed(parts, 0)

void ChartControlBase::setPriceDecimals(int decimals)
{
    decimals = std::clamp(decimals, 0, 6);
    if (decimals == m_settings.priceDecimals)
        return;
    m_settings.priceDecimals = decimals;
    changed(kLook, 0);
}

void ChartControlBase::setIntradayFlag(bool on) { VX_PUT("setIntradayFlag", 1, intradayFlag, on, 0); }
bool ChartControlBase::intradayFlag() { return enter("intradayFlag", 1, ChartCall::Get) && m_settings.intradayFlag; }
bool ChartControlBase::separators() { return enter("separators", 5, ChartCall::Get) && m_settings.separators; }
void ChartControlBase::setSeparators(bool on) { VX_PUT("setSeparators", 5, separators, on, kLook); }
void ChartControlBase::setSeparatorColour(int colour) { VX_PUT("setSeparatorColour", 6, separatorColour, colour, kLook); }
void ChartControlBase::setViewFlag(bool on) { VX_PUT("setViewFlag", 8, viewFlag, on, 0); }
bool ChartControlBase::threeD() { return enter("threeD", 11, ChartCall::Get) && m_settings.threeD; }
void ChartControlBase::setThreeD(bool on) { VX_PUT("setThreeD", 11, threeD, on, kLook); }
bool ChartControlBase::yGrid() { return enter("yGrid", 12, ChartCall::Get) && m_settings.yGrid; }
void ChartControlBase::setYGrid(bool on) { VX_PUT("setYGrid", 12, yGrid, on, kLook); }
bool ChartControlBase::xGrid() { return enter("xGrid", 14, ChartCall::Get) && m_settings.xGrid; }
void ChartControlBase::setXGrid(bool on) { VX_PUT("setXGrid", 14, xGrid, on, kLook); }
void ChartControlBase::setDrawFlag(bool on) { VX_PUT("setDrawFlag", 15, drawFlag, on, 0); }
void ChartControlBase::setGradientTop(int colour) { VX_PUT("setGradientTop", 21, gradientTop, colour, kLook); }
void ChartControlBase::setGradientBottom(int colour) { VX_PUT("setGradientBottom", 22, gradientBottom, colour, kLook); }

int ChartControlBase::drawingState()
{
    if (!enter("drawingState", 23, ChartCall::Get))
        return 0;
    return m_placingTool >= 0 ? 1 : 0;
}

void ChartControlBase::setVolumeUnit(const std::string& unit) { VX_PUT("setVolumeUnit", 31, volumeUnit, unit, kLook); }
void ChartControlBase::setBackColour(int colour) { VX_PUT("setBackColour", 34, back, colour, kLook); }
void ChartControlBase::setForeColour(int colour) { VX_PUT("setForeColour", 35, fore, colour, kLook); }
void ChartControlBase::setGridColour(int colour) { VX_PUT("setGridColour", 36, grid, colour, kLook); }

int ChartControlBase::scaleType()
{
    return enter("scaleType", 37, ChartCall::Get) ? m_settings.scale : 0;
}

void ChartControlBase::setScaleType(int type)
{
    if (!enter("setScaleType", 37, ChartCall::Put, {type}))
        return;
    m_settings.scale = type == 1 ? 1 : 2;
    changed(kLook, 0);
}

std::string ChartControlBase::symbol()
{
    return enter("symbol", 38, ChartCall::Get) ? m_settings.symbol : std::string();
}

void ChartControlBase::setSymbol(const std::string& symbol) { VX_PUT("setSymbol", 38, symbol, symbol, kLook); }
void ChartControlBase::setUpColour(int colour) { VX_PUT("setUpColour", 39, up, colour, kLook); }
void ChartControlBase::setDownColour(int colour) { VX_PUT("setDownColour", 40, down, colour, kLook); }

int ChartControlBase::scaleAlignment()
{
    return enter("scaleAlignment", 41, ChartCall::Get) ? m_settings.align : 0;
}

void ChartControlBase::setScaleAlignment(int side)
{
    if (!enter("setScaleAlignment", 41, ChartCall::Put, {side}))
        return;
    m_settings.align = side == 1 ? 1 : 2;
    changed(kLook, 0);
}

int ChartControlBase::visibleCount()
{
    if (!enter("visibleCount", 45, ChartCall::Get))
        return 0;
    return m_last >= m_first && m_first > 0 ? m_last - m_first + 1 : 0;
}

int ChartControlBase::recordCount()
{
    return enter("recordCount", 46, ChartCall::Get) ? m_records.count() : 0;
}

int ChartControlBase::firstVisible()
{
    return enter("firstVisible", 47, ChartCall::Get) ? m_first : 0;
}

void ChartControlBase::setFirstVisible(int record)
{
    if (!enter("setFirstVisible", 47, ChartCall::Put, {record}))
        return;
    const int n = m_records.count();
    if (n == 0)
        return;
    const int first = std::clamp(record, 1, n);
    setWindow(first, std::max(first, m_last));
}

int ChartControlBase::lastVisible()
{
    return enter("lastVisible", 48, ChartCall::Get) ? m_last : 0;
}

void ChartControlBase::setLastVisible(int record)
{
    if (!enter("setLastVisible", 48, ChartCall::Put, {record}))
        return;
    const int n = m_records.count();
    if (n == 0)
        return;
    const int last = std::clamp(record, 1, n);
    setWindow(std::min(m_first, last), last);
}

void ChartControlBase::setDrawingColour(int colour) { VX_PUT("setDrawingColour", 50, drawingColour, colour, 0); }
bool ChartControlBase::darvasBoxes() { return enter("darvasBoxes", 53, ChartCall::Get) && m_settings.darvas; }
void ChartControlBase::setDarvasBoxes(bool on) { VX_PUT("setDarvasBoxes", 53, darvas, on, kLook); }

void ChartControlBase::setDarvasPercent(double fraction)
{
    if (!enter("setDarvasPercent", 54, ChartCall::Put, {fraction}))
        return;
    if (std::isfinite(fraction) && fraction >= 0 && fraction < 1)
        m_settings.darvasFraction = fraction;
    changed(kLook, 0);
}

int ChartControlBase::candleWidth()
{
    return enter("candleWidth", 55, ChartCall::Get) ? m_settings.candleWidth : 0;
}

void ChartControlBase::setCandleWidth(int width) { VX_PUT("setCandleWidth", 55, candleWidth, width, kLook); }
void ChartControlBase::setBarInterval(int seconds) { VX_PUT("setBarInterval", 58, barInterval, seconds, kLook); }

#undef VX_PUT

void ChartControlBase::setSeriesWidth(const std::string& series, int width)
{
    if (!enter("setSeriesWidth", 155, ChartCall::Put, {series, width}))
        return;
    const int i = findSeries(series);
    if (i < 0)
        return;
    m_series[size_t(i)].width = std::clamp(width, 1, 20);
    changed(kLook, 0);
}

int ChartControlBase::panelSize(int panel)
{
    if (!enter("panelSize", 156, ChartCall::Get, {panel}))
        return 0;
    return panel >= 0 && size_t(panel) < m_panels.size() ? m_panels[size_t(panel)] : 0;
}

void ChartControlBase::setPanelSize(int panel, int size)
{
    if (!enter("setPanelSize", 156, ChartCall::Put, {panel, size}))
        return;
    if (panel < 0 || size_t(panel) >= m_panels.size() || size <= 0)
        return;
    m_panels[size_t(panel)] = std::min(size, 100000);
    changed(kStructure, 0);
}

void ChartControlBase::setSeriesColour(const std::string& series, int colour)
{
    if (!enter("setSeriesColour", 166, ChartCall::Put, {series, colour}))
        return;
    const int i = findSeries(series);
    if (i < 0)
        return;
    m_series[size_t(i)].colour = colour;
    changed(kLook, 0);
}

// Methods ----------------------------------------------------------------

void ChartControlBase::redraw()
{
    if (!enter("redraw", 65, ChartCall::Method))
        return;
    renderChart();
}

void ChartControlBase::zoomIn(int records)
{
    if (!enter("zoomIn", 68, ChartCall::Method, {records}))
        return;
    if (m_records.count() == 0 || records <= 0)
        return;
    // Narrow from the left so the newest records stay in view; keep two.
    const int first = std::min(m_first + records, std::max(m_first, m_last - 1));
    setWindow(first, m_last);
}

void ChartControlBase::zoomOut(int records)
{
    if (!enter("zoomOut", 69, ChartCall::Method, {records}))
        return;
    const int n = m_records.count();
    if (n == 0 || records <= 0)
        return;
    int first = m_first - records;
    int last = m_last;
    if (first < 1) {
        last = std::min(n, last + (1 - first));
        first = 1;
    }
    setWindow(first, last);
}

double ChartControlBase::chartDate(int year, int month, int day, int hour, int minute, int second)
{
    if (!enter("chartDate", 72, ChartCall::Method, {year, month, day, hour, minute, second}))
        return 0;
    return ChartDateOf(year, month, day, hour, minute, second);
}

std::string ChartControlBase::dateText(double chartDate)
{
    if (!enter("dateText", 73, ChartCall::Method, {chartDate}))
        return {};
    return ChartDateText(chartDate);
}

int ChartControlBase::addPanel()
{
    if (!enter("addPanel", 74, ChartCall::Method))
        return -1;
    m_panels.push_back(m_panels.empty() ? 3 * kPanelSize : kPanelSize);
    changed(kStructure, 0);
    return int(m_panels.size()) - 1;
}

void ChartControlBase::resetZoom()
{
    if (!enter("resetZoom", 75, ChartCall::Method))
        return;
    setWindow(1, m_records.count());
    m_followAll = true;
}

void ChartControlBase::clearSeries()
{
    if (!enter("clearSeries", 76, ChartCall::Method))
        return;
    // The view rebuilds series, panels and indicators after this; drawing
    // objects stay, anchored to dates and values.
    const int before = m_records.count();
    m_records.clear();
    m_series.clear();
    m_panels.clear();
    m_indicators.clear();
    m_texts.clear();
    changed(kAll, 0);
    countChanged(before);
}

void ChartControlBase::rubberBandZoom()
{
    if (!enter("rubberBandZoom", 77, ChartCall::Method))
        return;
    armRubberBand();
}

void ChartControlBase::print()
{
    if (!enter("print", 84, ChartCall::Method))
        return;
    printChart();
}

void ChartControlBase::addText(int panel, const std::string& text, const std::string& key, int size, bool watermark,
                               int alpha, int spare)
{
    if (!enter("addText", 88, ChartCall::Method, {panel, text, key, size, watermark, alpha, spare}))
        return;
    if (panel < 0 || size_t(panel) >= m_panels.size())
        return;
    ChartTextDef t{panel, text, key, size, watermark, alpha, spare};
    // A key names one text: the view places its watermark again on every redraw.
    auto it = std::find_if(m_texts.begin(), m_texts.end(), [&](const ChartTextDef& e) { return e.key == key; });
    if (it != m_texts.end() && !key.empty())
        *it = t;
    else
        m_texts.push_back(t);
    changed(kObjects, 0);
}

void ChartControlBase::deleteObject(int type, const std::string& name)
{
    if (!enter("deleteObject", 90, ChartCall::Method, {type, name}))
        return;
    if (type == kHitText) {
        const auto before = m_texts.size();
        m_texts.erase(std::remove_if(m_texts.begin(), m_texts.end(),
                                     [&](const ChartTextDef& t) { return t.key == name; }),
                      m_texts.end());
        if (m_texts.size() != before)
            changed(kObjects, 0);
        return;
    }
    const auto before = m_objects.size();
    m_objects.erase(std::remove_if(m_objects.begin(), m_objects.end(),
                                   [&](const ChartObjectDef& o) {
                                       return o.name == name && (type == 0 || hitTypeOfTool(o.tool) == type);
                                   }),
                    m_objects.end());
    if (m_objects.size() != before)
        changed(kObjects, 0);
}

void ChartControlBase::startTrendLine(const std::string& name)
{
    if (!enter("startTrendLine", 91, ChartCall::Method, {name}))
        return;
    m_placingTool = kToolTrendLine;
    m_placingName = name;
}

void ChartControlBase::saveBitmap(const std::string& path)
{
    if (!enter("saveBitmap", 92, ChartCall::Method, {path}))
        return;
    saveImage(path);
}

bool ChartControlBase::addIndicator(int type, const std::string& key, int panel, bool flag)
{
    if (!enter("addIndicator", 98, ChartCall::Method, {type, key, panel, flag}))
        return false;
    if (keyInUse(key))
        throw ChartError("The key \"" + key + "\" is already in use");
    if (type < 0 || size_t(type) >= IndicatorNames().size() || panel < 0 || size_t(panel) >= m_panels.size() ||
        key.empty())
        return false;
    m_indicators.push_back({type, key, panel, flag});
    changed(kStructure, 0);
    return true;
}

void ChartControlBase::appendValue(const std::string& series, double chartDate, double value)
{
    if (!enter("appendValue", 99, ChartCall::Method, {series, chartDate, value}))
        return;
    const int i = findSeries(series);
    if (i < 0)
        return;
    const int before = m_records.count();
    const ChartRecords::Put put = m_records.put(m_series[size_t(i)].column, chartDate, value);
    if (put.record < 0)
        return;
    changed(kData, put.record);
    if (put.added)
        countChanged(before);
}

void ChartControlBase::deleteSeries(const std::string& series)
{
    if (!enter("deleteSeries", 100, ChartCall::Method, {series}))
        return;
    const int i = findSeries(series);
    if (i >= 0) {
        removeSeriesAt(size_t(i));
        return;
    }
    const auto before = m_indicators.size();
    m_indicators.erase(std::remove_if(m_indicators.begin(), m_indicators.end(),
                                      [&](const ChartIndicatorDef& d) { return d.key == series; }),
                       m_indicators.end());
    if (m_indicators.size() != before)
        changed(kStructure, 0);
}

int ChartControlBase::addSeries(const std::string& name, int style, int panel)
{
    if (!enter("addSeries", 101, ChartCall::Method, {name, style, panel}))
        return -1;
    if (!validStyle(style) || panel < 0 || size_t(panel) >= m_panels.size() || name.empty() || keyInUse(name)) {
        WriteLog(1, "Chart control: series " + name + " refused (style " + std::to_string(style) + ", panel " +
                        std::to_string(panel) + ")");
        return -1;
    }
    ChartSeriesDef d;
    d.name = name;
    d.style = style;
    d.panel = panel;
    d.column = m_records.addColumn();
    m_series.push_back(d);
    changed(kStructure, 0);
    return int(m_series.size()) - 1;
}

void ChartControlBase::clearAll()
{
    if (!enter("clearAll", 106, ChartCall::Method))
        return;
    const int before = m_records.count();
    m_records.clear();
    m_series.clear();
    m_panels.clear();
    m_indicators.clear();
    m_objects.clear();
    m_texts.clear();
    m_placingTool = -1;
    m_placingName.clear();
    changed(kAll, 0);
    countChanged(before);
}

void ChartControlBase::setSeriesUpDown(const std::string& series, int up, int down)
{
    if (!enter("setSeriesUpDown", 119, ChartCall::Method, {series, up, down}))
        return;
    const int i = findSeries(series);
    if (i < 0)
        return;
    m_series[size_t(i)].up = up;
    m_series[size_t(i)].down = down;
    changed(kLook, 0);
}

int ChartControlBase::indicatorCount(int type)
{
    if (!enter("indicatorCount", 122, ChartCall::Method, {type}))
        return 0;
    return int(std::count_if(m_indicators.begin(), m_indicators.end(),
                             [&](const ChartIndicatorDef& d) { return d.type == type; }));
}

void ChartControlBase::startDrawing(int type, const std::string& name)
{
    if (!enter("startDrawing", 134, ChartCall::Method, {type, name}))
        return;
    if (!validTool(type) || type == kToolTrendLine) {
        WriteLog(1, "Chart control: no drawing tool " + std::to_string(type));
        return;
    }
    m_placingTool = type;
    m_placingName = name;
}

// Files ------------------------------------------------------------------

int ChartControlBase::writeChart(const std::string& path)
{
    if (!enter("writeChart", 78, ChartCall::Method, {path}))
        return -1;
    QJsonObject o = header("chart");
    o["settings"] = settingsJson(m_settings);
    o["panels"] = panelsJson(m_panels);
    QJsonArray series;
    QJsonArray values;
    for (const auto& d : m_series) {
        series.append(QJsonObject{{"name", q(d.name)},
                                  {"style", d.style},
                                  {"panel", d.panel},
                                  {"colour", d.colour},
                                  {"up", d.up},
                                  {"down", d.down},
                                  {"width", d.width}});
        QJsonArray column;
        for (double v : m_records.column(d.column))
            column.append(std::isfinite(v) ? QJsonValue(v) : QJsonValue());
        values.append(column);
    }
    QJsonArray dates;
    for (double d : m_records.dates())
        dates.append(d);
    o["series"] = series;
    o["dates"] = dates;
    o["values"] = values;
    o["indicators"] = indicatorsJson(m_indicators);
    o["objects"] = objectsJson(m_objects);
    QJsonArray texts;
    for (const auto& t : m_texts)
        texts.append(QJsonObject{{"panel", t.panel},
                                 {"text", q(t.text)},
                                 {"key", q(t.key)},
                                 {"size", t.size},
                                 {"watermark", t.watermark},
                                 {"alpha", t.alpha},
                                 {"spare", t.spare}});
    o["texts"] = texts;
    o["window"] = QJsonObject{{"first", m_first}, {"last", m_last}, {"all", m_followAll}};
    return writeDoc(path, o);
}

int ChartControlBase::readChart(const std::string& path)
{
    if (!enter("readChart", 79, ChartCall::Method, {path}))
        return -1;
    QJsonObject o;
    if (!readHeader(path, "chart", o))
        return -1;
    // Everything is read and checked into new state first: a damaged file
    // leaves the chart as it was.
    std::vector<int> panels;
    std::vector<ChartIndicatorDef> indicators;
    std::vector<ChartObjectDef> objects;
    if (!panelsFrom(o.value("panels"), panels) || !indicatorsFrom(o.value("indicators"), indicators) ||
        !objectsFrom(o.value("objects"), objects)) {
        WriteLog(1, "Chart file is damaged: " + path);
        return -1;
    }
    const QJsonArray dates = o.value("dates").toArray();
    const QJsonArray seriesJson = o.value("series").toArray();
    const QJsonArray values = o.value("values").toArray();
    bool ok = o.value("dates").isArray() && o.value("series").isArray() && values.size() == seriesJson.size();
    ChartRecords records;
    std::vector<ChartSeriesDef> series;
    std::vector<double> dateList;
    for (int i = 0; ok && i < dates.size(); ++i) {
        ok = dates[i].isDouble() && std::isfinite(dates[i].toDouble()) &&
             (dateList.empty() || dates[i].toDouble() > dateList.back() + ChartRecords::kSameDate);
        dateList.push_back(dates[i].toDouble());
    }
    for (int i = 0; ok && i < seriesJson.size(); ++i) {
        const QJsonObject j = seriesJson[i].toObject();
        ChartSeriesDef d;
        d.name = s(j.value("name"));
        d.style = j.value("style").toInt();
        d.panel = j.value("panel").toInt(-1);
        d.colour = j.value("colour").toInt(-1);
        d.up = j.value("up").toInt(-1);
        d.down = j.value("down").toInt(-1);
        d.width = std::clamp(j.value("width").toInt(1), 1, 20);
        const QJsonArray column = values[i].toArray();
        ok = !d.name.empty() && validStyle(d.style) && d.panel >= 0 && size_t(d.panel) < panels.size() &&
             column.size() == dates.size() &&
             std::none_of(series.begin(), series.end(), [&](const ChartSeriesDef& e) { return e.name == d.name; });
        if (!ok)
            break;
        d.column = records.addColumn();
        for (int r = 0; r < column.size(); ++r)
            records.put(d.column, dateList[size_t(r)], column[r].isDouble() ? column[r].toDouble() : kNoPoint);
        series.push_back(d);
    }
    for (const auto& d : indicators)
        ok = ok && size_t(d.panel) < panels.size();
    std::vector<ChartTextDef> texts;
    for (const QJsonValue& e : o.value("texts").toArray()) {
        const QJsonObject j = e.toObject();
        ChartTextDef t{j.value("panel").toInt(-1), s(j.value("text")),          s(j.value("key")),
                       j.value("size").toInt(),    j.value("watermark").toBool(), j.value("alpha").toInt(),
                       j.value("spare").toInt()};
        ok = ok && t.panel >= 0 && size_t(t.panel) < panels.size();
        texts.push_back(t);
    }
    if (!ok) {
        WriteLog(1, "Chart file is damaged: " + path);
        return -1;
    }
    const int before = m_records.count();
    m_settings = settingsFrom(o.value("settings").toObject());
    m_records = std::move(records);
    m_series = std::move(series);
    m_panels = std::move(panels);
    m_indicators = std::move(indicators);
    m_objects = std::move(objects);
    m_texts = std::move(texts);
    m_placingTool = -1;
    const QJsonObject w = o.value("window").toObject();
    changed(kAll, 0);
    countChanged(before);
    m_followAll = w.value("all").toBool(true);
    if (m_followAll)
        setWindow(1, m_records.count());
    else
        setWindow(w.value("first").toInt(1), w.value("last").toInt(m_records.count()));
    m_followAll = w.value("all").toBool(true);
    return 0;
}

int ChartControlBase::writeObjects(const std::string& path)
{
    if (!enter("writeObjects", 138, ChartCall::Method, {path}))
        return -1;
    QJsonObject o = header("objects");
    o["objects"] = objectsJson(m_objects);
    return writeDoc(path, o);
}

int ChartControlBase::readObjects(const std::string& path)
{
    if (!enter("readObjects", 139, ChartCall::Method, {path}))
        return -1;
    QJsonObject o;
    std::vector<ChartObjectDef> objects;
    if (!readHeader(path, "objects", o))
        return -1;
    if (!objectsFrom(o.value("objects"), objects)) {
        WriteLog(1, "Chart file is damaged: " + path);
        return -1;
    }
    // A study lands on the chart as it is now: objects of the same name are
    // replaced, others stay; an object on a panel the chart lacks goes on the
    // main panel.
    for (auto& obj : objects) {
        if (size_t(obj.panel) >= std::max<size_t>(m_panels.size(), 1))
            obj.panel = 0;
        auto it = std::find_if(m_objects.begin(), m_objects.end(),
                               [&](const ChartObjectDef& e) { return e.name == obj.name; });
        if (it != m_objects.end())
            *it = obj;
        else
            m_objects.push_back(obj);
    }
    changed(kObjects, 0);
    return 0;
}

int ChartControlBase::writeIndicators(const std::string& path)
{
    if (!enter("writeIndicators", 140, ChartCall::Method, {path}))
        return -1;
    QJsonObject o = header("indicators");
    o["panels"] = panelsJson(m_panels);
    o["indicators"] = indicatorsJson(m_indicators);
    return writeDoc(path, o);
}

int ChartControlBase::readIndicators(const std::string& path)
{
    if (!enter("readIndicators", 141, ChartCall::Method, {path}))
        return -1;
    QJsonObject o;
    std::vector<int> panels;
    std::vector<ChartIndicatorDef> indicators;
    if (!readHeader(path, "indicators", o))
        return -1;
    if (!panelsFrom(o.value("panels"), panels) || !indicatorsFrom(o.value("indicators"), indicators)) {
        WriteLog(1, "Chart file is damaged: " + path);
        return -1;
    }
    for (const auto& d : indicators)
        if (size_t(d.panel) >= panels.size()) {
            WriteLog(1, "Chart file is damaged: " + path);
            return -1;
        }
    // The layout of the saved panels, then the indicators whose keys are
    // free; a key the chart already uses keeps the chart's indicator.
    for (size_t p = 0; p < panels.size(); ++p) {
        if (p < m_panels.size())
            m_panels[p] = panels[p];
        else
            m_panels.push_back(panels[p]);
    }
    for (const auto& d : indicators)
        if (!keyInUse(d.key))
            m_indicators.push_back(d);
    changed(kStructure, 0);
    return 0;
}

// Helpers ----------------------------------------------------------------

int ChartControlBase::hitTypeOfStyle(int style)
{
    return style == kStyleOhlcBars ? kHitHlcSeries : style;
}

int ChartControlBase::hitTypeOfTool(int tool)
{
    if (tool == kToolTrendLine)
        return kHitTrendLine;
    if (tool == kToolEllipse || tool == kToolRectangle)
        return kHitShape;
    return kHitTool;
}

void ChartControlBase::finishPlacing(const ChartPoint& a, const ChartPoint& b, int panel)
{
    if (m_placingTool < 0)
        return;
    ChartObjectDef o;
    o.tool = m_placingTool;
    o.name = m_placingName;
    o.colour = m_settings.drawingColour;
    o.panel = std::max(panel, 0);
    o.a = a;
    o.b = b;
    m_placingTool = -1;
    m_placingName.clear();
    // A name the view uses again replaces the older object.
    auto it = std::find_if(m_objects.begin(), m_objects.end(), [&](const ChartObjectDef& e) { return e.name == o.name; });
    if (it != m_objects.end())
        *it = o;
    else
        m_objects.push_back(o);
    changed(kObjects, 0);
    if (m_events.drawingFinished)
        m_events.drawingFinished(hitTypeOfTool(o.tool), o.name);
}

void ChartControlBase::cancelPlacing()
{
    if (m_placingTool < 0)
        return;
    m_placingTool = -1;
    m_placingName.clear();
    changed(kObjects, 0);
}

void ChartControlBase::setWindow(int first, int last)
{
    const int n = m_records.count();
    const int f = n == 0 ? 0 : std::clamp(first, 1, n);
    const int l = n == 0 ? 0 : std::clamp(last, f, n);
    m_followAll = false;
    if (f == m_first && l == m_last)
        return;
    m_first = f;
    m_last = l;
    changed(kWindow, 0);
    if (m_events.windowChanged)
        m_events.windowChanged();
}

void ChartControlBase::countChanged(int before)
{
    const int n = m_records.count();
    if (n == before)
        return;
    int first = m_first, last = m_last;
    if (m_followAll || n == 0 || before == 0) {
        first = 1;
        last = n;
    } else if (m_last == before && n > before) {
        // A window that showed the newest record moves along with new ones.
        last = n;
        first = std::max(1, m_first + (n - before));
    }
    const bool all = m_followAll || before == 0;
    if (m_events.recordCountChanged)
        m_events.recordCountChanged();
    setWindow(first, last);
    m_followAll = all;
}

void ChartControlBase::fireMouseTrack(int buttons, int x, int y)
{
    if (m_events.mouseTrack)
        m_events.mouseTrack(buttons, x, y);
}

void ChartControlBase::fireObjectMenu(int type, const std::string& name, int x, int y)
{
    if (m_events.objectMenu)
        m_events.objectMenu(type, name, x, y);
}

void ChartControlBase::fireKeyUp(short key, short shift, short spare)
{
    if (m_events.keyUp)
        m_events.keyUp(key, shift, spare);
}

int ChartControlBase::findSeries(const std::string& name) const
{
    for (size_t i = 0; i < m_series.size(); ++i)
        if (m_series[i].name == name)
            return int(i);
    return -1;
}

ChartControlBase::PriceColumns ChartControlBase::priceColumns() const
{
    PriceColumns p;
    // The first price series names the chart's prices; its group (same name
    // before the last '.') gives open, high and low when the chart has them.
    const ChartSeriesDef* price = nullptr;
    for (const auto& d : m_series) {
        const auto [stem, part] = splitName(d.name);
        if (part == "vol" || part == "volume")
            continue;
        price = &d;
        break;
    }
    if (price) {
        const std::string stem = splitName(price->name).first;
        for (const auto& d : m_series) {
            const auto [st, part] = splitName(d.name);
            if (st != stem || d.panel != price->panel)
                continue;
            if (part == "open")
                p.open = d.column;
            else if (part == "high")
                p.high = d.column;
            else if (part == "low")
                p.low = d.column;
            else if (part == "close")
                p.close = d.column;
        }
        if (p.close < 0)
            p.close = price->column;
    }
    for (const auto& d : m_series) {
        const std::string part = splitName(d.name).second;
        if (part == "vol" || part == "volume") {
            p.volume = d.column;
            break;
        }
    }
    return p;
}

bool ChartControlBase::keyInUse(const std::string& key) const
{
    return findSeries(key) >= 0 || std::any_of(m_indicators.begin(), m_indicators.end(),
                                               [&](const ChartIndicatorDef& d) { return d.key == key; });
}

void ChartControlBase::removeSeriesAt(size_t index)
{
    m_records.removeColumn(m_series[index].column);
    m_series.erase(m_series.begin() + std::ptrdiff_t(index));
    changed(kStructure | kData, 0);
}
