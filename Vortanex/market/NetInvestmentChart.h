#pragma once
// The special reports' chart: the net investment of each reporting day as a
// bar over its label, on QCustomPlot. Purchases (positive) and sales
// (negative) get their own colours around a zero line. It keeps what it draws
// so the dialog's tests can read it, and exports the picture as BMP or PNG.
// UI thread only.
#include <QString>
#include <QWidget>

#include <vector>

class QCustomPlot;

class NetInvestmentChart : public QWidget {
    Q_OBJECT
public:
    struct Point {
        QString label;
        double value = 0;
    };

    explicit NetInvestmentChart(QWidget* parent = nullptr);
    ~NetInvestmentChart() override;

    void clear();
    // Replaces the bars (in order, one per point) and redraws.
    void setPoints(const std::vector<Point>& points);
    const std::vector<Point>& points() const { return m_points; }
    QString axisName() const;
    // The number of bars drawn (tests read what the plot holds, not a copy).
    int barCount() const;

    // Writes the chart as a BMP (".bmp") or PNG picture; false when it could
    // not be written.
    bool exportImage(const QString& path);
    QCustomPlot* plot() const { return m_plot; }

private:
    QCustomPlot* m_plot = nullptr;
    std::vector<Point> m_points;
};
