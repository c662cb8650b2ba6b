#include "ui/grid_model.h"

#include "pf/log.h"

#include <QBrush>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace ui {

namespace {

const std::vector<int> kNoRows;

// A group key with its number read once: groups sort by number when both
// keys are numbers, numbers before texts, texts regardless of case first.
struct GroupKey {
    QString text;
    double number = 0;
    bool isNumber = false;
};

bool keyBefore(const GroupKey& a, const GroupKey& b)
{
    if (a.isNumber && b.isNumber)
        return a.number < b.number;
    if (a.isNumber != b.isNumber)
        return a.isNumber;
    const int r = a.text.compare(b.text, Qt::CaseInsensitive);
    return r != 0 ? r < 0 : a.text < b.text;
}

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

QString GridModel::shownText(const QVariant& value)
{
    switch (value.typeId()) {
    case QMetaType::Double:
    case QMetaType::Float: {
        const double x = value.toDouble();
        if (!std::isfinite(x))
            return QString();
        // Two decimals, and never "-0.00" for a figure that rounds to zero.
        QString text = QString::number(x, 'f', 2);
        return text == QLatin1String("-0.00") ? QStringLiteral("0.00") : text;
    }
    default:
        return value.toString();
    }
}

GridModel::GridModel(QObject* parent) : QAbstractItemModel(parent) {}

GridModel::~GridModel() = default;

void GridModel::setColumns(const QStringList& names)
{
    flush();
    beginResetModel();
    m_columns = names;
    // Merges name columns by number; a new column set starts without them.
    m_merges.clear();
    for (Row& r : m_rows) {
        if (!r.alive)
            continue;
        r.cells.resize(size_t(names.size()));
        for (Cell& c : r.cells)
            c.merge = -1;
    }
    endResetModel();
    std::vector<int> kept;
    for (int col : m_groupColumns)
        if (col < columns())
            kept.push_back(col);
    if (kept != m_groupColumns)
        setGroupColumns(std::move(kept));
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

int GridModel::newRow(int cellCount)
{
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
    r.cells.resize(size_t(cellCount));
    ++m_liveRows;
    return id;
}

int GridModel::insertRow(int position, int parentId)
{
    if (parentId != kRoot && !isRow(parentId)) {
        pf::logLine(0, "GridModel: insert under a missing row");
        return -1;
    }
    if (isAutoGroup(parentId)) {
        pf::logLine(0, "GridModel: insert under a group row the grid made; refused");
        return -1;
    }
    flushSpans(); // pending spans name positions that are about to shift
    const bool grouped = parentId == kRoot && !m_groupColumns.empty();
    std::vector<int>& list = siblings(parentId);
    // Grouped, a new top row shows at the end until the next regroup puts it
    // in its group; its place in the owner's order is kept apart.
    const int pos = grouped ? int(list.size()) : std::clamp(position, 0, int(list.size()));
    const QModelIndex parentIndex = parentId == kRoot ? QModelIndex() : indexOf(parentId, 0);
    beginInsertRows(parentIndex, pos, pos);
    const int id = newRow(columns());
    m_rows[size_t(id)].parent = parentId;
    std::vector<int>& list2 = siblings(parentId); // m_rows may have grown
    list2.insert(list2.begin() + pos, id);
    renumber(list2, pos);
    if (grouped) {
        const int ownerPos = std::clamp(position, 0, int(m_ownerTop.size()));
        m_ownerTop.insert(m_ownerTop.begin() + ownerPos, id);
    }
    endInsertRows();
    if (grouped)
        needRegroup();
    return id;
}

void GridModel::freeRow(int rowId)
{
    dropMerges(rowId);
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
    if (m_rows[size_t(rowId)].autoGroup) {
        pf::logLine(0, "GridModel: a group row the grid made cannot be removed; refused");
        return false;
    }
    flushSpans();
    const bool ownerTop = !m_groupColumns.empty() && isOwnerTop(rowId);
    const int parentId = m_rows[size_t(rowId)].parent;
    const int pos = m_rows[size_t(rowId)].pos;
    const QModelIndex parentIndex = parentId == kRoot ? QModelIndex() : indexOf(parentId, 0);
    beginRemoveRows(parentIndex, pos, pos);
    std::vector<int>& list = siblings(parentId);
    list.erase(list.begin() + pos);
    renumber(list, pos);
    freeRow(rowId);
    if (ownerTop) {
        const auto it = std::find(m_ownerTop.begin(), m_ownerTop.end(), rowId);
        if (it != m_ownerTop.end())
            m_ownerTop.erase(it);
    }
    endRemoveRows();
    if (ownerTop)
        needRegroup(); // its group's count changed, or the group is empty now
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
    m_ownerTop.clear();
    m_merges.clear();
    m_regroupNeeded = false;
    m_liveRows = 0;
    endResetModel();
}

bool GridModel::adoptRows(GridModel& built)
{
    if (&built == this)
        return true;
    if (built.columns() != columns()) {
        pf::logLine(0, "GridModel: rows of another column count refused");
        return false;
    }
    const bool takeGroups = built.m_groupColumns == m_groupColumns && !built.m_regroupNeeded;
    std::vector<int> ownerOrder = built.m_groupColumns.empty() ? std::move(built.m_top) : std::move(built.m_ownerTop);
    m_dirty.clear();
    m_pendingWrites = 0;
    if (takeGroups)
        beginResetModel();
    m_rows = std::move(built.m_rows);
    m_free = std::move(built.m_free);
    m_fonts = std::move(built.m_fonts);
    m_merges = std::move(built.m_merges);
    m_liveRows = built.m_liveRows;
    if (takeGroups) {
        m_top = m_groupColumns.empty() ? std::move(ownerOrder) : std::move(built.m_top);
        m_ownerTop = m_groupColumns.empty() ? std::vector<int>{} : std::move(ownerOrder);
    } else {
        // The built model's groups (if any) go in the regroup below, which
        // resets the model itself.
        m_top = std::move(built.m_top);
        m_ownerTop = std::move(ownerOrder);
    }
    m_regroupNeeded = false;
    built.m_rows.clear();
    built.m_free.clear();
    built.m_top.clear();
    built.m_ownerTop.clear();
    built.m_merges.clear();
    built.m_dirty.clear();
    built.m_pendingWrites = 0;
    built.m_liveRows = 0;
    built.m_regroupNeeded = false;
    if (!takeGroups) {
        regroupNow();
        return true;
    }
    endResetModel();
    if (!m_groupColumns.empty())
        emit regrouped();
    return true;
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
    std::vector<Cell>& cells = m_rows[size_t(rowId)].cells;
    return size_t(column) < cells.size() ? &cells[size_t(column)] : nullptr; // group rows keep only their key
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
    if (m_regroupNeeded) {
        const int writes = m_pendingWrites;
        m_pendingWrites = 0;
        regroupNow(); // a reset: every cell is read again
        emit batchApplied(writes);
        return;
    }
    flushSpans();
}

void GridModel::flushSpans()
{
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
    if (!c)
        return;
    c->ownText = !text.isEmpty();
    if (c->text == text)
        return;
    c->text = text;
    markDirty(rowId, column);
    if (isGroupKeyCell(rowId, column))
        needRegroup();
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
    if (c->ownText) {
        // The owner formatted the text itself (its instrument's decimals): the
        // value only sorts and filters.
        markDirty(rowId, column);
        return;
    }
    QString text = shownText(value);
    const bool keyChanged = c->text != text && isGroupKeyCell(rowId, column);
    c->text = std::move(text);
    markDirty(rowId, column);
    if (keyChanged)
        needRegroup();
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
    if (isRow(rowId) && !m_rows[size_t(rowId)].autoGroup)
        m_rows[size_t(rowId)].group = group;
}

bool GridModel::isGroup(int rowId) const { return isRow(rowId) && m_rows[size_t(rowId)].group; }

bool GridModel::isAutoGroup(int rowId) const { return isRow(rowId) && m_rows[size_t(rowId)].autoGroup; }

int GridModel::groupColumnOf(int rowId) const { return isAutoGroup(rowId) ? m_rows[size_t(rowId)].groupColumn : -1; }

int GridModel::groupCount(int rowId) const { return isAutoGroup(rowId) ? m_rows[size_t(rowId)].groupCount : 0; }

bool GridModel::isOwnerTop(int rowId) const
{
    if (!isRow(rowId) || m_rows[size_t(rowId)].autoGroup)
        return false;
    const int parent = m_rows[size_t(rowId)].parent;
    return parent == kRoot || m_rows[size_t(parent)].autoGroup;
}

bool GridModel::isGroupKeyCell(int rowId, int column) const
{
    return !m_groupColumns.empty() && std::find(m_groupColumns.begin(), m_groupColumns.end(), column) != m_groupColumns.end() &&
           isOwnerTop(rowId);
}

std::vector<int> GridModel::ownerTopRows() const { return m_groupColumns.empty() ? m_top : m_ownerTop; }

void GridModel::setGroupColumns(std::vector<int> columns)
{
    std::vector<int> valid;
    for (int col : columns)
        if (col >= 0 && col < this->columns() && std::find(valid.begin(), valid.end(), col) == valid.end())
            valid.push_back(col);
    if (valid == m_groupColumns)
        return;
    flushSpans();
    if (m_groupColumns.empty())
        m_ownerTop = m_top; // not grouped until now: the top rows are the owner's
    m_groupColumns = std::move(valid);
    regroupNow();
}

void GridModel::regroup()
{
    if (m_groupColumns.empty() && !m_regroupNeeded)
        return;
    flushSpans();
    regroupNow();
}

void GridModel::needRegroup()
{
    m_regroupNeeded = true;
    if (m_autoFlush && !m_flushQueued) {
        m_flushQueued = true;
        QTimer::singleShot(0, this, [this] { flush(); });
    }
}

void GridModel::regroupNow()
{
    m_regroupNeeded = false;
    m_dirty.clear(); // the reset below repaints everything
    beginResetModel();
    for (size_t id = 0; id < m_rows.size(); ++id) {
        if (m_rows[id].alive && m_rows[id].autoGroup) {
            m_rows[id] = Row{};
            m_free.push_back(int(id));
            --m_liveRows;
        }
    }
    m_top.clear();
    if (m_groupColumns.empty()) {
        m_top.swap(m_ownerTop);
        m_ownerTop.clear();
        for (size_t i = 0; i < m_top.size(); ++i) {
            m_rows[size_t(m_top[i])].parent = kRoot;
            m_rows[size_t(m_top[i])].pos = int(i);
        }
    } else {
        buildGroups(m_ownerTop, 0, kRoot);
    }
    endResetModel();
    emit regrouped();
}

void GridModel::buildGroups(const std::vector<int>& rows, size_t level, int parentId)
{
    const auto attach = [this](int id, int parent) {
        std::vector<int>& list = siblings(parent);
        m_rows[size_t(id)].parent = parent;
        m_rows[size_t(id)].pos = int(list.size());
        list.push_back(id);
    };
    if (level == m_groupColumns.size()) {
        for (int id : rows)
            attach(id, parentId);
        return;
    }
    const int column = m_groupColumns[level];
    // Buckets in the order their keys first appear, then sorted by key.
    std::unordered_map<QString, size_t> bucketOf;
    std::vector<std::pair<GroupKey, std::vector<int>>> buckets;
    bucketOf.reserve(rows.size());
    for (int id : rows) {
        const QString& key = m_rows[size_t(id)].cells[size_t(column)].text;
        const auto [it, inserted] = bucketOf.try_emplace(key, buckets.size());
        if (inserted) {
            GroupKey k{key};
            k.number = key.toDouble(&k.isNumber);
            buckets.emplace_back(std::move(k), std::vector<int>{});
        }
        buckets[it->second].second.push_back(id);
    }
    std::stable_sort(buckets.begin(), buckets.end(),
                     [](const auto& a, const auto& b) { return keyBefore(a.first, b.first); });
    for (auto& [groupKey, members] : buckets) {
        const QString& key = groupKey.text;
        // A group row holds only its key cell: it shows one caption, and a
        // regroup of many groups stays cheap. May move m_rows: no references
        // are held across it.
        const int group = newRow(column + 1);
        Row& g = m_rows[size_t(group)];
        g.group = true;
        g.autoGroup = true;
        g.groupColumn = column;
        g.groupCount = int(members.size());
        g.cells[size_t(column)].text = key;
        attach(group, parentId);
        buildGroups(members, level + 1, group);
    }
}

bool GridModel::mergeCells(int firstRowId, int lastRowId, int firstColumn, int lastColumn)
{
    if (!isRow(firstRowId) || !isRow(lastRowId) || firstColumn < 0 || lastColumn < firstColumn ||
        lastColumn >= columns())
        return false;
    const Row& first = m_rows[size_t(firstRowId)];
    const Row& last = m_rows[size_t(lastRowId)];
    if (first.autoGroup || last.autoGroup || first.parent != last.parent || first.pos > last.pos)
        return false;
    if (firstRowId == lastRowId && firstColumn == lastColumn)
        return false;
    const std::vector<int>& list = childrenOf(first.parent);
    MergeRange range{{list.begin() + first.pos, list.begin() + last.pos + 1}, firstColumn, lastColumn};
    for (int id : range.rows)
        for (int col = firstColumn; col <= lastColumn; ++col)
            if (m_rows[size_t(id)].cells[size_t(col)].merge >= 0)
                return false;
    size_t slot = 0;
    while (slot < m_merges.size() && !m_merges[slot].rows.empty())
        ++slot;
    if (slot == m_merges.size())
        m_merges.emplace_back();
    for (int id : range.rows) {
        for (int col = firstColumn; col <= lastColumn; ++col) {
            m_rows[size_t(id)].cells[size_t(col)].merge = int(slot);
            markDirty(id, col);
        }
    }
    m_merges[slot] = std::move(range);
    return true;
}

void GridModel::unmergeCells(int rowId, int column)
{
    const Cell* c = cellAt(rowId, column);
    if (!c || c->merge < 0)
        return;
    const size_t slot = size_t(c->merge);
    MergeRange range = std::move(m_merges[slot]);
    m_merges[slot] = MergeRange{};
    for (int id : range.rows) {
        if (!isRow(id))
            continue;
        for (int col = range.firstColumn; col <= range.lastColumn; ++col) {
            m_rows[size_t(id)].cells[size_t(col)].merge = -1;
            markDirty(id, col);
        }
    }
}

void GridModel::dropMerges(int rowId)
{
    for (int col = 0; col < int(m_rows[size_t(rowId)].cells.size()); ++col) {
        const int slot = m_rows[size_t(rowId)].cells[size_t(col)].merge;
        if (slot < 0)
            continue;
        MergeRange range = std::move(m_merges[size_t(slot)]);
        m_merges[size_t(slot)] = MergeRange{};
        for (int id : range.rows)
            if (isRow(id))
                for (int c = range.firstColumn; c <= range.lastColumn; ++c)
                    m_rows[size_t(id)].cells[size_t(c)].merge = -1;
    }
}

const GridModel::MergeRange* GridModel::mergeAt(int rowId, int column) const
{
    const Cell* c = cellAt(rowId, column);
    return c && c->merge >= 0 ? &m_merges[size_t(c->merge)] : nullptr;
}

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
    case GroupCountRole:
        return m_rows[size_t(rowId)].groupCount;
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
