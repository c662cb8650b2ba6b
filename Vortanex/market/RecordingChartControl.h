#pragma once
// A chart control for the chart view's tests: it draws nothing, records every
// call with its number and arguments, answers from the shared chart state
// (records, windows, indicators, objects, files) and fires the events a test
// scripts.
#include "market/ChartControlBase.h"

#include <string>
#include <vector>

class RecordingChartControl : public ChartControlBase {
public:
    RecordingChartControl() { m_recordCalls = true; }

    const std::vector<ChartCall>& calls() const { return m_calls; }
    // The calls of one number, in order.
    std::vector<ChartCall> callsOf(int id) const;
    void clearCalls() { m_calls.clear(); }
    int printCount() const { return m_prints; }
    const std::vector<std::string>& savedBitmaps() const { return m_bitmaps; }
    bool rubberBandArmed() const { return m_band; }

    // Scripted events, as the drawing control would fire them.
    void fireMouseTrack(int buttons, int x, int y) { ChartControlBase::fireMouseTrack(buttons, x, y); }
    void fireObjectMenu(int type, const std::string& name, int x, int y)
    {
        ChartControlBase::fireObjectMenu(type, name, x, y);
    }
    void fireKeyUp(short key, short shift = 0, short spare = 0) { ChartControlBase::fireKeyUp(key, shift, spare); }
    // Ends the placing tool as a press, drag and release from a to b would;
    // false when no tool is placing.
    bool place(const ChartPoint& a, const ChartPoint& b, int panel = 0);
    // Ends the placing tool as Escape would.
    void cancelPlace() { cancelPlacing(); }

protected:
    void noteCall(const ChartCall& call) override { m_calls.push_back(call); }
    void printChart() override { ++m_prints; }
    void saveImage(const std::string& path) override { m_bitmaps.push_back(path); }
    void armRubberBand() override { m_band = true; }

private:
    std::vector<ChartCall> m_calls;
    std::vector<std::string> m_bitmaps;
    int m_prints = 0;
    bool m_band = false;
};
