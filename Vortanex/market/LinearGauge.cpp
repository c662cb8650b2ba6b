#include "market/LinearGauge.h"

#include "app/base/TextFormat.h"

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
    p.setPen(m_ticks);
    QFont f = font();
    f.setPointSizeF(std::max(6.0, f.pointSizeF() - 1));
    p.setFont(f);
    const int count = m_step > 0 && span / m_step < 50 ? static_cast<int>(span / m_step + 0.5) : 1;
    for (int i = 0; i <= count; ++i) {
        const double v = m_start + (count ? span * i / count : 0);
        const double x = xOf(v);
        p.setPen(m_ticks);
        p.drawLine(QPointF(x, barTop + 10), QPointF(x, barTop + 10 + m_tickSize));
        p.setPen(m_text);
        const QString label = QString::fromStdString(tickLabel(v)).trimmed();
        const int w = p.fontMetrics().horizontalAdvance(label);
        const double lx = std::clamp(x - w / 2.0, 0.0, std::max(0.0, width() - double(w)));
        p.drawText(QPointF(lx, barTop + 12 + m_tickSize + p.fontMetrics().ascent()), label);
    }
    // The pointer: a small triangle over the bar.
    const double px = xOf(m_pointer);
    QPolygonF tri;
    tri << QPointF(px - 5, 0) << QPointF(px + 5, 0) << QPointF(px, barTop + 8);
    p.setPen(m_outline);
    p.setBrush(m_pointerColour);
    p.drawPolygon(tri);
}
