// The limits tab: the margin table of the limits report, the MIS figures
// fetched beside it and the broker's additional-margin page.
#include "positions/CNetPosition.h"
#include "positions/CNetPositionDetail.h"

#include "app/base/ConfigFile.h"
#include "app/base/LogWriter.h"
#include "app/base/MessageBox.h"
#include "app/base/TextFormat.h"
#include "frame/FrameThemes.h"
#include "orders/ClientOrderStore.h"
#include "orders/OrderMessages.h"
#include "server/RiskArrays.h"
#include "ui/grid_view.h"

#include "pf/shell.h"
#include "server/ServerRequests.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>

#include <algorithm>

using namespace netposition_detail;

namespace {

pf::Shell* g_limitsShell = nullptr;

constexpr uint32_t kDebtorBack = 0x0000C8; // RGB(200, 0, 0)

bool hasSegmentId(int id)
{
    for (int i = 0; i < pv_user_info.segment_count && i < static_cast<int>(pv_user_info.segments.size()); ++i)
        if (pv_user_info.segments[static_cast<size_t>(i)].id == id)
            return true;
    return false;
}

} // namespace

void CNetPosition::OnDisplayCompleteLimitsGrid()
{
    WriteLog(3, "Entry CNetPosition::OnDisplayCompleteLimitsGrid");
    ui::GridView* g = m_grids[Limits];
    ui::GridModel& m = g->model();
    try {
        ClientInfo* active = ActiveClientEntry();
        if (!active)
            return;
        m.clearRows();
        int n = m_limitsSegmentCount;
        if (n > LimitsRecord::kListCapacity || n < 0) {
            WriteLog(0, formatText("Limits segment count %d clamped to 0..%d", n, LimitsRecord::kListCapacity));
            n = std::clamp(n, 0, LimitsRecord::kListCapacity);
        }
        if (n == 2) {
            g->setColumnHidden(7, true);
            g->setColumnHidden(8, true);
        }
        const std::shared_ptr<LimitsRecord> rec = RiskArraysOf(*active).limits;
        if (rec) {
            const LimitsRecord& r = *rec;
            auto v = [&r](int slot) { return r.at(slot); };
            const bool funding = hasSegmentId(4);
            const std::string fname = segmentNameOfId(4).substr(0, 100);
            double optionsTotal = 0, optionsAvailable = 0;
            for (int j = 0; j < n; ++j) {
                optionsTotal += v(10 + j);
                optionsAvailable += v(18 + j);
            }
            enum Kind { Group, Component, Sum, Top };
            int currentGroup = -1;
            auto segmentCells = [&](int row, int mode, int a, int b) {
                // mode 0 pairs without segment 1, 1 same pair, 2 list pair, 3 NA
                int col = 3;
                for (int j = 0; j < n && col <= 14; ++j) {
                    if (mode == 0 && j == 1)
                        continue;
                    if (mode == 3) {
                        m.setText(row, col, "NA");
                        m.setText(row, col + 1, "NA");
                    } else {
                        const double first = mode == 1 ? v(a) : v(a + j);
                        const double second = mode == 1 ? v(a) : v(b + j);
                        m.setValue(row, col, first);
                        m.setValue(row, col + 1, second);
                    }
                    col += 2;
                }
            };
            auto totals = [&](int row, bool utilised) {
                if (utilised) {
                    m.setValue(row, 11, v(2) - v(3));
                    m.setValue(row, 12, v(4) - v(5));
                    m.setValue(row, 13, v(6) - v(7));
                    m.setValue(row, 14, v(8) - v(9));
                    m.setValue(row, 15, optionsTotal - optionsAvailable);
                } else {
                    m.setValue(row, 11, v(2));
                    m.setValue(row, 12, v(4));
                    m.setValue(row, 13, v(6));
                    m.setValue(row, 14, v(8));
                    m.setValue(row, 15, optionsTotal);
                }
            };
            auto addRow = [&](Kind kind, const std::string& caption, const char* op, double col2) {
                int row = -1;
                if (kind == Component || kind == Sum)
                    row = m.addRow(currentGroup);
                else
                    row = m.addRow();
                // A group row holds figures of its own beside its sub-rows:
                // an ordinary row, not a caption across the grid.
                if (kind == Group)
                    currentGroup = row;
                m.setText(row, 0, qs(caption));
                m.setText(row, 1, op);
                m.setValue(row, 2, col2);
                for (int c = 0; c <= 13; ++c) {
                    if (kind == Group || kind == Top) {
                        m.setBackColour(row, c, rgb(kBand));
                        m.setTextColour(row, c, rgb(kBlack));
                    } else if (kind == Component) {
                        // Its own light band, so its own dark text in every theme.
                        m.setBackColour(row, c, rgb(0xF0F0F0));
                        m.setTextColour(row, c, rgb(kBlack));
                    } else {
                        // The sum colour is dark in a dark theme, under its white text.
                        m.setBackColour(row, c, rgb(IsDarkTheme() ? 0x505050 : 0xD8D8D8));
                        m.setTextColour(row, c, rgb(IsDarkTheme() ? kWhite : kBlack));
                    }
                }
                if (kind == Sum)
                    m.setIcon(row, 0, 0);
                return row;
            };
            auto nz = [&](int slot) { return v(slot) != 0.0; };
            auto fmtName = [&](const char* f) { return formatText(f, fname.c_str()); };
            // Total-margin group.
            int row = addRow(Group, "Total Margin", "+", v(26));
            segmentCells(row, 0, 64, 10);
            totals(row, false);
            segmentCells(addRow(Component, "Available Cash Balance", "+", v(28)), 1, 51, 0);
            if (nz(30))
                segmentCells(addRow(Component, "Margin applied for Open Derivative Position added", "+", v(30)), 1, 30, 0);
            if (nz(29))
                segmentCells(addRow(Component, "Available Stock Margin", "+", v(29)), 1, 29, 0);
            if (nz(46))
                segmentCells(addRow(Component, "Fix Deposit Lien Value", "+", v(46)), 1, 46, 0);
            if (nz(49))
                segmentCells(addRow(Component, "Pins Balance for NRI", "+", v(49)), 1, 49, 0);
            if (nz(31) || nz(52))
                segmentCells(addRow(Component, "Delivery Trade Value", "+", v(31)), 1, 52, 0);
            segmentCells(addRow(Component, "Option Premium Paid/Received", "+", v(34)), 0, 54, 72);
            if (nz(41) || nz(62))
                segmentCells(addRow(Component, "Delivery Trade value against BNST Sell", "+", v(41)), 1, 62, 0);
            if (nz(32) || nz(53))
                segmentCells(addRow(Component, "Realised Profit/Loss", "+", v(32)), 1, 53, 0);
            if (nz(33))
                segmentCells(addRow(Component, "Mark to Market Loss", "+", v(33)), 1, 33, 0);
            if (nz(44))
                segmentCells(addRow(Component, fmtName("Realised Profit/Loss(%s)"), "+", v(44)), 1, 44, 0);
            if (nz(108))
                segmentCells(addRow(Component, fmtName("Mark to Market Profit/Loss(%s)"), "+", v(108)), 1, 108, 0);
            row = addRow(Sum, "Total Margin", "=", v(26));
            segmentCells(row, 0, 64, 10);
            totals(row, false);
            if (funding) {
                row = addRow(Group, fmtName("Total Margin (%s)"), "+", v(42));
                segmentCells(row, 3, 0, 0);
                totals(row, false);
                segmentCells(addRow(Component, "Available Cash Balance", "+", v(28)), 3, 0, 0);
                const std::pair<const char*, int> conditional[] = {
                    {"Margin applied for Open Derivative Position added", 30}, {"Limits given against %s Stock", 88},
                    {"Fix Deposit Lien Value", 46}, {"Pins Balance for NRI", 49}, {"%s Trade Value", 89},
                    {"Option Premium Paid/Received", 34}, {"Delivery Trade value against BNST Sell", 41},
                    {"Realised Profit/Loss", 32}, {"Mark to Market Loss", 33}, {"Realised Profit/Loss(%s)", 44},
                    {"Mark to Market Profit/Loss(%s)", 45}};
                for (const auto& [caption, slot] : conditional)
                    if (nz(slot))
                        segmentCells(addRow(Component, fmtName(caption), "+", v(slot)), 3, 0, 0);
                row = addRow(Sum, "Total Margin", "=", v(42));
                segmentCells(row, 3, 0, 0);
                totals(row, false);
            }
            g->expandAll(false);
            currentGroup = -1;
            row = addRow(Top, "Margin Utilised (Cash&FNO)", "-", v(27));
            segmentCells(row, 1, 63, 0);
            totals(row, true);
            if (funding)
                segmentCells(addRow(Top, fmtName("Margin Utilised (%s)"), "-", v(43)), 3, 0, 0);
            segmentCells(addRow(Top, "Additional Option Brokerage", "-", v(40)), 1, 40, 0);
            g->setColumnHidden(7, true);
            g->setColumnHidden(8, true);
            if (r.limit_flag == 'O')
                for (int c = 11; c <= 15; ++c)
                    g->setColumnHidden(c, true);
            row = addRow(Top, "Margin Available (Cash&FNO)", "-", v(90));
            segmentCells(row, 2, 91, 99);
            m.setValue(row, 11, v(3));
            m.setValue(row, 12, v(5));
            m.setValue(row, 13, v(7));
            m.setValue(row, 14, v(9));
            m.setValue(row, 15, optionsAvailable);
            if (funding)
                segmentCells(addRow(Top, fmtName("Margin Available (%s)"), "-", v(107)), 3, 0, 0);
            if (v(50) > 0) {
                row = addRow(Top, "Debtors Amt.", "", v(50));
                segmentCells(row, 1, 50, 0);
                for (int c = 0; c <= 13; ++c) {
                    m.setBackColour(row, c, rgb(kDebtorBack));
                    m.setTextColour(row, c, rgb(kWhite));
                }
            }
        }
        m.flush();
    } catch (const std::exception& e) {
        WriteLog(0, formatText("SException in OnDisplayCompleteLimitsGrid : [%s]", e.what()));
    } catch (...) {
        WriteLog(0, "Exception in OnDisplayCompleteLimitsGrid");
    }
    WriteLog(3, "Exit CNetPosition::OnDisplayCompleteLimitsGrid");
}

void CNetPosition::GetMisDataFromLimit()
{
    WriteLog(0, "Entry : GetMisDataFromLimit");
    ClientInfo* active = ActiveClientEntry();
    RiskClient client;
    if (!ChooseRiskClient(pv_user_info.client_index, pv_user_info.user_type,
                          active ? std::string(FixedTextView(active->client_code)) : std::string(),
                          active ? std::string(FixedTextView(active->user_id)) : std::string(),
                          m_client->text().toStdString(), std::string(FixedTextView(pv_user_info.session_id)), client)) {
        MsgBoxOk("Please enter proper Client for the Risk Report");
        return;
    }
    OrderUserMessage(3, ' ', RiskDownloadingLine(kRiskLimits, client.code));
    RiskJob job;
    job.type = kRiskLimits;
    job.client = client.code;
    job.clientText = client.code;
    job.text = MisRequestText(client, std::string(FixedTextView(pv_user_info.user_id)),
                              std::string(FixedTextView(pv_user_info.session_id)));
    job.encrypt = pv_user_info.encrypt;
    job.mis = true;
    // On a worker like the reports: the window shows busy meanwhile, and the
    // figures arrive through the same hand-over.
    if (m_busy)
        return;
    m_busy = true;
    m_tabs->setEnabled(false);
    if (!StartRiskReport(std::move(job), ref(), m_handover)) {
        m_busy = false;
        m_tabs->setEnabled(true);
    }
    WriteLog(0, "Exit : GetMisDataFromLimit");
}

void CNetPosition::OnAdditionalMargin()
{
    ClientInfo* active = ActiveClientEntry();
    const std::string text = AdditionalMarginText(std::string(FixedTextView(pv_user_info.user_id)),
                                                  std::string(FixedTextView(pv_user_info.session_id)),
                                                  active ? std::string(FixedTextView(active->client_code)) : "");
    WriteLog(0, text);
    std::string query = text;
    if (pv_user_info.encrypt != 0) {
        std::string encrypted;
        if (!EncryptRequest(text, encrypted)) {
            WriteLog(0, "Additional margin: the request could not be encrypted");
            return;
        }
        query = encrypted;
    }
    const std::string base(FixedTextView(g_Config.Redirect_Url));
    if (base.rfind("http://", 0) != 0 && base.rfind("https://", 0) != 0) {
        WriteLog(0, "Additional margin: the web address is not http or https: " + base);
        return;
    }
    if (!g_limitsShell) {
        WriteLog(0, "Additional margin: no shell is installed");
        return;
    }
    g_limitsShell->openUrl(base + "/qtrade/qlogin.exe?" + query, pf::ShowMode::Minimised);
}

void CNetPosition::SetShell(pf::Shell* shell)
{
    g_limitsShell = shell;
}
