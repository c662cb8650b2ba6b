#include "TextScroller.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QPainter>
#include <QResizeEvent>

#include <algorithm>

CTextScroller::CTextScroller(QWidget* parent) : QWidget(parent)
{
    setFont(QFontDatabase::systemFont(QFontDatabase::GeneralFont));
    m_timer.setInterval(kDefaultIntervalMs);
    connect(&m_timer, &QTimer::timeout, this, &CTextScroller::Tick);
}

void CTextScroller::SetType(int type)
{
    m_type = type == Vertical ? Vertical : Horizontal;
}

int CTextScroller::charsPerLine() const
{
    const int t = std::max(fontMetrics().horizontalAdvance(QLatin1Char('T')), 1);
    return std::max(width() / t, 1);
}

int CTextScroller::lineHeight() const
{
    return fontMetrics().boundingRect(QStringLiteral("TEST")).height();
}

void CTextScroller::AddLine(const QStringList& lines)
{
    for (const QString& line : lines) {
        if (m_type == Horizontal)
            m_text += line + QLatin1Char(' ');
        else
            m_lines.push_back(Line{line, 0, 0, true});
    }
    if (m_type == Vertical) {
        reformat();
        m_placed = false;
    }
    update();
}

void CTextScroller::AddLine(const QString& line)
{
    AddLine(QStringList{line});
}

void CTextScroller::reformat()
{
    // Each line cut into pieces that fit the width, after the last blank
    // within the limit (or at the limit when there is none).
    const int limit = charsPerLine();
    std::vector<Line> pieces;
    for (const Line& line : m_lines) {
        QString rest = line.text;
        while (rest.size() > limit) {
            int cut = int(rest.lastIndexOf(QLatin1Char(' '), limit - 1));
            cut = cut > 0 ? cut + 1 : limit;
            pieces.push_back(Line{rest.left(cut), 0, 0, true});
            rest = rest.mid(cut);
        }
        pieces.push_back(Line{rest, 0, 0, true});
    }
    m_lines = std::move(pieces);
}

void CTextScroller::placeLines()
{
    // Below the bottom edge, one under the other.
    int y = height();
    for (Line& line : m_lines) {
        line.start = line.y = y;
        line.active = true;
        y += lineHeight() + 1;
    }
    m_x = width();
    m_offset = 0;
    m_placed = true;
}

void CTextScroller::SetScrollTimer(int milliseconds)
{
    if (milliseconds <= 0)
        return;
    m_timer.start(milliseconds);
}

QColor CTextScroller::SetBkColor(const QColor& colour)
{
    const QColor old = m_background;
    m_background = colour;
    update();
    return old;
}

QColor CTextScroller::SetTextColor(const QColor& colour)
{
    const QColor old = m_textColour;
    m_textColour = colour;
    update();
    return old;
}

void CTextScroller::SetBorder(bool on)
{
    setContentsMargins(on ? QMargins(1, 1, 1, 1) : QMargins());
    setProperty("border", on);
    update();
}

void CTextScroller::fontChanged()
{
    if (m_type == Vertical) {
        reformat();
        m_placed = false;
    }
    update();
}

void CTextScroller::SetFontName(const QString& name)
{
    QFont f = font();
    f.setFamily(name);
    setFont(f);
    fontChanged();
}

void CTextScroller::SetFontBold(bool bold)
{
    QFont f = font();
    f.setWeight(bold ? QFont::Bold : QFont::Normal);
    setFont(f);
    fontChanged();
}

void CTextScroller::SetFontItalic(bool italic)
{
    QFont f = font();
    f.setItalic(italic);
    setFont(f);
    fontChanged();
}

void CTextScroller::SetFontSize(int size)
{
    if (size <= 0)
        return;
    QFont f = font();
    f.setPixelSize(size);
    setFont(f);
    fontChanged();
}

QString CTextScroller::VisibleText() const
{
    return m_text.mid(m_offset, charsPerLine() + 35);
}

void CTextScroller::Tick()
{
    if (!m_placed)
        placeLines();
    if (m_type == Horizontal) {
        const int perLine = charsPerLine() + 35;
        const int step = std::max(width() / perLine, 1);
        if (m_x > 0) {
            m_x = std::max(m_x - step, 0);
        } else {
            // The text passes the left edge one character per tick; the
            // text itself is kept, so once all of it has passed the scroll
            // starts again from the right.
            ++m_offset;
            if (m_offset >= m_text.size()) {
                m_offset = 0;
                m_x = width();
            }
        }
    } else if (!m_lines.empty()) {
        const int h = lineHeight();
        for (Line& line : m_lines) {
            if (!line.active)
                continue;
            --line.y;
            if (line.y + h < 0) {
                line.y = line.start;
                line.active = false;
            }
        }
        // Once the last line has left the top, all lines start over.
        if (!m_lines.back().active)
            for (Line& line : m_lines)
                line.active = true;
    }
    update();
}

void CTextScroller::paintEvent(QPaintEvent*)
{
    if (!m_placed)
        placeLines();
    QPainter painter(this);
    painter.fillRect(rect(), m_background);
    if (property("border").toBool()) {
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
    painter.setPen(m_textColour);
    painter.setFont(font());
    const QFontMetrics fm(font());
    if (m_type == Horizontal) {
        painter.drawText(m_x, 2 + fm.ascent(), VisibleText());
        return;
    }
    for (const Line& line : m_lines) {
        if (line.y > height())
            continue;
        painter.drawText(0, line.y + fm.ascent(), line.text);
    }
}

void CTextScroller::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (m_type == Vertical)
        reformat();
    m_placed = false;
}

void CTextScroller::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!m_timer.isActive())
        m_timer.start();
}
