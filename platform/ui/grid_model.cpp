#include "ui/grid_model.h"

#include "pf/log.h"

#include <QBrush>
#include <QTimer>

#include <algorithm>

namespace ui {

namespace {

const std::vector<int> kNoRows;

bool isNumberKind(const QVariant& v)
{
    switch (v.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
        return true;
    default:
        return false;
    }
}

} // namespace

GridModel::GridModel(QObject* parent) : QAbstractItemModel(parent) {}

GridModel::~GridModel() = default;

void GridModel::setColumns(const QStringList& names)
{
    flush();
    beginResetModel();
    m_columns = names;
    for (Row& r : m_rows)
        if (r.alive)
            r.cells.resize(size_t(names.size()));
    endResetModel();
}

void GridModel::setColumnName(int column, const QString& name)
{
    if (column < 0 || column >= columns())
        return;
    m_columns[column] = name;
    emit headerDataChanged(Qt::Horizontal, column, column);
}

QString GridModel::columnName(int column) const
{
    return column >= 0 && column < columns() ? m_columns[column] : QString();
}

std::vector<int>& GridModel::siblings(int parentId)
{
    return parentId == kRoot ? m_top : m_rows[size_t(parentId)].children;
}

void GridModel::renumber(std::vector<int>& list, int from)
{
    for (size_t i = size_t(std::max(from, 0)); i < list.size(); ++i)
        m_rows[size_t(list[i])].pos = int(i);
}

int GridModel::addRow(int parentId) { return insertRow(INT32_MAX, parentId); }

int GridModel::insertRow(int position, int parentId)
{
    if (parentId != kRoot && !isRow(parentId)) {
        pf::logLine(0, "GridModel: insert under a missing row");
        return -1;
    }
    flush(); // pending spans name positions that are about to shift
    std::vector<int>& list = siblings(parentId);
    const int pos = std::clamp(position, 0, int(list.size()));
    const QModelIndex parentIndex = parentId == kRoot ? QModelIndex() : indexOf(parentId, 0);
    beginInsertRows(parentIndex, pos, pos);
    int id;
    if (!m_free.empty()) {
        id = m_free.back();
        m_free.pop_back();
    } else {
        id = int(m_rows.size());
        m_rows.emplace_back();
    }
    Row& r = m_rows[size_t(id)];
    r = Row{};
    r.alive = true;
    r.parent = parentId;
    r.cells.resize(size_t(columns()));
    std::vector<int>& list2 = siblings(parentId); // m_rows may have grown
    list2.insert(list2.begin() + pos, id);
    renumber(list2, pos);
    ++m_liveRows;
    endInsertRows();
    return id;
}

void GridModel::freeRow(int rowId)
{
    Row& r = m_rows[size_t(rowId)];
    for (int child : r.children)
        freeRow(child);
    r = Row{};
    m_free.push_back(rowId);
    --m_liveRows;
}

bool GridModel::removeRow(int rowId)
{
    if (!isRow(rowId))
        return false;
    flush();
    const int parentId = m_rows[size_t(rowId)].parent;
    const int pos = m_rows[size_t(rowId)].pos;
    const QModelIndex parentIndex = parentId == kRoot ? QModelIndex() : indexOf(parentId, 0);
    beginRemoveRows(parentIndex, pos, pos);
    std::vector<int>& list = siblings(parentId);
    list.erase(list.begin() + pos);
    renumber(list, pos);
    freeRow(rowId);
    endRemoveRows();
    return true;
}

void GridModel::clearRows()
{
    m_dirty.clear();
    m_pendingWrites = 0;
    beginResetModel();
    m_rows.clear();
    m_free.clear();
    m_top.clear();
    m_liveRows = 0;
    endResetModel();
}

bool GridModel::isRow(int rowId) const
{
    return rowId >= 0 && size_t(rowId) < m_rows.size() && m_rows[size_t(rowId)].alive;
}

int GridModel::parentOf(int rowId) const { return isRow(rowId) ? m_rows[size_t(rowId)].parent : kRoot; }

int GridModel::positionOf(int rowId) const { return isRow(rowId) ? m_rows[size_t(rowId)].pos : -1; }

const std::vector<int>& GridModel::childrenOf(int parentId) const
{
    if (parentId == kRoot)
        return m_top;
    return isRow(parentId) ? m_rows[size_t(parentId)].children : kNoRows;
}

int GridModel::idAt(int position, int parentId) const
{
    const std::vector<int>& list = childrenOf(parentId);
    return position >= 0 && size_t(position) < list.size() ? list[size_t(position)] : -1;
}

std::vector<int> GridModel::preorder() const
{
    std::vector<int> out;
    out.reserve(size_t(m_liveRows));
    std::vector<std::pair<const std::vector<int>*, size_t>> stack{{&m_top, 0}};
    while (!stack.empty()) {
        auto& [list, next] = stack.back();
        if (next >= list->size()) {
            stack.pop_back();
            continue;
        }
        const int id = (*list)[next++];
        out.push_back(id);
        const Row& r = m_rows[size_t(id)];
        if (!r.children.empty())
            stack.emplace_back(&r.children, 0);
    }
    return out;
}

QModelIndex GridModel::indexOf(int rowId, int column) const
{
    if (!isRow(rowId) || column < 0 || column >= columns())
        return {};
    const Row& r = m_rows[size_t(rowId)];
    return createIndex(r.pos, column, quintptr(r.parent + 1));
}

int GridModel::rowIdOf(const QModelIndex& index) const
{
    if (!index.isValid() || index.model() != this)
        return -1;
    return idAt(index.row(), int(index.internalId()) - 1);
}

GridModel::Cell* GridModel::cellAt(int rowId, int column)
{
    if (!isRow(rowId) || column < 0 || column >= columns())
        return nullptr;
    return &m_rows[size_t(rowId)].cells[size_t(column)];
}

const GridModel::Cell* GridModel::cellAt(int rowId, int column) const
{
    return const_cast<GridModel*>(this)->cellAt(rowId, column);
}

void GridModel::markDirty(int rowId, int column)
{
    const Row& r = m_rows[size_t(rowId)];
    auto [it, inserted] = m_dirty.try_emplace(r.parent, Span{r.pos, r.pos, column, column});
    if (!inserted) {
        Span& s = it->second;
        s.firstPos = std::min(s.firstPos, r.pos);
        s.lastPos = std::max(s.lastPos, r.pos);
        s.firstCol = std::min(s.firstCol, column);
        s.lastCol = std::max(s.lastCol, column);
    }
    ++m_pendingWrites;
    if (m_autoFlush && !m_flushQueued) {
        m_flushQueued = true;
        QTimer::singleShot(0, this, [this] { flush(); });
    }
}

void GridModel::flush()
{
    m_flushQueued = false;
    if (m_dirty.empty())
        return;
    // Move the spans out first: a slot reacting to dataChanged may write again.
    std::unordered_map<int, Span> dirty;
    dirty.swap(m_dirty);
    const int writes = m_pendingWrites;
    m_pendingWrites = 0;
    for (const auto& [parentId, s] : dirty) {
        if (parentId != kRoot && !isRow(parentId))
            continue;
        const QModelIndex parentIndex = parentId == kRoot ? QModelIndex() : indexOf(parentId, 0);
        const int n = rowCount(parentIndex);
        const int last = std::min(s.lastPos, n - 1);
        if (s.firstPos > last)
            continue;
        emit dataChanged(index(s.firstPos, s.firstCol, parentIndex), index(last, s.lastCol, parentIndex));
    }
    emit batchApplied(writes);
}

void GridModel::setText(int rowId, int column, const QString& text)
{
    Cell* c = cellAt(rowId, column);
    if (!c || c->text == text)
        return;
    c->text = text;
    markDirty(rowId, column);
}

QString GridModel::text(int rowId, int column) const
{
    const Cell* c = cellAt(rowId, column);
    return c ? c->text : QString();
}

void GridModel::setValue(int rowId, int column, const QVariant& value)
{
    Cell* c = cellAt(rowId, column);
    if (!c)
        return;
    c->value = value;
    c->text = value.toString();
    markDirty(rowId, column);
}

QVariant GridModel::value(int rowId, int column) const
{
    const Cell* c = cellAt(rowId, column);
    return c ? c->value : QVariant();
}

void GridModel::setTextColour(int rowId, int column, Rgb colour)
{
    Cell* c = cellAt(rowId, column);
    if (!c || c->fg == colour.bgr)
        return;
    c->fg = colour.bgr;
    markDirty(rowId, column);
}

void GridModel::setBackColour(int rowId, int column, Rgb colour)
{
    Cell* c = cellAt(rowId, column);
    if (!c || c->bg == colour.bgr)
        return;
    c->bg = colour.bgr;
    markDirty(rowId, column);
}

void GridModel::setRowColours(int rowId, Rgb text, Rgb back)
{
    for (int col = 0; col < columns(); ++col) {
        setTextColour(rowId, col, text);
        setBackColour(rowId, col, back);
    }
}

Rgb GridModel::textColour(int rowId, int column) const
{
    const Cell* c = cellAt(rowId, column);
    return Rgb{c ? c->fg : kDefaultColour};
}

Rgb GridModel::backColour(int rowId, int column) const
{
    const Cell* c = cellAt(rowId, column);
    return Rgb{c ? c->bg : kDefaultColour};
}

Rgb GridModel::effectiveTextColour(int rowId, int column) const
{
    const Cell* c = cellAt(rowId, column);
    if (!c)
        return defaultColour();
    if (c->fg != kDefaultColour || !m_colourRule)
        return Rgb{c->fg};
    return m_colourRule(rowId, column, false);
}

Rgb GridModel::effectiveBackColour(int rowId, int column) const
{
    const Cell* c = cellAt(rowId, column);
    if (!c)
        return defaultColour();
    if (c->bg != kDefaultColour || !m_colourRule)
        return Rgb{c->bg};
    return m_colourRule(rowId, column, true);
}

int GridModel::fontSlot(const QFont& font)
{
    for (size_t i = 0; i < m_fonts.size(); ++i)
        if (m_fonts[i] == font)
            return int(i);
    if (m_fonts.size() >= 32000)
        return -1;
    m_fonts.push_back(font);
    return int(m_fonts.size()) - 1;
}

void GridModel::setFont(int rowId, int column, const QFont& font)
{
    Cell* c = cellAt(rowId, column);
    if (!c)
        return;
    c->font = int16_t(fontSlot(font));
    markDirty(rowId, column);
}

void GridModel::clearFont(int rowId, int column)
{
    Cell* c = cellAt(rowId, column);
    if (!c || c->font < 0)
        return;
    c->font = -1;
    markDirty(rowId, column);
}

const QFont* GridModel::font(int rowId, int column) const
{
    const Cell* c = cellAt(rowId, column);
    return c && c->font >= 0 ? &m_fonts[size_t(c->font)] : nullptr;
}

int GridModel::icon(int rowId, int column) const
{
    const Cell* c = cellAt(rowId, column);
    return c ? c->icon : -1;
}

Qt::Alignment GridModel::alignment(int rowId, int column) const
{
    const Cell* c = cellAt(rowId, column);
    if (c && c->button)
        return Qt::AlignCenter;
    if (c && isNumberKind(c->value))
        return Qt::AlignRight | Qt::AlignVCenter;
    return Qt::AlignLeft | Qt::AlignVCenter;
}

void GridModel::setIcon(int rowId, int column, int iconIndex)
{
    Cell* c = cellAt(rowId, column);
    if (!c || c->icon == iconIndex)
        return;
    c->icon = int16_t(std::clamp(iconIndex, -1, 32000));
    markDirty(rowId, column);
}

void GridModel::setButton(int rowId, int column, int commandId, const QString& caption)
{
    Cell* c = cellAt(rowId, column);
    if (!c)
        return;
    c->button = commandId;
    c->text = caption;
    markDirty(rowId, column);
}

int GridModel::buttonCommand(int rowId, int column) const
{
    const Cell* c = cellAt(rowId, column);
    return c ? c->button : 0;
}

void GridModel::setRowData(int rowId, std::any data)
{
    if (isRow(rowId))
        m_rows[size_t(rowId)].data = std::move(data);
}

const std::any* GridModel::rowData(int rowId) const
{
    if (!isRow(rowId) || !m_rows[size_t(rowId)].data.has_value())
        return nullptr;
    return &m_rows[size_t(rowId)].data;
}

void GridModel::setPreview(int rowId, const QString& text)
{
    if (!isRow(rowId))
        return;
    m_rows[size_t(rowId)].preview = text;
    if (columns() > 0)
        markDirty(rowId, 0);
}

QString GridModel::preview(int rowId) const { return isRow(rowId) ? m_rows[size_t(rowId)].preview : QString(); }

void GridModel::setGroup(int rowId, bool group)
{
    if (isRow(rowId))
        m_rows[size_t(rowId)].group = group;
}

bool GridModel::isGroup(int rowId) const { return isRow(rowId) && m_rows[size_t(rowId)].group; }

void GridModel::setColourRule(ColourRule rule)
{
    m_colourRule = std::move(rule);
    touchAll();
}

void GridModel::touchAll()
{
    if (columns() == 0)
        return;
    const auto touch = [this](const std::vector<int>& list) {
        if (!list.empty()) {
            markDirty(list.front(), 0);
            markDirty(list.back(), columns() - 1);
        }
    };
    touch(m_top);
    for (const Row& r : m_rows)
        if (r.alive)
            touch(r.children);
}

QModelIndex GridModel::index(int row, int column, const QModelIndex& parent) const
{
    if (column < 0 || column >= columns() || row < 0)
        return {};
    const int parentId = parent.isValid() ? rowIdOf(parent) : kRoot;
    if (parent.isValid() && parentId < 0)
        return {};
    if (size_t(row) >= childrenOf(parentId).size())
        return {};
    return createIndex(row, column, quintptr(parentId + 1));
}

QModelIndex GridModel::parent(const QModelIndex& child) const
{
    if (!child.isValid())
        return {};
    const int parentId = int(child.internalId()) - 1;
    if (parentId == kRoot || !isRow(parentId))
        return {};
    return indexOf(parentId, 0);
}

int GridModel::rowCount(const QModelIndex& parent) const
{
    if (!parent.isValid())
        return int(m_top.size());
    if (parent.column() > 0)
        return 0;
    return int(childrenOf(rowIdOf(parent)).size());
}

int GridModel::columnCount(const QModelIndex&) const { return columns(); }

QVariant GridModel::data(const QModelIndex& index, int role) const
{
    const int rowId = rowIdOf(index);
    const Cell* c = cellAt(rowId, index.column());
    if (!c)
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return c->text;
    case Qt::ForegroundRole: {
        const QColor colour = toQColor(effectiveTextColour(rowId, index.column()));
        return colour.isValid() ? QVariant(QBrush(colour)) : QVariant();
    }
    case Qt::BackgroundRole: {
        const QColor colour = toQColor(effectiveBackColour(rowId, index.column()));
        return colour.isValid() ? QVariant(QBrush(colour)) : QVariant();
    }
    case Qt::FontRole:
        return c->font >= 0 ? QVariant(m_fonts[size_t(c->font)]) : QVariant();
    case Qt::ToolTipRole:
        return index.column() == 0 && !m_rows[size_t(rowId)].preview.isEmpty() ? QVariant(m_rows[size_t(rowId)].preview)
                                                                               : QVariant();
    case Qt::TextAlignmentRole:
        return int(alignment(rowId, index.column()));
    case ValueRole:
        return c->value;
    case RowIdRole:
        return rowId;
    case PreviewRole:
        return m_rows[size_t(rowId)].preview;
    case ButtonRole:
        return c->button;
    case IconRole:
        return int(c->icon);
    case GroupRole:
        return m_rows[size_t(rowId)].group;
    default:
        return {};
    }
}

QVariant GridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return columnName(section);
    return {};
}

Qt::ItemFlags GridModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

} // namespace ui
