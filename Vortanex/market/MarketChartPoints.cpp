// The market chart's point charts: bubbles, the cluster, the area and the
// levels line, with the mouse's hit test over their points.
#include "market/MarketChart.h"

#include <qcustomplot.h>

#include <algorithm>
#include <cmath>

#include <QFontMetricsF>

namespace market_chart_points_detail {
namespace {

// The scanner's palette, one colour a bubble.
const QColor kBubbleColours[] = {QColor(65, 105, 225), QColor(60, 179, 113), QColor(255, 165, 0),
                                 QColor(220, 20, 60),  QColor(138, 43, 226), QColor(0, 139, 139),
                                 QColor(210, 105, 30), QColor(70, 130, 180)};
// The cluster's theme: its first four series colours, then the palette.
const QColor kClusterColours[] = {QColor("orangered"), QColor("darkgoldenrod"), QColor("darkgreen"),
                                  QColor("indianred"),  QColor(65, 105, 225),    QColor(138, 43, 226)};

void showAxes(QCustomPlot* plot, bool on)
{
    plot->xAxis->setVisible(on);
    plot->yAxis->setVisible(on);
    plot->xAxis->grid()->setVisible(on);
    plot->yAxis->grid()->setVisible(on);
}

} // namespace
} // namespace market_chart_points_detail

void MarketChart::addPointSeries(const Point& p, double pixels)
{
    auto* graph = m_plot->addGraph();
    graph->setName(p.label);
    graph->setLineStyle(QCPGraph::lsNone);
    QColor fill = p.colour.isValid() ? p.colour : QColor(65, 105, 225);
    graph->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssDisc, fill.darker(130), fill, pixels));
    graph->setData(QVector<double>{p.x}, QVector<double>{p.y});
    m_pointPixels.push_back(pixels);
}

void MarketChart::setBubbles(const QString& xAxisName, const std::vector<Point>& bubbles)
{
    clear();
    m_kind = Kind::Bubbles;
    market_chart_points_detail::showAxes(m_plot, true);
    m_plot->xAxis->setLabel(xAxisName);
    m_plot->yAxis->setTickLabels(false);
    m_plot->yAxis->grid()->setVisible(false);
    double largest = 0, minX = 0, maxX = 0;
    for (const Point& b : bubbles)
        largest = std::max(largest, b.size);
    if (!bubbles.empty()) {
        minX = bubbles.front().x;
        maxX = bubbles.front().x;
    }
    // The largest bubble is twice the base; the others by area.
    const double base = 22;
    for (size_t i = 0; i < bubbles.size(); ++i) {
        Point b = bubbles[i];
        if (!b.colour.isValid())
            b.colour = market_chart_points_detail::kBubbleColours[i % std::size(market_chart_points_detail::kBubbleColours)];
        b.colour.setAlpha(153); // the theme's 60 % opacity
        m_points.push_back(b);
        const double pixels = largest > 0 ? 2 * base * std::sqrt(std::max(b.size, 0.0) / largest) : base;
        addPointSeries(b, std::max(pixels, 8.0));
        auto* label = new QCPItemText(m_plot);
        label->position->setCoords(b.x, b.y);
        label->setText(b.label);
        label->setFont(QFont("sans", 9, QFont::Bold));
        minX = std::min(minX, b.x);
        maxX = std::max(maxX, b.x);
    }
    m_plot->xAxis->setRange(minX - 1, maxX + 1);
    m_plot->yAxis->setRange(0, 10);
    m_plot->replot();
}

void MarketChart::setCluster(const std::vector<Point>& points, double largestX)
{
    clear();
    m_kind = Kind::Cluster;
    market_chart_points_detail::showAxes(m_plot, true);
    m_plot->yAxis->setTickLabels(true);
    double minY = 0, maxY = 0;
    for (size_t i = 0; i < points.size(); ++i) {
        Point p = points[i];
        if (!p.colour.isValid())
            p.colour = market_chart_points_detail::kClusterColours[i % std::size(market_chart_points_detail::kClusterColours)];
        m_points.push_back(p);
        addPointSeries(p, 5);
        auto* label = new QCPItemText(m_plot);
        label->position->setCoords(p.x, p.y);
        label->setPositionAlignment(Qt::AlignLeft | Qt::AlignBottom);
        label->setText(p.label);
        label->setFont(QFont("sans", 7));
        label->setColor(p.colour.darker(120));
        label->setClipToAxisRect(true);
        m_clusterLabels.push_back(label);
        minY = std::min(minY, p.y);
        maxY = std::max(maxY, p.y);
    }
    const double xTop = largestX > 0 ? largestX * 1.05 : 1;
    const double yPad = std::max(0.5, (maxY - minY) * 0.1);
    m_plot->xAxis->setRange(0, xTop);
    m_plot->yAxis->setRange(minY - yPad, maxY + yPad);
    // The wheel zooms and a drag scrolls, within the data's extent.
    const double minXSpan = xTop / 100.0;
    const double minYSpan = (maxY - minY + 2 * yPad) / 10.0;
    m_plot->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
    m_zoomContext = new QObject(this);
    connect(m_plot->xAxis, QOverload<const QCPRange&>::of(&QCPAxis::rangeChanged), m_zoomContext,
            [this, xTop, minXSpan](const QCPRange& r) {
                QCPRange c = r;
                if (c.size() < minXSpan)
                    c = QCPRange(c.center() - minXSpan / 2, c.center() + minXSpan / 2);
                if (c.size() > xTop)
                    c = QCPRange(0, xTop);
                if (c.lower < 0)
                    c = QCPRange(0, c.size());
                if (c.upper > xTop)
                    c = QCPRange(xTop - c.size(), xTop);
                if (c != r)
                    m_plot->xAxis->setRange(c);
            });
    connect(m_plot->yAxis, QOverload<const QCPRange&>::of(&QCPAxis::rangeChanged), m_zoomContext,
            [this, minYSpan](const QCPRange& r) {
                if (r.size() < minYSpan)
                    m_plot->yAxis->setRange(r.center() - minYSpan / 2, r.center() + minYSpan / 2);
            });
    // The labels are placed for the axes as the plot has laid them out, on
    // every replot, so a zoom, a scroll and a resize place them again.
    connect(m_plot, &QCustomPlot::afterLayout, m_zoomContext, [this] { placeClusterLabels(); });
    m_plot->replot();
}

QRectF MarketChart::plotArea() const
{
    return QRectF(m_plot->axisRect()->rect());
}

std::vector<QRectF> MarketChart::clusterLabelAreas() const
{
    std::vector<QRectF> out;
    for (QCPItemText* label : m_clusterLabels) {
        if (!label->visible()) {
            out.emplace_back();
            continue;
        }
        const QFontMetricsF fm(label->font());
        const QSizeF size(fm.horizontalAdvance(label->text()), fm.height());
        const QPointF at = label->position->pixelPosition();
        const Qt::Alignment a = label->positionAlignment();
        const double x = (a & Qt::AlignRight) ? at.x() - size.width() : at.x();
        const double y = (a & Qt::AlignTop) ? at.y() : at.y() - size.height();
        out.emplace_back(QPointF(x, y), size);
    }
    return out;
}

void MarketChart::placeClusterLabels()
{
    // Each label beside its point, turned to the point's other side where
    // the plot's edge would cut it; a label that would still be cut, or would
    // cover a label placed before it, is left out (its point keeps its hover
    // and status line). Points are taken from the largest change outwards, so
    // the stocks that moved most keep their labels.
    if (m_kind != Kind::Cluster || m_clusterLabels.empty())
        return;
    const QRectF area = plotArea();
    std::vector<size_t> order(m_clusterLabels.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::stable_sort(order.begin(), order.end(), [this](size_t a, size_t b) {
        return std::abs(m_points[a].y) > std::abs(m_points[b].y);
    });
    std::vector<QRectF> placed;
    constexpr double kGap = 2;
    for (size_t i : order) {
        QCPItemText* label = m_clusterLabels[i];
        const QFontMetricsF fm(label->font());
        const QSizeF size(fm.horizontalAdvance(label->text()), fm.height());
        const QPointF at(m_plot->xAxis->coordToPixel(m_points[i].x), m_plot->yAxis->coordToPixel(m_points[i].y));
        bool shown = false;
        for (const Qt::Alignment side : {Qt::AlignLeft | Qt::AlignBottom, Qt::AlignRight | Qt::AlignBottom,
                                         Qt::AlignLeft | Qt::AlignTop, Qt::AlignRight | Qt::AlignTop}) {
            const double x = (side & Qt::AlignRight) ? at.x() - size.width() : at.x();
            const double y = (side & Qt::AlignTop) ? at.y() : at.y() - size.height();
            const QRectF r(QPointF(x, y), size);
            if (!area.contains(r))
                continue;
            const QRectF spaced = r.adjusted(-kGap, -kGap, kGap, kGap);
            if (std::any_of(placed.begin(), placed.end(), [&](const QRectF& o) { return o.intersects(spaced); }))
                continue;
            label->setPositionAlignment(side);
            placed.push_back(r);
            shown = true;
            break;
        }
        label->setVisible(shown);
    }
}

void MarketChart::setArea(const QString& yAxisName, const std::vector<QString>& labels,
                          const std::vector<double>& values)
{
    clear();
    m_kind = Kind::Area;
    market_chart_points_detail::showAxes(m_plot, true);
    m_plot->yAxis->setTickLabels(true);
    m_plot->yAxis->setLabel(yAxisName);
    m_area = values;
    QSharedPointer<QCPAxisTickerText> ticker(new QCPAxisTickerText);
    for (size_t i = 0; i < labels.size(); ++i)
        ticker->addTick(static_cast<double>(i), labels[i]);
    m_plot->xAxis->setTicker(ticker);
    auto* graph = m_plot->addGraph();
    graph->setName("Indices");
    QColor c(70, 110, 200);
    graph->setPen(QPen(c, 2));
    c.setAlpha(102); // the theme's 40 % opacity
    graph->setBrush(c);
    setPointValue(-1, 0); // draws the values
}

void MarketChart::setPointValue(int index, double value)
{
    if (m_kind != Kind::Area || m_plot->graphCount() == 0)
        return;
    if (index >= 0 && static_cast<size_t>(index) < m_area.size())
        m_area[static_cast<size_t>(index)] = value;
    QVector<double> keys, values;
    double lo = 0, hi = 0;
    for (size_t i = 0; i < m_area.size(); ++i) {
        keys << static_cast<double>(i);
        values << m_area[i];
        lo = std::min(lo, m_area[i]);
        hi = std::max(hi, m_area[i]);
    }
    m_plot->graph(0)->setData(keys, values);
    const double pad = std::max(0.5, (hi - lo) * 0.15);
    m_plot->xAxis->setRange(0, std::max<double>(1, static_cast<double>(m_area.size()) - 1));
    m_plot->yAxis->setRange(lo - pad, hi + pad);
    m_plot->replot();
}

void MarketChart::setLevels(const QString& title, const std::vector<QString>& labels, const std::vector<Point>& points)
{
    clear();
    m_kind = Kind::Levels;
    setTitle(title);
    market_chart_points_detail::showAxes(m_plot, true);
    m_plot->yAxis->setTickLabels(true);
    QSharedPointer<QCPAxisTickerText> ticker(new QCPAxisTickerText);
    for (size_t i = 0; i < labels.size(); ++i)
        ticker->addTick(static_cast<double>(i + 1), labels[i]);
    m_plot->xAxis->setTicker(ticker);
    auto* line = m_plot->addGraph();
    line->setName("S");
    line->setPen(QPen(QColor(70, 110, 200), 2));
    QVector<double> keys, values;
    double lo = 0, hi = 0;
    for (size_t i = 0; i < points.size(); ++i) {
        keys << static_cast<double>(i + 1);
        values << points[i].y;
        lo = i == 0 ? points[i].y : std::min(lo, points[i].y);
        hi = i == 0 ? points[i].y : std::max(hi, points[i].y);
    }
    line->setData(keys, values);
    auto* resistance = m_plot->addGraph();
    resistance->setName("R");
    resistance->setPen(QPen(Qt::red, 2));
    for (size_t i = 0; i < points.size(); ++i) {
        Point p = points[i];
        p.x = static_cast<double>(i + 1);
        m_points.push_back(p);
        addPointSeries(p, 7);
        auto* label = new QCPItemText(m_plot);
        label->position->setCoords(p.x, p.y);
        label->setPositionAlignment(Qt::AlignLeft | Qt::AlignBottom);
        label->setRotation(-45);
        label->setText(p.label.isEmpty() ? QString::number(p.y, 'f', 2) : p.label);
    }
    // Room above the highest point for its slanted label.
    const double pad = std::max(1.0, (hi - lo) * 0.2);
    m_plot->xAxis->setRange(0.5, static_cast<double>(points.size()) + 0.5);
    m_plot->yAxis->setRange(lo - pad, hi + 3 * pad);
    m_plot->replot();
}

QPointF MarketChart::pixelOf(int index) const
{
    if (index < 0 || static_cast<size_t>(index) >= m_points.size())
        return {};
    const Point& p = m_points[static_cast<size_t>(index)];
    return {m_plot->xAxis->coordToPixel(p.x), m_plot->yAxis->coordToPixel(p.y)};
}

int MarketChart::pointAt(const QPointF& pixel) const
{
    int best = -1;
    double bestDistance = 0;
    for (size_t i = 0; i < m_points.size(); ++i) {
        const QPointF at = pixelOf(static_cast<int>(i));
        const double d = std::hypot(at.x() - pixel.x(), at.y() - pixel.y());
        // Small markers get a few pixels of slack.
        const double reach = std::max(m_pointPixels[i] / 2, 5.0);
        if (d <= reach && (best < 0 || d < bestDistance)) {
            best = static_cast<int>(i);
            bestDistance = d;
        }
    }
    return best;
}

void MarketChart::onMouseMove(QMouseEvent* event)
{
    const int at = pointAt(event->position());
    m_plot->setCursor(at >= 0 ? Qt::PointingHandCursor : Qt::ArrowCursor);
    if (at != m_hovered) {
        m_hovered = at;
        emit pointHovered(at);
    }
}

void MarketChart::onMouseRelease(QMouseEvent* event)
{
    const int at = pointAt(event->position());
    if (at >= 0)
        emit pointReleased(at, event->button());
}
