#include "frame/CDlgPopupDaysEvent.h"

#include "app/base/LogWriter.h"
#include "app/base/TextFormat.h"
#include "frame/InformationRecords.h"
#include "frame/controls/CButtonItem.h"

#include "ui/grid_view.h"

#include <QHeaderView>
#include <QTreeView>
#include <QVBoxLayout>

// The report grid of the popup: no header, preview lines under the rows.
class CEventsRptCtrl : public ui::GridView {
public:
    using ui::GridView::GridView;
    // The grid never offers a column for grouping.
    bool OnHideInsertedGroupColumn() const { return true; }
};

namespace {

struct EventRow {
    int productId = -1;
    std::string link;
};

} // namespace

CDlgPopupDaysEvent::CDlgPopupDaysEvent(QWidget* parent) : QWidget(parent)
{
    setObjectName("CDlgPopupDaysEvent");
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(2, 2, 2, 2);
    m_grid = new CEventsRptCtrl(this);
    column->addWidget(m_grid);
    ui::GridModel& m = m_grid->model();
    m.setColumns({"Event", "Terms & Conditions", "Acceptance"});
    m_grid->setColumnWidth(kEventColumn, 120);
    m_grid->setColumnWidth(kTermsColumn, 35);
    m_grid->setColumnWidth(kAcceptColumn, 60);
    m_grid->setColumnAutoSize(true);
    m_grid->setPreviewShown(true);
    m_grid->tree()->header()->hide();
    setMinimumSize(360, 160);
    connect(m_grid, &ui::GridView::commandToParent, this, [this](int id, int) { OnAcceptEvent(id); });
    connect(m_grid, &ui::GridView::commandToGrid, this, [this](int id, int) { OnAcceptEvent(id); });
    connect(m_grid->tree(), &QTreeView::clicked, this, [this](const QModelIndex& index) {
        if (index.column() != kTermsColumn)
            return;
        const int row = m_grid->model().rowIdOf(index);
        if (const EventRow* r = m_grid->model().rowDataAs<EventRow>(row); r && onLink)
            onLink(r->link);
    });
}

ui::GridView* CDlgPopupDaysEvent::Grid() const
{
    return m_grid;
}

void CDlgPopupDaysEvent::Fill(const CDaysProductEvents& events)
{
    ui::GridModel& m = m_grid->model();
    m.clearRows();
    for (const DayProductEvent& e : events.Slots()) {
        if (!e.inUse || e.show != 'Y')
            continue;
        const int row = m.addRow();
        m.setText(row, kEventColumn, QString::fromStdString(e.name));
        m.setText(row, kTermsColumn, QStringLiteral("T & C"));
        m.setTextColour(row, kTermsColumn, ui::rgbOf(0x00CC6600)); // a link's blue
        if (e.accept == 'Y') {
            CButtonItem(kAcceptColumn, e.commandId).Place(m, row);
            m.setTextColour(row, kAcceptColumn, ui::rgbOf(0x00FFFFFF));
        }
        m.setPreview(row, QString::fromStdString(e.text));
        m.setRowData(row, EventRow{e.productId, e.termsLink});
    }
    m.flush();
    m_grid->expandAll(true);
}

bool CDlgPopupDaysEvent::ClickAccept(int commandId)
{
    const ui::GridModel& m = m_grid->model();
    for (int row : m.preorder())
        if (m.buttonCommand(row, kAcceptColumn) == commandId) {
            m_grid->pressButton(row, kAcceptColumn, false);
            return true;
        }
    return false;
}

bool CDlgPopupDaysEvent::ClickTerms(int row)
{
    const int id = m_grid->model().idAt(row);
    const EventRow* r = m_grid->model().rowDataAs<EventRow>(id);
    if (!r || !onLink)
        return false;
    onLink(r->link);
    return true;
}

void CDlgPopupDaysEvent::OnAcceptEvent(int commandId)
{
    try {
        if (commandId < kDayEventFirstCommand || commandId >= kDayEventFirstCommand + kDayEventSlots)
            return;
        if (onAccept)
            onAccept(commandId);
    } catch (...) {
        WriteLog(0, formatText("Exception in OnAcceptEvent : %d, CtrlID: %d", 0, commandId));
    }
}
