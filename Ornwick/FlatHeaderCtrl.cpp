#include "FlatHeaderCtrl.h"

#include <QApplication>
#include <QCursor>
#include <QIcon>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPolygon>
#include <QStyle>

#include <algorithm>

namespace {

QPixmap decorationOf(const QHeaderView* header, int logicalIndex)
{
    if (!header->model())
        return {};
    const QVariant v = header->model()->headerData(logicalIndex, header->orientation(), Qt::DecorationRole);
    if (v.canConvert<QIcon>() && !v.value<QIcon>().isNull())
        return v.value<QIcon>().pixmap(16, 16);
    return v.value<QPixmap>();
}

QString textOf(const QHeaderView* header, int logicalIndex)
{
    return header->model() ? header->model()->headerData(logicalIndex, header->orientation()).toString() : QString();
}

} // namespace

CFHDragWnd::CFHDragWnd(CFlatHeaderCtrl* header, int logicalIndex)
    : QWidget(nullptr, Qt::ToolTip | Qt::FramelessWindowHint), m_header(header), m_logicalIndex(logicalIndex)
{
    setAttribute(Qt::WA_DeleteOnClose);
    resize(header->sectionSize(logicalIndex), header->height());
}

void CFHDragWnd::paintEvent(QPaintEvent*)
{
    if (!m_header)
        return;
    QPainter painter(this);
    painter.fillRect(rect(), palette().button());
    bool ascending = true;
    const bool sortColumn = m_header->GetSortColumn(&ascending) == m_logicalIndex;
    m_header->DrawItem(&painter, rect().adjusted(6, 0, -6, 0), m_logicalIndex, sortColumn, ascending);
    painter.setPen(palette().dark().color());
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

CFHDropWnd::CFHDropWnd(const QColor& colour, QWidget* parent)
    : QWidget(parent, Qt::ToolTip | Qt::FramelessWindowHint), m_colour(colour)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setAttribute(Qt::WA_TranslucentBackground);
}

void CFHDropWnd::SetWindowPos(int x, int y, int headerHeight)
{
    const int height = headerHeight + 20;
    if (size() != QSize(kWidth, height))
        resize(kWidth, height);
    move(x - kWidth / 2, y - height / 2);
    if (!isVisible())
        show();
}

void CFHDropWnd::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setPen(Qt::NoPen);
    painter.setBrush(m_colour);
    const int w = width(), h = height(), half = kWidth / 2;
    // Top arrow pointing down, bottom arrow pointing up, tips towards the divider.
    painter.drawPolygon(QPolygon({QPoint(0, 0), QPoint(w, 0), QPoint(half, half + 4)}));
    painter.drawPolygon(QPolygon({QPoint(0, h), QPoint(w, h), QPoint(half, h - half - 4)}));
}

CFlatHeaderCtrl::CFlatHeaderCtrl(QWidget* parent) : QHeaderView(Qt::Horizontal, parent)
{
    setSectionsMovable(false); // the header moves columns itself
    setSectionsClickable(true);
    setMouseTracking(true);
    connect(this, &QHeaderView::sectionResized, this, &CFlatHeaderCtrl::onSectionResized);
}

CFlatHeaderCtrl::~CFlatHeaderCtrl()
{
    if (m_dragWnd)
        m_dragWnd->close();
    if (m_dropWnd)
        m_dropWnd->close();
}

void CFlatHeaderCtrl::setModel(QAbstractItemModel* model)
{
    if (this->model()) {
        disconnect(this->model(), &QAbstractItemModel::columnsInserted, this, nullptr);
        disconnect(this->model(), &QAbstractItemModel::columnsRemoved, this, nullptr);
    }
    QHeaderView::setModel(model);
    m_itemEx.assign(size_t(model ? model->columnCount() : 0), _HDITEMEX{});
    if (model) {
        connect(model, &QAbstractItemModel::columnsInserted, this, &CFlatHeaderCtrl::onSectionsInserted);
        connect(model, &QAbstractItemModel::columnsRemoved, this, &CFlatHeaderCtrl::onSectionsRemoved);
    }
}

void CFlatHeaderCtrl::onSectionsInserted(const QModelIndex&, int first, int last)
{
    const size_t at = std::min(size_t(std::max(first, 0)), m_itemEx.size());
    m_itemEx.insert(m_itemEx.begin() + long(at), size_t(last - first + 1), _HDITEMEX{});
}

void CFlatHeaderCtrl::onSectionsRemoved(const QModelIndex&, int first, int last)
{
    if (first < 0 || size_t(first) >= m_itemEx.size())
        return;
    const size_t end = std::min(size_t(last) + 1, m_itemEx.size());
    m_itemEx.erase(m_itemEx.begin() + first, m_itemEx.begin() + long(end));
}

bool CFlatHeaderCtrl::ModifyProperty(int property, quintptr value)
{
    switch (property) {
    case Spacing:
        m_spacing = int(value);
        break;
    case ArrowSize:
        m_arrowSize = QSize(int(value & 0xFFFF), int((value >> 16) & 0xFFFF));
        break;
    case StaticBorder:
        m_staticBorder = value != 0;
        updateGeometry();
        break;
    case NoDropCursor:
        m_noDropCursor = int(value);
        break;
    case DropTarget:
        m_dropTarget = reinterpret_cast<QWidget*>(value);
        break;
    default:
        return false;
    }
    viewport()->update();
    return true;
}

bool CFlatHeaderCtrl::SetItemEx(int column, const _HDITEMEX& ex)
{
    if (column < 0 || size_t(column) >= m_itemEx.size())
        return false;
    m_itemEx[size_t(column)] = ex;
    setSectionResizeMode(column, (ex.nStyle & _HDITEMEX::FixedWidth) ? Fixed : Interactive);
    if (ex.nStyle & _HDITEMEX::FitContent) {
        m_inLimits = true;
        resizeSection(column, GetItemWidth(column, column == m_sortColumn));
        m_inLimits = false;
    }
    applyLimits(column);
    return true;
}

bool CFlatHeaderCtrl::GetItemEx(int column, _HDITEMEX& ex) const
{
    if (column < 0 || size_t(column) >= m_itemEx.size())
        return false;
    ex = m_itemEx[size_t(column)];
    return true;
}

void CFlatHeaderCtrl::applyLimits(int logicalIndex)
{
    if (logicalIndex < 0 || size_t(logicalIndex) >= m_itemEx.size() || m_inLimits)
        return;
    const _HDITEMEX& ex = m_itemEx[size_t(logicalIndex)];
    if ((ex.nStyle & _HDITEMEX::FixedWidth) || ex.iMaxWidth < ex.iMinWidth)
        return;
    const int width = std::clamp(sectionSize(logicalIndex), ex.iMinWidth, ex.iMaxWidth);
    if (width != sectionSize(logicalIndex)) {
        m_inLimits = true;
        resizeSection(logicalIndex, width);
        m_inLimits = false;
    }
}

void CFlatHeaderCtrl::onSectionResized(int logicalIndex, int, int)
{
    applyLimits(logicalIndex);
}

int CFlatHeaderCtrl::GetItemWidth(int column, bool withSortArrow) const
{
    int width = m_spacing;
    const QPixmap image = decorationOf(this, column);
    if (!image.isNull())
        width += m_spacing + image.width();
    if (withSortArrow)
        width += m_spacing + m_arrowSize.width();
    const QString text = textOf(this, column);
    if (!text.isEmpty())
        width += m_spacing + fontMetrics().horizontalAdvance(text);
    return width;
}

QSize CFlatHeaderCtrl::sizeHint() const
{
    // A static border frames the header: room for it on both sides.
    QSize size = QHeaderView::sizeHint();
    if (m_staticBorder)
        size.rheight() += 2 * style()->pixelMetric(QStyle::PM_DefaultFrameWidth);
    return size;
}

QSize CFlatHeaderCtrl::sectionSizeFromContents(int logicalIndex) const
{
    QSize size = QHeaderView::sectionSizeFromContents(logicalIndex);
    size.setWidth(GetItemWidth(logicalIndex, logicalIndex == m_sortColumn));
    return size;
}

void CFlatHeaderCtrl::SetSortColumn(int column, bool ascending)
{
    m_sortColumn = column;
    m_ascending = ascending;
    viewport()->update();
}

int CFlatHeaderCtrl::GetSortColumn(bool* ascending) const
{
    if (ascending)
        *ascending = m_ascending;
    return m_sortColumn;
}

void CFlatHeaderCtrl::DrawItem(QPainter* painter, const QRect& rect, int logicalIndex, bool sortColumn,
                               bool ascending) const
{
    QRect r = rect;
    const QPixmap image = decorationOf(this, logicalIndex);
    if (!image.isNull() && r.width() > image.width()) {
        painter->drawPixmap(r.left(), r.top() + (r.height() - image.height()) / 2, image);
        r.setLeft(r.left() + image.width() + m_spacing);
    }
    if (sortColumn && r.width() > m_arrowSize.width()) {
        const int x = r.right() - m_arrowSize.width();
        const int y = r.top() + (r.height() - m_arrowSize.height()) / 2;
        const int w = m_arrowSize.width(), h = m_arrowSize.height();
        QPolygon arrow = ascending ? QPolygon({QPoint(x + w / 2, y), QPoint(x + w, y + h), QPoint(x, y + h)})
                                   : QPolygon({QPoint(x, y), QPoint(x + w, y), QPoint(x + w / 2, y + h)});
        painter->save();
        painter->setPen(palette().dark().color());
        painter->setBrush(palette().light());
        painter->drawPolygon(arrow);
        painter->restore();
        r.setRight(x - m_spacing);
    }
    painter->setPen(palette().buttonText().color());
    painter->drawText(r, Qt::AlignVCenter | Qt::AlignLeft,
                      fontMetrics().elidedText(textOf(this, logicalIndex), Qt::ElideRight, std::max(r.width(), 0)));
}

void CFlatHeaderCtrl::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const
{
    painter->save();
    const bool pressed = m_pressed == logicalIndex && !m_dragging;
    painter->fillRect(rect, pressed ? palette().dark() : palette().button());
    const QRect inner = rect.adjusted(m_spacing, 0, -m_spacing, 0);
    DrawItem(painter, inner, logicalIndex, logicalIndex == m_sortColumn, m_ascending);
    // Separator between two items: a shadow line on the item's last column,
    // a highlight line just right of it.
    if (visualIndex(logicalIndex) < count() - 1) {
        painter->setPen(palette().dark().color());
        painter->drawLine(rect.right(), rect.top() + 2, rect.right(), rect.bottom() - 2);
        painter->setPen(palette().light().color());
        painter->drawLine(rect.right() + 1, rect.top() + 2, rect.right() + 1, rect.bottom() - 2);
    }
    // The raised frame: highlight top, shadow bottom.
    painter->setPen(palette().light().color());
    painter->drawLine(rect.topLeft(), rect.topRight());
    painter->setPen(palette().dark().color());
    painter->drawLine(rect.bottomLeft(), rect.bottomRight());
    painter->restore();
}

int CFlatHeaderCtrl::hotDividerAt(int x) const
{
    const int visual = visualIndexAt(x);
    if (visual < 0)
        return x < 0 ? 0 : count();
    const int logical = logicalIndex(visual);
    const int middle = sectionViewportPosition(logical) + sectionSize(logical) / 2;
    return x > middle ? visual + 1 : visual;
}

void CFlatHeaderCtrl::mousePressEvent(QMouseEvent* event)
{
    const int x = event->position().toPoint().x();
    const int logical = logicalIndexAt(x);
    // Near a divider the base class resizes the column (within its limits).
    const bool nearDivider = logical >= 0
                             && (x - sectionViewportPosition(logical) < 4
                                 || sectionViewportPosition(logical) + sectionSize(logical) - x <= 4);
    if (event->button() != Qt::LeftButton || logical < 0 || nearDivider) {
        QHeaderView::mousePressEvent(event);
        return;
    }
    m_pressed = logical;
    m_pressPoint = event->position().toPoint();
    m_dropResult = DroppedElsewhere;
    viewport()->update();
}

void CFlatHeaderCtrl::mouseMoveEvent(QMouseEvent* event)
{
    if (m_pressed < 0 || !(event->buttons() & Qt::LeftButton)) {
        QHeaderView::mouseMoveEvent(event);
        return;
    }
    const QPoint pos = event->position().toPoint();
    if (!m_dragging) {
        if ((pos - m_pressPoint).manhattanLength() < QApplication::startDragDistance())
            return;
        m_dragging = true;
        emit beginDrag(m_pressed);
        m_dragWnd = new CFHDragWnd(this, m_pressed);
        m_dropWnd = new CFHDropWnd(m_dropColour);
        grabMouse();
    }
    const QPoint global = mapToGlobal(pos);
    if (m_dragWnd) {
        m_dragWnd->move(global - QPoint(m_dragWnd->width() / 2, m_dragWnd->height() / 2));
        if (!m_dragWnd->isVisible())
            m_dragWnd->show();
    }
    if (rect().contains(pos)) {
        m_hotDivider = hotDividerAt(pos.x());
        const int x = m_hotDivider < count() ? sectionViewportPosition(logicalIndex(m_hotDivider))
                                             : length() - offset();
        if (m_dropWnd)
            m_dropWnd->SetWindowPos(mapToGlobal(QPoint(x, 0)).x(), mapToGlobal(QPoint(0, height() / 2)).y(), height());
        m_dropResult = DroppedInside;
        unsetCursor();
    } else {
        m_hotDivider = -1;
        if (m_dropWnd)
            m_dropWnd->hide();
        const bool onTarget = m_dropTarget && m_dropTarget->rect().contains(m_dropTarget->mapFromGlobal(global));
        m_dropResult = onTarget ? DroppedOnTarget : DroppedElsewhere;
        if (onTarget)
            unsetCursor();
        else
            setCursor(m_noDropCursor ? QCursor(Qt::CursorShape(m_noDropCursor)) : QCursor(Qt::ForbiddenCursor));
    }
}

void CFlatHeaderCtrl::mouseReleaseEvent(QMouseEvent* event)
{
    if (m_pressed < 0) {
        QHeaderView::mouseReleaseEvent(event);
        return;
    }
    const int pressed = m_pressed;
    if (!m_dragging) {
        m_pressed = -1;
        viewport()->update();
        emit sectionClicked(pressed);
        return;
    }
    if (m_dropResult == DroppedInside && m_hotDivider >= 0) {
        const int from = visualIndex(pressed);
        const int to = m_hotDivider > from ? m_hotDivider - 1 : m_hotDivider;
        if (to != from)
            moveSection(from, to);
    }
    emit endDrag(pressed, m_dropResult);
    endDragging();
}

void CFlatHeaderCtrl::endDragging()
{
    if (m_dragWnd)
        m_dragWnd->close();
    if (m_dropWnd)
        m_dropWnd->close();
    releaseMouse();
    unsetCursor();
    m_dragging = false;
    m_pressed = -1;
    m_hotDivider = -1;
    viewport()->update();
}
