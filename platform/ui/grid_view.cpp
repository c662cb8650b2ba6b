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
#include <QPainter>
#include <QScrollBar>
#include <QSortFilterProxyModel>
#include <QStyledItemDelegate>
#include <QToolTip>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <memory>
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

protected:
    void updateGeometries() override
    {
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
    // would measure every changed cell; repainting what is visible is enough.
    void dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight, const QList<int>& roles) override
    {
        if (uniformRowHeights() && topLeft.isValid() && bottomRight.isValid() &&
            (topLeft.row() != bottomRight.row() || topLeft.column() != bottomRight.column())) {
            viewport()->update();
            return;
        }
        QTreeView::dataChanged(topLeft, bottomRight, roles);
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
        const QString preview =
            m_view->m_previewShown ? index.siblingAtColumn(0).data(GridModel::PreviewRole).toString() : QString();
        if (preview.isEmpty()) {
            QTreeView::drawRow(painter, option, index);
            return;
        }
        QStyleOptionViewItem top = option;
        const int half = option.rect.height() / 2;
        top.rect.setHeight(half);
        QTreeView::drawRow(painter, top, index);
        const QRect line(option.rect.left() + indentation(), option.rect.top() + half,
                         viewport()->width() - indentation(), option.rect.height() - half);
        painter->save();
        painter->setPen(palette().color(QPalette::Dark));
        painter->drawText(line.adjusted(4, 0, -4, 0), Qt::AlignLeft | Qt::AlignVCenter,
                          fontMetrics().elidedText(preview, Qt::ElideRight, line.width() - 8));
        painter->restore();
    }

private:
    GridView* m_view;
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

protected:
    static constexpr int kButton = 14;

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
        QHeaderView::mousePressEvent(event);
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
    GridView* m_view;
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
        if (m_view->m_previewShown && index.column() == 0 && !index.data(GridModel::PreviewRole).toString().isEmpty())
            s.setHeight(s.height() * 2);
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
        m_filterTexts.resize(size_t(m_model->columns()));
        for (QLineEdit* e : m_filterEdits)
            delete e;
        m_filterEdits.clear();
        for (int col = 0; col < m_model->columns(); ++col) {
            auto* edit = new QLineEdit(m_filterBar);
            edit->setText(m_filterTexts[size_t(col)]);
            connect(edit, &QLineEdit::textEdited, this, [this, col](const QString& t) { setFilterBarText(col, t); });
            m_filterEdits.push_back(edit);
        }
        layoutFilterBar();
    });
    m_proxy->setSourceModel(m_model);

    m_filterBar = new QWidget(m_tree);
    m_filterBar->setMinimumHeight(QLineEdit().sizeHint().height());
    m_filterBar->hide();

    m_tree->setHeader(m_header);
    m_tree->setModel(m_proxy);
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
    connect(m_header, &QHeaderView::sectionClicked, this, &GridView::clickHeader);
    connect(m_header, &QHeaderView::sectionMoved, this, &GridView::onSectionMoved);
    connect(m_header, &QHeaderView::sectionResized, this, [this] { layoutFilterBar(); });
    connect(m_header, &QWidget::customContextMenuRequested, this, &GridView::showColumnChooser);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_tree);
}

GridView::~GridView()
{
    // The tree, its header and the filter bar call back into this view; they
    // go first, while the view is still whole.
    m_model->disconnect(this);
    m_filterEdits.clear();
    m_filterBar = nullptr;
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
    m_model->flush();
    const std::vector<int> rows = m_model->preorder();
    int maxId = -1;
    for (int id : rows)
        maxId = std::max(maxId, id);
    m_hidden.assign(size_t(maxId + 1), 0);
    beginFilterPass();
    for (int id : rows) // top to bottom: a filter may remember the rows above
        m_hidden[size_t(id)] = ((m_rowFilter && m_rowFilter(id)) || hiddenByFilterBar(id)) ? 1 : 0;
    m_proxy->refilter();
    if (m_sortColumn >= 0)
        sortRows();
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

void GridView::setColumnWidth(int column, int width) { m_header->resizeSection(column, std::max(0, width)); }

int GridView::columnWidth(int column) const { return m_header->sectionSize(column); }

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

void GridView::showColumnChooser(const QPoint& pos)
{
    MenuSpec menu;
    for (int col = 0; col < m_model->columns(); ++col) {
        MenuItem item;
        item.id = col + 1;
        item.text = m_model->columnName(col).simplified().toStdString();
        item.checked = !isColumnHidden(col);
        item.enabled = canHideColumn(col);
        menu.items.push_back(item);
    }
    const QPoint global = m_header->mapToGlobal(pos);
    const int chosen = prompter().pickMenuCommand(menu, global.x(), global.y());
    if (chosen > 0 && chosen <= m_model->columns())
        setColumnHidden(chosen - 1, !isColumnHidden(chosen - 1));
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
    if (expand)
        m_tree->expandAll();
    else
        m_tree->collapseAll();
}

void GridView::setGridFont(const QFont& font) { m_tree->setFont(font); }

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
    if (m_sortColumn >= 0)
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
