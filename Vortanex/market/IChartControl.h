#pragma once
// The chart surface that the chart view drives: one typed member per property
// and method the view uses, with the number the view's code knows it by
// beside it, and the events the view connects as callbacks.
//
// UI thread only: every member checks that it runs on the thread that made
// the control. The only error a member raises is ChartError, from
// addIndicator (98) for a key already in use; nothing else throws.
//
// Colours are 0x00BBGGRR. Records count from 1; record 0 means "none".
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

class QWidget;

// The only exception that crosses the interface.
class ChartError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Series styles accepted by addSeries (101).
enum ChartSeriesStyle : int {
    kStyleHlcBars = 500,   // high-low-close bars
    kStyleCandles = 501,
    kStyleLine = 502,
    kStyleHistogram = 503,
    kStyleOhlcBars = 506,
};

// The numbers event 6 reports for what was right-clicked. The view compares
// them: 497 and 500-503 open the series menu, 504, 505, 601 and 604 the
// object menu. Keep them stable.
enum ChartHitType : int {
    kHitIndicator = 497,   // an indicator's line or bars
    kHitHlcSeries = 500,   // price series by style; 506 reports as 500
    kHitCandleSeries = 501,
    kHitLineSeries = 502,
    kHitHistogramSeries = 503,
    kHitText = 504,        // a text object (88)
    kHitTrendLine = 505,   // a trend line (91)
    kHitShape = 601,       // ellipse or rectangle (134 with 0 or 1)
    kHitTool = 604,        // every other drawing tool of 134
};

// Drawing tools of startDrawing (134). 2 is not a tool.
enum ChartToolType : int {
    kToolEllipse = 0,
    kToolRectangle = 1,
    kToolSpeedLines = 3,
    kToolGannFan = 4,
    kToolFibArcs = 5,
    kToolFibFan = 6,
    kToolFibRetracements = 7,
    kToolFibTimeZones = 8,
    kToolTironeLevels = 9,
    kToolQuadrantLines = 10,
    kToolRaffRegression = 11,
    kToolErrorChannels = 12,
    kToolTrendLine = 91, // not a 134 type: the trend line of method 91
};

// The callbacks the view connects. Every one is optional.
struct ChartEvents {
    std::function<void(int buttons, int x, int y)> mouseTrack;                          // 3
    std::function<void()> windowChanged;                                                // 5
    std::function<void(int type, const std::string& name, int x, int y)> objectMenu;   // 6
    std::function<void()> recordCountChanged;                                           // 14
    std::function<void(const std::string& name, int type)> indicatorOffered;            // 19
    std::function<void(short key, short shift, short spare)> keyUp;                     // 24
    std::function<void(int type, const std::string& name)> drawingFinished;             // 29
};

class IChartControl {
public:
    virtual ~IChartControl() = default;

    // The widget to place in the view; null for a control without one.
    virtual QWidget* widget() = 0;
    // Connects the view's callbacks; fires 19 once per offered indicator, in
    // type order, right away.
    virtual void setEvents(ChartEvents events) = 0;

    // Properties.
    virtual void setIntradayFlag(bool on) = 0;                      // 1 (stored, no effect)
    virtual bool intradayFlag() = 0;                                // 1
    virtual bool separators() = 0;                                  // 5
    virtual void setSeparators(bool on) = 0;                        // 5
    virtual void setSeparatorColour(int colour) = 0;                // 6
    virtual void setViewFlag(bool on) = 0;                          // 8 (stored)
    virtual bool threeD() = 0;                                      // 11
    virtual void setThreeD(bool on) = 0;                            // 11
    virtual bool yGrid() = 0;                                       // 12
    virtual void setYGrid(bool on) = 0;                             // 12
    virtual bool xGrid() = 0;                                       // 14
    virtual void setXGrid(bool on) = 0;                             // 14
    virtual void setDrawFlag(bool on) = 0;                          // 15 (stored)
    virtual void setGradientTop(int colour) = 0;                    // 21
    virtual void setGradientBottom(int colour) = 0;                 // 22
    virtual int drawingState() = 0;                                 // 23: 1 while a tool is placing
    virtual void setVolumeUnit(const std::string& unit) = 0;        // 31
    virtual void setBackColour(int colour) = 0;                     // 34
    virtual void setForeColour(int colour) = 0;                     // 35
    virtual void setGridColour(int colour) = 0;                     // 36
    virtual int scaleType() = 0;                                    // 37: 1 semi-log, 2 linear
    virtual void setScaleType(int type) = 0;                        // 37
    virtual std::string symbol() = 0;                               // 38
    virtual void setSymbol(const std::string& symbol) = 0;          // 38
    virtual void setUpColour(int colour) = 0;                       // 39
    virtual void setDownColour(int colour) = 0;                     // 40
    virtual int scaleAlignment() = 0;                               // 41: 1 left, 2 right
    virtual void setScaleAlignment(int side) = 0;                   // 41
    virtual int visibleCount() = 0;                                 // 45
    virtual int recordCount() = 0;                                  // 46
    virtual int firstVisible() = 0;                                 // 47
    virtual void setFirstVisible(int record) = 0;                   // 47
    virtual int lastVisible() = 0;                                  // 48 (read for tests and the view)
    virtual void setLastVisible(int record) = 0;                    // 48
    virtual void setDrawingColour(int colour) = 0;                  // 50
    virtual bool darvasBoxes() = 0;                                 // 53
    virtual void setDarvasBoxes(bool on) = 0;                       // 53
    virtual void setDarvasPercent(double fraction) = 0;             // 54
    virtual int candleWidth() = 0;                                  // 55: 1 normal, 10 wide
    virtual void setCandleWidth(int width) = 0;                     // 55
    virtual void setBarInterval(int seconds) = 0;                   // 58 (stored)
    virtual void setSeriesWidth(const std::string& series, int width) = 0;   // 155
    virtual int panelSize(int panel) = 0;                                     // 156
    virtual void setPanelSize(int panel, int size) = 0;                       // 156
    // Ours, not a numbered property: the decimals of the chart's instrument
    // (2, or 4 for a currency) that the price axis labels its prices with.
    virtual void setPriceDecimals(int decimals) = 0;
    virtual void setSeriesColour(const std::string& series, int colour) = 0; // 166

    // Methods.
    virtual void redraw() = 0;                                                  // 65
    virtual void zoomIn(int records) = 0;                                       // 68
    virtual void zoomOut(int records) = 0;                                      // 69
    virtual double chartDate(int year, int month, int day, int hour, int minute, int second) = 0; // 72
    virtual std::string dateText(double chartDate) = 0;                         // 73
    virtual int addPanel() = 0;                                                 // 74
    virtual void resetZoom() = 0;                                               // 75
    virtual void clearSeries() = 0;                                             // 76
    virtual void rubberBandZoom() = 0;                                          // 77
    virtual int writeChart(const std::string& path) = 0;                        // 78: 0 or -1
    virtual int readChart(const std::string& path) = 0;                         // 79: 0 or -1
    virtual void print() = 0;                                                   // 84
    virtual void addText(int panel, const std::string& text, const std::string& key, int size, bool watermark,
                         int alpha, int spare) = 0;                             // 88
    // type is the number event 6 reported (504 a text by key); 0 matches any.
    virtual void deleteObject(int type, const std::string& name) = 0;           // 90
    virtual void startTrendLine(const std::string& name) = 0;                   // 91
    virtual void saveBitmap(const std::string& path) = 0;                       // 92
    // Throws ChartError when key is already in use; false for a type or
    // panel the chart does not have.
    virtual bool addIndicator(int type, const std::string& key, int panel, bool flag) = 0; // 98
    virtual void appendValue(const std::string& series, double chartDate, double value) = 0; // 99
    virtual void deleteSeries(const std::string& series) = 0;                   // 100
    // The series' number, -1 when refused (unknown style or panel, name in use).
    virtual int addSeries(const std::string& name, int style, int panel) = 0;  // 101
    virtual void clearAll() = 0;                                                // 106
    virtual void setSeriesUpDown(const std::string& series, int up, int down) = 0; // 119
    virtual int indicatorCount(int type) = 0;                                   // 122
    virtual void startDrawing(int type, const std::string& name) = 0;           // 134
    virtual int writeObjects(const std::string& path) = 0;                      // 138: ".scgx"
    virtual int readObjects(const std::string& path) = 0;                       // 139
    virtual int writeIndicators(const std::string& path) = 0;                   // 140: ".scox"
    virtual int readIndicators(const std::string& path) = 0;                    // 141
};
