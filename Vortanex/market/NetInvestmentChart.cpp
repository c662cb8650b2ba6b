#include "market/NetInvestmentChart.h"

#include <qcustomplot.h>

#include <QVBoxLayout>

#include <algorithm>

namespace net_investment_chart_detail {
namespace {

const QColor kBought(0, 150, 0);
const QColor kSold(220, 40, 40);

QCPBars* makeBars(QCustomPlot* plot, const QString& name, const QColor& colour)
{
    auto* bars = new QCPBars(plot->xAxis, plot->yAxis);
    bars->setName(name);
    QColor fill = colour;
    fill.setAlpha(230);
    bars->setBrush(fill);
    bars->setPen(QPen(colour.darker(120)));
    bars->setWidth(0.6);
    return bars;
}

} // namespace
} // namespace net_investment_chart_detail

NetInvestmentChart::NetInvestmentChart(QWidget* parent) : QWidget(parent), m_plot(new QCustomPlot(this))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_plot);
    m_plot->yAxis->setLabel("Net Invest (Rs. Cr)");
    m_plot->yAxis->setVisible(true);
    m_plot->xAxis->grid()->setVisible(false);
    // Alternate bands along the value axis make the levels easy to read.
    m_plot->yAxis->grid()->setSubGridVisible(true);
    m_plot->legend->setVisible(false);
    clear();
}

NetInvestmentChart::~NetInvestmentChart() = default;

void NetInvestmentChart::clear()
{
    m_points.clear();
    m_plot->clearPlottables();
    m_plot->xAxis->setTicker(QSharedPointer<QCPAxisTicker>(new QCPAxisTickerText));
    m_plot->xAxis->setRange(0, 1);
    m_plot->yAxis->setRange(-1, 1);
    m_plot->replot();
}

void NetInvestmentChart::setPoints(const std::vector<Point>& points)
{
    clear();
    m_points = points;
    QSharedPointer<QCPAxisTickerText> ticker(new QCPAxisTickerText);
    QVector<double> upKeys, upValues, downKeys, downValues;
    double low = 0, high = 0;
    for (size_t i = 0; i < points.size(); ++i) {
        const double key = static_cast<double>(i + 1);
        ticker->addTick(key, points[i].label);
        if (points[i].value < 0) {
            downKeys << key;
            downValues << points[i].value;
        } else {
            upKeys << key;
            upValues << points[i].value;
        }
        low = std::min(low, points[i].value);
        high = std::max(high, points[i].value);
    }
    m_plot->xAxis->setTicker(ticker);
    if (!upKeys.isEmpty())
        net_investment_chart_detail::makeBars(m_plot, "Net purchase", net_investment_chart_detail::kBought)->setData(upKeys, upValues, true);
    if (!downKeys.isEmpty())
        net_investment_chart_detail::makeBars(m_plot, "Net sale", net_investment_chart_detail::kSold)->setData(downKeys, downValues, true);
    m_plot->xAxis->setRange(0, static_cast<double>(points.size()) + 1);
    const double span = high - low;
    const double pad = span > 0 ? span * 0.1 : 1;
    m_plot->yAxis->setRange(low < 0 ? low - pad : 0, high > 0 ? high + pad : (low < 0 ? pad : 1));
    m_plot->replot();
}

QString NetInvestmentChart::axisName() const { return m_plot->yAxis->label(); }

int NetInvestmentChart::barCount() const
{
    int n = 0;
    for (int i = 0; i < m_plot->plottableCount(); ++i)
        if (auto* bars = qobject_cast<QCPBars*>(m_plot->plottable(i)))
            n += bars->dataCount();
    return n;
}

bool NetInvestmentChart::exportImage(const QString& path)
{
    // A chart that was never laid out still exports at a readable size.
    const int w = std::max(m_plot->width(), 300);
    const int h = std::max(m_plot->height(), 300);
    if (path.endsWith(".bmp", Qt::CaseInsensitive))
        return m_plot->saveBmp(path, w, h);
    return m_plot->savePng(path, w, h);
}
