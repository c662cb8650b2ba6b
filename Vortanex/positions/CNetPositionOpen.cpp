// The open positions tab: the positions of the report, spread groups with
// their legs, the total row, and the live prices of its rows.
#include "positions/CNetPosition.h"
#include "positions/CNetPositionDetail.h"

#include "app/base/LogWriter.h"
#include "app/base/TextFormat.h"
#include "frame/FrameThemes.h"
#include "orders/ClientOrderStore.h"
#include "positions/PositionMath.h"
#include "server/RiskArrays.h"
#include "ui/grid_view.h"

using namespace netposition_detail;

namespace {

bool validSecurity(int index)
{
    const auto table = SecurityTable::current();
    return table && table->valid(index);
}

int tickCode(int index)
{
    const auto table = SecurityTable::current();
    if (!table || !table->valid(index))
        return 0;
    return table->row(index).quote().tick_code[4];
}

int segmentIdAt(int markingIndex)
{
    if (markingIndex < 0 || markingIndex >= static_cast<int>(pv_user_info.segments.size()))
        return -1;
    return pv_user_info.segments[static_cast<size_t>(markingIndex)].id;
}

} // namespace

void CNetPosition::OnDisplayPositions(int shownReport)
{
    WriteLog(0, "Entry CNetPosition::OnDisplayPositions");
    ui::GridView* g = m_grids[Open];
    ui::GridModel& m = g->model();
    try {
        ClientInfo* active = ActiveClientEntry();
        if (!active || shownReport != Open) {
            WriteLog(3, "Exit OnDisplayPositions");
            return;
        }
        m_openRowCount = -1;
        m_openRunBySecurity.clear();
        m_openPlTotal = 0;
        m_openGridSum = 0;
        m_openTotalRow = -1;
        m_openAllCurrency = true;
        m.clearRows();
        std::vector<PositionRecord>& positions = RiskArraysOf(*active).positions;
        WriteLog(0, formatText("No of Positions :<%d>", static_cast<int>(positions.size())));
        m_redrawPending = false;
        int group = -1;
        int count = 0;
        double actualSum = 0, premiumSum = 0;
        const bool dark = IsDarkTheme();
        for (size_t i = 0; i < positions.size(); ++i) {
            PositionRecord& p = positions[i];
            p.grid_row = -1;
            try {
                if (p.product_class != 1)
                    continue;
                if (p.buy_open_qty == 0 && p.sell_open_qty == 0 && p.net_qty == 0 && p.actual_pl == 0.0
                    && p.premium == 0.0 && p.margin_type == "N") {
                    WriteLog(0, "not inserted record");
                    continue;
                }
                if (p.product_code == 12)
                    setMisBandVisible(true);
                const bool valid = validSecurity(p.sec_index);
                const RiskSecurityFacts s = valid ? factsOf(p.sec_index) : RiskSecurityFacts{};
                const bool cur = s.currency;
                if (p.margin_type == "P") {
                    const int row = m.addRow();
                    m.setGroup(row, true);
                    m.setText(row, 0, qs(p.display_name));
                    m.setText(row, 1, exchangeName(p.exchange));
                    m.setText(row, 19, "Total");
                    m.setText(row, 20, qs(PositionMath::FormatPrice(p.utilization, valid && cur)));
                    m.setText(row, 21, p.spread_benefit >= 0
                                           ? qs(PositionMath::FormatNumber("%0.4lf", p.spread_benefit))
                                           : QStringLiteral("-"));
                    m.setValue(row, 21, p.spread_benefit);
                    m.setRowData(row, static_cast<int>(i));
                    m_openGridSum += p.utilization;
                    group = row;
                    continue;
                }
                if (!valid)
                    continue;
                actualSum += p.actual_pl;
                premiumSum += p.premium;
                m_openAllCurrency = m_openAllCurrency && cur;
                const double L = PositionMath::LastRupees(s);
                const double pl = PositionMath::OpenPositionPl(p, s, L);
                const bool sub = group >= 0 && p.margin_type != "N" && p.margin_type != "P";
                const int row = sub ? m.addRow(group) : m.addRow();
                if (!sub)
                    group = -1;
                auto price = [cur](double v) { return qs(PositionMath::FormatPrice(v, cur)); };
                m.setText(row, 0, qs(displayKey(p.sec_index)));
                m.setText(row, 1, exchangeName(p.exchange));
                m.setText(row, 2, price(L));
                m.setText(row, 3, QString::number(p.buy_open_qty));
                m.setText(row, 4, price(p.buy_open_value));
                m.setText(row, 5, QString::number(p.sell_open_qty));
                m.setText(row, 6, price(p.sell_open_value));
                m.setText(row, 7, QString::number(p.net_qty));
                m.setText(row, 8, price(p.net_value));
                m.setText(row, 9, price(p.avg_price > 0 ? p.avg_price : 0));
                m.setText(row, 10, QString::number(p.prev_stock_qty));
                m.setText(row, 11, price(p.prev_stock_value));
                m.setText(row, 12, price(pl));
                m.setText(row, 13, price(p.actual_pl));
                m.setText(row, 14, price(p.premium));
                m.setText(row, 15, qs(segmentName(p.marking_index)));
                m.setText(row, 16, price(p.multiple));
                m.setText(row, 17, p.avg_price < 0 ? QString() : price(p.avg_price));
                m.setText(row, 18, p.multiplier == 1.0 ? QStringLiteral("-")
                                                       : qs(PositionMath::FormatNumber("%0.4lf", p.multiplier)));
                m.setText(row, 19, p.margin_type == "N" || p.margin_type == "R" ? QStringLiteral("Normal")
                                   : p.margin_type == "S"                          ? QStringLiteral("Span")
                                                                                   : qs(p.margin_type));
                m.setText(row, 20, price(p.utilization));
                m.setText(row, 21, p.spread_benefit >= 0 ? qs(PositionMath::FormatNumber("%0.4lf", p.spread_benefit))
                                                         : QStringLiteral("-"));
                m.setRowData(row, static_cast<int>(i));
                p.unrealised_pl = pl;
                p.grid_row = row;
                m_openPlTotal += pl;
                if (p.margin_type == "N")
                    m_openGridSum += p.utilization;
                // Colours.
                const int segId = segmentIdAt(p.marking_index);
                const bool keep = segId == 5 || segId == 6;
                if (!dark) {
                    const uint32_t back = p.product_code >= 12 ? kWhite
                        : (p.marking_index >= 0 && p.marking_index < static_cast<int>(pv_user_info.segments.size()))
                        ? pv_user_info.segments[static_cast<size_t>(p.marking_index)].row_colour
                        : kWhite;
                    const uint32_t text = p.net_qty > 0 ? g_AppSettings.up_back_colour
                        : p.net_qty < 0                 ? g_AppSettings.down_back_colour
                                                        : kBlack;
                    for (int c = 0; c <= 21; ++c) {
                        m.setBackColour(row, c, rgb(back));
                        m.setTextColour(row, c, rgb(text));
                    }
                }
                const int tick = tickCode(p.sec_index);
                signColours(m, row, 2, tick == 10 ? 1 : tick == 20 ? -1 : 0, keep);
                signColours(m, row, 7, p.net_qty, keep);
                signColours(m, row, 8, p.net_qty, keep);
                if (dark)
                    signColours(m, row, 0, p.net_qty, keep);
                signColours(m, row, 12, pl, keep);
                signColours(m, row, 13, p.actual_pl, keep);
                if (p.buy_open_qty > 0) {
                    signColours(m, row, 3, 1);
                    signColours(m, row, 4, 1);
                }
                if (p.sell_open_qty > 0) {
                    signColours(m, row, 5, -1);
                    signColours(m, row, 6, -1);
                }
                ++count;
            } catch (...) {
                WriteLog(0, "Exception in OnDisplayPosition 1");
            }
        }
        if (count > 0) {
            m_openRowCount = count;
            const int row = m.addRow();
            m.setText(row, 0, QStringLiteral(" Total"));
            // A total has two decimals, four only when every row it adds is a currency.
            const bool cur = m_openAllCurrency;
            m.setText(row, 12, qs(PositionMath::FormatPrice(m_openPlTotal, cur)));
            m.setText(row, 13, qs(PositionMath::FormatPrice(actualSum, cur)));
            m.setText(row, 14, qs(PositionMath::FormatPrice(premiumSum, cur)));
            m.setText(row, 20, qs(PositionMath::FormatPrice(m_openGridSum, cur)));
            m.setRowData(row, OpenTotalMarker{});
            for (int c = 0; c <= 21; ++c) {
                m.setBackColour(row, c, rgb(kBand));
                m.setTextColour(row, c, rgb(kBlack));
            }
            m_openTotalRow = row;
        }
        // Every row of each security, in grid order: a security's rows need
        // not be adjacent (an MIS row after other securities), and each
        // follows its ticks.
        m_openRunBySecurity.clear();
        for (int row : m.preorder()) {
            const int* index = m.rowDataAs<int>(row);
            if (!index || *index < 0 || *index >= static_cast<int>(positions.size())
                || positions[static_cast<size_t>(*index)].grid_row != row)
                continue;
            m_openRunBySecurity[positions[static_cast<size_t>(*index)].sec_index].push_back(row);
        }
        m.flush();
    } catch (const std::exception& e) {
        WriteLog(0, formatText("SException in OnDisplayPositions : [%s]", e.what()));
    } catch (...) {
        WriteLog(0, "Exception in OnDisplayPositions");
    }
    WriteLog(3, "Exit OnDisplayPositions");
}

void CNetPosition::updateOpenGridLtp(int security, const RiskSecurityFacts& s, int tick)
{
    ClientInfo* active = ActiveClientEntry();
    if (!active)
        return;
    std::vector<PositionRecord>& positions = RiskArraysOf(*active).positions;
    ui::GridModel& m = m_grids[Open]->model();
    const double L = PositionMath::LastRupees(s);
    const auto run = m_openRunBySecurity.find(security);
    if (run == m_openRunBySecurity.end())
        return;
    for (int row : run->second) {
        const int* index = m.rowDataAs<int>(row);
        if (!index || *index < 0 || *index >= static_cast<int>(positions.size()))
            continue;
        PositionRecord& p = positions[static_cast<size_t>(*index)];
        if (p.grid_row != row || p.sec_index != security)
            continue;
        const double pl = PositionMath::OpenPositionPl(p, s, L);
        m_openPlTotal = PositionMath::NoNegativeZero(m_openPlTotal - p.unrealised_pl + pl);
        p.unrealised_pl = pl;
        m.setText(row, 2, qs(PositionMath::FormatPrice(L, s.currency)));
        m.setText(row, 12, qs(PositionMath::FormatPrice(pl, s.currency)));
        if (m_openTotalRow >= 0)
            m.setText(m_openTotalRow, 12, qs(PositionMath::FormatPrice(m_openPlTotal, m_openAllCurrency)));
        // Every changed cell is painted at the next timer period, a
        // currency row's too.
        m_redrawPending = true;
        if (s.currency) {
            WriteLog(0, "LTP " + PositionMath::FormatPrice(L, true));
            continue;
        }
        signColours(m, row, 2, tick == 10 ? 1 : tick == 20 ? -1 : 0);
        signColours(m, row, 12, pl);
        m_redrawPending = true;
    }
}
