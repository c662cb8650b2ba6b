#include "market/QcpChartControl.h"

#include "market/ChartIndicators.h"

#include "app/base/LogWriter.h"
#include "app/base/MessageBox.h"
#include "frame/PrintSetup.h"

#include "ui/prompter.h"
#include "ui/qt_prompter.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPrinter>
#include <QRubberBand>
#include <QResizeEvent>
#include <QWheelEvent>

#include <qcustomplot.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cmath>
#include <limits>
#include <map>

namespace detail {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

QColor colourOf(int bgr)
{
    return QColor(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF);
}

std::string lowerText(std::string s)
{
    for (char& c : s)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::pair<std::string, std::string> splitName(const std::string& name)
{
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos)
        return {name, ""};
    return {name.substr(0, dot), lowerText(name.substr(dot + 1))};
}

// Prices and volumes as a trader reads them: no exponents, few decimals.
QString plainNumber(double v)
{
    const double a = std::fabs(v);
    if (a >= 1e6)
        return QString::number(v / 1e6, 'f', a >= 1e8 ? 0 : 1) + "M";
    int decimals = a >= 100 ? 0 : a >= 1 ? 2 : 4;
    QString text = QString::number(v, 'f', decimals);
    if (text.contains('.')) {
        while (text.endsWith('0'))
            text.chop(1);
        if (text.endsWith('.'))
            text.chop(1);
    }
    return text == "-0" ? QString("0") : text;
}

} // namespace

// The key axis counts records; its labels are the records' dates.
class RecordTicker : public QCPAxisTicker {
public:
    explicit RecordTicker(const ChartControlBase& chart)
        : m_chart(chart)
    {
    }

protected:
    QVector<double> createTickVector(double tickStep, const QCPRange& range) override
    {
        QVector<double> ticks;
        const int n = m_chart.records().count();
        const double step = std::max(1.0, std::round(tickStep));
        for (double t = std::ceil(std::max(range.lower, 1.0) / step) * step; t <= range.upper && t <= n; t += step)
            ticks.push_back(t);
        return ticks;
    }
    QString getTickLabel(double tick, const QLocale&, QChar, int) override
    {
        const int r = int(std::llround(tick)) - 1;
        if (r < 0 || r >= m_chart.records().count())
            return {};
        const ChartDateFields f = ChartDateSplit(m_chart.records().date(r));
        const int interval = m_chart.settings().barInterval;
        if (interval > 0 && interval < 86400)
            return QString::asprintf("%02d:%02d", f.hour, f.minute);
        return QString::asprintf("%02d/%02d/%02d", f.day, f.month, f.year % 100);
    }

private:
    const ChartControlBase& m_chart;
};

// Value ticks: nice linear steps, or on a semi-log scale the powers of ten
// with their 2 and 5 multiples when the range is narrow enough to hold them.
class PriceTicker : public QCPAxisTicker {
public:
    bool log = false;
    int decimals = -1; // the instrument's decimals on a price panel; -1 plain numbers

protected:
    QVector<double> createTickVector(double tickStep, const QCPRange& range) override
    {
        if (!log || range.lower <= 0)
            return QCPAxisTicker::createTickVector(tickStep, range);
        const double lower = range.lower, upper = range.upper;
        if (upper / lower < 4)
            return QCPAxisTicker::createTickVector(QCPAxisTicker::getTickStep(range), range);
        static const double dense[] = {1, 2, 5};
        static const double sparse[] = {1};
        const bool wide = upper / lower > 200;
        QVector<double> ticks;
        for (int k = int(std::floor(std::log10(lower))); k <= int(std::ceil(std::log10(upper))); ++k) {
            const double p = std::pow(10.0, k);
            for (double m : wide ? std::vector<double>(std::begin(sparse), std::end(sparse))
                                 : std::vector<double>(std::begin(dense), std::end(dense))) {
                const double t = m * p;
                if (t >= lower && t <= upper)
                    ticks.push_back(t);
            }
        }
        return ticks;
    }
    QString getTickLabel(double tick, const QLocale&, QChar, int) override
    {
        // A price reads with its instrument's decimals, as the book and the
        // watch show it: 817.5 is "817.50", never a rounded "818".
        if (log || decimals < 0 || std::fabs(tick) >= 1e6)
            return plainNumber(tick);
        const QString text = QString::number(tick, 'f', decimals);
        return text.toDouble() == 0 ? QString::number(0.0, 'f', decimals) : text;
    }
};

// High-low-close bars: a vertical high-low line with the close to the right,
// and no open tick.
class HlcBars : public QCPFinancial {
public:
    using QCPFinancial::QCPFinancial;

protected:
    void draw(QCPPainter* painter) override
    {
        QCPAxis* keyAxis = mKeyAxis.data();
        QCPAxis* valueAxis = mValueAxis.data();
        if (!keyAxis || !valueAxis || mDataContainer->isEmpty())
            return;
        QCPFinancialDataContainer::const_iterator begin, end;
        getVisibleDataBounds(begin, end);
        double previous = begin != mDataContainer->constBegin() ? (begin - 1)->close : kNaN;
        applyDefaultAntialiasingHint(painter);
        for (auto it = begin; it != end; ++it) {
            const bool up = std::isnan(previous) ? it->close >= it->open : it->close >= previous;
            previous = it->close;
            painter->setPen(up ? mPenPositive : mPenNegative);
            const double x = keyAxis->coordToPixel(it->key);
            const double tick = std::max(2.0, keyAxis->coordToPixel(it->key + mWidth / 2) - x);
            const double yc = valueAxis->coordToPixel(it->close);
            painter->drawLine(QLineF(x, valueAxis->coordToPixel(it->high), x, valueAxis->coordToPixel(it->low)));
            painter->drawLine(QLineF(x, yc, x + tick, yc));
        }
    }
};

class ChartPlotParts;

// Draws a panel's text objects, drawing objects and Darvas boxes; the
// background one draws the watermark under the series.
class PanelOverlay : public QCPLayerable {
public:
    PanelOverlay(ChartPlotParts& parts, int panel, bool background);

protected:
    void applyDefaultAntialiasingHint(QCPPainter* painter) const override
    {
        applyAntialiasingHint(painter, true, QCP::aeItems);
    }
    QRect clipRect() const override;
    void draw(QCPPainter* painter) override;

private:
    ChartPlotParts& m_parts;
    int m_panel;
    bool m_background;
};

struct TextSpot {
    QRectF rect;
    std::string key;
};

// The QCustomPlot side of the control: axis rects, plottables and overlays,
// rebuilt when the chart's structure changes and updated in place when only
// values or the window change.
class ChartPlotParts {
public:
    explicit ChartPlotParts(QcpChartControl& chart)
        : c(chart)
        , keyTicker(new RecordTicker(chart))
        , priceTicker(new PriceTicker)
    {
    }

    struct Panel {
        QCPAxisRect* rect = nullptr;
        QCPAxis* key = nullptr;
        QCPAxis* value = nullptr;
        PanelOverlay* back = nullptr;
        PanelOverlay* front = nullptr;
        std::vector<TextSpot> texts;
    };
    struct Item {
        size_t series = 0; // the close (or only) series, in the chart's list
        int style = kStyleLine;
        int panel = 0;
        int open = -1, high = -1, low = -1, close = -1;
        std::string name;
        QCPGraph* graph = nullptr;
        QCPBars* bars = nullptr;
        QCPFinancial* fin = nullptr;
    };

    QcpChartControl& c;
    QSharedPointer<RecordTicker> keyTicker;
    QSharedPointer<PriceTicker> priceTicker;
    QCPMarginGroup* margins = nullptr;
    std::vector<Panel> panels;
    std::vector<Item> items;
    std::vector<QCPAbstractPlottable*> indicatorPlots;
    std::map<QCPAbstractPlottable*, std::pair<int, std::string>> hits;
    int appliedAlign = 0;
    bool previewActive = false;
    ChartObjectDef preview;

    QCustomPlot& plot() { return *c.m_plot; }
    const ChartRecords& records() const { return c.m_records; }

    void rebuild()
    {
        for (auto& p : panels) {
            delete p.back;
            delete p.front;
        }
        panels.clear();
        items.clear();
        plot().clearPlottables();
        plot().clearItems();
        indicatorPlots.clear();
        hits.clear();
        plot().plotLayout()->clear();
        delete margins;
        margins = new QCPMarginGroup(&plot());
        appliedAlign = c.m_settings.align;
        const int count = int(c.m_panels.size());
        for (int p = 0; p < count; ++p) {
            Panel panel;
            panel.rect = new QCPAxisRect(&plot(), true);
            plot().plotLayout()->addElement(p, 0, panel.rect);
            panel.rect->setMarginGroup(QCP::msLeft | QCP::msRight, margins);
            panel.rect->setRangeDrag(Qt::Orientations());
            panel.rect->setRangeZoom(Qt::Orientations());
            panel.rect->setMinimumMargins(QMargins(4, 4, 4, 4));
            panel.key = panel.rect->axis(QCPAxis::atBottom);
            panel.key->setTicker(keyTicker);
            QCPAxis* left = panel.rect->axis(QCPAxis::atLeft);
            QCPAxis* right = panel.rect->axis(QCPAxis::atRight);
            panel.value = appliedAlign == 1 ? left : right;
            (appliedAlign == 1 ? right : left)->setVisible(false);
            panel.value->setVisible(true);
            panel.value->setTicker(p == 0 ? QSharedPointer<QCPAxisTicker>(priceTicker)
                                          : QSharedPointer<QCPAxisTicker>(new PriceTicker));
            panel.back = new PanelOverlay(*this, p, true);
            panel.front = new PanelOverlay(*this, p, false);
            panels.push_back(panel);
        }
        for (int p = 0; p < count; ++p)
            plot().plotLayout()->setRowStretchFactor(p, std::max(1, c.m_panels[size_t(p)]));

        // Open, high, low and close series of one name on one panel make one
        // price plottable; every other series is its own.
        for (const auto& d : c.m_series) {
            if (size_t(d.panel) >= panels.size())
                continue;
            const auto [stem, part] = splitName(d.name);
            const bool ohlc = d.style == kStyleHlcBars || d.style == kStyleCandles || d.style == kStyleOhlcBars;
            Item* item = nullptr;
            if (ohlc)
                for (auto& it : items)
                    if (it.fin && it.panel == d.panel && it.style == d.style && splitName(it.name).first == stem)
                        item = &it;
            if (!item) {
                items.push_back({});
                item = &items.back();
                item->style = d.style;
                item->panel = d.panel;
                item->name = d.name;
                item->series = size_t(&d - c.m_series.data());
                const Panel& pn = panels[size_t(d.panel)];
                if (d.style == kStyleLine)
                    item->graph = new QCPGraph(pn.key, pn.value);
                else if (d.style == kStyleHistogram)
                    item->bars = new QCPBars(pn.key, pn.value);
                else if (d.style == kStyleHlcBars)
                    item->fin = new HlcBars(pn.key, pn.value);
                else {
                    item->fin = new QCPFinancial(pn.key, pn.value);
                    item->fin->setChartStyle(d.style == kStyleCandles ? QCPFinancial::csCandlestick
                                                                      : QCPFinancial::csOhlc);
                }
                if (item->fin)
                    item->fin->setTwoColored(true);
            }
            if (!ohlc || part == "close" || (part != "open" && part != "high" && part != "low")) {
                item->close = d.column;
                item->series = size_t(&d - c.m_series.data());
                item->name = d.name;
            } else if (part == "open")
                item->open = d.column;
            else if (part == "high")
                item->high = d.column;
            else
                item->low = d.column;
        }
        for (auto& it : items) {
            QCPAbstractPlottable* p = it.graph ? static_cast<QCPAbstractPlottable*>(it.graph)
                                      : it.bars ? static_cast<QCPAbstractPlottable*>(it.bars)
                                                : static_cast<QCPAbstractPlottable*>(it.fin);
            hits[p] = {ChartControlBase::hitTypeOfStyle(it.style), it.name};
        }
        syncData(0);
        rebuildIndicators();
        applyLook();
    }

    void syncData(int from)
    {
        const int n = records().count();
        from = std::clamp(from, 0, n);
        const double cut = from + 0.5;
        for (auto& it : items) {
            const std::vector<double>& close = records().column(it.close);
            if (close.empty() && n > 0)
                continue;
            if (it.graph) {
                it.graph->data()->removeAfter(cut);
                QVector<QCPGraphData> add;
                for (int r = from; r < n; ++r)
                    if (std::isfinite(close[size_t(r)]))
                        add.push_back(QCPGraphData(r + 1, close[size_t(r)]));
                it.graph->data()->add(add, true);
            } else if (it.bars) {
                it.bars->data()->removeAfter(cut);
                QVector<QCPBarsData> add;
                for (int r = from; r < n; ++r)
                    if (std::isfinite(close[size_t(r)]))
                        add.push_back(QCPBarsData(r + 1, close[size_t(r)]));
                it.bars->data()->add(add, true);
            } else if (it.fin) {
                it.fin->data()->removeAfter(cut);
                QVector<QCPFinancialData> add;
                for (int r = from; r < n; ++r) {
                    const double cl = close[size_t(r)];
                    if (!std::isfinite(cl))
                        continue;
                    double o = records().value(it.open, r);
                    double h = records().value(it.high, r);
                    double l = records().value(it.low, r);
                    if (!std::isfinite(o))
                        o = cl;
                    if (!std::isfinite(h))
                        h = std::max(o, cl);
                    if (!std::isfinite(l))
                        l = std::min(o, cl);
                    add.push_back(QCPFinancialData(r + 1, o, h, l, cl));
                }
                it.fin->data()->add(add, true);
            }
        }
    }

    PriceBars priceBars() const
    {
        const auto cols = c.priceColumns();
        PriceBars b;
        b.close = records().column(cols.close);
        b.open = records().column(cols.open);
        b.high = records().column(cols.high);
        b.low = records().column(cols.low);
        b.volume = records().column(cols.volume);
        return b;
    }

    void rebuildIndicators()
    {
        for (QCPAbstractPlottable* p : indicatorPlots) {
            hits.erase(p);
            plot().removePlottable(p);
        }
        indicatorPlots.clear();
        if (c.m_indicators.empty())
            return;
        static const int palette[] = {0x00D7FF, 0xFF90E0, 0x60FFFF, 0xFFFF60, 0x80C0FF, 0xC0FF80};
        const PriceBars bars = priceBars();
        int colourIndex = 0;
        for (const auto& ind : c.m_indicators) {
            if (size_t(ind.panel) >= panels.size())
                continue;
            const Panel& pn = panels[size_t(ind.panel)];
            for (const auto& line : ComputeIndicator(ind.type, bars)) {
                const QColor colour = colourOf(palette[colourIndex++ % 6]);
                QCPAbstractPlottable* plottable = nullptr;
                if (line.bars) {
                    auto* b = new QCPBars(pn.key, pn.value);
                    QVector<QCPBarsData> data;
                    for (size_t r = 0; r < line.values.size(); ++r)
                        if (std::isfinite(line.values[r]))
                            data.push_back(QCPBarsData(double(r + 1), line.values[r]));
                    b->data()->set(data, true);
                    b->setPen(QPen(colour));
                    b->setBrush(colour);
                    b->setWidth(0.6);
                    plottable = b;
                } else {
                    auto* g = new QCPGraph(pn.key, pn.value);
                    QVector<QCPGraphData> data;
                    for (size_t r = 0; r < line.values.size(); ++r)
                        data.push_back(QCPGraphData(double(r + 1), line.values[r]));
                    g->data()->set(data, true);
                    g->setPen(QPen(colour, 1.5));
                    plottable = g;
                }
                indicatorPlots.push_back(plottable);
                hits[plottable] = {kHitIndicator, ind.key};
            }
        }
    }

    void applyLook()
    {
        const ChartSettings& s = c.m_settings;
        if (s.align != appliedAlign) {
            rebuild();
            return;
        }
        plot().setBackground(QBrush(colourOf(s.back)));
        const QColor fore = colourOf(s.fore);
        const QPen gridPen(colourOf(s.grid), 0, Qt::DotLine);
        const double candle = s.candleWidth >= 10 ? 0.85 : 0.55;
        for (size_t p = 0; p < panels.size(); ++p) {
            Panel& pn = panels[p];
            if (s.gradientTop >= 0 || s.gradientBottom >= 0) {
                QLinearGradient g(0, 0, 0, 1);
                g.setCoordinateMode(QGradient::ObjectBoundingMode);
                g.setColorAt(0, colourOf(s.gradientTop >= 0 ? s.gradientTop : s.back));
                g.setColorAt(1, colourOf(s.gradientBottom >= 0 ? s.gradientBottom : s.back));
                pn.rect->setBackground(QBrush(g));
            } else {
                pn.rect->setBackground(Qt::NoBrush);
            }
            for (QCPAxis* axis : pn.rect->axes()) {
                axis->setBasePen(QPen(fore));
                axis->setTickPen(QPen(fore));
                axis->setSubTickPen(QPen(fore));
                axis->setTickLabelColor(fore);
                axis->setLabelColor(fore);
                axis->grid()->setPen(gridPen);
                axis->grid()->setZeroLinePen(gridPen);
            }
            pn.key->grid()->setVisible(s.xGrid);
            pn.value->grid()->setVisible(s.yGrid);
            pn.key->setTickLabels(p + 1 == panels.size());
            pn.key->setSubTicks(false);
            pn.value->setSubTicks(false);
            // Separators: the top edge of every panel under the first.
            QCPAxis* top = pn.rect->axis(QCPAxis::atTop);
            top->setVisible(p > 0 && s.separators);
            top->setTicks(false);
            top->setTickLabels(false);
            top->setBasePen(QPen(colourOf(s.separatorColour), 2));
            bool volume = false;
            for (const auto& d : c.m_series) {
                const std::string part = splitName(d.name).second;
                volume = volume || (d.panel == int(p) && (part == "vol" || part == "volume"));
            }
            pn.value->setLabel(volume ? QString::fromStdString(s.volumeUnit) : QString());
        }
        for (auto& it : items) {
            const ChartSeriesDef& d = c.m_series[it.series];
            const QColor up = colourOf(d.up >= 0 ? d.up : s.up);
            const QColor down = colourOf(d.down >= 0 ? d.down : s.down);
            const QColor own = d.colour >= 0 ? colourOf(d.colour) : up;
            if (it.graph)
                it.graph->setPen(QPen(own, std::max(1, d.width)));
            if (it.bars) {
                it.bars->setPen(QPen(own));
                it.bars->setBrush(own);
                it.bars->setWidth(std::clamp(0.2 * d.width + 0.2, 0.3, 0.9));
            }
            if (it.fin) {
                it.fin->setWidth(candle);
                it.fin->setPenPositive(QPen(up, std::max(1, d.width)));
                it.fin->setPenNegative(QPen(down, std::max(1, d.width)));
                if (s.threeD) {
                    // Shaded bodies: light at the left edge, dark at the right.
                    auto shaded = [](const QColor& base) {
                        QLinearGradient g(0, 0, 1, 0);
                        g.setCoordinateMode(QGradient::ObjectBoundingMode);
                        g.setColorAt(0, base.lighter(170));
                        g.setColorAt(0.45, base);
                        g.setColorAt(1, base.darker(200));
                        return QBrush(g);
                    };
                    it.fin->setBrushPositive(shaded(up));
                    it.fin->setBrushNegative(shaded(down));
                } else {
                    it.fin->setBrushPositive(up);
                    it.fin->setBrushNegative(down);
                }
            }
        }
    }

    void applyWindow()
    {
        const int n = records().count();
        const int first = std::max(1, c.m_first), last = std::max(first, c.m_last);
        for (size_t p = 0; p < panels.size(); ++p) {
            Panel& pn = panels[p];
            pn.key->setRange(n == 0 ? QCPRange(0.5, 1.5) : QCPRange(first - 0.5, last + 0.5));
            double lo = std::numeric_limits<double>::infinity(), hi = -lo;
            bool bars = false;
            auto take = [&](const std::vector<double>& col) {
                for (int r = first - 1; r < last && size_t(r) < col.size(); ++r)
                    if (std::isfinite(col[size_t(r)])) {
                        lo = std::min(lo, col[size_t(r)]);
                        hi = std::max(hi, col[size_t(r)]);
                    }
            };
            for (const auto& it : items) {
                if (it.panel != int(p))
                    continue;
                take(records().column(it.close));
                take(records().column(it.high));
                take(records().column(it.low));
                bars = bars || it.bars;
            }
            for (QCPAbstractPlottable* plottable : indicatorPlots) {
                if (plottable->valueAxis() != pn.value)
                    continue;
                bool found = false;
                const QCPRange r = plottable->getValueRange(found, QCP::sdBoth, QCPRange(first - 0.5, last + 0.5));
                if (found) {
                    lo = std::min(lo, r.lower);
                    hi = std::max(hi, r.upper);
                }
                bars = bars || qobject_cast<QCPBars*>(plottable);
            }
            if (bars && lo > 0)
                lo = 0;
            const bool log = p == 0 && c.m_settings.scale == 1;
            if (!std::isfinite(lo)) {
                lo = log ? 1 : 0;
                hi = log ? 10 : 1;
            }
            if (log && lo <= 0)
                lo = std::max(hi * 1e-3, 1e-6);
            if (hi <= lo)
                hi = lo + (lo == 0 ? 1 : std::fabs(lo) * 0.01);
            pn.value->setScaleType(log ? QCPAxis::stLogarithmic : QCPAxis::stLinear);
            if (p == 0) {
                priceTicker->log = log;
                priceTicker->decimals = c.m_settings.priceDecimals;
            }
            if (log)
                pn.value->setRange(lo / 1.03, hi * 1.03);
            else {
                const double pad = (hi - lo) * 0.05;
                pn.value->setRange(bars && lo == 0 ? 0 : lo - pad, hi + pad);
            }
        }
    }

    // The panel's pixel of a chart date and value.
    QPointF toPixel(int panel, const ChartPoint& pt) const
    {
        const Panel& pn = panels[size_t(panel)];
        return {pn.key->coordToPixel(records().positionOf(pt.date) + 1), pn.value->coordToPixel(pt.value)};
    }

    // The lines an object is drawn with, in pixels, with its level labels.
    std::vector<QPolygonF> shapeOf(const ChartObjectDef& o, std::vector<std::pair<QPointF, QString>>* labels) const
    {
        std::vector<QPolygonF> out;
        if (size_t(o.panel) >= panels.size())
            return out;
        const Panel& pn = panels[size_t(o.panel)];
        const QRectF area = pn.rect->rect();
        const QPointF a = toPixel(o.panel, o.a), b = toPixel(o.panel, o.b);
        const double right = area.right();
        auto line = [&](QPointF p, QPointF q) { out.push_back(QPolygonF({p, q})); };
        // A ray from p through q to the right edge of the panel.
        auto ray = [&](QPointF p, QPointF q) {
            if (std::fabs(q.x() - p.x()) < 1e-9)
                return line(p, q);
            const double t = (right - p.x()) / (q.x() - p.x());
            line(p, t > 1 ? p + (q - p) * t : q);
        };
        auto label = [&](QPointF at, const QString& text) {
            if (labels)
                labels->push_back({at, text});
        };
        auto ellipse = [&](QRectF r, int from = 0, int to = 360) {
            QPolygonF poly;
            for (int deg = from; deg <= to; deg += 6) {
                const double t = deg * M_PI / 180.0;
                poly << QPointF(r.center().x() + r.width() / 2 * std::cos(t),
                                r.center().y() - r.height() / 2 * std::sin(t));
            }
            out.push_back(poly);
        };
        // The price bars between the two points' records.
        auto range = [&](int& from, int& to) {
            from = int(std::floor(records().positionOf(std::min(o.a.date, o.b.date)) + 0.5));
            to = int(std::floor(records().positionOf(std::max(o.a.date, o.b.date)) + 0.5));
            from = std::max(from, 0);
            to = std::min(to, records().count() - 1);
            return from <= to;
        };
        const double x1 = std::min(a.x(), b.x()), x2 = std::max(a.x(), b.x());
        switch (o.tool) {
        case kToolTrendLine:
            line(a, b);
            break;
        case kToolEllipse:
            ellipse(QRectF(a, b).normalized());
            break;
        case kToolRectangle: {
            const QRectF r = QRectF(a, b).normalized();
            out.push_back(QPolygonF({r.topLeft(), r.topRight(), r.bottomRight(), r.bottomLeft(), r.topLeft()}));
            break;
        }
        case kToolSpeedLines:
            for (double f : {1.0, 2.0 / 3.0, 1.0 / 3.0})
                ray(a, QPointF(b.x(), a.y() + (b.y() - a.y()) * f));
            break;
        case kToolGannFan:
            for (double f : {8.0, 4.0, 3.0, 2.0, 1.0, 0.5, 1.0 / 3.0, 0.25, 0.125}) {
                const QPointF q(b.x(), a.y() + (b.y() - a.y()) * f);
                ray(a, q);
            }
            break;
        case kToolFibArcs: {
            const double radius = std::hypot(b.x() - a.x(), b.y() - a.y());
            const bool upward = a.y() > b.y();
            for (double f : {0.382, 0.5, 0.618}) {
                const double r = radius * f;
                ellipse(QRectF(b.x() - r, b.y() - r, 2 * r, 2 * r), upward ? 180 : 0, upward ? 360 : 180);
                label(QPointF(b.x() + 2, b.y() + (upward ? r : -r)), QString::number(f * 100, 'f', 1) + "%");
            }
            line(a, b);
            break;
        }
        case kToolFibFan:
            for (double f : {0.382, 0.5, 0.618}) {
                const QPointF q(b.x(), b.y() + (a.y() - b.y()) * f);
                ray(a, q);
                label(q, QString::number(f * 100, 'f', 1) + "%");
            }
            line(a, b);
            break;
        case kToolFibRetracements: {
            double lastLabel = -1e9;
            for (double f : {0.0, 0.236, 0.382, 0.5, 0.618, 1.0}) {
                const double y = b.y() + (a.y() - b.y()) * f;
                line(QPointF(x1, y), QPointF(right, y));
                // Levels closer than a line of text keep only the first label.
                if (std::fabs(y - lastLabel) < 13)
                    continue;
                lastLabel = y;
                const double value = o.b.value + (o.a.value - o.b.value) * f;
                label(QPointF(x1 + 2, y - 2), QString::number(f * 100, 'f', 1) + "% " + plainNumber(value));
            }
            break;
        }
        case kToolFibTimeZones: {
            // Vertical lines 1, 2, 3, 5, 8 ... spans of the first span to the right.
            const double span = std::fabs(b.x() - a.x());
            line(QPointF(x1, area.top()), QPointF(x1, area.bottom()));
            if (span < 1)
                break;
            for (double f1 = 1, f2 = 2; x1 + f1 * span <= right; std::swap(f1, f2), f2 += f1) {
                const double x = x1 + f1 * span;
                line(QPointF(x, area.top()), QPointF(x, area.bottom()));
            }
            break;
        }
        case kToolTironeLevels:
        case kToolQuadrantLines: {
            double hi = std::max(o.a.value, o.b.value), lo = std::min(o.a.value, o.b.value);
            int from = 0, to = -1;
            if (o.panel == 0 && range(from, to)) {
                const auto cols = c.priceColumns();
                double h = -INFINITY, l = INFINITY;
                for (int r = from; r <= to; ++r) {
                    const double rh = records().value(cols.high >= 0 ? cols.high : cols.close, r);
                    const double rl = records().value(cols.low >= 0 ? cols.low : cols.close, r);
                    if (std::isfinite(rh))
                        h = std::max(h, rh);
                    if (std::isfinite(rl))
                        l = std::min(l, rl);
                }
                if (std::isfinite(h) && std::isfinite(l)) {
                    hi = h;
                    lo = l;
                }
            }
            std::vector<double> levels;
            if (o.tool == kToolTironeLevels)
                levels = {hi - (hi - lo) / 3, (hi + lo) / 2, lo + (hi - lo) / 3};
            else
                levels = {hi, lo + (hi - lo) * 0.75, (hi + lo) / 2, lo + (hi - lo) * 0.25, lo};
            for (double v : levels) {
                const double y = pn.value->coordToPixel(v);
                line(QPointF(x1, y), QPointF(x2, y));
            }
            break;
        }
        case kToolRaffRegression:
        case kToolErrorChannels: {
            // A least-squares line through the closes between the points, with
            // a channel at the largest deviation (Raff) or one standard error.
            int from = 0, to = -1;
            const auto cols = c.priceColumns();
            std::vector<std::pair<double, double>> pts;
            if (range(from, to))
                for (int r = from; r <= to; ++r) {
                    const double v = records().value(cols.close, r);
                    if (std::isfinite(v))
                        pts.push_back({double(r), v});
                }
            if (pts.size() < 2) {
                line(a, b);
                break;
            }
            double sx = 0, sy = 0, sxx = 0, sxy = 0;
            for (const auto& [x, y] : pts) {
                sx += x;
                sy += y;
                sxx += x * x;
                sxy += x * y;
            }
            const double m = double(pts.size());
            const double den = m * sxx - sx * sx;
            const double slope = den != 0 ? (m * sxy - sx * sy) / den : 0;
            const double icpt = (sy - slope * sx) / m;
            double maxDev = 0, sq = 0;
            for (const auto& [x, y] : pts) {
                const double d = y - (icpt + slope * x);
                maxDev = std::max(maxDev, std::fabs(d));
                sq += d * d;
            }
            const double width = o.tool == kToolRaffRegression ? maxDev : std::sqrt(sq / std::max(1.0, m - 2));
            const double xa = pts.front().first, xb = pts.back().first;
            for (double off : {0.0, width, -width}) {
                const QPointF p(pn.key->coordToPixel(xa + 1), pn.value->coordToPixel(icpt + slope * xa + off));
                const QPointF q(pn.key->coordToPixel(xb + 1), pn.value->coordToPixel(icpt + slope * xb + off));
                line(p, q);
            }
            break;
        }
        default:
            break;
        }
        return out;
    }

    static double distanceTo(const QPointF& p, const QPolygonF& poly)
    {
        double best = INFINITY;
        for (int i = 0; i + 1 < poly.size(); ++i) {
            const QPointF a = poly[i], b = poly[i + 1];
            const QPointF ab = b - a;
            const double len2 = ab.x() * ab.x() + ab.y() * ab.y();
            double t = len2 > 0 ? ((p - a).x() * ab.x() + (p - a).y() * ab.y()) / len2 : 0;
            t = std::clamp(t, 0.0, 1.0);
            const QPointF q = a + ab * t;
            best = std::min(best, std::hypot(p.x() - q.x(), p.y() - q.y()));
        }
        return best;
    }

    void drawOverlay(QCPPainter* painter, int panel, bool background)
    {
        const ChartSettings& s = c.m_settings;
        Panel& pn = panels[size_t(panel)];
        const QRect area = pn.rect->rect();
        const QColor fore = colourOf(s.fore);
        if (background) {
            pn.texts.clear();
            for (const auto& t : c.m_texts) {
                if (t.panel != panel || !t.watermark)
                    continue;
                QFont font = painter->font();
                font.setBold(true);
                font.setPixelSize(std::clamp(area.height() / 6, 12, 72));
                painter->setFont(font);
                QColor faint = fore;
                faint.setAlpha(std::clamp(t.alpha > 0 ? t.alpha / 4 : 40, 20, 90));
                painter->setPen(faint);
                painter->drawText(area, Qt::AlignCenter, QString::fromStdString(t.text));
                pn.texts.push_back({painter->boundingRect(area, Qt::AlignCenter, QString::fromStdString(t.text)),
                                    t.key});
            }
            return;
        }
        QFont font = painter->font();
        font.setPixelSize(12);
        painter->setFont(font);
        painter->setPen(fore);
        int line = 0;
        auto labelText = [&](const QString& text, const std::string& key) {
            const QRectF r(area.left() + 6, area.top() + 4 + 16 * line++, area.width() - 12, 16);
            painter->drawText(r, Qt::AlignLeft | Qt::AlignVCenter, text);
            if (!key.empty())
                pn.texts.push_back({painter->boundingRect(r, Qt::AlignLeft | Qt::AlignVCenter, text), key});
        };
        if (panel == 0 && !s.symbol.empty())
            labelText(QString::fromStdString(s.symbol), {});
        for (const auto& t : c.m_texts)
            if (t.panel == panel && !t.watermark)
                labelText(QString::fromStdString(t.text), t.key);

        if (panel == 0 && s.darvas) {
            const PriceBars bars = priceBars();
            painter->setPen(QPen(colourOf(0x00C8FF), 1, Qt::DashLine));
            painter->setBrush(Qt::NoBrush);
            for (const auto& box : indicators::Darvas(bars, s.darvasFraction)) {
                const QPointF tl(pn.key->coordToPixel(box.first + 1 - 0.4), pn.value->coordToPixel(box.top));
                const QPointF br(pn.key->coordToPixel(box.last + 1 + 0.4), pn.value->coordToPixel(box.bottom));
                painter->drawRect(QRectF(tl, br).normalized());
            }
        }

        auto drawObject = [&](const ChartObjectDef& o) {
            std::vector<std::pair<QPointF, QString>> labels;
            const QColor colour = colourOf(o.colour);
            painter->setPen(QPen(colour, 1.5));
            painter->setBrush(Qt::NoBrush);
            for (const QPolygonF& poly : shapeOf(o, &labels))
                painter->drawPolyline(poly);
            painter->setFont(font);
            for (const auto& [at, text] : labels)
                painter->drawText(at, text);
        };
        for (const auto& o : c.m_objects)
            if (o.panel == panel)
                drawObject(o);
        if (previewActive && preview.panel == panel)
            drawObject(preview);
    }

    QRect clipOf(int panel) const
    {
        return size_t(panel) < panels.size() ? panels[size_t(panel)].rect->rect() : QRect();
    }
};

PanelOverlay::PanelOverlay(ChartPlotParts& parts, int panel, bool background)
    : QCPLayerable(&parts.plot(), background ? QStringLiteral("grid") : QStringLiteral("overlay"))
    , m_parts(parts)
    , m_panel(panel)
    , m_background(background)
{
}

QRect PanelOverlay::clipRect() const
{
    return m_parts.clipOf(m_panel);
}

void PanelOverlay::draw(QCPPainter* painter)
{
    m_parts.drawOverlay(painter, m_panel, m_background);
}

} // namespace detail

using detail::ChartPlotParts;

QcpChartControl::QcpChartControl(QWidget* parent)
    : QWidget(parent)
    , m_plot(new QCustomPlot(this))
{
    m_plot->setGeometry(rect());
    m_plot->setFocusPolicy(Qt::StrongFocus);
    m_plot->setMouseTracking(true);
    m_plot->setInteractions(QCP::Interactions());
    m_plot->plotLayout()->clear();
    m_plot->plotLayout()->setRowSpacing(0);
    m_plot->installEventFilter(this);
    m_parts = std::make_unique<ChartPlotParts>(*this);
    m_printDialog = defaultPrintDialog();
    if (!m_printDialog)
        m_printDialog = [](QPrinter& printer) {
            // The print question goes through the prompter, as every
            // question of the program does, on the page of "Print Setup";
            // the page chosen there is the later prints' page.
            ui::PrintChoice current;
            current.page = CurrentPageSetup();
            const auto choice = ui::prompter().pickPrint(current);
            if (!choice)
                return false;
            SetCurrentPageSetup(choice->page);
            ui::ApplyPrintChoice(*choice, printer);
            return true;
        };
}

QcpChartControl::PrintDialog& QcpChartControl::defaultPrintDialog()
{
    static PrintDialog dialog; // UI thread only, like the controls
    return dialog;
}

void QcpChartControl::setDefaultPrintDialog(PrintDialog dialog)
{
    defaultPrintDialog() = std::move(dialog);
}

QcpChartControl::~QcpChartControl()
{
    m_plot->removeEventFilter(this);
    m_parts.reset();
}

void QcpChartControl::setPrintDialog(PrintDialog dialog)
{
    m_printDialog = std::move(dialog);
}

void QcpChartControl::changed(unsigned parts, int fromRecord)
{
    m_dirty |= parts;
    if (parts & kData)
        m_dirtyFrom = std::min(m_dirtyFrom, fromRecord);
    scheduleUpdate();
}

void QcpChartControl::scheduleUpdate()
{
    if (m_updateQueued)
        return;
    m_updateQueued = true;
    QPointer<QcpChartControl> self(this);
    QMetaObject::invokeMethod(
        this,
        [self] {
            if (self && self->m_updateQueued)
                self->refresh(false);
        },
        Qt::QueuedConnection);
}

void QcpChartControl::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    // An empty control (a document area not laid out yet) leaves the plot as
    // it is: the library would replot into an empty buffer.
    if (!rect().isEmpty())
        m_plot->setGeometry(rect());
}

void QcpChartControl::refresh(bool immediate)
{
    m_updateQueued = false;
    // A hidden control gets no resize events through to the plot; the plot
    // lays its panels out in its viewport, so keep both at the control's size.
    if (m_plot->geometry() != rect() && !rect().isEmpty())
        m_plot->setGeometry(rect());
    if (m_plot->viewport() != m_plot->rect())
        m_plot->setViewport(m_plot->rect());
    if (m_dirty & kStructure)
        m_parts->rebuild();
    else {
        if (m_dirty & kData) {
            m_parts->syncData(m_dirtyFrom);
            if (!m_indicators.empty())
                m_parts->rebuildIndicators();
        }
        if (m_dirty & kLook)
            m_parts->applyLook();
    }
    m_parts->applyWindow();
    m_dirty = 0;
    m_dirtyFrom = INT_MAX;
    // A control not laid out yet (a document window being opened) has no
    // pixels to paint into; the plot replots itself when it gets its size.
    if (!rect().isEmpty())
        m_plot->replot(immediate ? QCustomPlot::rpImmediateRefresh : QCustomPlot::rpQueuedRefresh);
}

void QcpChartControl::renderChart()
{
    refresh(true);
}

QRect QcpChartControl::panelRect(int panel)
{
    if (m_dirty || m_updateQueued)
        refresh(true);
    return m_parts->clipOf(panel);
}

QPoint QcpChartControl::pixelOf(int panel, double chartDate, double value)
{
    if (m_dirty || m_updateQueued)
        refresh(true);
    if (panel < 0 || size_t(panel) >= m_parts->panels.size())
        return {};
    return m_plot->mapTo(this, m_parts->toPixel(panel, {chartDate, value}).toPoint());
}

std::vector<std::string> QcpChartControl::valueLabels(int panel)
{
    if (m_dirty || m_updateQueued)
        refresh(true);
    std::vector<std::string> out;
    if (panel < 0 || size_t(panel) >= m_parts->panels.size())
        return out;
    for (const QString& label : m_parts->panels[size_t(panel)].value->tickVectorLabels())
        out.push_back(label.toStdString());
    return out;
}

void QcpChartControl::printChart()
{
    QPrinter printer(QPrinter::HighResolution);
    if (!m_printDialog || !m_printDialog(printer))
        return;
    // The chart is one page: a range from a later page prints nothing.
    if (printer.printRange() == QPrinter::PageRange && printer.fromPage() > 1)
        return;
    refresh(true);
    QCPPainter painter;
    if (!painter.begin(&printer)) {
        const std::string where = printer.outputFormat() == QPrinter::PdfFormat ? printer.outputFileName().toStdString()
                                  : printer.printerName().isEmpty()             ? std::string("the default printer")
                                                                                : printer.printerName().toStdString();
        WriteLog(0, "Chart control: the printer cannot be started: " + where);
        MsgBoxInfo("The chart could not be printed to " + where + ".");
        return;
    }
    // What the screen shows, as large as the page takes it.
    const QRectF page = printer.pageRect(QPrinter::DevicePixel);
    const double scale = std::min(page.width() / std::max(1, m_plot->width()),
                                  page.height() / std::max(1, m_plot->height()));
    painter.setMode(QCPPainter::pmVectorized);
    painter.setMode(QCPPainter::pmNoCaching);
    painter.scale(scale, scale);
    // A PDF file or a printer without its own copies: the copies are pages.
    const int copies = printer.supportsMultipleCopies() ? 1 : std::clamp(printer.copyCount(), 1, 999);
    for (int copy = 0; copy < copies; ++copy) {
        if (copy > 0 && !printer.newPage())
            break;
        m_plot->toPainter(&painter, m_plot->width(), m_plot->height());
    }
    painter.end();
}

void QcpChartControl::saveImage(const std::string& path)
{
    refresh(true);
    const QString file = QString::fromStdString(path);
    const bool png = file.endsWith(".png", Qt::CaseInsensitive);
    const bool ok = png ? m_plot->savePng(file) : m_plot->saveBmp(file);
    if (!ok)
        WriteLog(0, "Chart control: the chart cannot be saved to " + path);
}

void QcpChartControl::armRubberBand()
{
    m_bandArmed = true;
}

int QcpChartControl::panelAt(const QPoint& plotPos) const
{
    for (size_t p = 0; p < m_parts->panels.size(); ++p)
        if (m_parts->panels[p].rect->rect().contains(plotPos))
            return int(p);
    return -1;
}

ChartPoint QcpChartControl::pointAt(int panel, const QPoint& plotPos) const
{
    const auto& pn = m_parts->panels[size_t(panel)];
    return {m_records.dateAt(pn.key->pixelToCoord(plotPos.x()) - 1), pn.value->pixelToCoord(plotPos.y())};
}

namespace {

int mouseButtonsOf(const QMouseEvent* e)
{
    int b = 0;
    if (e->buttons() & Qt::LeftButton)
        b |= 1;
    if (e->buttons() & Qt::RightButton)
        b |= 2;
    if (e->modifiers() & Qt::ShiftModifier)
        b |= 4;
    if (e->modifiers() & Qt::ControlModifier)
        b |= 8;
    if (e->buttons() & Qt::MiddleButton)
        b |= 16;
    return b;
}

// The key numbers the view knows (the context-menu key is 93).
short keyNumber(int key)
{
    if ((key >= Qt::Key_0 && key <= Qt::Key_9) || (key >= Qt::Key_A && key <= Qt::Key_Z))
        return short(key);
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24)
        return short(112 + key - Qt::Key_F1);
    switch (key) {
    case Qt::Key_Menu: return 93;
    case Qt::Key_Escape: return 27;
    case Qt::Key_Return:
    case Qt::Key_Enter: return 13;
    case Qt::Key_Space: return 32;
    case Qt::Key_Left: return 37;
    case Qt::Key_Up: return 38;
    case Qt::Key_Right: return 39;
    case Qt::Key_Down: return 40;
    case Qt::Key_Delete: return 46;
    case Qt::Key_PageUp: return 33;
    case Qt::Key_PageDown: return 34;
    case Qt::Key_End: return 35;
    case Qt::Key_Home: return 36;
    case Qt::Key_Plus: return 107;
    case Qt::Key_Minus: return 109;
    default: return 0;
    }
}

} // namespace

bool QcpChartControl::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_plot)
        return QWidget::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::MouseButtonPress:
        return mousePress(static_cast<QMouseEvent*>(event));
    case QEvent::MouseMove:
        return mouseMove(static_cast<QMouseEvent*>(event));
    case QEvent::MouseButtonRelease:
        return mouseRelease(static_cast<QMouseEvent*>(event));
    case QEvent::MouseButtonDblClick:
        return true;
    case QEvent::Wheel: {
        auto* e = static_cast<QWheelEvent*>(event);
        if (m_records.count() == 0)
            return true;
        const int step = std::max(1, (m_last - m_first + 1) / 10);
        if (e->angleDelta().y() > 0)
            zoomIn(step);
        else if (e->angleDelta().y() < 0)
            zoomOut(step);
        return true;
    }
    case QEvent::KeyPress: {
        auto* e = static_cast<QKeyEvent*>(event);
        if (e->key() == Qt::Key_Escape && (placingTool() >= 0 || m_drag != Drag::None || m_bandArmed)) {
            m_drag = Drag::None;
            m_bandArmed = false;
            m_parts->previewActive = false;
            if (m_band)
                m_band->hide();
            cancelPlacing();
            return true;
        }
        return false;
    }
    case QEvent::KeyRelease: {
        auto* e = static_cast<QKeyEvent*>(event);
        if (e->isAutoRepeat())
            return false;
        short shift = 0;
        if (e->modifiers() & Qt::ShiftModifier)
            shift |= 1;
        if (e->modifiers() & Qt::ControlModifier)
            shift |= 2;
        if (e->modifiers() & Qt::AltModifier)
            shift |= 4;
        fireKeyUp(keyNumber(e->key()), shift, 0);
        return false;
    }
    default:
        return false;
    }
}

bool QcpChartControl::mousePress(QMouseEvent* e)
{
    const QPoint pos = e->position().toPoint();
    m_plot->setFocus(Qt::MouseFocusReason);
    if (e->button() == Qt::RightButton) {
        rightClick(pos);
        return false; // an unhandled click goes on to the view's own menu
    }
    if (e->button() != Qt::LeftButton)
        return true;
    const int panel = panelAt(pos);
    m_pressPos = pos;
    m_pressFirst = m_first;
    m_pressLast = m_last;
    if (placingTool() >= 0) {
        if (panel < 0)
            return true;
        m_drag = Drag::Place;
        m_placePanel = panel;
        m_parts->preview = ChartObjectDef{placingTool(), "", m_settings.drawingColour, panel, pointAt(panel, pos),
                                          pointAt(panel, pos)};
        m_parts->previewActive = true;
        return true;
    }
    if (m_bandArmed && panel >= 0) {
        m_drag = Drag::Band;
        if (!m_band)
            m_band = new QRubberBand(QRubberBand::Rectangle, m_plot);
        m_band->setGeometry(QRect(pos, QSize()));
        m_band->show();
        return true;
    }
    if (panel >= 0 && m_records.count() > 0)
        m_drag = Drag::Pan;
    return true;
}

bool QcpChartControl::mouseMove(QMouseEvent* e)
{
    const QPoint pos = e->position().toPoint();
    const QPoint at = m_plot->mapTo(this, pos);
    fireMouseTrack(mouseButtonsOf(e), at.x(), at.y());
    switch (m_drag) {
    case Drag::Place:
        m_parts->preview.b = pointAt(m_placePanel, pos);
        m_plot->replot(QCustomPlot::rpQueuedReplot);
        break;
    case Drag::Band:
        if (m_band)
            m_band->setGeometry(QRect(m_pressPos, pos).normalized());
        break;
    case Drag::Pan: {
        const auto& pn = m_parts->panels.front();
        const double perRecord = double(pn.rect->width()) / std::max(1, m_pressLast - m_pressFirst + 1);
        int shift = int(std::lround(-(pos.x() - m_pressPos.x()) / std::max(perRecord, 1e-6)));
        const int n = m_records.count();
        shift = std::clamp(shift, 1 - m_pressFirst, n - m_pressLast);
        if (m_pressFirst + shift != m_first || m_pressLast + shift != m_last)
            setWindow(m_pressFirst + shift, m_pressLast + shift);
        break;
    }
    case Drag::None:
        break;
    }
    return true;
}

bool QcpChartControl::mouseRelease(QMouseEvent* e)
{
    if (e->button() != Qt::LeftButton)
        return e->button() != Qt::RightButton;
    const QPoint pos = e->position().toPoint();
    const Drag drag = m_drag;
    m_drag = Drag::None;
    if (drag == Drag::Place) {
        m_parts->previewActive = false;
        // A click without a drag places nothing; the tool waits for a drag.
        if ((pos - m_pressPos).manhattanLength() < 3) {
            m_plot->replot(QCustomPlot::rpQueuedReplot);
            return true;
        }
        finishPlacing(pointAt(m_placePanel, m_pressPos), pointAt(m_placePanel, pos), m_placePanel);
        return true;
    }
    if (drag == Drag::Band) {
        m_bandArmed = false;
        if (m_band)
            m_band->hide();
        if (std::abs(pos.x() - m_pressPos.x()) < 3 || m_parts->panels.empty())
            return true;
        const auto& pn = m_parts->panels.front();
        const double k1 = pn.key->pixelToCoord(std::min(pos.x(), m_pressPos.x()));
        const double k2 = pn.key->pixelToCoord(std::max(pos.x(), m_pressPos.x()));
        setWindow(int(std::ceil(k1 - 0.5)), int(std::floor(k2 + 0.5)));
        return true;
    }
    return true;
}

void QcpChartControl::rightClick(const QPoint& plotPos)
{
    if (m_dirty || m_updateQueued)
        refresh(true);
    const QPoint at = m_plot->mapTo(this, plotPos);
    const int panel = panelAt(plotPos);
    if (panel < 0)
        return;
    // Objects first (the newest on top), then series, then texts: the
    // watermark lies under the series.
    for (auto it = m_objects.rbegin(); it != m_objects.rend(); ++it) {
        if (it->panel != panel)
            continue;
        for (const QPolygonF& poly : m_parts->shapeOf(*it, nullptr))
            if (ChartPlotParts::distanceTo(plotPos, poly) <= 5) {
                fireObjectMenu(hitTypeOfTool(it->tool), it->name, at.x(), at.y());
                return;
            }
    }
    if (QCPAbstractPlottable* p = m_plot->plottableAt(plotPos, false)) {
        const auto hit = m_parts->hits.find(p);
        if (hit != m_parts->hits.end()) {
            fireObjectMenu(hit->second.first, hit->second.second, at.x(), at.y());
            return;
        }
    }
    for (const auto& spot : m_parts->panels[size_t(panel)].texts)
        if (spot.rect.contains(plotPos)) {
            fireObjectMenu(kHitText, spot.key, at.x(), at.y());
            return;
        }
}
