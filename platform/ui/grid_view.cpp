#include "ui/grid_view.h"

#include "pf/log.h"
#include "pf/profile_store.h"
#include "ui/prompter.h"

#include <QApplication>
#include <QClipboard>
#include <QGlyphRun>
#include <QRawFont>
#include <QHeaderView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QSortFilterProxyModel>
#include <QStyledItemDelegate>
#include <QToolTip>
#include <QTreeView>
#include <QHBoxLayout>
#include <QStyleOptionHeader>
#include <QTimer>
#include <QElapsedTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <unordered_map>

namespace ui {

namespace detail {

// Asks the view for order and visibility; its own rules are never used.
class GridProxy : public QSortFilterProxyModel {
public:
    explicit GridProxy(GridView* view) : QSortFilterProxyModel(view), m_view(view)
    {
        setDynamicSortFilter(false);
        setRecursiveFilteringEnabled(false);
    }
    void refilter() { invalidateFilter(); }

protected:
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override
    {
        const GridModel& m = m_view->model();
        return m_view->compareRows(m.rowIdOf(left), m.rowIdOf(right), left.column()) < 0;
    }
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override
    {
        const GridModel& m = m_view->model();
        const int parentId = sourceParent.isValid() ? m.rowIdOf(sourceParent) : GridModel::kRoot;
        const int id = m.idAt(sourceRow, parentId);
        return id < 0 || size_t(id) >= m_view->m_hidden.size() || !m_view->m_hidden[size_t(id)];
    }

private:
    GridView* m_view;
};

// Lays the filter bar under the header, draws preview lines and routes the
// keyboard of button cells.
class GridTree : public QTreeView {
public:
    explicit GridTree(GridView* view) : QTreeView(view), m_view(view) {}
    void relayout() { updateGeometries(); }
    // Lays the rows out now, so that the expansions that follow each lay out
    // only their own group's rows.
    void layoutNow() { executeDelayedItemsLayout(); }
    // Every expansion would fit the scroll bars and header again; a slice of
    // expansions does it once, at its end.
    void holdGeometries(bool hold)
    {
        m_holdGeometries = hold;
        if (!hold)
            updateGeometries();
    }

protected:
    void updateGeometries() override
    {
        if (m_holdGeometries)
            return;
        QTreeView::updateGeometries();
        if (!m_view->m_filterBarOn || !m_view->m_filterBar)
            return;
        const int headerHeight = header()->isHidden() ? 0 : header()->sizeHint().height();
        const int barHeight = m_view->m_filterBar->minimumHeight();
        setViewportMargins(0, headerHeight + barHeight, 0, 0);
        // The header stays on top, the bar goes between it and the rows.
        const QRect vg = viewport()->geometry();
        header()->setGeometry(vg.left(), vg.top() - barHeight - headerHeight, vg.width(), headerHeight);
        m_view->layoutFilterBar();
    }

    // A batch of cell changes arrives as one wide span. With rows of one
    // height nothing about the layout can change, and the view's own handling
    // would measure every changed cell; repainting the span's visible part is
    // enough. Live grids repaint several times a second and most of their
    // cells stay as they were, so the rest of the viewport is left alone.
    void dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight, const QList<int>& roles) override
    {
        if (uniformRowHeights() && topLeft.isValid() && bottomRight.isValid() &&
            (topLeft.row() != bottomRight.row() || topLeft.column() != bottomRight.column())) {
            const std::optional<QRect> area = spanArea(topLeft, bottomRight);
            if (!area)
                viewport()->update();
            else if (!area->isEmpty())
                viewport()->update(*area);
            return;
        }
        QTreeView::dataChanged(topLeft, bottomRight, roles);
    }

    // The viewport's part showing a span of top-level rows: the shown rows of
    // the span across its columns, wherever the header put them (empty when
    // none is on screen). None (repaint it all) where a cell can paint beyond
    // itself: group rows, children of a group, merged cells.
    std::optional<QRect> spanArea(const QModelIndex& topLeft, const QModelIndex& bottomRight) const
    {
        if (topLeft.parent().isValid() || topLeft.siblingAtColumn(0).data(GridModel::GroupRole).toBool())
            return std::nullopt;
        const int shownColumn = header()->logicalIndexAt(0);
        if (shownColumn < 0)
            return std::nullopt;
        const QModelIndex firstShown = indexAt(QPoint(0, 0));
        if (!firstShown.isValid() || firstShown.parent().isValid())
            return std::nullopt;
        const int top = std::max(topLeft.row(), firstShown.row());
        const int rowHeight = visualRect(firstShown).height();
        if (rowHeight <= 0)
            return std::nullopt;
        const int bottom = std::min(bottomRight.row(), firstShown.row() + viewport()->height() / rowHeight + 1);
        if (top > bottom)
            return QRect();
        int left = std::numeric_limits<int>::max(), right = std::numeric_limits<int>::min();
        for (int c = topLeft.column(); c <= bottomRight.column(); ++c) {
            if (header()->isSectionHidden(c) || columnWidth(c) <= 0)
                continue;
            left = std::min(left, columnViewportPosition(c));
            right = std::max(right, columnViewportPosition(c) + columnWidth(c));
        }
        if (left >= right)
            return QRect();
        const GridModel& model = m_view->model();
        for (int r = top; r <= bottom; ++r) {
            const QModelIndex shown = topLeft.siblingAtRow(r);
            if (!shown.isValid())
                break;
            const int rowId = model.rowIdOf(m_view->m_proxy->mapToSource(shown));
            for (int c = topLeft.column(); c <= bottomRight.column(); ++c)
                if (model.mergeAt(rowId, c))
                    return std::nullopt;
        }
        const QRect first = visualRect(topLeft.siblingAtRow(top).siblingAtColumn(shownColumn));
        const QRect last = visualRect(topLeft.siblingAtRow(bottom).siblingAtColumn(shownColumn));
        if (!first.isValid() || !last.isValid())
            return std::nullopt;
        const int y0 = std::min(first.top(), last.top()), y1 = std::max(first.bottom(), last.bottom());
        return QRect(left, y0, right - left, y1 - y0 + 1).intersected(viewport()->rect());
    }

    void resizeEvent(QResizeEvent* event) override
    {
        QTreeView::resizeEvent(event);
        if (m_view->m_autoSize)
            m_view->applyAutoSize();
    }

    void scrollContentsBy(int dx, int dy) override
    {
        QTreeView::scrollContentsBy(dx, dy);
        if (dx && m_view->m_filterBarOn)
            m_view->layoutFilterBar();
    }

    void keyPressEvent(QKeyEvent* event) override
    {
        const QModelIndex current = currentIndex();
        if ((event->key() == Qt::Key_Space || event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
            current.isValid() && current.data(GridModel::ButtonRole).toInt() != 0) {
            m_view->pressButton(current.data(GridModel::RowIdRole).toInt(), current.column(), true);
            return;
        }
        if (event->matches(QKeySequence::Copy)) {
            m_view->copySelection();
            return;
        }
        QTreeView::keyPressEvent(event);
    }

    void drawRow(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        if (index.siblingAtColumn(0).data(GridModel::GroupRole).toBool()) {
            drawGroupRow(painter, option, index);
            return;
        }
        const QString preview = m_view->shownPreview(index);
        if (preview.isEmpty()) {
            QTreeView::drawRow(painter, option, index);
            return;
        }
        // The row keeps its own line at full height (buttons and icons are
        // sized for it); the preview takes the line reserved below it.
        QStyleOptionViewItem top = option;
        const int own = std::max(1, option.rect.height() - m_view->previewLineHeight());
        top.rect.setHeight(own);
        QTreeView::drawRow(painter, top, index);
        int depth = rootIsDecorated() ? 1 : 0;
        for (QModelIndex p = index.parent(); p.isValid(); p = p.parent())
            ++depth;
        const int indent = indentation() * std::max(depth, 1);
        const QRect line(option.rect.left() + indent, option.rect.top() + own, viewport()->width() - indent,
                         option.rect.height() - own);
        painter->save();
        painter->setPen(palette().color(QPalette::Dark));
        painter->drawText(line.adjusted(4, 0, -4, 0), Qt::AlignLeft | Qt::AlignVCenter,
                          fontMetrics().elidedText(preview, Qt::ElideRight, line.width() - 8));
        painter->restore();
    }

private:
    // A group row is one cell across the whole row: the branch mark, then
    // the caption, in the row's own colours when it has them.
    void drawGroupRow(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
    {
        const GridModel& model = m_view->model();
        const int rowId = model.rowIdOf(m_view->m_proxy->mapToSource(index.siblingAtColumn(0)));
        const QRect row(0, option.rect.top(), viewport()->width(), option.rect.height());
        const bool selected = selectionModel() && selectionModel()->isRowSelected(index.row(), index.parent());
        QColor back = toQColor(model.effectiveBackColour(rowId, 0));
        if (!back.isValid())
            back = palette().color(QPalette::Button);
        QColor text = toQColor(model.effectiveTextColour(rowId, 0));
        if (!text.isValid())
            text = palette().color(QPalette::ButtonText);
        if (selected) {
            back = palette().color(QPalette::Highlight);
            text = palette().color(QPalette::HighlightedText);
        }
        painter->fillRect(row, back);
        int depth = rootIsDecorated() ? 1 : 0;
        for (QModelIndex p = index.parent(); p.isValid(); p = p.parent())
            ++depth;
        const int x = header()->sectionViewportPosition(header()->logicalIndex(0));
        const QRect branch(x, row.top(), indentation() * depth, row.height());
        if (branch.width() > 0)
            drawBranches(painter, branch, index);
        const QRect caption = row.adjusted(branch.right() + 5, 0, -4, 0);
        painter->save();
        QFont font = option.font;
        font.setBold(true);
        painter->setFont(font);
        painter->setPen(text);
        painter->drawText(caption, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                          QFontMetrics(font).elidedText(m_view->groupCaption(rowId), Qt::ElideRight, caption.width()));
        painter->restore();
    }

    bool m_holdGeometries = false;
    GridView* m_view;
};

// The strip left of the rows: one header section per shown row beside it,
// the current row marked with an arrow and selected rows drawn pressed, and
// a blank corner beside the column header. A click selects the row (Shift
// extends from the current row, Ctrl toggles it) and gives the rows the focus.
class RowHeader : public QWidget {
public:
    RowHeader(GridView* view, QTreeView* tree) : QWidget(view), m_view(view), m_tree(tree)
    {
        setAttribute(Qt::WA_OpaquePaintEvent);
        // Every repaint of the rows (scrolling, selection, new rows) repaints the strip.
        m_tree->viewport()->installEventFilter(this);
    }

    // The shown rows beside the strip: (index, top, height) in strip coordinates.
    struct Section {
        QModelIndex index;
        int top = 0;
        int height = 0;
    };
    std::vector<Section> sections() const
    {
        std::vector<Section> out;
        QWidget* vp = m_tree->viewport();
        const int offset = vp->mapTo(m_view, QPoint(0, 0)).y() - y();
        // The column at the left edge of the rows (scrolled sideways or not).
        int column = m_tree->header()->logicalIndexAt(0);
        if (column < 0)
            column = firstShownColumn();
        if (column < 0)
            return out;
        const int x = std::max(0, m_tree->header()->sectionViewportPosition(column));
        for (QModelIndex idx = m_tree->indexAt(QPoint(x, 0));
             idx.isValid(); idx = m_tree->indexBelow(idx)) {
            const QRect r = m_tree->visualRect(idx.siblingAtColumn(column));
            if (r.top() >= vp->height())
                break;
            out.push_back({idx, r.top() + offset, r.height()});
        }
        return out;
    }
    int rowsTop() const { return m_tree->viewport()->mapTo(m_view, QPoint(0, 0)).y() - y(); }

    void clickAt(int yPos, Qt::KeyboardModifiers mods)
    {
        for (const Section& s : sections()) {
            if (yPos < std::max(s.top, rowsTop()) || yPos >= s.top + s.height)
                continue;
            QItemSelectionModel* sel = m_tree->selectionModel();
            const QModelIndex current = sel->currentIndex();
            if ((mods & Qt::ShiftModifier) && current.isValid()) {
                // Every shown row from the current one to the clicked one, in view order.
                QItemSelection range;
                const bool down = m_tree->visualRect(current).top() <= m_tree->visualRect(s.index).top();
                for (QModelIndex i = current; i.isValid(); i = down ? m_tree->indexBelow(i) : m_tree->indexAbove(i)) {
                    range.select(i, i);
                    if (i.row() == s.index.row() && i.parent() == s.index.parent())
                        break;
                }
                sel->select(range, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
                sel->setCurrentIndex(s.index.siblingAtColumn(current.column()), QItemSelectionModel::NoUpdate);
            } else if (mods & Qt::ControlModifier) {
                sel->select(s.index, QItemSelectionModel::Toggle | QItemSelectionModel::Rows);
                sel->setCurrentIndex(s.index, QItemSelectionModel::NoUpdate);
            } else {
                sel->setCurrentIndex(s.index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
            }
            m_tree->setFocus(Qt::MouseFocusReason);
            update();
            return;
        }
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == m_tree->viewport() && (event->type() == QEvent::Paint || event->type() == QEvent::Resize))
            update();
        return QWidget::eventFilter(watched, event);
    }

    void mousePressEvent(QMouseEvent* event) override
    {
        if (event->button() == Qt::LeftButton)
            clickAt(event->position().toPoint().y(), event->modifiers());
    }

    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.fillRect(rect(), palette().color(QPalette::Window));
        const int top = rowsTop();
        QStyleOptionHeader corner;
        corner.initFrom(this);
        corner.orientation = Qt::Horizontal;
        corner.rect = QRect(0, 0, width(), top);
        corner.state |= QStyle::State_Raised;
        if (top > 0)
            style()->drawControl(QStyle::CE_HeaderSection, &corner, &p, this);
        p.setClipRect(QRect(0, top, width(), m_tree->viewport()->height()));
        const QItemSelectionModel* sel = m_tree->selectionModel();
        const QModelIndex current = sel ? sel->currentIndex() : QModelIndex();
        for (const Section& s : sections()) {
            QStyleOptionHeader opt;
            opt.initFrom(this);
            opt.orientation = Qt::Vertical;
            opt.rect = QRect(0, s.top, width(), s.height);
            opt.state |= QStyle::State_Raised;
            const bool selected = sel && sel->isRowSelected(s.index.row(), s.index.parent());
            if (selected)
                opt.state |= QStyle::State_On | QStyle::State_Sunken;
            style()->drawControl(QStyle::CE_HeaderSection, &opt, &p, this);
            if (selected) {
                // Styles differ in how (and whether) they draw a pressed section.
                QColor tint = palette().color(QPalette::Highlight);
                tint.setAlpha(110);
                p.fillRect(opt.rect.adjusted(1, 1, -1, -1), tint);
            }
            if (current.isValid() && current.row() == s.index.row() && current.parent() == s.index.parent()) {
                // The current row's mark: a small arrow pointing at the row.
                const int h = std::min(8, s.height - 4);
                const int cx = width() / 2 - h / 4, cy = s.top + s.height / 2;
                const QPointF arrow[3] = {QPointF(cx - h / 4.0, cy - h / 2.0), QPointF(cx + h / 2.0, cy),
                                          QPointF(cx - h / 4.0, cy + h / 2.0)};
                p.save();
                p.setRenderHint(QPainter::Antialiasing);
                p.setPen(Qt::NoPen);
                p.setBrush(palette().color(QPalette::WindowText));
                p.drawPolygon(arrow, 3);
                p.restore();
            }
        }
    }

private:
    int firstShownColumn() const
    {
        const QHeaderView* h = m_tree->header();
        for (int visual = 0; visual < h->count(); ++visual) {
            const int col = h->logicalIndex(visual);
            if (col >= 0 && !h->isSectionHidden(col))
                return col;
        }
        return -1;
    }

    GridView* m_view;
    QTreeView* m_tree;
};

// The strip above the header that lists the group columns as boxes: a header
// dropped on it groups by that column, a box dragged out of it ungroups.
class GroupByBox : public QWidget {
public:
    explicit GroupByBox(GridView* view) : QWidget(view), m_view(view)
    {
        setMinimumHeight(fontMetrics().height() + 14);
        setMouseTracking(false);
    }

    QSize sizeHint() const override { return QSize(200, fontMetrics().height() + 14); }

    // The boxes of the group columns, outer level first, each a little lower.
    std::vector<QRect> chipRects() const
    {
        std::vector<QRect> out;
        int x = 6;
        int level = 0;
        const int h = fontMetrics().height() + 6;
        for (int col : m_view->groupColumns()) {
            const int w = fontMetrics().horizontalAdvance(chipText(col)) + 16;
            out.emplace_back(x, 3 + std::min(level, 2) * 2, w, h - 4);
            x += w + 8;
            ++level;
        }
        return out;
    }

    // The level a column dropped at pos takes.
    int insertPositionAt(const QPoint& pos) const
    {
        const std::vector<QRect> chips = chipRects();
        for (size_t i = 0; i < chips.size(); ++i)
            if (pos.x() < chips[i].center().x())
                return int(i);
        return int(chips.size());
    }

protected:
    QString chipText(int column) const { return m_view->model().columnName(column).simplified(); }

    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        const QColor background = palette().color(QPalette::Dark).lighter(150);
        p.fillRect(rect(), background);
        const std::vector<int> cols = m_view->groupColumns();
        if (cols.empty()) {
            // The hint's colour follows the band, not the theme's text: a dark
            // theme's light text vanished on the lightened band.
            p.setPen(background.lightness() > 128 ? QColor(70, 70, 70) : QColor(215, 215, 215));
            p.drawText(rect().adjusted(8, 0, -8, 0), Qt::AlignLeft | Qt::AlignVCenter,
                       tr("Drag a column header here to group by that column"));
            return;
        }
        const std::vector<QRect> chips = chipRects();
        for (size_t i = 0; i < chips.size(); ++i) {
            p.fillRect(chips[i], palette().color(QPalette::Button));
            p.setPen(palette().color(QPalette::Mid));
            p.drawRect(chips[i].adjusted(0, 0, -1, -1));
            p.setPen(palette().color(QPalette::ButtonText));
            p.drawText(chips[i], Qt::AlignCenter, chipText(cols[i]));
        }
    }

    void mousePressEvent(QMouseEvent* event) override
    {
        m_dragColumn = -1;
        if (event->button() != Qt::LeftButton)
            return;
        const std::vector<QRect> chips = chipRects();
        const std::vector<int> cols = m_view->groupColumns();
        for (size_t i = 0; i < chips.size() && i < cols.size(); ++i)
            if (chips[i].contains(event->position().toPoint()))
                m_dragColumn = cols[i];
        m_pressPos = event->position().toPoint();
    }

    void mouseReleaseEvent(QMouseEvent* event) override
    {
        const int column = m_dragColumn;
        m_dragColumn = -1;
        if (column < 0 || event->button() != Qt::LeftButton)
            return;
        const QPoint pos = event->position().toPoint();
        if (!rect().contains(pos))
            m_view->ungroupColumn(column);
        else if ((pos - m_pressPos).manhattanLength() >= QApplication::startDragDistance())
            m_view->groupByColumn(column, insertPositionAt(pos));
    }

private:
    GridView* m_view;
    int m_dragColumn = -1;
    QPoint m_pressPos;
};

// Several text lines high, with a menu button on the sections that have one.
class GridHeader : public QHeaderView {
public:
    explicit GridHeader(GridView* view) : QHeaderView(Qt::Horizontal, view), m_view(view) {}

    QSize sizeHint() const override
    {
        QSize s = QHeaderView::sizeHint();
        if (m_view->m_headerLines > 1) {
            QStyleOptionHeader opt;
            initStyleOption(&opt);
            opt.text = QStringLiteral("Xg");
            const int one = style()->sizeFromContents(QStyle::CT_HeaderSection, &opt, QSize(), this).height();
            s.setHeight(one * m_view->m_headerLines);
        }
        return s;
    }

    // The width a section needs to show its whole text: the widest of its
    // lines at the header's font, the style's margins and the sort mark any
    // column may get, and room for a menu button on either side of the
    // centred text. 0 for a column without text or a hidden header.
    int textWidth(int logical) const
    {
        // Hidden on purpose (a header the owner switched off), not merely
        // not shown yet.
        if ((isHidden() && testAttribute(Qt::WA_WState_ExplicitShowHide)) || !model())
            return 0;
        const QString text = model()->headerData(logical, Qt::Horizontal).toString();
        if (text.trimmed().isEmpty())
            return 0;
        int widest = 0;
        for (const QString& line : text.split(QLatin1Char('\n')))
            widest = std::max(widest, fontMetrics().horizontalAdvance(line));
        QStyleOptionHeader opt;
        initStyleOption(&opt);
        opt.section = logical;
        opt.text = text;
        opt.sortIndicator = QStyleOptionHeader::SortDown;
        opt.rect = QRect(0, 0, 1000, std::max(height(), sizeHint().height()));
        const QRect label = style()->subElementRect(QStyle::SE_HeaderLabel, &opt, this);
        int need = widest + opt.rect.width() - label.width();
        if (m_view->headerMenuButtonImage(logical) >= 0)
            need += 2 * (kButton + 2);
        return need;
    }

protected:
    static constexpr int kButton = 14;

    void changeEvent(QEvent* event) override
    {
        QHeaderView::changeEvent(event);
        // Only once the tree carries this header: the view is still being built before.
        if ((event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) &&
            m_view->tree()->header() == this)
            m_view->fitHeaderTexts();
    }

    QRect buttonRect(const QRect& section) const
    {
        return QRect(section.right() - kButton - 1, section.top() + (section.height() - kButton) / 2, kButton, kButton);
    }

    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override
    {
        painter->save();
        QHeaderView::paintSection(painter, rect, logicalIndex);
        painter->restore();
        const int image = m_view->headerMenuButtonImage(logicalIndex);
        if (image < 0)
            return;
        QStyleOption arrow;
        arrow.initFrom(this);
        arrow.rect = buttonRect(rect).adjusted(2, 2, -2, -2);
        if (image >= 3) // a value filter is applied: mark the button
            painter->fillRect(buttonRect(rect), palette().color(QPalette::Highlight).lighter(160));
        style()->drawPrimitive(QStyle::PE_IndicatorArrowDown, &arrow, painter, this);
    }

    int buttonSectionAt(const QPoint& pos) const
    {
        const int logical = logicalIndexAt(pos);
        if (logical < 0 || m_view->headerMenuButtonImage(logical) < 0)
            return -1;
        const QRect section(sectionViewportPosition(logical), 0, sectionSize(logical), height());
        return buttonRect(section).contains(pos) ? logical : -1;
    }

    void mousePressEvent(QMouseEvent* event) override
    {
        const int logical = event->button() == Qt::LeftButton ? buttonSectionAt(event->position().toPoint()) : -1;
        if (logical >= 0) {
            m_view->onHeaderMenuButtonClick(logical);
            return;
        }
        m_groupDrag = false;
        m_pressed = event->button() == Qt::LeftButton ? logicalIndexAt(event->position().toPoint()) : -1;
        m_pressPos = event->position().toPoint();
        QHeaderView::mousePressEvent(event);
    }

    // A header pulled up into the group-by box leaves the header's own
    // dragging (put back where it was, no click) and becomes a group drag.
    void mouseMoveEvent(QMouseEvent* event) override
    {
        if (m_pressed >= 0 && (event->buttons() & Qt::LeftButton) && overGroupBox(event->globalPosition().toPoint())) {
            if (!m_groupDrag) {
                m_groupDrag = true;
                abandonHeaderDrag();
                setCursor(Qt::DragMoveCursor);
            }
            return;
        }
        if (m_groupDrag)
            return;
        QHeaderView::mouseMoveEvent(event);
    }

    void mouseReleaseEvent(QMouseEvent* event) override
    {
        if (!m_groupDrag) {
            m_pressed = -1;
            QHeaderView::mouseReleaseEvent(event);
            return;
        }
        const int column = m_pressed;
        m_groupDrag = false;
        m_pressed = -1;
        unsetCursor();
        const QPoint global = event->globalPosition().toPoint();
        if (column >= 0 && overGroupBox(global)) {
            auto* box = static_cast<GroupByBox*>(m_view->groupByBox());
            m_view->groupByColumn(column, box->insertPositionAt(box->mapFromGlobal(global)));
        }
    }

    bool viewportEvent(QEvent* event) override
    {
        if (event->type() == QEvent::ToolTip) {
            auto* help = static_cast<QHelpEvent*>(event);
            const int logical = buttonSectionAt(help->pos());
            if (logical >= 0) {
                QToolTip::showText(help->globalPos(), m_view->headerMenuButtonTooltip(logical), this);
                return true;
            }
        }
        return QHeaderView::viewportEvent(event);
    }

private:
    bool overGroupBox(const QPoint& global) const
    {
        QWidget* box = m_view->groupByBox();
        return box && box->isVisible() && box->rect().contains(box->mapFromGlobal(global));
    }

    // Ends the header's own press: a release where it started moves nothing,
    // and its click is not taken as a sort.
    void abandonHeaderDrag()
    {
        const QPointF local(m_pressPos);
        const QPointF global(mapToGlobal(m_pressPos));
        QMouseEvent move(QEvent::MouseMove, local, global, Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QHeaderView::mouseMoveEvent(&move);
        QMouseEvent release(QEvent::MouseButtonRelease, local, global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
        m_view->m_suppressHeaderClick = true;
        QHeaderView::mouseReleaseEvent(&release);
        m_view->m_suppressHeaderClick = false;
    }

    GridView* m_view;
    int m_pressed = -1;
    QPoint m_pressPos;
    bool m_groupDrag = false;
};

// Glyphs and advances of the printable ASCII characters of one font, so that
// the common cell texts (prices, quantities, symbols) are drawn without
// running the text shaper for every cell of every repaint. Kerning is left
// out, as the grid's fixed-width figures do not use it.
class AsciiGlyphs {
public:
    explicit AsciiGlyphs(const QFont& font) : m_raw(QRawFont::fromFont(font))
    {
        if (!m_raw.isValid())
            return;
        QString all;
        for (char c = 32; c < 127; ++c)
            all += QLatin1Char(c);
        const QList<quint32> glyphs = m_raw.glyphIndexesForString(all);
        const QList<QPointF> advances = m_raw.advancesForGlyphIndexes(glyphs);
        if (glyphs.size() != all.size() || advances.size() != all.size())
            return;
        for (int i = 0; i < all.size(); ++i) {
            if (glyphs[i] == 0 && all[i] != QLatin1Char(' '))
                return; // the font lacks a character: leave it to the shaper
            m_glyph[size_t(i + 32)] = glyphs[i];
            m_advance[size_t(i + 32)] = advances[i].x();
        }
        m_valid = true;
    }

    // False when the text needs the shaper (other characters, no raw font).
    bool measure(const QString& text, qreal* width) const
    {
        if (!m_valid)
            return false;
        qreal w = 0;
        for (const QChar c : text) {
            const ushort u = c.unicode();
            if (u < 32 || u >= 127)
                return false;
            w += m_advance[u];
        }
        *width = w;
        return true;
    }

    void draw(QPainter* painter, const QPointF& baseline, const QString& text) const
    {
        QList<quint32> glyphs;
        QList<QPointF> positions;
        glyphs.reserve(text.size());
        positions.reserve(text.size());
        qreal x = 0;
        for (const QChar c : text) {
            const ushort u = c.unicode();
            glyphs.push_back(m_glyph[u]);
            positions.push_back(QPointF(x, 0));
            x += m_advance[u];
        }
        QGlyphRun run;
        run.setRawFont(m_raw);
        run.setGlyphIndexes(glyphs);
        run.setPositions(positions);
        painter->drawGlyphRun(baseline, run);
    }

private:
    QRawFont m_raw;
    std::array<quint32, 128> m_glyph{};
    std::array<qreal, 128> m_advance{};
    bool m_valid = false;
};

// Data icons, push-button cells and the taller rows of preview lines.
class GridDelegate : public QStyledItemDelegate {
public:
    explicit GridDelegate(GridView* view) : QStyledItemDelegate(view), m_view(view) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        const GridModel& model = m_view->model();
        const QModelIndex source = m_view->m_proxy->mapToSource(index);
        const int rowId = model.rowIdOf(source);
        const int column = source.column();
        if (const GridModel::MergeRange* merge = model.mergeAt(rowId, column)) {
            paintMerged(painter, option, model, rowId, column, *merge);
            return;
        }
        if (model.buttonCommand(rowId, column) == 0 && model.icon(rowId, column) < 0) {
            paintPlain(painter, option, model, rowId, column);
            return;
        }
        if (model.buttonCommand(rowId, column) == 0) {
            QStyledItemDelegate::paint(painter, option, index);
            return;
        }
        QStyleOptionViewItem cell = option;
        initStyleOption(&cell, index);
        cell.text.clear();
        const QWidget* widget = option.widget;
        QStyle* style = widget ? widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &cell, painter, widget);
        QStyleOptionButton button;
        button.rect = option.rect.adjusted(2, 2, -2, -2);
        button.text = index.data(Qt::DisplayRole).toString();
        button.state = QStyle::State_Enabled | QStyle::State_Raised;
        button.palette = option.palette;
        button.fontMetrics = option.fontMetrics;
        style->drawControl(QStyle::CE_PushButton, &button, painter, widget);
    }

    // The common cell, painted directly: a grid repaints hundreds of cells
    // many times a second, and the style's general item painting (text
    // layout, elision, focus frames) costs several times more.
    void paintPlain(QPainter* painter, const QStyleOptionViewItem& option, const GridModel& model, int rowId,
                    int column) const
    {
        const bool selected = option.state & QStyle::State_Selected;
        const QPalette::ColorGroup group =
            (option.state & QStyle::State_Active) ? QPalette::Active : QPalette::Inactive;
        const QColor back = selected ? option.palette.color(group, QPalette::Highlight)
                                     : toQColor(model.effectiveBackColour(rowId, column));
        if (back.isValid())
            painter->fillRect(option.rect, back);
        QColor text = selected ? option.palette.color(group, QPalette::HighlightedText)
                               : toQColor(model.effectiveTextColour(rowId, column));
        if (!text.isValid())
            text = option.palette.color(group, QPalette::Text);
        const QString value = model.text(rowId, column);
        if (value.isEmpty())
            return;
        painter->setPen(text);
        const QFont* font = model.font(rowId, column);
        painter->setFont(font ? *font : option.font);
        const QRect box = option.rect.adjusted(3, 0, -3, 0);
        const Qt::Alignment align = model.alignment(rowId, column);
        // Plain ASCII that fits is drawn from cached glyphs; anything else
        // (other scripts, a text too wide for its cell) takes the laid-out,
        // clipped way.
        const AsciiGlyphs& glyphs = glyphsFor(painter->font());
        qreal width = 0;
        if (!glyphs.measure(value, &width) || width > box.width()) {
            painter->drawText(box, int(align) | Qt::TextSingleLine, value);
            return;
        }
        qreal x = box.left();
        if (align & Qt::AlignRight)
            x = box.right() + 1 - width;
        else if (align & Qt::AlignHCenter)
            x = box.left() + (box.width() - width) / 2;
        const QFontMetrics fm = painter->fontMetrics();
        const int y = box.top() + (box.height() - fm.height()) / 2 + fm.ascent();
        glyphs.draw(painter, QPointF(std::round(x), y), value);
    }

    // Each cell of a merged area paints its own part of the area: the first
    // cell's colours, and the first cell's text placed in the whole area.
    void paintMerged(QPainter* painter, const QStyleOptionViewItem& option, const GridModel& model, int rowId,
                     int column, const GridModel::MergeRange& merge) const
    {
        const int anchorRow = merge.rows.front();
        const int anchorColumn = merge.firstColumn;
        QRect area = m_view->mergedCellRect(rowId, column);
        if (!area.isValid())
            area = option.rect;
        const bool selected = option.state & QStyle::State_Selected;
        const QPalette::ColorGroup group =
            (option.state & QStyle::State_Active) ? QPalette::Active : QPalette::Inactive;
        painter->save();
        painter->setClipRect(option.rect);
        QColor back = selected ? option.palette.color(group, QPalette::Highlight)
                               : toQColor(model.effectiveBackColour(anchorRow, anchorColumn));
        if (!back.isValid())
            back = option.palette.color(group, QPalette::Base);
        painter->fillRect(option.rect, back);
        QColor text = selected ? option.palette.color(group, QPalette::HighlightedText)
                               : toQColor(model.effectiveTextColour(anchorRow, anchorColumn));
        if (!text.isValid())
            text = option.palette.color(group, QPalette::Text);
        painter->setPen(text);
        const QFont* font = model.font(anchorRow, anchorColumn);
        painter->setFont(font ? *font : option.font);
        painter->drawText(area.adjusted(3, 0, -3, 0), int(model.alignment(anchorRow, anchorColumn)) | Qt::TextSingleLine,
                          model.text(anchorRow, anchorColumn));
        painter->restore();
    }

    const AsciiGlyphs& glyphsFor(const QFont& font) const
    {
        if (m_lastGlyphs && font == m_lastFont)
            return *m_lastGlyphs;
        m_lastFont = font;
        m_lastGlyphs = &glyphsByKey(font);
        return *m_lastGlyphs;
    }

    const AsciiGlyphs& glyphsByKey(const QFont& font) const
    {
        const QString key = font.key();
        auto it = m_glyphs.find(key);
        if (it == m_glyphs.end()) {
            if (m_glyphs.size() > 16) {
                m_glyphs.clear(); // fonts change rarely; keep the cache small
                m_lastGlyphs = nullptr;
            }
            it = m_glyphs.emplace(key, std::make_unique<AsciiGlyphs>(font)).first;
        }
        return *it->second;
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QSize s = QStyledItemDelegate::sizeHint(option, index);
        if (index.data(GridModel::ButtonRole).toInt() != 0)
            s.setHeight(s.height() + 6);
        // Every column asks for the preview line, so the row gets it whatever
        // columns are shown (a grouped key column is usually hidden).
        if (!m_view->shownPreview(index).isEmpty())
            s.setHeight(s.height() + m_view->previewLineHeight());
        return s;
    }

    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override
    {
        if (event->type() == QEvent::MouseButtonRelease && index.data(GridModel::ButtonRole).toInt() != 0 &&
            static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
            m_view->pressButton(index.data(GridModel::RowIdRole).toInt(), index.column(), false);
            return true;
        }
        return QStyledItemDelegate::editorEvent(event, model, option, index);
    }

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        const int icon = index.data(GridModel::IconRole).toInt();
        if (icon >= 0 && icon < m_view->m_icons.size()) {
            option->icon = m_view->m_icons[icon];
            option->features |= QStyleOptionViewItem::HasDecoration;
            option->decorationSize = QSize(16, 16);
        }
    }

private:
    GridView* m_view;
    mutable std::unordered_map<QString, std::unique_ptr<AsciiGlyphs>> m_glyphs;
    mutable QFont m_lastFont;
    mutable const AsciiGlyphs* m_lastGlyphs = nullptr;
};

} // namespace detail

GridView::GridView(QWidget* parent)
    : QWidget(parent), m_model(new GridModel(this)), m_proxy(new detail::GridProxy(this)),
      m_tree(new detail::GridTree(this)), m_header(new detail::GridHeader(this)),
      m_delegate(new detail::GridDelegate(this)), m_filterBar(nullptr)
{
    // Connected before the proxy's own slots so a new row's visibility is
    // known when the proxy asks for it. A new row is judged by the filter bar
    // only: the row filter may depend on the rows above and runs in refilter().
    connect(m_model, &QAbstractItemModel::rowsInserted, this, [this](const QModelIndex& parent, int first, int last) {
        const int parentId = parent.isValid() ? m_model->rowIdOf(parent) : GridModel::kRoot;
        for (int pos = first; pos <= last; ++pos) {
            const int id = m_model->idAt(pos, parentId);
            if (id < 0)
                continue;
            if (size_t(id) >= m_hidden.size())
                m_hidden.resize(size_t(id) + 1, 0);
            m_hidden[size_t(id)] = hiddenByFilterBar(id) ? 1 : 0;
        }
    });
    connect(m_model, &QAbstractItemModel::modelReset, this, [this] {
        m_hidden.clear();
        // A regroup resets the model too: the edits stay (with the focus and
        // the text being typed) unless the column count changed.
        if (m_filterEdits.size() == size_t(m_model->columns()))
            return;
        m_filterTexts.resize(size_t(m_model->columns()));
        for (QLineEdit* e : m_filterEdits)
            delete e;
        m_filterEdits.clear();
        for (int col = 0; col < m_model->columns(); ++col) {
            auto* edit = new QLineEdit(m_filterBar);
            edit->setText(m_filterTexts[size_t(col)]);
            edit->setPlaceholderText(m_filterEmptyText);
            connect(edit, &QLineEdit::textEdited, this, [this, col](const QString& t) { setFilterBarText(col, t); });
            m_filterEdits.push_back(edit);
        }
        layoutFilterBar();
    });
    connect(m_model, &GridModel::regrouped, this, &GridView::onRegrouped);
    // Rows an owner adds one by one, without a filter pass, get their
    // columns' widths once the adding is done.
    const auto fitLater = [this] {
        if (m_cellFitPending)
            return;
        m_cellFitPending = true;
        QTimer::singleShot(0, this, [this] {
            m_cellFitPending = false;
            fitCellTexts();
        });
    };
    connect(m_model, &QAbstractItemModel::rowsInserted, this, fitLater);
    connect(m_model, &QAbstractItemModel::modelReset, this, fitLater);
    m_proxy->setSourceModel(m_model);

    m_filterBar = new QWidget(m_tree);
    m_filterBar->setMinimumHeight(QLineEdit().sizeHint().height());
    m_filterBar->hide();

    m_tree->setHeader(m_header);
    m_tree->setModel(m_proxy);
    // New columns and renamed ones get room for their header's text.
    connect(m_header, &QHeaderView::sectionCountChanged, this, [this] { fitHeaderTexts(); });
    connect(m_model, &QAbstractItemModel::headerDataChanged, this, [this] { fitHeaderTexts(); });
    m_tree->setItemDelegate(m_delegate);
    m_tree->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_tree->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_tree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_tree->setAllColumnsShowFocus(true);
    m_tree->setUniformRowHeights(true);
    m_tree->setSortingEnabled(false);
    m_header->setSectionsMovable(true);
    m_header->setSectionsClickable(true);
    m_header->setSortIndicatorShown(true);
    m_header->setSortIndicator(-1, Qt::AscendingOrder);
    m_header->setStretchLastSection(false);
    m_header->setMinimumSectionSize(1); // computed widths may be narrower than the style's minimum
    m_header->setDefaultAlignment(Qt::AlignCenter);
    m_header->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_header, &QHeaderView::sectionClicked, this, [this](int column) {
        if (!m_suppressHeaderClick)
            clickHeader(column);
    });
    connect(m_header, &QHeaderView::sectionMoved, this, &GridView::onSectionMoved);
    connect(m_header, &QHeaderView::sectionResized, this, [this](int column, int, int width) {
        // A column is never narrower than its header's text, however it got
        // its width (the owner, a saved layout, the user's drag); 0 stays the
        // owner's way of folding a column away.
        if (!m_fittingHeaders && width > 0) {
            const int need = headerTextWidth(column);
            if (width < need) {
                m_fittingHeaders = true;
                m_header->resizeSection(column, need);
                m_fittingHeaders = false;
            }
        }
        layoutFilterBar();
        if (m_autoSize && !m_applyingAutoSize)
            captureAutoSizeBase(); // the user's new width becomes its share
    });
    connect(m_header, &QWidget::customContextMenuRequested, this,
            qOverload<const QPoint&>(&GridView::showColumnChooser));
    const auto noteExpansion = [this](const QModelIndex& index, bool expanded) {
        if (m_restoringExpansion)
            return;
        const int id = m_model->rowIdOf(m_proxy->mapToSource(index));
        if (!m_model->isAutoGroup(id))
            return;
        if (expanded)
            m_collapsed.erase(groupKey(id));
        else
            m_collapsed.insert(groupKey(id));
    };
    connect(m_tree, &QTreeView::expanded, this, [noteExpansion](const QModelIndex& i) { noteExpansion(i, true); });
    connect(m_tree, &QTreeView::collapsed, this, [noteExpansion](const QModelIndex& i) { noteExpansion(i, false); });

    m_groupBox = new detail::GroupByBox(this);
    m_groupBox->hide();

    m_rowHeader = new detail::RowHeader(this, m_tree);
    m_rowHeader->hide();

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_groupBox);
    auto* rows = new QHBoxLayout;
    rows->setContentsMargins(0, 0, 0, 0);
    rows->setSpacing(0);
    rows->addWidget(m_rowHeader);
    rows->addWidget(m_tree);
    layout->addLayout(rows);
}

void GridView::setRowHeaderWidth(int width)
{
    m_rowHeaderWidth = std::max(0, width);
    m_rowHeader->setFixedWidth(m_rowHeaderWidth);
    m_rowHeader->setVisible(m_rowHeaderWidth > 0);
}

QWidget* GridView::rowHeader() const { return m_rowHeaderWidth > 0 ? m_rowHeader : nullptr; }

int GridView::rowHeaderRowAt(int y) const
{
    if (m_rowHeaderWidth <= 0 || y < m_rowHeader->rowsTop())
        return -1;
    for (const detail::RowHeader::Section& s : m_rowHeader->sections())
        if (y >= s.top && y < s.top + s.height)
            return m_model->rowIdOf(m_proxy->mapToSource(s.index));
    return -1;
}

void GridView::clickRowHeader(int y, Qt::KeyboardModifiers modifiers)
{
    if (m_rowHeaderWidth > 0)
        m_rowHeader->clickAt(y, modifiers);
}

GridView::~GridView()
{
    // The tree, its header and the filter bar call back into this view; they
    // go first, while the view is still whole.
    m_model->disconnect(this);
    m_filterEdits.clear();
    m_filterBar = nullptr;
    delete m_rowHeader; // it watches the tree
    m_rowHeader = nullptr;
    delete m_tree;
    m_tree = nullptr;
}

QTreeView* GridView::tree() const { return m_tree; }

void GridView::setSortState(int column, bool ascending)
{
    m_sortColumn = column;
    m_ascending = ascending;
}

void GridView::sortRows()
{
    m_model->flush();
    m_header->setSortIndicator(m_sortColumn, m_ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
    m_proxy->sort(m_sortColumn, Qt::AscendingOrder); // the compare rule carries the direction
}

void GridView::clickHeader(int column)
{
    onHeaderColumnClick(column);
    sortRows();
    emit headerClicked(column);
}

void GridView::onHeaderColumnClick(int column)
{
    if (column == m_sortColumn) {
        m_ascending = !m_ascending;
    } else {
        m_sortColumn = column;
        m_ascending = true;
    }
}

int GridView::compareRows(int rowA, int rowB, int column) const
{
    const QString a = m_model->text(rowA, column);
    const QString b = m_model->text(rowB, column);
    bool okA = false, okB = false;
    const double x = a.toDouble(&okA);
    const double y = b.toDouble(&okB);
    int r;
    if (okA && okB)
        r = x < y ? -1 : (x > y ? 1 : 0);
    else
        r = QString::localeAwareCompare(a, b);
    r = r < 0 ? -1 : (r > 0 ? 1 : 0);
    return m_ascending ? r : -r;
}

void GridView::setRowFilter(RowFilter filter)
{
    m_rowFilter = std::move(filter);
    refilter();
}

void GridView::setFilterBarVisible(bool on)
{
    m_filterBarOn = on;
    m_filterBar->setVisible(on);
    m_tree->relayout();
    layoutFilterBar();
    refilter();
}

void GridView::setFilterBarText(int column, const QString& text)
{
    if (column < 0 || column >= m_model->columns())
        return;
    if (m_filterTexts.size() < size_t(m_model->columns()))
        m_filterTexts.resize(size_t(m_model->columns()));
    m_filterTexts[size_t(column)] = text;
    if (size_t(column) < m_filterEdits.size() && m_filterEdits[size_t(column)]->text() != text)
        m_filterEdits[size_t(column)]->setText(text);
    refilter();
}

void GridView::setFilterBarEmptyText(const QString& text)
{
    m_filterEmptyText = text;
    for (QLineEdit* edit : m_filterEdits)
        edit->setPlaceholderText(text);
}

QString GridView::filterBarText(int column) const
{
    return column >= 0 && size_t(column) < m_filterTexts.size() ? m_filterTexts[size_t(column)] : QString();
}

bool GridView::isRowHiddenByFilterBar(int rowId, int column, const QString& filter) const
{
    return !m_model->text(rowId, column).contains(filter, Qt::CaseInsensitive);
}

bool GridView::hiddenByFilterBar(int rowId) const
{
    if (!m_filterBarOn)
        return false;
    for (size_t col = 0; col < m_filterTexts.size() && int(col) < m_model->columns(); ++col)
        if (!m_filterTexts[col].isEmpty() && isRowHiddenByFilterBar(rowId, int(col), m_filterTexts[col]))
            return true;
    return false;
}

void GridView::refilter()
{
    m_refiltering = true;
    m_model->flush(); // may regroup
    m_refiltering = false;
    const std::vector<int> rows = m_model->preorder();
    int maxId = -1;
    for (int id : rows)
        maxId = std::max(maxId, id);
    m_hidden.assign(size_t(maxId + 1), 0);
    beginFilterPass();
    bool grouped = false;
    for (int id : rows) { // top to bottom: a filter may remember the rows above
        if (m_model->isAutoGroup(id)) {
            grouped = true; // judged by its rows below
            continue;
        }
        m_hidden[size_t(id)] = ((m_rowFilter && m_rowFilter(id)) || hiddenByFilterBar(id)) ? 1 : 0;
    }
    if (grouped) {
        // Bottom up, so inner groups are settled before the groups around them:
        // a group none of whose rows is shown is not shown either.
        for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
            if (!m_model->isAutoGroup(*it))
                continue;
            bool any = false;
            for (int child : m_model->childrenOf(*it))
                any = any || !m_hidden[size_t(child)];
            m_hidden[size_t(*it)] = any ? 0 : 1;
        }
    }
    m_proxy->refilter();
    if (m_sortColumn >= 0)
        sortRows();
    restoreExpansion();
    fitCellTexts();
}

int GridView::cellNeed(int column) const
{
    return column >= 0 && size_t(column) < m_cellNeed.size() ? m_cellNeed[size_t(column)] : 0;
}

void GridView::fitCellTexts()
{
    const int columns = m_model->columns();
    m_cellNeed.assign(size_t(columns), 0);
    const QFontMetrics viewFont(m_tree->font());
    // The cell's text box is 3 pixels in from each side (GridDelegate), and a
    // pixel more keeps the last letter clear of the grid line.
    constexpr int kMargins = 8;
    const int firstShown = m_header->logicalIndex(0);
    int measured = 0;
    for (int id : m_model->preorder()) {
        if (measured >= kMeasuredRows)
            break;
        if (!isRowShown(id))
            continue;
        ++measured;
        if (m_model->isAutoGroup(id) || m_model->isGroup(id))
            continue; // a group row's caption runs across the row
        for (int col = 0; col < columns; ++col) {
            if (m_header->isSectionHidden(col) || m_model->buttonCommand(id, col) != 0 || m_model->mergeAt(id, col))
                continue;
            const QString text = m_model->text(id, col);
            if (text.isEmpty())
                continue;
            const QFont* own = m_model->font(id, col);
            int need = (own ? QFontMetrics(*own) : viewFont).horizontalAdvance(text) + kMargins;
            if (m_model->icon(id, col) >= 0)
                need += m_tree->iconSize().width() > 0 ? m_tree->iconSize().width() + 4 : 20;
            if (col == firstShown) {
                int depth = m_tree->rootIsDecorated() ? 1 : 0;
                for (int p = m_model->parentOf(id); p != GridModel::kRoot; p = m_model->parentOf(p))
                    ++depth;
                need += depth * m_tree->indentation();
            }
            m_cellNeed[size_t(col)] = std::max(m_cellNeed[size_t(col)], need);
        }
    }
    if (m_fittingHeaders)
        return;
    m_fittingHeaders = true;
    const bool applying = m_applyingAutoSize;
    m_applyingAutoSize = true; // the owner's shares stay as they were set
    bool widened = false;
    for (int col = 0; col < std::min(columns, m_header->count()); ++col) {
        const int width = m_header->sectionSize(col);
        if (width > 0 && width < m_cellNeed[size_t(col)]) {
            m_header->resizeSection(col, m_cellNeed[size_t(col)]);
            widened = true;
        }
    }
    m_applyingAutoSize = applying;
    m_fittingHeaders = false;
    if (widened && m_autoSize)
        applyAutoSize();
}

bool GridView::takeRows(GridModel& built)
{
    m_refiltering = true; // a regroup's own filter pass waits for the one below
    const bool taken = m_model->adoptRows(built);
    m_refiltering = false;
    refilter();
    return taken;
}

void GridView::onRegrouped()
{
    if (m_groupBox)
        m_groupBox->update();
    if (!m_refiltering) // refilter() goes on with the new groups itself
        refilter();
}

QString GridView::groupKey(int rowId) const
{
    QString key;
    for (int id = rowId; m_model->isAutoGroup(id); id = m_model->parentOf(id)) {
        const int col = m_model->groupColumnOf(id);
        key.prepend(QString::number(col) + QLatin1Char('=') + m_model->text(id, col) + QChar(0x1f));
    }
    return key;
}

void GridView::restoreExpansion()
{
    ++m_expandGeneration; // a pass still opening groups gives way to this one
    if (m_model->groupColumns().empty()) {
        settleExpansion();
        return;
    }
    std::vector<int> groups;
    for (int id : m_model->preorder())
        if (m_model->isAutoGroup(id))
            groups.push_back(id);
    if (groups.size() <= kGroupsOpenedAtOnce) {
        m_restoringExpansion = true;
        m_tree->expandAll();
        m_restoringExpansion = false;
        collapseUserClosed(groups);
        settleExpansion();
        return;
    }
    // Thousands of groups take the view a long time to open at once (every
    // group's rows are mapped and laid out). They are opened top down in
    // slices of a few milliseconds with the event loop running between, so
    // the window keeps answering; isSettling() holds until the last slice.
    collapseUserClosed(groups);
    m_toExpand = std::move(groups);
    m_expandAt = 0;
    m_settling = true;
    m_tree->layoutNow();
    nextExpandSlice();
}

void GridView::collapseUserClosed(const std::vector<int>& groups)
{
    if (m_collapsed.empty())
        return;
    m_restoringExpansion = true;
    for (int id : groups) {
        if (!m_collapsed.count(groupKey(id)))
            continue;
        const QModelIndex index = m_proxy->mapFromSource(m_model->indexOf(id, 0));
        if (index.isValid())
            m_tree->collapse(index);
    }
    m_restoringExpansion = false;
}

void GridView::expandSlice(uint64_t generation)
{
    if (generation != m_expandGeneration)
        return;
    QElapsedTimer clock;
    clock.start();
    m_restoringExpansion = true;
    m_tree->holdGeometries(true);
    while (m_expandAt < m_toExpand.size() && clock.nsecsElapsed() < kExpandSliceNs) {
        const int id = m_toExpand[m_expandAt++];
        // A group the user closed meanwhile stays closed.
        if (!m_model->isAutoGroup(id) || (!m_collapsed.empty() && m_collapsed.count(groupKey(id))))
            continue;
        const QModelIndex index = m_proxy->mapFromSource(m_model->indexOf(id, 0));
        if (index.isValid())
            m_tree->expand(index);
    }
    m_tree->holdGeometries(false);
    m_restoringExpansion = false;
    if (m_expandAt < m_toExpand.size())
        nextExpandSlice();
    else
        settleExpansion();
}

void GridView::nextExpandSlice()
{
    // A timer rather than a posted call: input and other timers due meanwhile
    // go first.
    QTimer::singleShot(1, this, [this, generation = m_expandGeneration] { expandSlice(generation); });
}

void GridView::settleExpansion()
{
    m_toExpand.clear();
    m_expandAt = 0;
    if (!m_settling)
        return;
    m_settling = false;
    emit expansionSettled();
}

void GridView::setGroupColumns(std::vector<int> columns)
{
    m_model->setGroupColumns(std::move(columns)); // regroups at once when they changed
    m_groupBox->update();
}

std::vector<int> GridView::groupColumns() const { return m_model->groupColumns(); }

void GridView::groupByColumn(int column, int position)
{
    if (column < 0 || column >= m_model->columns())
        return;
    std::vector<int> cols = m_model->groupColumns();
    const auto it = std::find(cols.begin(), cols.end(), column);
    if (it != cols.end()) {
        if (position > int(it - cols.begin()))
            --position; // the column leaves its old place first
        cols.erase(it);
    }
    if (position < 0 || position > int(cols.size()))
        position = int(cols.size());
    cols.insert(cols.begin() + position, column);
    setGroupColumns(std::move(cols));
}

void GridView::ungroupColumn(int column)
{
    std::vector<int> cols = m_model->groupColumns();
    cols.erase(std::remove(cols.begin(), cols.end(), column), cols.end());
    setGroupColumns(std::move(cols));
}

void GridView::setGroupByBoxVisible(bool on) { m_groupBox->setVisible(on); }

bool GridView::groupByBoxVisible() const { return !m_groupBox->isHidden(); }

QWidget* GridView::groupByBox() const { return m_groupBox; }

QString GridView::groupCaption(int rowId) const
{
    if (!m_model->isAutoGroup(rowId))
        return m_model->text(rowId, 0);
    const int col = m_model->groupColumnOf(rowId);
    return QStringLiteral("%1: %2 (%3)")
        .arg(m_model->columnName(col).simplified(), m_model->text(rowId, col))
        .arg(m_model->groupCount(rowId));
}

bool GridView::isGroupExpanded(int rowId) const
{
    const QModelIndex index = m_proxy->mapFromSource(m_model->indexOf(rowId, 0));
    return index.isValid() && m_tree->isExpanded(index);
}

void GridView::setGroupExpanded(int rowId, bool expanded)
{
    const QModelIndex index = m_proxy->mapFromSource(m_model->indexOf(rowId, 0));
    if (index.isValid())
        m_tree->setExpanded(index, expanded); // the expanded/collapsed signal records it
}

QRect GridView::mergedCellRect(int rowId, int column) const
{
    const GridModel::MergeRange* merge = m_model->mergeAt(rowId, column);
    if (!merge)
        return {};
    const QModelIndex own = m_proxy->mapFromSource(m_model->indexOf(rowId, column));
    if (!own.isValid())
        return {};
    const QRect ownRect = m_tree->visualRect(own);
    if (!ownRect.isValid())
        return {};
    int left = INT32_MAX, right = INT32_MIN;
    for (int col = merge->firstColumn; col <= merge->lastColumn; ++col) {
        if (m_header->isSectionHidden(col))
            continue;
        const int x = m_header->sectionViewportPosition(col);
        left = std::min(left, x);
        right = std::max(right, x + m_header->sectionSize(col) - 1);
    }
    if (left > right)
        return {};
    // In the tree's first column a row's cell starts after its indentation:
    // text placed from the section's edge would be clipped away.
    const QModelIndex first = m_proxy->mapFromSource(m_model->indexOf(rowId, merge->firstColumn));
    if (const QRect firstRect = first.isValid() ? m_tree->visualRect(first) : QRect(); firstRect.isValid())
        left = std::max(left, firstRect.left());
    // The rows count as one area only while they are shown one under another.
    std::vector<QRect> rows;
    for (int id : merge->rows) {
        const QModelIndex index = m_proxy->mapFromSource(m_model->indexOf(id, column));
        const QRect r = index.isValid() ? m_tree->visualRect(index) : QRect();
        if (r.isValid())
            rows.push_back(r);
    }
    std::sort(rows.begin(), rows.end(), [](const QRect& a, const QRect& b) { return a.top() < b.top(); });
    bool together = !rows.empty();
    for (size_t i = 1; i < rows.size(); ++i)
        together = together && rows[i].top() == rows[i - 1].bottom() + 1;
    const int top = together ? rows.front().top() : ownRect.top();
    const int bottom = together ? rows.back().bottom() : ownRect.bottom();
    return QRect(QPoint(left, top), QPoint(right, bottom));
}

bool GridView::isRowShown(int rowId) const
{
    if (!m_model->isRow(rowId))
        return false;
    for (int id = rowId; id != GridModel::kRoot; id = m_model->parentOf(id))
        if (size_t(id) < m_hidden.size() && m_hidden[size_t(id)])
            return false;
    return true;
}

std::vector<int> GridView::shownRows() const
{
    std::vector<int> out;
    const std::function<void(const QModelIndex&)> walk = [&](const QModelIndex& parent) {
        const int n = m_proxy->rowCount(parent);
        for (int row = 0; row < n; ++row) {
            const QModelIndex index = m_proxy->index(row, 0, parent);
            out.push_back(m_model->rowIdOf(m_proxy->mapToSource(index)));
            walk(index);
        }
    };
    walk(QModelIndex());
    return out;
}

void GridView::setFrozenColumns(int count) { m_frozen = std::max(0, count); }

bool GridView::canHideColumn(int column) const { return column >= m_frozen; }

bool GridView::canMoveColumn(int column) const { return column >= m_frozen; }

bool GridView::setColumnHidden(int column, bool hidden)
{
    if (column < 0 || column >= m_model->columns())
        return false;
    if (hidden && !canHideColumn(column))
        return false;
    m_header->setSectionHidden(column, hidden);
    layoutFilterBar();
    return true;
}

bool GridView::isColumnHidden(int column) const { return m_header->isSectionHidden(column); }

void GridView::setColumnWidth(int column, int width)
{
    m_header->resizeSection(column, std::max(0, width));
    if (m_autoSize && column >= 0 && size_t(column) < m_autoSizeBase.size()) {
        m_autoSizeBase[size_t(column)] = std::max(0, width);
        applyAutoSize();
    }
}

int GridView::columnWidth(int column) const { return m_header->sectionSize(column); }

int GridView::headerTextWidth(int column) const
{
    if (column < 0 || column >= m_model->columns())
        return 0;
    return m_header->textWidth(column);
}

void GridView::fitHeaderTexts()
{
    if (m_fittingHeaders)
        return;
    m_fittingHeaders = true;
    const bool applying = m_applyingAutoSize;
    m_applyingAutoSize = true; // the owner's shares stay as they were set
    bool widened = false;
    for (int col = 0; col < std::min(m_model->columns(), m_header->count()); ++col) {
        const int width = m_header->sectionSize(col);
        const int need = m_header->textWidth(col);
        if (width > 0 && width < need) {
            m_header->resizeSection(col, need);
            widened = true;
        }
    }
    m_applyingAutoSize = applying;
    m_fittingHeaders = false;
    if (widened && m_autoSize)
        applyAutoSize();
}

bool GridView::moveColumn(int column, int toVisual)
{
    if (column < 0 || column >= m_model->columns() || toVisual < 0 || toVisual >= m_model->columns())
        return false;
    const int from = m_header->visualIndex(column);
    m_header->moveSection(from, toVisual);
    return m_header->visualIndex(column) == toVisual;
}

int GridView::visualIndex(int column) const { return m_header->visualIndex(column); }

void GridView::onSectionMoved(int logical, int oldVisual, int newVisual)
{
    if (m_revertingMove)
        return;
    if (!canMoveColumn(logical) || newVisual < m_frozen) {
        m_revertingMove = true;
        m_header->moveSection(newVisual, oldVisual);
        m_revertingMove = false;
    }
    layoutFilterBar();
}

std::vector<int> GridView::columnChooserColumns() const
{
    std::vector<int> out;
    for (int visual = 0; visual < m_model->columns(); ++visual) {
        const int col = m_header->logicalIndex(visual);
        if (col >= 0 && canHideColumn(col))
            out.push_back(col);
    }
    return out;
}

void GridView::showColumnChooser() { pickColumns(QPoint(0, m_header->height()), false); }

// The header's own menu lists every column, the frozen ones greyed, so the
// user sees why they stay; the "Select Columns" command offers only the
// columns that may go.
void GridView::showColumnChooser(const QPoint& pos) { pickColumns(pos, true); }

void GridView::pickColumns(const QPoint& pos, bool listFrozen)
{
    MenuSpec menu;
    const std::vector<int> offered = columnChooserColumns();
    for (int col = 0; col < m_model->columns(); ++col) {
        const bool may = std::find(offered.begin(), offered.end(), col) != offered.end();
        if (!may && !listFrozen)
            continue;
        MenuItem item;
        item.id = col + 1;
        item.text = m_model->columnName(col).simplified().toStdString();
        item.checked = !isColumnHidden(col);
        item.enabled = may;
        menu.items.push_back(item);
    }
    if (menu.items.empty())
        return;
    const QPoint global = m_header->mapToGlobal(pos);
    const int chosen = prompter().pickMenuCommand(menu, global.x(), global.y());
    if (std::find(offered.begin(), offered.end(), chosen - 1) != offered.end())
        setColumnHidden(chosen - 1, !isColumnHidden(chosen - 1));
}

void GridView::setColumnAutoSize(bool on)
{
    m_autoSize = on;
    if (!on)
        return;
    captureAutoSizeBase();
    applyAutoSize();
}

void GridView::captureAutoSizeBase()
{
    m_autoSizeBase.assign(size_t(m_model->columns()), 0);
    for (int col = 0; col < m_model->columns(); ++col)
        m_autoSizeBase[size_t(col)] = m_header->sectionSize(col);
}

void GridView::applyAutoSize()
{
    if (!m_autoSize || m_applyingAutoSize)
        return;
    if (m_autoSizeBase.size() != size_t(m_model->columns()))
        captureAutoSizeBase();
    const int available = m_tree->viewport()->width();
    long long total = 0;
    int lastShown = -1;
    for (int col = 0; col < m_model->columns(); ++col) {
        if (m_header->isSectionHidden(col))
            continue;
        total += std::max(1, m_autoSizeBase[size_t(col)]);
        if (lastShown < 0 || m_header->visualIndex(col) > m_header->visualIndex(lastShown))
            lastShown = col;
    }
    if (total <= 0 || available <= 0)
        return;
    m_applyingAutoSize = true;
    int used = 0;
    for (int col = 0; col < m_model->columns(); ++col) {
        if (m_header->isSectionHidden(col) || col == lastShown)
            continue;
        // A share never cuts the header's text: the grid scrolls instead.
        const int share = int(std::max(1, m_autoSizeBase[size_t(col)]) * (long long)available / total);
        const int w = std::max({share, m_header->textWidth(col), cellNeed(col)});
        m_header->resizeSection(col, w);
        used += w;
    }
    if (lastShown >= 0)
        m_header->resizeSection(lastShown,
                                std::max({1, available - used, m_header->textWidth(lastShown), cellNeed(lastShown)}));
    m_applyingAutoSize = false;
}

void GridView::layoutFilterBar()
{
    if (!m_filterBar || !m_filterBarOn)
        return;
    const QRect vp = m_tree->viewport()->geometry();
    const int barHeight = m_filterBar->minimumHeight();
    m_filterBar->setGeometry(vp.left(), vp.top() - barHeight, vp.width(), barHeight);
    for (size_t col = 0; col < m_filterEdits.size(); ++col) {
        QLineEdit* edit = m_filterEdits[col];
        if (m_header->isSectionHidden(int(col))) {
            edit->hide();
            continue;
        }
        edit->setGeometry(m_header->sectionViewportPosition(int(col)), 0, m_header->sectionSize(int(col)), barHeight);
        edit->show();
    }
}

void GridView::setHeaderLineCount(int lines)
{
    m_headerLines = std::clamp(lines, 1, 8);
    m_header->updateGeometry();
    m_tree->doItemsLayout();
    fitHeaderTexts(); // a taller header leaves the sort mark more room
}

void GridView::setDataIcons(const QList<QIcon>& icons)
{
    m_icons = icons;
    m_tree->viewport()->update();
}

void GridView::setPreviewShown(bool on)
{
    m_previewShown = on;
    m_tree->setUniformRowHeights(!on);
    m_tree->doItemsLayout();
}

QString GridView::shownPreview(const QModelIndex& index) const
{
    if (!m_previewShown || !index.isValid())
        return {};
    return index.siblingAtColumn(0).data(GridModel::PreviewRole).toString();
}

int GridView::previewLineHeight() const
{
    return m_tree->fontMetrics().height() + 4;
}

void GridView::setDefaultColours(Rgb text, Rgb back)
{
    QPalette p = m_tree->palette();
    if (const QColor c = toQColor(text); c.isValid())
        p.setColor(QPalette::Text, c);
    if (const QColor c = toQColor(back); c.isValid()) {
        p.setColor(QPalette::Base, c);
        p.setColor(QPalette::AlternateBase, c);
    }
    m_tree->setPalette(p);
}

void GridView::expandAll(bool expand)
{
    m_collapsed.clear();
    if (expand && !m_model->groupColumns().empty()) {
        restoreExpansion(); // many groups open in slices
        return;
    }
    if (!expand)
        for (int id : m_model->preorder())
            if (m_model->isAutoGroup(id))
                m_collapsed.insert(groupKey(id));
    ++m_expandGeneration;
    m_restoringExpansion = true;
    if (expand)
        m_tree->expandAll(); // the owner's own groups
    else
        m_tree->collapseAll();
    m_restoringExpansion = false;
    settleExpansion();
}

void GridView::setGridFont(const QFont& font)
{
    m_tree->setFont(font);
    fitCellTexts();
}

int GridView::headerMenuButtonImage(int) const { return -1; }

QString GridView::headerMenuButtonTooltip(int) const { return {}; }

void GridView::onHeaderMenuButtonClick(int) {}

GridLayoutState GridView::captureLayout() const
{
    GridLayoutState s;
    for (const QString& n : m_model->columnNames())
        s.names.push_back(n.toStdString());
    for (int col = 0; col < m_model->columns(); ++col)
        s.columns.push_back({m_header->visualIndex(col), m_header->sectionSize(col), m_header->isSectionHidden(col)});
    s.sortColumn = m_sortColumn;
    s.ascending = m_ascending;
    s.groupColumns = m_model->groupColumns();
    return s;
}

bool GridView::applyLayout(const GridLayoutState& state)
{
    std::vector<std::string> names;
    for (const QString& n : m_model->columnNames())
        names.push_back(n.toStdString());
    if (state.names != names || state.columns.size() != names.size())
        return false;
    m_revertingMove = true; // the saved order keeps frozen columns in front already
    for (int visual = 0; visual < int(names.size()); ++visual) {
        for (int col = 0; col < int(names.size()); ++col) {
            if (state.columns[size_t(col)].visualIndex == visual) {
                m_header->moveSection(m_header->visualIndex(col), visual);
                break;
            }
        }
    }
    m_revertingMove = false;
    for (int col = 0; col < int(names.size()); ++col) {
        const GridLayoutState::Column& c = state.columns[size_t(col)];
        if (c.width > 0)
            m_header->resizeSection(col, c.width);
        m_header->setSectionHidden(col, c.hidden && canHideColumn(col));
    }
    m_sortColumn = state.sortColumn;
    m_ascending = state.ascending;
    if (state.groupColumns != m_model->groupColumns())
        setGroupColumns(state.groupColumns); // sorts again with the groups
    else if (m_sortColumn >= 0)
        sortRows();
    layoutFilterBar();
    return true;
}

bool GridView::saveLayout(const std::string& name, pf::ProfileStore* store) const
{
    if (!store)
        store = GridLayoutState::defaultStore();
    return store && captureLayout().save(*store, name);
}

bool GridView::loadLayout(const std::string& name, pf::ProfileStore* store)
{
    if (!store)
        store = GridLayoutState::defaultStore();
    if (!store)
        return false;
    std::vector<std::string> names;
    for (const QString& n : m_model->columnNames())
        names.push_back(n.toStdString());
    const std::optional<GridLayoutState> state = GridLayoutState::load(*store, name, names);
    return state && applyLayout(*state);
}

void GridView::selectRow(int rowId, bool add)
{
    const QModelIndex index = m_proxy->mapFromSource(m_model->indexOf(rowId, 0));
    if (!index.isValid())
        return;
    auto flags = QItemSelectionModel::Rows | (add ? QItemSelectionModel::Select : QItemSelectionModel::ClearAndSelect);
    m_tree->selectionModel()->select(index, flags);
    m_tree->selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
}

QString GridView::copySelection(bool withHeader)
{
    std::vector<int> columns;
    for (int visual = 0; visual < m_model->columns(); ++visual) {
        const int col = m_header->logicalIndex(visual);
        if (col >= 0 && !m_header->isSectionHidden(col))
            columns.push_back(col);
    }
    std::vector<char> selected(m_hidden.size() + size_t(m_model->rowTotal()) + 1, 0);
    for (const QModelIndex& index : m_tree->selectionModel()->selectedRows()) {
        const int id = m_model->rowIdOf(m_proxy->mapToSource(index));
        if (id >= 0 && size_t(id) < selected.size())
            selected[size_t(id)] = 1;
    }
    QStringList lines;
    if (withHeader) {
        QStringList cells;
        for (int col : columns)
            cells << m_model->columnName(col).simplified();
        lines << cells.join(QLatin1Char('\t'));
    }
    for (int id : shownRows()) {
        if (size_t(id) >= selected.size() || !selected[size_t(id)])
            continue;
        QStringList cells;
        for (int col : columns)
            cells << m_model->text(id, col);
        lines << cells.join(QLatin1Char('\t'));
    }
    QString text = lines.join(QLatin1Char('\n'));
    if (!lines.isEmpty())
        text += QLatin1Char('\n');
    if (QClipboard* clipboard = QGuiApplication::clipboard())
        clipboard->setText(text);
    return text;
}

void GridView::pressButton(int rowId, int column, bool byKey)
{
    const int command = m_model->buttonCommand(rowId, column);
    if (command == 0)
        return;
    if (byKey)
        emit commandToGrid(command, rowId);
    else
        emit commandToParent(command, rowId);
}

} // namespace ui
