#include "ui/grid_header_items.h"

#include "ui/grid_model.h"
#include "ui/grid_view.h"

#include <QHeaderView>
#include <QPainter>
#include <QScrollBar>
#include <QTreeView>

#include <algorithm>
#include <climits>

namespace ui {

GridHeaderItems::GridHeaderItems(GridView& view, int lines, QWidget* parent)
    : QWidget(parent), m_view(view), m_lines(std::max(1, lines))
{
    setObjectName(QStringLiteral("headerItems"));
    QHeaderView* header = view.tree()->header();
    auto repaint = [this] { update(); };
    connect(header, &QHeaderView::sectionResized, this, repaint);
    connect(header, &QHeaderView::sectionMoved, this, repaint);
    connect(header, &QHeaderView::geometriesChanged, this, repaint);
    connect(header, &QHeaderView::sectionCountChanged, this, repaint);
    connect(view.tree()->horizontalScrollBar(), &QScrollBar::valueChanged, this, repaint);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

bool GridHeaderItems::AddHeaderItem(int line, int firstColumn, int lastColumn, const QString& text,
                                    Qt::Alignment alignment)
{
    const int columns = m_view.model().columns();
    if (line < 0 || line >= m_lines || firstColumn < 0 || lastColumn < firstColumn || lastColumn >= columns)
        return false;
    m_items.push_back({line, firstColumn, lastColumn, text, alignment});
    update();
    return true;
}

QSize GridHeaderItems::sizeHint() const
{
    return {100, m_lines * (fontMetrics().height() + 6)};
}

QRect GridHeaderItems::itemRect(size_t index) const
{
    if (index >= m_items.size())
        return {};
    const HeaderItem& item = m_items[index];
    const QHeaderView* header = m_view.tree()->header();
    // The band sits over the tree: map header positions into the band.
    const int offset = mapFromGlobal(header->viewport()->mapToGlobal(QPoint(0, 0))).x();
    int left = INT_MAX, right = INT_MIN;
    for (int c = item.firstColumn; c <= item.lastColumn; ++c) {
        if (header->isSectionHidden(c))
            continue;
        const int x = header->sectionViewportPosition(c);
        left = std::min(left, x);
        right = std::max(right, x + header->sectionSize(c));
    }
    if (left == INT_MAX)
        return {};
    const int lineHeight = height() / m_lines;
    return QRect(offset + left, item.line * lineHeight, right - left, lineHeight);
}

void GridHeaderItems::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), palette().window());
    for (size_t i = 0; i < m_items.size(); ++i) {
        const QRect r = itemRect(i);
        if (r.isEmpty())
            continue;
        p.fillRect(r.adjusted(0, 0, -1, -1), palette().button());
        p.setPen(palette().mid().color());
        p.drawRect(r.adjusted(0, 0, -1, -1));
        p.setPen(palette().buttonText().color());
        p.drawText(r.adjusted(4, 0, -4, 0), int(m_items[i].alignment | Qt::AlignVCenter), m_items[i].text);
    }
}

} // namespace ui
