// The unbilled positions tab: a row per unbilled position and the total
// row with the texts the report gave.
#include "positions/CNetPosition.h"
#include "positions/CNetPositionDetail.h"

#include "app/base/LogWriter.h"
#include "orders/ClientOrderStore.h"
#include "positions/PositionMath.h"
#include "server/RiskArrays.h"
#include "ui/grid_view.h"

#include <QVariant>

using namespace netposition_detail;

void CNetPosition::FillUnbilledPositionGrid()
{
    WriteLog(3, "Entry FillUnbilledPositionGrid");
    ClientInfo* active = ActiveClientEntry();
    if (!active)
        return;
    ui::GridModel& m = m_grids[Unbilled]->model();
    m.clearRows();
    const std::vector<UnbilledPositionRecord>& u = RiskArraysOf(*active).unbilled_positions;
    auto f2 = [](double v) { return qs(PositionMath::FormatNumber("%.2lf", v)); };
    for (const UnbilledPositionRecord& r : u) {
        const int row = m.addRow();
        m.setText(row, 0, qs(r.security));
        m.setText(row, 1, qs(r.payin_date));
        m.setText(row, 2, f2(r.value));
        m.setText(row, 3, f2(r.multiple));
        m.setText(row, 4, QString::number(r.source));
        m.setText(row, 5, f2(r.margin_utilised));
        m.setText(row, 6, f2(r.bnst_credit));
        m.setText(row, 7, f2(r.total));
        m.setText(row, 8, f2(r.bnst_hold_value));
    }
    if (!u.empty()) {
        const int row = m.addRow();
        m.setText(row, 0, QStringLiteral("Total"));
        m.setIcon(row, 0, 0);
        m.setText(row, 7, m_grids[Unbilled]->property("totalText").toString());
        m.setText(row, 8, m_grids[Unbilled]->property("holdValueText").toString());
        for (int c : {0, 7, 8}) {
            m.setBackColour(row, c, rgb(kBand));
            m.setTextColour(row, c, rgb(kBlack));
        }
        m.mergeCells(row, row, 0, 6);
    }
    m.flush();
    EnableControls(true);
    WriteLog(3, "Exit FillUnbilledPositionGrid");
}
