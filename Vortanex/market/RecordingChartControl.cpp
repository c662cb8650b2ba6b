#include "market/RecordingChartControl.h"

std::vector<ChartCall> RecordingChartControl::callsOf(int id) const
{
    std::vector<ChartCall> out;
    for (const auto& c : m_calls)
        if (c.id == id)
            out.push_back(c);
    return out;
}

bool RecordingChartControl::place(const ChartPoint& a, const ChartPoint& b, int panel)
{
    if (placingTool() < 0)
        return false;
    finishPlacing(a, b, panel);
    return true;
}
