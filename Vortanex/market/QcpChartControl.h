#pragma once
// The chart control on QCustomPlot: panels stacked under one margin group
// with a shared key axis in record numbers, price, line and histogram series,
// indicators, Darvas boxes, drawing tools placed with the mouse, text
// objects, zoom, print and bitmap output. UI thread only.
#include "market/ChartControlBase.h"

#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QWidget>

#include <functional>
#include <memory>
#include <vector>

class QCustomPlot;
class QPrinter;
class QRubberBand;

namespace detail {
class ChartPlotParts;
}

class QcpChartControl : public QWidget, public ChartControlBase {
    Q_OBJECT
public:
    explicit QcpChartControl(QWidget* parent = nullptr);
    ~QcpChartControl() override;

    QWidget* widget() override { return this; }

    // Shows the print dialog for the printer; false when the user cancels.
    // A control takes the process-wide one when it is made: the system's
    // print dialog unless the application installs its own (an empty
    // function restores the system's).
    using PrintDialog = std::function<bool(QPrinter&)>;
    void setPrintDialog(PrintDialog dialog);
    static void setDefaultPrintDialog(PrintDialog dialog);

    // For tests and the sample renderer: the plot, a panel's plot rectangle
    // and the control's pixel of a chart date and value on a panel.
    QCustomPlot* plot() const { return m_plot; }
    QRect panelRect(int panel);
    QPoint pixelOf(int panel, double chartDate, double value);
    // The tick labels the panel's value axis shows now.
    std::vector<std::string> valueLabels(int panel);

protected:
    void changed(unsigned parts, int fromRecord) override;
    void renderChart() override;
    void printChart() override;
    void saveImage(const std::string& path) override;
    void armRubberBand() override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    friend class detail::ChartPlotParts;
    static PrintDialog& defaultPrintDialog();
    void scheduleUpdate();
    void refresh(bool immediate);
    int panelAt(const QPoint& plotPos) const;
    ChartPoint pointAt(int panel, const QPoint& plotPos) const;
    bool mousePress(QMouseEvent* e);
    bool mouseMove(QMouseEvent* e);
    bool mouseRelease(QMouseEvent* e);
    void rightClick(const QPoint& plotPos);

    QCustomPlot* m_plot = nullptr;
    std::unique_ptr<detail::ChartPlotParts> m_parts;
    unsigned m_dirty = kAll;
    int m_dirtyFrom = 0;
    bool m_updateQueued = false;
    PrintDialog m_printDialog;

    // Mouse state.
    enum class Drag { None, Pan, Place, Band };
    Drag m_drag = Drag::None;
    bool m_bandArmed = false;
    QPoint m_pressPos;
    int m_pressFirst = 0, m_pressLast = 0;
    int m_placePanel = -1;
    QRubberBand* m_band = nullptr;
};
