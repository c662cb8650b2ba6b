#pragma once
// A horizontal price-range gauge of the depth window: a scale from start to
// finish with one major step, two coloured ranges with gradients, tick
// labels and one pointer. It only draws what it is told; the depth window
// decides bounds and pointer (MarketDepthRecord.h). UI thread only.
#include "ui/rgb.h"

#include <QColor>
#include <QFont>
#include <QRectF>
#include <QString>
#include <QWidget>

#include <string>
#include <vector>

class LinearGauge : public QWidget {
    Q_OBJECT
public:
    struct Range {
        double from = 0, to = 0;
        QColor startColour, finishColour;
        int width = 10;
    };

    explicit LinearGauge(QWidget* parent = nullptr);

    void setScale(double start, double finish, double majorStep);
    double start() const { return m_start; }
    double finish() const { return m_finish; }
    double majorStep() const { return m_step; }

    void removeRanges() { m_ranges.clear(); }
    void addRange(const Range& range) { m_ranges.push_back(range); }
    const std::vector<Range>& ranges() const { return m_ranges; }

    // printf format of the tick labels ("%.2f"), or a fixed text for every tick.
    void setLabelFormat(std::string format) { m_labelFormat = std::move(format); m_fixedLabel.clear(); }
    void setFixedLabel(std::string text) { m_fixedLabel = std::move(text); }
    std::string tickLabel(double value) const;
    void setTickMarkSize(int size) { m_tickSize = size; }

    void setPointer(double value) { m_pointer = value; }
    double pointer() const { return m_pointer; }

    // The colours of the look (dark: white text).
    void setColours(QColor pointer, QColor outline, QColor ticks, QColor text);
    QColor textColour() const { return m_text; }

    QSize sizeHint() const override { return {200, 44}; }

    // The tick labels as drawn at the gauge's width, left to right.
    struct TickLabel {
        QString text;
        QRectF area;
    };
    std::vector<TickLabel> tickLabels() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QFont labelFont() const;
    int tickCount() const;

    double m_start = 0, m_finish = 100, m_step = 100, m_pointer = 0;
    std::vector<Range> m_ranges;
    std::string m_labelFormat = "%.2f";
    std::string m_fixedLabel;
    int m_tickSize = 6;
    QColor m_pointerColour{0xFF, 0, 0}, m_outline{0, 0, 0}, m_ticks{0, 0, 0xFF}, m_text{0, 0, 0};
};
