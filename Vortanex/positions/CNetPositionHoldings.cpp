// The holdings tab: each security's summary over its holdings with their
// rows, the grand total, the value filter its header menu leaves pending,
// and marking holdings to margin funding or delivery.
#include "positions/CNetPosition.h"
#include "positions/CNetPositionDetail.h"

#include "app/base/ActivityStamp.h"
#include "app/base/LogWriter.h"
#include "app/base/MessageBox.h"
#include "app/base/TextFormat.h"
#include "frame/FrameThemes.h"
#include "frame/controls/CFilterGridCtrl.h"
#include "orders/ClientOrderStore.h"
#include "orders/PositionRecords.h"
#include "positions/DlgPledgeUnpleged.h"
#include "positions/PositionMath.h"
#include "server/RiskArrays.h"
#include "ui/grid_ranges.h"
#include "ui/grid_view.h"
#include "ui/modal_host.h"

#include <QTreeView>

#include <algorithm>
#include <cmath>
#include <cstdlib>

using namespace netposition_detail;

void CNetPosition::OnApplyFilter1()
{
    WriteLog(3, "OnApplyFilter1");
    auto* holdings = static_cast<CFilterGridCtrl*>(m_grids[Holdings]);
    const FilterColumnInfo& pending = holdings->WorkingFilter();
    FilterColumnInfo applied; // cleared, then the pending column, flag and values
    applied.column = pending.column;
    applied.allValues = pending.allValues;
    applied.checkedValues = pending.checkedValues;
    holdings->tree()->clearSelection();
    holdings->ApplyFilter(applied);
}

int CNetPosition::OnDisplaySellFromExisting()
{
    WriteLog(3, "Entry CNetPosition::OnDisplaySellFromExisting");
    ClientInfo* active = ActiveClientEntry();
    if (!active)
        return -1;
    ui::GridView* g = m_grids[Holdings];
    ui::GridModel& m = g->model();
    m.clearRows();
    std::vector<PositionRecord>& h = RiskArraysOf(*active).holdings;
    WriteLog(3, formatText("No of Stocks :<%d>", static_cast<int>(h.size())));
    const auto table = SecurityTable::current();
    auto lastOf = [&table](int index) {
        return table && table->valid(index) ? table->row(index).quote().quote[4] / 100.0 : 0.0;
    };
    auto avgCost = [](const std::string& text) { return std::strtod(text.c_str(), nullptr); };
    double grandSec = 0, grandReal = 0, grandBnst = 0, grandUnreal = 0;
    int summaryRow = -1;
    int summaryToken = 0;
    bool anyDetail = false;
    int prevDetailType = -1;
    int prevDetailRow = -1;
    int prevDetailIndex = -1;
    QString prevUnreal;
    auto f2 = [](double v) { return qs(PositionMath::FormatNumber("%0.2lf", v)); };
    for (size_t i = 0; i < h.size(); ++i) {
        PositionRecord& rec = h[i];
        rec.record_no = -1;
        try {
            if (!table || !table->valid(rec.sec_index))
                continue;
            const double ltp = lastOf(rec.sec_index);
            if (summaryRow < 0 || rec.token != summaryToken) {
                // The summary over this security's holdings, in runs of one type.
                double openValue = 0, tradedValue = 0, bnst = 0, secVal = 0, realVal = 0, unreal = 0, summaryLtp = 0;
                long openQty = 0, tradedQty = 0, totalStock = 0, stockBal = 0;
                std::string marks;
                size_t k = i;
                while (k < h.size() && h[k].token == rec.token) {
                    const size_t f = k;
                    const bool type4 = h[f].product_code == 4;
                    long M = h[f].prev_stock_qty - h[f].hold_stock - h[f].sell_open_qty
                        + (type4 ? h[f].net_qty : -h[f].net_qty);
                    long H = h[f].prev_stock_qty - h[f].net_qty;
                    size_t e = f + 1;
                    while (e < h.size() && h[e].token == rec.token && h[e].product_code == h[f].product_code) {
                        M += h[e].hold_stock - h[e].sell_open_qty - h[e].net_qty;
                        H -= h[e].net_qty;
                        ++e;
                    }
                    for (size_t x = f; x < e; ++x)
                        h[x].stock_balance = static_cast<int>(M);
                    // The run's rows share one balance: its profit at the
                    // average cost counts once, as its balance does.
                    bool runPlCounted = false;
                    for (size_t x = f; x < e; ++x) {
                        PositionRecord& r = h[x];
                        openValue += r.sell_open_value;
                        tradedValue += r.net_value;
                        bnst += r.bnst_credit;
                        openQty += r.sell_open_qty;
                        tradedQty += r.net_qty;
                        const bool pledgeable = r.product_code == 1 || r.product_code == 9;
                        if (x == f) {
                            totalStock += r.prev_stock_qty;
                            stockBal += M;
                            if (pledgeable) {
                                const double sv = static_cast<double>(H) * r.stock_value_price * r.haircut / 100;
                                secVal += sv;
                                grandSec += sv;
                            }
                        }
                        const double cost = avgCost(r.holding_text);
                        if (cost >= 0) {
                            r.avg_cost_pl = PositionMath::NoNegativeZero((lastOf(r.sec_index) - cost) * r.stock_balance);
                            if (!runPlCounted) {
                                unreal += r.avg_cost_pl;
                                grandUnreal += r.avg_cost_pl;
                                runPlCounted = true;
                            }
                        }
                        if (pledgeable && x == f)
                            realVal += r.stock_balance * lastOf(r.sec_index);
                        else if (pledgeable && r.exchange == "NN")
                            realVal += r.stock_balance * (lastOf(r.sec_index) - lastOf(h[x - 1].sec_index));
                        if (r.exchange == "NN" || summaryLtp == 0)
                            summaryLtp = lastOf(r.sec_index);
                        marks += segmentName(r.marking_index) + ",";
                    }
                    k = e;
                }
                grandReal += realVal;
                grandBnst += bnst;
                summaryRow = m.addRow();
                summaryToken = rec.token;
                prevDetailType = -1;
                m.setGroup(summaryRow, true);
                m.setText(summaryRow, 0, qs(displayKey(rec.sec_index)));
                m.setText(summaryRow, 2, f2(summaryLtp));
                m.setText(summaryRow, 3, QString::number(totalStock));
                m.setText(summaryRow, 4, QString::number(openQty));
                m.setText(summaryRow, 5, f2(openValue));
                m.setText(summaryRow, 6, QString::number(std::labs(tradedQty)));
                m.setText(summaryRow, 7, f2(tradedValue));
                m.setText(summaryRow, 8, QString::number(stockBal));
                m.setText(summaryRow, 10, f2(secVal));
                m.setText(summaryRow, 11, f2(realVal));
                m.setText(summaryRow, 12, f2(bnst));
                m.setText(summaryRow, 14, QString::number(rec.hold_stock));
                m.setText(summaryRow, 16, f2(unreal));
                m.setRowData(summaryRow, HoldingRowData{static_cast<int>(i), summaryRow, true, rec.token, marks});
                for (int c = 0; c < 17; ++c) {
                    m.setBackColour(summaryRow, c, rgb(IsDarkTheme() ? 0x505050 : 0xF5E6D2));
                    m.setTextColour(summaryRow, c, rgb(IsDarkTheme() ? kWhite : kBlack));
                }
            }
            // Detail row.
            const int row = m.addRow(summaryRow);
            const bool pledgeable = rec.product_code == 1 || rec.product_code == 9;
            const bool sameType = prevDetailType == rec.product_code && prevDetailIndex >= 0;
            const long prevNet = sameType ? h[static_cast<size_t>(prevDetailIndex)].net_qty : 0;
            const double secVal = pledgeable
                ? static_cast<double>(rec.prev_stock_qty - prevNet - rec.net_qty) * rec.stock_value_price * rec.haircut / 100
                : 0.0;
            const double realVal = pledgeable ? rec.stock_balance * ltp : 0.0;
            m.setText(row, 1, qs(segmentName(rec.marking_index)));
            m.setText(row, 3, QString::number(rec.prev_stock_qty));
            m.setText(row, 4, QString::number(rec.sell_open_qty));
            m.setText(row, 5, f2(rec.sell_open_value));
            m.setText(row, 6, QString::number(std::abs(rec.net_qty)));
            m.setText(row, 7, f2(rec.net_value));
            m.setText(row, 8, QString::number(rec.stock_balance));
            m.setText(row, 9, f2(rec.stock_value_price));
            m.setText(row, 10, f2(secVal));
            m.setText(row, 11, f2(realVal));
            m.setText(row, 12, f2(rec.bnst_credit));
            m.setText(row, 13, QString::number(rec.hold_stock));
            m.setText(row, 14, QString::number(rec.haircut));
            m.setText(row, 15, qs(rec.holding_text));
            const QString unreal = avgCost(rec.holding_text) < 0 ? prevUnreal : f2(rec.avg_cost_pl);
            m.setText(row, 16, unreal);
            prevUnreal = unreal;
            m.setRowData(row, HoldingRowData{static_cast<int>(i), row, false, rec.token, {}});
            if (sameType && prevDetailRow >= 0) {
                m.setText(prevDetailRow, 10, f2(secVal));
                for (int c : {4, 9, 10, 11})
                    m.mergeCells(prevDetailRow, row, c, c);
            }
            prevDetailType = rec.product_code;
            prevDetailRow = row;
            prevDetailIndex = static_cast<int>(i);
            anyDetail = true;
        } catch (...) {
            WriteLog(0, "Exception in OnDisplayPosition 2");
        }
    }
    if (anyDetail) {
        const int row = m.addRow();
        m.setText(row, 0, QStringLiteral(" Grand Total"));
        m.setText(row, 10, f2(grandSec));
        m.setText(row, 11, f2(grandReal));
        m.setText(row, 12, f2(grandBnst));
        m.setText(row, 16, f2(grandUnreal));
        for (int c = 0; c < 17; ++c) {
            m.setBackColour(row, c, rgb(kBand));
            m.setTextColour(row, c, rgb(kBlack));
        }
        m.setRowData(row, HoldingRowData{0, row, false, kGrandTotalToken, {}});
    }
    m.flush();
    g->refilter(); // the applied value filter holds over a refill
    PublishActiveRiskRecords(); // the stock balances are known now
    return 0;
}

void CNetPosition::ShowPledgeUnpledge(int kind)
{
    SetAccessTime();
    try {
        ClientInfo* active = ActiveClientEntry();
        if (!active) {
            MsgBoxInfoCaption("Please Activate a Client", "Input Error");
            return;
        }
        DlgPledgeUnpleged dlg(this);
        dlg.client_code = dealerAtOwnSlot() ? std::string(FixedTextView(active->holdings_client))
                                            : std::string(FixedTextView(active->client_code));
        const auto& holdings = ActiveClientRiskArrays().holdings;
        ui::GridModel& m = m_grids[Holdings]->model();
        const std::vector<int> selected = ui::selectedRowIds(*m_grids[Holdings]);
        int prevSec = -1, prevToken = -1, prevType = -1, n = 0;
        for (int row : m.preorder()) {
            if (std::find(selected.begin(), selected.end(), row) == selected.end())
                continue;
            const HoldingRowData* d = m.rowDataAs<HoldingRowData>(row);
            const PositionRecord* held = HoldingOfRow(d, holdings);
            if (!held)
                continue;
            const PositionRecord& h = *held;
            if (h.product_code != 1 && h.product_code != 9)
                continue;
            if (h.sec_index == prevSec && !d->total_flag)
                continue;
            if (h.token == prevToken && h.product_code == prevType) {
                if (n > 0)
                    dlg.items[n - 1].exchange = "NN";
                continue;
            }
            if (n >= DlgPledgeUnpleged::kItems) {
                MsgBoxInfoCaption("You can select max of 5 Stocks", "Input Error");
                return;
            }
            PledgeItem& it = dlg.items[n++];
            it.token = h.token;
            it.sec_index = h.sec_index;
            it.stock_balance = h.stock_balance;
            it.marking_index = h.marking_index;
            it.exchange = h.exchange;
            prevSec = h.sec_index;
            prevToken = h.token;
            prevType = h.product_code;
        }
        dlg.kind = static_cast<short>(kind);
        ui::modalHost().run(dlg);
    } catch (...) {
        WriteLog(0, "Exception in ShowPledgeUnpledge");
    }
}

void CNetPosition::OnExpandAll()
{
    m_grids[Holdings]->expandAll(true);
}

void CNetPosition::OnCollapseAll()
{
    m_grids[Holdings]->expandAll(false);
}
