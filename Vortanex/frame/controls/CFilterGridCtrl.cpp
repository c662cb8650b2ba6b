#include "frame/controls/CFilterGridCtrl.h"

#include "ui/prompter.h"

#include <QCursor>
#include <QHeaderView>
#include <QTreeView>

#include <set>

namespace {

constexpr int kSelectAllId = 1;
constexpr int kFirstValueId = 2;

} // namespace

bool FilterGridRowCallback(const ui::GridModel& model, int rowId, const FilterColumnInfo& filter, FilterPass& pass)
{
    return FilterGridRowCallback(model, rowId, model.isRow(rowId) ? model.rowDataAs<FilterRowData>(rowId) : nullptr,
                                 filter, pass);
}

bool FilterGridRowCallback(const ui::GridModel& model, int rowId, const FilterRowData* data,
                           const FilterColumnInfo& filter, FilterPass& pass)
{
    const int column = filter.column;
    if (column < 0 || column >= model.columns() || !model.isRow(rowId))
        return false; // no cell: shown
    const QString cell = model.text(rowId, column);

    if (column == 0) {
        if (filter.allValues)
            return false;
        if (filter.checkedValues.isEmpty())
            return !cell.contains(filter.text);
        if (cell == kGrandTotalRow)
            return false;
        const bool checked = filter.checkedValues.contains(cell);
        if (checked && data) {
            pass.hasGroup = true;
            pass.groupKey = data->groupKey;
        }
        if (pass.hasGroup && data && data->groupKey == pass.groupKey)
            return false;
        return !checked;
    }
    if (column == 2) {
        if (filter.allValues)
            return false;
        if (data && data->groupKey == FilterRowData::kAlwaysShown)
            return false;
        if (cell.isEmpty()) {
            if (!data)
                return true;
            const QStringList names = data->names.split(QLatin1Char(','));
            for (const QString& value : filter.checkedValues)
                if (names.contains(value))
                    return false;
            return true;
        }
        return !filter.checkedValues.contains(cell);
    }
    return false;
}

CFilterGridCtrl::CFilterGridCtrl(QWidget* parent) : ui::GridView(parent) {}

void CFilterGridCtrl::EnableValueFilter()
{
    setRowFilter([this](int rowId) {
        if (!m_keyReader)
            return FilterGridRowCallback(model(), rowId, m_filter, m_pass);
        const std::optional<FilterRowData> data = m_keyReader(rowId);
        return FilterGridRowCallback(model(), rowId, data ? &*data : nullptr, m_filter, m_pass);
    });
}

void CFilterGridCtrl::ApplyFilter(const FilterColumnInfo& filter)
{
    m_filter = filter;
    refilter();
    tree()->header()->viewport()->update();
}

QStringList CFilterGridCtrl::HeaderMenuValues(int column) const
{
    std::set<QString> values;
    for (int id : model().preorder()) {
        const QString text = model().text(id, column);
        if (!text.isEmpty() && text != kGrandTotalRow)
            values.insert(text);
    }
    QStringList out;
    for (const QString& v : values)
        out << v;
    return out;
}

int CFilterGridCtrl::GetHeaderMenuButtonImageIndex(int column, bool sortMark) const
{
    if (column != 0 && column != 2)
        return -1;
    int image = (m_filter.column == column && !m_filter.allValues) ? 3 : 0;
    if (sortMark && sortColumn() == column)
        image += sortAscending() ? 1 : 2;
    return image;
}

QString CFilterGridCtrl::headerMenuButtonTooltip(int column) const
{
    return QStringLiteral("Filter by %1").arg(model().columnName(column));
}

void CFilterGridCtrl::onHeaderMenuButtonClick(int column)
{
    if (column != 0 && column != 2)
        return;
    m_menuColumn = column;
    m_working = FilterColumnInfo{};
    m_working.column = column;
    if (m_filter.column == column) {
        m_working.allValues = m_filter.allValues;
        m_working.checkedValues = m_filter.checkedValues;
    }
    const QStringList values = HeaderMenuValues(column);

    // The menu offers "(Select All)" and the values; choosing one toggles it.
    ui::MenuSpec menu;
    menu.items.push_back({kSelectAllId, "(Select All)", m_working.allValues, true, {}});
    for (qsizetype i = 0; i < values.size(); ++i)
        menu.items.push_back({kFirstValueId + int(i),
                              values[i].toStdString(),
                              m_working.allValues || m_working.checkedValues.contains(values[i]),
                              true,
                              {}});
    const QPoint at = QCursor::pos();
    const int chosen = ui::prompter().pickMenuCommand(menu, at.x(), at.y());
    if (chosen <= 0)
        return;
    if (chosen == kSelectAllId) {
        m_working.allValues = true;
        m_working.checkedValues.clear();
    } else if (chosen - kFirstValueId < values.size()) {
        const QString value = values[chosen - kFirstValueId];
        if (m_working.allValues) {
            // Unticking one value of "all" keeps the others.
            m_working.allValues = false;
            m_working.checkedValues = values;
            m_working.checkedValues.removeAll(value);
        } else if (m_working.checkedValues.contains(value)) {
            m_working.checkedValues.removeAll(value);
        } else {
            m_working.checkedValues << value;
        }
        if (m_working.checkedValues.size() == values.size()) {
            m_working.allValues = true;
            m_working.checkedValues.clear();
        }
    }
    if (m_ownerApplies)
        emit filterCommand(kApplyFilterCommand);
    else
        ApplyFilter(m_working);
}
