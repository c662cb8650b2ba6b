#include "market/MarketChart.h"

#include <qcustomplot.h>

#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace market_chart_detail {
namespace {

const QColor kColours[] = {QColor(0, 150, 0), QColor(220, 40, 40), QColor(70, 110, 200), QColor(230, 160, 0),
                           QColor(130, 60, 160), QColor(0, 150, 160)};

QColor colourAt(size_t i) { return kColours[i % (sizeof kColours / sizeof kColours[0])]; }

// Up, down and neutral keep their colours whichever of them are present.
QColor colourFor(const QString& name, size_t i)
{
    if (name == "UP")
        return kColours[0];
    if (name == "DOWN")
        return kColours[1];
    if (name == "NEUTRAL")
        return kColours[2];
    return colourAt(i);
}

// Shared by the pie and the pyramid: a plottable that draws in the axis
// rect's pixels and needs no axes of its own.
class ShapePlottable : public QCPAbstractPlottable {
public:
    ShapePlottable(QCPAxis* key, QCPAxis* value, std::vector<MarketChart::Slice> parts)
        : QCPAbstractPlottable(key, value), m_parts(std::move(parts))
    {
    }
    double selectTest(const QPointF&, bool, QVariant* = nullptr) const override { return -1; }
    QCPRange getKeyRange(bool& found, QCP::SignDomain = QCP::sdBoth) const override
    {
        found = true;
        return QCPRange(0, 1);
    }
    QCPRange getValueRange(bool& found, QCP::SignDomain = QCP::sdBoth, const QCPRange& = QCPRange()) const override
    {
        found = true;
        return QCPRange(0, 1);
    }

protected:
    void drawLegendIcon(QCPPainter* painter, const QRectF& rect) const override
    {
        painter->setBrush(colourAt(0));
        painter->drawRect(rect);
    }
    QRectF area() const
    {
        const QRect r = mKeyAxis ? mKeyAxis->axisRect()->rect() : QRect();
        return QRectF(r).adjusted(10, 10, -10, -10);
    }
    double total() const
    {
        double t = 0;
        for (const auto& p : m_parts)
            t += p.value;
        return t;
    }
    std::vector<MarketChart::Slice> m_parts;
};

class PiePlottable final : public ShapePlottable {
public:
    PiePlottable(QCPAxis* key, QCPAxis* value, std::vector<MarketChart::Slice> parts, int rotation)
        : ShapePlottable(key, value, std::move(parts)), m_rotation(rotation)
    {
    }

protected:
    void draw(QCPPainter* painter) override
    {
        const double sum = total();
        if (sum <= 0)
            return;
        const QRectF a = area();
        const double side = std::min(a.width(), a.height());
        const QRectF circle(a.center().x() - side / 2, a.center().y() - side / 2, side, side);
        painter->setRenderHint(QPainter::Antialiasing);
        double start = 90.0 + m_rotation; // degrees, counter-clockwise from three o'clock
        for (size_t i = 0; i < m_parts.size(); ++i) {
            const double span = 360.0 * m_parts[i].value / sum;
            QRadialGradient g(circle.center(), side / 2);
            const QColor c = colourFor(m_parts[i].name, i);
            g.setColorAt(0, c.lighter(150));
            g.setColorAt(1, c);
            painter->setBrush(g);
            painter->setPen(m_parts.size() > 1 ? QPen(Qt::white, 1) : QPen(Qt::NoPen));
            painter->drawPie(circle, static_cast<int>(start * 16), static_cast<int>(span * 16));
            // The data label sits half way out along the slice's middle.
            const double mid = (start + span / 2) * M_PI / 180.0;
            const QPointF at(circle.center().x() + std::cos(mid) * side / 3,
                             circle.center().y() - std::sin(mid) * side / 3);
            painter->setPen(Qt::black);
            const QString text = QString("%1: %2").arg(m_parts[i].name).arg(m_parts[i].value, 0, 'f', 2);
            painter->drawText(QRectF(at.x() - 60, at.y() - 10, 120, 20), Qt::AlignCenter, text);
            start += span;
        }
    }

private:
    int m_rotation = 0;
};

class PyramidPlottable final : public ShapePlottable {
public:
    using ShapePlottable::ShapePlottable;

protected:
    void draw(QCPPainter* painter) override
    {
        const double sum = total();
        if (sum <= 0)
            return;
        const QRectF a = area();
        painter->setRenderHint(QPainter::Antialiasing);
        // Largest layer at the base; each layer's height by its share, with
        // a gap of 5 pixels between layers.
        std::vector<MarketChart::Slice> layers = m_parts;
        std::stable_sort(layers.begin(), layers.end(), [](const auto& x, const auto& y) { return x.value < y.value; });
        const double gap = 5;
        const double usable = a.height() - gap * static_cast<double>(layers.size() - 1);
        const auto halfWidthAt = [&a](double y) { return (y - a.top()) / a.height() * a.width() / 2; };
        double top = a.top();
        for (size_t i = 0; i < layers.size(); ++i) {
            const double h = usable * layers[i].value / sum;
            const double bottom = top + h;
            QPolygonF shape;
            shape << QPointF(a.center().x() - halfWidthAt(top), top) << QPointF(a.center().x() + halfWidthAt(top), top)
                  << QPointF(a.center().x() + halfWidthAt(bottom), bottom)
                  << QPointF(a.center().x() - halfWidthAt(bottom), bottom);
            painter->setBrush(colourFor(layers[i].name, i));
            painter->setPen(QPen(Qt::white, 1));
            painter->drawPolygon(shape);
            painter->setPen(Qt::black);
            painter->drawText(QRectF(a.left(), top, a.width(), h), Qt::AlignCenter,
                              QString("%1: %2").arg(layers[i].name).arg(layers[i].value, 0, 'f', 2));
            top = bottom + gap;
        }
    }
};

} // namespace
} // namespace market_chart_detail

MarketChart::MarketChart(QWidget* parent) : QWidget(parent), m_plot(new QCustomPlot(this))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_plot);
    m_plot->plotLayout()->insertRow(0);
    m_plot->plotLayout()->addElement(0, 0, new QCPTextElement(m_plot, QString(), QFont("sans", 10, QFont::Bold)));
    m_plot->setMouseTracking(true);
    connect(m_plot, &QCustomPlot::mouseMove, this, &MarketChart::onMouseMove);
    connect(m_plot, &QCustomPlot::mouseRelease, this, &MarketChart::onMouseRelease);
    clear();
}

MarketChart::~MarketChart() = default;

void MarketChart::setTitle(const QString& title)
{
    m_title = title;
    if (auto* t = qobject_cast<QCPTextElement*>(m_plot->plotLayout()->element(0, 0)))
        t->setText(title);
}

void MarketChart::clear()
{
    m_plot->clearPlottables();
    m_plot->legend->setVisible(false);
    m_kind = Kind::None;
    m_slices.clear();
    m_categories.clear();
    m_bars.clear();
    m_points.clear();
    m_pointPixels.clear();
    m_area.clear();
    m_hovered = -1;
    m_plot->clearItems();
    m_clusterLabels.clear();
    m_plot->setInteractions(QCP::Interactions());
    delete m_zoomContext;
    m_zoomContext = nullptr;
    m_plot->yAxis->setTickLabels(true);
    m_plot->xAxis->setLabel(QString());
    m_plot->yAxis->setLabel(QString());
    m_plot->xAxis->setTickLabelRotation(0);
    m_rotation = 0;
    setTitle(QString());
    m_plot->xAxis->setTicker(QSharedPointer<QCPAxisTicker>(new QCPAxisTicker));
    m_plot->replot();
}

void MarketChart::setPie(const QString& title, const std::vector<Slice>& slices, int rotation)
{
    clear();
    m_kind = Kind::Pie;
    setTitle(title);
    for (const Slice& s : slices)
        if (s.value > 0)
            m_slices.push_back(s);
    m_rotation = rotation;
    m_plot->xAxis->setVisible(false);
    m_plot->yAxis->setVisible(false);
    new market_chart_detail::PiePlottable(m_plot->xAxis, m_plot->yAxis, m_slices, rotation);
    m_plot->replot();
}

void MarketChart::setStackedBars(const QString& title, const std::vector<QString>& categories,
                                 const std::vector<BarSeries>& series)
{
    clear();
    m_kind = Kind::StackedBars;
    setTitle(title);
    m_categories = categories;
    m_bars = series;
    m_plot->xAxis->setVisible(true);
    m_plot->yAxis->setVisible(true);
    QSharedPointer<QCPAxisTickerText> ticker(new QCPAxisTickerText);
    QVector<double> keys;
    for (size_t i = 0; i < categories.size(); ++i) {
        ticker->addTick(static_cast<double>(i + 1), categories[i]);
        keys << static_cast<double>(i + 1);
    }
    m_plot->xAxis->setTicker(ticker);
    m_plot->xAxis->setTickLabelRotation(30);
    QCPBars* below = nullptr;
    double top = 0;
    std::vector<double> heights(categories.size(), 0.0);
    for (size_t s = 0; s < series.size(); ++s) {
        auto* bars = new QCPBars(m_plot->xAxis, m_plot->yAxis);
        bars->setName(series[s].name);
        QColor c = market_chart_detail::colourFor(series[s].name, s);
        c.setAlpha(230); // the theme's 90 % opacity
        bars->setBrush(c);
        bars->setPen(QPen(c.darker(120)));
        bars->setWidth(0.6);
        QVector<double> values;
        for (size_t i = 0; i < categories.size(); ++i) {
            const double v = i < series[s].values.size() ? series[s].values[i] : 0.0;
            values << v;
            heights[i] += v;
        }
        bars->setData(keys, values);
        if (below)
            bars->moveAbove(below);
        below = bars;
    }
    for (double h : heights)
        top = std::max(top, h);
    m_plot->xAxis->setRange(0, static_cast<double>(categories.size()) + 1);
    m_plot->yAxis->setRange(0, top > 0 ? top * 1.1 : 1);
    m_plot->xAxis->grid()->setVisible(false);
    m_plot->legend->setVisible(!series.empty());
    m_plot->axisRect()->insetLayout()->setInsetAlignment(0, Qt::AlignTop | Qt::AlignRight);
    m_plot->replot();
}

void MarketChart::setPyramid(const QString& title, const std::vector<Slice>& layers)
{
    clear();
    m_kind = Kind::Pyramid;
    setTitle(title);
    for (const Slice& s : layers)
        if (s.value > 0)
            m_slices.push_back(s);
    m_plot->xAxis->setVisible(false);
    m_plot->yAxis->setVisible(false);
    new market_chart_detail::PyramidPlottable(m_plot->xAxis, m_plot->yAxis, m_slices);
    m_plot->replot();
}

bool MarketChart::legendVisible() const { return m_plot->legend->visible(); }

bool MarketChart::exportImage(const QString& path)
{
    // A chart that was never laid out still exports at a readable size.
    const int w = std::max(m_plot->width(), 300);
    const int h = std::max(m_plot->height(), 300);
    if (path.endsWith(".bmp", Qt::CaseInsensitive))
        return m_plot->saveBmp(path, w, h);
    return m_plot->savePng(path, w, h);
}
