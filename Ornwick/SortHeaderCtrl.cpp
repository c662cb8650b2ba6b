#include "SortHeaderCtrl.h"

#include <QDataStream>
#include <QPainter>
#include <QPolygon>
#include <QStyleOptionButton>

#include <algorithm>
#include <vector>

CSortHeaderCtrl::CSortHeaderCtrl(QWidget* parent) : QHeaderView(Qt::Horizontal, parent)
{
    setSectionsClickable(true);
    MyUpdate();
}

void CSortHeaderCtrl::SetSortArrow(int column, bool ascending)
{
    m_sortColumn = column;
    m_ascending = ascending;
    viewport()->update();
}

void CSortHeaderCtrl::Serialize(QDataStream& archive, bool storing)
{
    if (storing) {
        archive << qint32(count());
        for (int i = 0; i < count(); ++i)
            archive << qint32(sectionSize(i));
        return;
    }
    qint32 stored = 0;
    archive >> stored;
    if (archive.status() != QDataStream::Ok || stored != count())
        return;
    // Read all widths first so a short stream changes nothing.
    std::vector<qint32> widths(static_cast<size_t>(stored));
    for (auto& w : widths)
        archive >> w;
    if (archive.status() != QDataStream::Ok)
        return;
    for (int i = 0; i < count(); ++i)
        resizeSection(i, widths[size_t(i)]);
}

void CSortHeaderCtrl::MyUpdate()
{
    m_font = QFont(QStringLiteral("Verdana"));
    m_font.setPixelSize(12);
    viewport()->update();
}

void CSortHeaderCtrl::DrawItem(QPainter* painter, const QRect& rect, int logicalIndex) const
{
    painter->save();
    painter->setClipRect(rect);
    QStyleOptionButton frame;
    frame.rect = rect;
    frame.state = QStyle::State_Raised | QStyle::State_Enabled;
    frame.palette = palette();
    style()->drawPrimitive(QStyle::PE_PanelButtonCommand, &frame, painter, this);
    painter->fillRect(rect.adjusted(1, 1, -1, -1), palette().button());
    painter->setFont(m_font);
    painter->setPen(m_textColour);
    const QString text = model() ? model()->headerData(logicalIndex, orientation()).toString() : QString();
    painter->drawText(rect, Qt::AlignCenter | Qt::TextSingleLine, text);
    if (logicalIndex == m_sortColumn) {
        // A triangle a quarter of the item's height, at the right end.
        const int size = std::max(rect.height() / 4, 2);
        const int x = rect.right() - size * 2 - 2;
        const int y = rect.top() + (rect.height() - size) / 2;
        const QPolygon up({QPoint(x + size, y), QPoint(x + 2 * size, y + size), QPoint(x, y + size)});
        const QPolygon down({QPoint(x, y), QPoint(x + 2 * size, y), QPoint(x + size, y + size)});
        const QPolygon& arrow = m_ascending ? up : down;
        painter->setPen(palette().light().color());
        painter->drawLine(arrow.point(0), arrow.point(1));
        painter->setPen(palette().dark().color());
        painter->drawLine(arrow.point(1), arrow.point(2));
        painter->drawLine(arrow.point(2), arrow.point(0));
    }
    painter->restore();
}

void CSortHeaderCtrl::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const
{
    DrawItem(painter, rect, logicalIndex);
}
