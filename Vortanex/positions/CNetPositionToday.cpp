// The today's positions tab: the day's trades and open orders per
// security, the total row, and the live prices of its rows.
#include "positions/CNetPosition.h"
#include "positions/CNetPositionDetail.h"

#include "app/base/LogWriter.h"
#include "orders/ClientOrderStore.h"
#include "positions/PositionMath.h"
#include "server/RiskArrays.h"
#include "ui/grid_view.h"

using namespace netposition_detail;

namespace {

constexpr uint32_t kTradedBack = 0xCCC9FA; // RGB(250, 201, 204)
constexpr uint32_t kOpenBack = 0xCEDEFF;   // RGB(255, 222, 206)

} // namespace

void CNetPosition::FillTodaysPositionGrid()
{
    WriteLog(3, "Entry FillTodaysPositionGrid");
    ClientInfo* active = ActiveClientEntry();
    if (!active)
        return;
    ui::GridModel& m = m_grids[Todays]->model();
    m.clearRows();
    m_todaysTotalRow = -1;
    m_todaysPlTotal = 0;
    m_todaysAllCurrency = true;
    m_todaysBySecurity.clear();
    std::vector<TodaysPositionRecord>& t = RiskArraysOf(*active).todays_positions;
    double sums[8] = {}; // buy traded, sell traded, net, buy open, sell open, realised, premium
    for (size_t i = 0; i < t.size(); ++i) {
        TodaysPositionRecord& r = t[i];
        r.grid_row = -1;
        const RiskSecurityFacts s = factsOf(r.sec_index);
        const bool cur = s.currency;
        auto price = [cur](double v) { return qs(PositionMath::FormatPrice(v, cur)); };
        if (r.product_code == 12)
            setMisBandVisible(true);
        m_todaysAllCurrency = m_todaysAllCurrency && cur;
        sums[2] += r.net_value;
        sums[5] += r.realised_pl;
        sums[6] += r.todays_premium;
        m_todaysPlTotal += r.unrealised_pl;
        // An option's values are in its row, so they are in the total too.
        sums[0] += r.buy_traded_value;
        sums[1] += r.sell_traded_value;
        sums[3] += r.buy_open_value;
        sums[4] += r.sell_open_value;
        if (r.buy_traded_qty == 0 && r.sell_traded_qty == 0 && r.buy_open_qty == 0 && r.sell_open_qty == 0)
            continue;
        const int row = m.addRow();
        r.grid_row = row;
        m_todaysBySecurity[r.sec_index].push_back(static_cast<int>(i));
        m.setRowData(row, static_cast<int>(i));
        m.setText(row, 0, qs(displayKey(r.sec_index)));
        m.setText(row, 1, exchangeName(r.exchange));
        m.setText(row, 2, qs(segmentNameOfId(r.product_code)));
        m.setText(row, 3, price(r.ltp));
        m.setText(row, 4, QString::number(r.buy_traded_qty));
        m.setText(row, 5, price(r.buy_traded_value));
        m.setText(row, 6, price(PositionMath::TodaysBuyAverage(r, s)));
        m.setText(row, 7, QString::number(r.sell_traded_qty));
        m.setText(row, 8, price(r.sell_traded_value));
        m.setText(row, 9, price(PositionMath::TodaysSellAverage(r, s)));
        for (int c = 4; c <= 9; ++c) {
            m.setBackColour(row, c, rgb(kTradedBack));
            m.setTextColour(row, c, rgb(kBlack));
        }
        m.setText(row, 10, QString::number(r.net_qty));
        m.setText(row, 11, price(r.net_value));
        if (r.net_qty != 0) {
            signColours(m, row, 10, r.net_qty);
            signColours(m, row, 11, r.net_qty);
        }
        m.setText(row, 12, QString::number(r.buy_open_qty));
        m.setText(row, 13, price(r.buy_open_value));
        m.setText(row, 14, price(PositionMath::TodaysOpenAverage(r.buy_open_value, r.buy_open_qty, s, r.multiplier)));
        m.setText(row, 15, QString::number(r.sell_open_qty));
        m.setText(row, 16, price(r.sell_open_value));
        m.setText(row, 17, price(PositionMath::TodaysOpenAverage(r.sell_open_value, r.sell_open_qty, s, r.multiplier)));
        for (int c = 12; c <= 18; ++c) {
            m.setBackColour(row, c, rgb(kOpenBack));
            m.setTextColour(row, c, rgb(kBlack));
        }
        m.setText(row, 18, price(r.realised_pl));
        m.setText(row, 19, price(r.todays_premium));
        m.setValue(row, 19, r.todays_premium);
        m.setText(row, 20, price(r.unrealised_pl));
        if (r.realised_pl != 0)
            signColours(m, row, 18, r.realised_pl);
        if (r.unrealised_pl != 0)
            signColours(m, row, 20, r.unrealised_pl);
        m.setText(row, 21, cur && r.multiplier != 1 ? qs(PositionMath::FormatNumber("%.4lf", r.multiplier))
                                                    : QStringLiteral("-"));
        m.setText(row, 22, price(r.unrealised_pl + r.realised_pl));
    }
    if (!t.empty()) {
        const int row = m.addRow();
        m.setText(row, 0, QStringLiteral("Total"));
        const std::pair<int, double> cells[] = {{5, sums[0]},  {8, sums[1]},  {11, sums[2]}, {13, sums[3]},
                                                {16, sums[4]}, {18, sums[5]}, {19, sums[6]}, {20, m_todaysPlTotal}};
        // Two decimals, four only when every row it adds is a currency.
        for (const auto& [c, v] : cells) {
            m.setText(row, c, qs(PositionMath::FormatPrice(PositionMath::NoNegativeZero(v), m_todaysAllCurrency)));
            m.setValue(row, c, PositionMath::NoNegativeZero(v));
        }
        for (int c = 0; c < 23; ++c) {
            m.setBackColour(row, c, rgb(kBand));
            m.setTextColour(row, c, rgb(kBlack));
        }
        m_todaysTotalRow = row;
    }
    m.flush();
    EnableControls(true);
    WriteLog(3, "Exit FillTodaysPositionGrid");
}

void CNetPosition::SetTodaysPositionLTP(int security)
{
    try {
        ClientInfo* active = ActiveClientEntry();
        ui::GridModel& m = m_grids[Todays]->model();
        if (m_busy || !active || m.rowTotal() == 0)
            return;
        const RiskSecurityFacts s = factsOf(security);
        const double L = PositionMath::LastRupees(s);
        std::vector<TodaysPositionRecord>& records = RiskArraysOf(*active).todays_positions;
        const auto found = m_todaysBySecurity.find(security);
        if (found == m_todaysBySecurity.end())
            return;
        for (int index : found->second) {
            if (index < 0 || index >= static_cast<int>(records.size()))
                continue;
            TodaysPositionRecord& r = records[static_cast<size_t>(index)];
            if (r.sec_index != security || r.grid_row < 0 || !m.isRow(r.grid_row))
                continue;
            const int row = r.grid_row;
            if (r.ltp < L)
                signColours(m, row, 3, 1);
            else if (r.ltp > L)
                signColours(m, row, 3, -1);
            const double delta = PositionMath::ApplyTodaysTick(r, s, L);
            m.setText(row, 3, qs(PositionMath::FormatPrice(L, s.currency)));
            m_todaysPlTotal = PositionMath::NoNegativeZero(m_todaysPlTotal + delta);
            m.setText(row, 20, qs(PositionMath::FormatPrice(r.unrealised_pl, s.currency)));
            if (r.unrealised_pl != 0)
                signColours(m, row, 20, r.unrealised_pl);
            if (m_todaysTotalRow >= 0) {
                m.setText(m_todaysTotalRow, 20, qs(PositionMath::FormatPrice(m_todaysPlTotal, m_todaysAllCurrency)));
                m.setValue(m_todaysTotalRow, 20, m_todaysPlTotal);
            }
            m.setText(row, 22, qs(PositionMath::FormatPrice(r.unrealised_pl + r.realised_pl, s.currency)));
            m_redrawPending = true;
        }
    } catch (...) {
        WriteLog(0, "Unhandled Exception in CNetPosition::SetTodaysPositionLTP");
    }
}
