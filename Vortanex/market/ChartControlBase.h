#pragma once
// What every chart control shares: the chart's records, series, panels,
// indicators, drawing objects and text objects, the visible window, the
// settings, the events and the study files. The drawing control renders this
// state; the recording control answers from it.
#include "market/ChartRecords.h"
#include "market/IChartControl.h"

#include <initializer_list>
#include <string>
#include <thread>
#include <variant>
#include <vector>

// One argument of a recorded call.
using ChartArg = std::variant<int, double, bool, std::string>;

struct ChartCall {
    enum Kind { Get, Put, Method };
    int id = 0;
    Kind kind = Method;
    std::vector<ChartArg> args;
};

struct ChartSeriesDef {
    std::string name;
    int style = kStyleLine;
    int panel = 0;
    int column = -1;    // column of the records
    int colour = -1;    // -1: the chart's colours
    int up = -1, down = -1;
    int width = 1;
};

struct ChartIndicatorDef {
    int type = 0;
    std::string key;
    int panel = 0;
    bool flag = false;
};

struct ChartPoint {
    double date = 0;  // chart date
    double value = 0;
};

struct ChartObjectDef {
    int tool = kToolTrendLine; // ChartToolType
    std::string name;
    int colour = 0xFFFFFF;
    int panel = 0;
    ChartPoint a, b;
};

struct ChartTextDef {
    int panel = 0;
    std::string text, key;
    int size = 0;
    bool watermark = false;
    int alpha = 0;
    int spare = 0;
};

struct ChartSettings {
    bool intradayFlag = false;   // 1
    bool separators = false;     // 5
    int separatorColour = 0x808080;
    bool viewFlag = true;        // 8
    bool threeD = false;         // 11
    bool yGrid = true;           // 12
    bool xGrid = true;           // 14
    bool drawFlag = false;       // 15
    int gradientTop = -1;        // 21, -1 none
    int gradientBottom = -1;     // 22
    std::string volumeUnit;      // 31
    int back = 0x000000;         // 34
    int fore = 0xFFFFFF;         // 35
    int grid = 0x404040;         // 36
    int scale = 2;               // 37
    std::string symbol;          // 38
    int up = 0x00C000;           // 39
    int down = 0x0000E0;         // 40
    int align = 2;               // 41
    int drawingColour = 0xFFFFFF; // 50
    bool darvas = false;         // 53
    double darvasFraction = 0.01; // 54
    int candleWidth = 1;         // 55
    int barInterval = 0;         // 58
    int priceDecimals = 2;       // ours: the instrument's decimals on the price axis
};

class ChartControlBase : public IChartControl {
public:
    // The default size of a new panel; the first panel is three times as tall.
    static constexpr int kPanelSize = 100;

    ChartControlBase();

    QWidget* widget() override { return nullptr; }
    void setEvents(ChartEvents events) override;

    void setIntradayFlag(bool on) override;
    bool intradayFlag() override;
    bool separators() override;
    void setSeparators(bool on) override;
    void setSeparatorColour(int colour) override;
    void setViewFlag(bool on) override;
    bool threeD() override;
    void setThreeD(bool on) override;
    bool yGrid() override;
    void setYGrid(bool on) override;
    bool xGrid() override;
    void setXGrid(bool on) override;
    void setDrawFlag(bool on) override;
    void setGradientTop(int colour) override;
    void setGradientBottom(int colour) override;
    int drawingState() override;
    void setVolumeUnit(const std::string& unit) override;
    void setBackColour(int colour) override;
    void setForeColour(int colour) override;
    void setGridColour(int colour) override;
    int scaleType() override;
    void setScaleType(int type) override;
    std::string symbol() override;
    void setSymbol(const std::string& symbol) override;
    void setUpColour(int colour) override;
    void setDownColour(int colour) override;
    int scaleAlignment() override;
    void setScaleAlignment(int side) override;
    int visibleCount() override;
    int recordCount() override;
    int firstVisible() override;
    void setFirstVisible(int record) override;
    int lastVisible() override;
    void setLastVisible(int record) override;
    void setDrawingColour(int colour) override;
    bool darvasBoxes() override;
    void setDarvasBoxes(bool on) override;
    void setDarvasPercent(double fraction) override;
    int candleWidth() override;
    void setCandleWidth(int width) override;
    void setBarInterval(int seconds) override;
    void setSeriesWidth(const std::string& series, int width) override;
    int panelSize(int panel) override;
    void setPanelSize(int panel, int size) override;
    void setPriceDecimals(int decimals) override;
    void setSeriesColour(const std::string& series, int colour) override;

    void redraw() override;
    void zoomIn(int records) override;
    void zoomOut(int records) override;
    double chartDate(int year, int month, int day, int hour, int minute, int second) override;
    std::string dateText(double chartDate) override;
    int addPanel() override;
    void resetZoom() override;
    void clearSeries() override;
    void rubberBandZoom() override;
    int writeChart(const std::string& path) override;
    int readChart(const std::string& path) override;
    void print() override;
    void addText(int panel, const std::string& text, const std::string& key, int size, bool watermark, int alpha,
                 int spare) override;
    void deleteObject(int type, const std::string& name) override;
    void startTrendLine(const std::string& name) override;
    void saveBitmap(const std::string& path) override;
    bool addIndicator(int type, const std::string& key, int panel, bool flag) override;
    void appendValue(const std::string& series, double chartDate, double value) override;
    void deleteSeries(const std::string& series) override;
    int addSeries(const std::string& name, int style, int panel) override;
    void clearAll() override;
    void setSeriesUpDown(const std::string& series, int up, int down) override;
    int indicatorCount(int type) override;
    void startDrawing(int type, const std::string& name) override;
    int writeObjects(const std::string& path) override;
    int readObjects(const std::string& path) override;
    int writeIndicators(const std::string& path) override;
    int readIndicators(const std::string& path) override;

    // Read access for renderers and tests.
    const ChartRecords& records() const { return m_records; }
    const std::vector<ChartSeriesDef>& seriesList() const { return m_series; }
    const std::vector<int>& panelSizes() const { return m_panels; }
    const std::vector<ChartIndicatorDef>& indicatorList() const { return m_indicators; }
    const std::vector<ChartObjectDef>& objectList() const { return m_objects; }
    const std::vector<ChartTextDef>& textList() const { return m_texts; }
    const ChartSettings& settings() const { return m_settings; }
    // The type event 6 reports for a series (by style) or an object (by tool).
    static int hitTypeOfStyle(int style);
    static int hitTypeOfTool(int tool);

protected:
    // What changed, for the renderer.
    enum Part : unsigned {
        kData = 1,        // record values (from a record on, see fromRecord)
        kStructure = 2,   // series, panels, indicators
        kWindow = 4,
        kLook = 8,        // settings
        kObjects = 16,    // drawing and text objects
        kAll = 31,
    };
    // Hooks for the implementations.
    virtual void noteCall(const ChartCall&) {}
    virtual void changed(unsigned /*parts*/, int /*fromRecord*/) {}
    virtual void renderChart() {}
    virtual void printChart() {}
    virtual void saveImage(const std::string& /*path*/) {}
    virtual void armRubberBand() {}

    // Checks the thread and notes the call; false refuses it.
    bool enter(const char* member, int id, ChartCall::Kind kind, std::initializer_list<ChartArg> args = {});

    // The placing tool (-1 none) and its name; finishing adds the object and
    // fires 29, cancelling leaves nothing.
    int placingTool() const { return m_placingTool; }
    void finishPlacing(const ChartPoint& a, const ChartPoint& b, int panel);
    void cancelPlacing();
    // Moves the window to records [first, last] (1-based, clamped) and fires 5.
    void setWindow(int first, int last);
    void fireMouseTrack(int buttons, int x, int y);
    void fireObjectMenu(int type, const std::string& name, int x, int y);
    void fireKeyUp(short key, short shift, short spare);
    // The price bars of the chart (its first price series or group) and its
    // volume series, for indicators, Darvas boxes and the levels tools.
    int findSeries(const std::string& name) const;
    struct PriceColumns {
        int open = -1, high = -1, low = -1, close = -1, volume = -1;
    };
    PriceColumns priceColumns() const;

    ChartRecords m_records;
    std::vector<ChartSeriesDef> m_series;
    std::vector<int> m_panels;
    std::vector<ChartIndicatorDef> m_indicators;
    std::vector<ChartObjectDef> m_objects;
    std::vector<ChartTextDef> m_texts;
    ChartSettings m_settings;
    ChartEvents m_events;
    bool m_recordCalls = false; // noteCall sees every call (the recording control)
    int m_first = 0, m_last = 0; // 1-based, 0 when empty
    bool m_followAll = true;     // the window shows every record

private:
    void countChanged(int before);
    bool keyInUse(const std::string& key) const;
    void removeSeriesAt(size_t index);

    std::thread::id m_uiThread;
    int m_placingTool = -1;
    std::string m_placingName;
};
