#include "market/LinearGauge.h"

#include "app/base/TextFormat.h"

#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>
#include <QPolygonF>

#include <algorithm>

LinearGauge::LinearGauge(QWidget* parent) : QWidget(parent)
{
    setMinimumHeight(36);
}

void LinearGauge::setScale(double start, double finish, double majorStep)
{
    m_start = start;
    m_finish = finish;
    m_step = majorStep;
}

std::string LinearGauge::tickLabel(double value) const
{
    if (!m_fixedLabel.empty())
        return m_fixedLabel;
    return formatText(m_labelFormat.c_str(), value == 0 ? 0.0 : value);
}

void LinearGauge::setColours(QColor pointer, QColor outline, QColor ticks, QColor text)
{
    m_pointerColour = pointer;
    m_outline = outline;
    m_ticks = ticks;
    m_text = text;
}

QFont LinearGauge::labelFont() const
{
    QFont f = font();
    f.setPointSizeF(std::max(6.0, f.pointSizeF() - 1));
    return f;
}

int LinearGauge::tickCount() const
{
    const double span = m_finish - m_start;
    return m_step > 0 && span / m_step < 50 ? static_cast<int>(span / m_step + 0.5) : 1;
}

std::vector<LinearGauge::TickLabel> LinearGauge::tickLabels() const
{
    // Each label centred under its tick, kept inside the gauge. A label that
    // would touch the one before it is left out, so the figures never run
    // together; the last (the scale's end) is kept in place of the one
    // before it.
    constexpr double kGap = 6;
    const QFontMetricsF fm(labelFont());
    const double left = 8, right = width() - 8.0, span = m_finish - m_start;
    const double top = 6 + 12 + m_tickSize;
    const int count = tickCount();
    std::vector<TickLabel> out;
    for (int i = 0; i <= count; ++i) {
        const double v = m_start + (count ? span * i / count : 0);
        const double x = span == 0 ? left : left + (v - m_start) / span * (right - left);
        const QString text = QString::fromStdString(tickLabel(v)).trimmed();
        const double w = fm.horizontalAdvance(text);
        const double lx = std::clamp(x - w / 2.0, 0.0, std::max(0.0, width() - w));
        const TickLabel label{text, QRectF(lx, top, w, fm.height())};
        const auto clashes = [&](const TickLabel& before) { return label.area.left() < before.area.right() + kGap; };
        if (!out.empty() && clashes(out.back())) {
            if (i != count)
                continue;
            while (!out.empty() && clashes(out.back()) && out.size() > 1)
                out.pop_back();
            if (!out.empty() && clashes(out.back()))
                continue; // one label only: the first stays
        }
        out.push_back(label);
    }
    return out;
}

void LinearGauge::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const double left = 8, right = width() - 8.0;
    const double span = m_finish - m_start;
    auto xOf = [&](double v) {
        if (span == 0)
            return left;
        return left + (std::clamp(v, std::min(m_start, m_finish), std::max(m_start, m_finish)) - m_start) / span *
                          (right - left);
    };
    const double barTop = 6;
    for (const Range& r : m_ranges) {
        const double x0 = xOf(r.from), x1 = xOf(r.to);
        QLinearGradient g(x0, 0, x1, 0);
        g.setColorAt(0, r.startColour);
        g.setColorAt(1, r.finishColour);
        p.fillRect(QRectF(x0, barTop, x1 - x0, r.width), g);
    }
    p.setPen(m_outline);
    p.drawLine(QPointF(left, barTop + 10), QPointF(right, barTop + 10));
    // Major ticks at every step from start to finish, with their labels.
    p.setFont(labelFont());
    const int count = tickCount();
    for (int i = 0; i <= count; ++i) {
        const double x = xOf(m_start + (count ? span * i / count : 0));
        p.setPen(m_ticks);
        p.drawLine(QPointF(x, barTop + 10), QPointF(x, barTop + 10 + m_tickSize));
    }
    p.setPen(m_text);
    for (const TickLabel& l : tickLabels())
        p.drawText(QPointF(l.area.left(), l.area.top() + QFontMetricsF(labelFont()).ascent()), l.text);
    // The pointer: a small triangle over the bar.
    const double px = xOf(m_pointer);
    QPolygonF tri;
    tri << QPointF(px - 5, 0) << QPointF(px + 5, 0) << QPointF(px, barTop + 8);
    p.setPen(m_outline);
    p.setBrush(m_pointerColour);
    p.drawPolygon(tri);
}
