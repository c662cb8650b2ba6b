#include "watch/excel/ExcelSheetWriters.h"

#include "app/base/FigureText.h"
#include "app/base/LogWriter.h"
#include "server/SecurityTable.h"
#include "watch/base/WatchlistTable.h"

#include <cstdio>
#include <ctime>

namespace {

std::string printed(const char* format, double v)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, format, v);
    return buf;
}

bool scaledPriceKind(int kind)
{
    return kind == 0 || kind == 2 || (kind >= 4 && kind <= 10);
}

bool quantityKind(int kind)
{
    return kind == 1 || kind == 3 || (kind >= 11 && kind <= 16);
}

void markLive(CMSExcel& link, const ExcelTargetPtr& target)
{
    target->cellsLive = true;
    link.post([target] {
        if (target->onLive && !target->cancelled)
            target->onLive(true);
    });
}

void writePass(ExcelWriter& w, const std::vector<ExcelRow>& rows)
{
    for (size_t p = 0; p < rows.size(); ++p) {
        if (!w.alive())
            return;
        const int row = static_cast<int>(p) + 2;
        const ExcelRow& r = rows[p];
        if (r.empty) {
            w.fillRow(row, 1, kExcelColumns, kExcelGrey, 1);
            continue;
        }
        std::vector<SheetCell> cells;
        cells.reserve(kExcelColumns);
        cells.push_back(SheetCell{row, 1, r.key, false, {}});
        cells.push_back(SheetCell{row, 2, r.exchange, false, {}});
        for (int k = 0; k < kColumnKinds; ++k)
            cells.push_back(SheetCell{row, k + 3, r.texts[static_cast<size_t>(k)], false, {}});
        w.writeCells(cells);
    }
}

} // namespace

std::string ExcelExchangeName(std::string_view code)
{
    static const std::pair<const char*, const char*> kNames[] = {
        {"NN", "NSE"}, {"BN", "BSE"}, {"CN", "NSE-FX"}, {"CM", "MCX-SX"}, {"NC", "NCDEX-CM"}, {"MC", "MCX-CM"},
    };
    for (const auto& [c, name] : kNames)
        if (code == c)
            return name;
    return std::string(code);
}

// The decimals of a security's figures in the sheet, the one place the
// writers take them from (the sheet's number formats follow the texts).
int ExcelDecimals(const SecurityRecord& s)
{
    return figureDecimals(s.currency != 0 ? 1 : 0);
}

std::string ExcelValueText(int kind, const SecurityRecord& s, const QuoteData& q, bool tick)
{
    const bool four = ExcelDecimals(s) == 4;
    const double v = ColumnKindValue(q, kind);
    if (scaledPriceKind(kind))
        return printed(four ? "%0.04f" : "%0.02f", v / 100);
    if (quantityKind(kind))
        return printed(four && !tick ? "%0.04f" : "%0.02f", v);
    switch (kind) {
    case kLastTrdTime: {
        if (!(v > 0))
            return "0";
        const time_t t = static_cast<time_t>(v);
        struct tm tmv {};
        localtime_r(&t, &tmv);
        char buf[48];
        std::snprintf(buf, sizeof buf, "%02d-%02d-%d %02d:%02d:%02d", tmv.tm_mday, tmv.tm_mon + 1,
                      tmv.tm_year + 1900, tmv.tm_hour, tmv.tm_min, tmv.tm_sec);
        return buf;
    }
    case kNetChg:
    case kHighPrcRange:
    case kLowPrcRange:
        return printed(four ? "%0.4lf" : "%0.2lf", v == 0 ? 0.0 : v / 100);
    case kWeek52High:
    case kWeek52Low:
        return printed("%0.2lf", v);
    default:
        return "";
    }
}

ExcelRow ExcelRowOf(const SecurityRecord& s, const QuoteData& q)
{
    ExcelRow r;
    r.empty = false;
    r.key = std::string(s.displayKey().view());
    r.exchange = ExcelExchangeName(s.market_exchange.view());
    for (int k = 0; k < kColumnKinds; ++k)
        r.texts[static_cast<size_t>(k)] = ExcelValueText(k, s, q, false);
    return r;
}

std::vector<ExcelRow> ExcelRowsOf(const WatchlistRecord& list, const SecurityTable* securities,
                                  const std::vector<int>& order, std::vector<int>* placeOf)
{
    const size_t n = list.rows.size();
    std::vector<int> places(n, -1);
    std::vector<int> positions;
    positions.reserve(n);
    const auto take = [&](int p) {
        if (p < 0 || static_cast<size_t>(p) >= n || places[static_cast<size_t>(p)] >= 0)
            return;
        places[static_cast<size_t>(p)] = static_cast<int>(positions.size());
        positions.push_back(p);
    };
    for (int p : order)
        take(p);
    for (size_t p = 0; p < n; ++p)
        take(static_cast<int>(p));
    std::vector<ExcelRow> rows(n);
    for (size_t place = 0; place < n; ++place) {
        const WatchRowEntry& e = list.rows[static_cast<size_t>(positions[place])];
        if (!WatchRowCounts(e) || !securities || !securities->valid(e.securityIndex))
            continue;
        const SecurityRecord& s = securities->row(e.securityIndex);
        rows[place] = ExcelRowOf(s, s.quote());
    }
    if (placeOf)
        *placeOf = std::move(places);
    return rows;
}

int ExcelPlaceOf(const ExcelSheetTarget& target, int position)
{
    if (position >= 0 && static_cast<size_t>(position) < target.placeOf.size())
        return target.placeOf[static_cast<size_t>(position)];
    return position;
}

void WriteExcelHeaders(CMSExcel& link, const ExcelTargetPtr& target)
{
    std::vector<SheetCell> cells;
    const SheetStyle bold{-1, 0, true};
    cells.push_back(SheetCell{1, 1, "Security", true, bold});
    cells.push_back(SheetCell{1, 2, "ME", true, bold});
    for (int k = 0; k < kColumnKinds; ++k)
        cells.push_back(SheetCell{1, k + 3, ColumnKindCaption(k), true, bold});
    link.postJob(target, [cells = std::move(cells)](ExcelWriter& w) { w.writeCells(cells); });
}

void UpdateDataExcel(CMSExcel& link, const ExcelTargetPtr& target, std::vector<ExcelRow> rows)
{
    link.postJob(target, [&link, rows = std::move(rows)](ExcelWriter& w) {
        WriteLog(3, "Entry in UpdateDataExcel");
        writePass(w, rows);
        if (w.alive())
            markLive(link, w.target());
        WriteLog(3, "Exit in UpdateDataExcel");
    });
}

void SaveExcelWatchlist(CMSExcel& link, const ExcelTargetPtr& target, std::vector<ExcelRow> rows)
{
    WriteLog(3, "Entry SaveExcelWatchlist");
    target->cellsLive = false;
    link.postJob(target, [&link, rows = std::move(rows)](ExcelWriter& w) {
        // Clear through the last used row, however long the list was.
        const int last = w.lastUsedRow();
        if (last >= 2)
            w.deleteRows(2, last);
        writePass(w, rows);
        if (w.alive())
            markLive(link, w.target());
    });
    WriteLog(3, "Exit SaveExcelWatchlist");
}

bool AddExcelScripts(CMSExcel& link, const ExcelTargetPtr& target, std::vector<ExcelRow> rows, int shownRows,
                     const std::function<void(const std::string&)>& tell)
{
    WriteLog(3, "Entry AddExcelScripts");
    target->cellsLive = false;
    if (target->onLive)
        target->onLive(false);
    if (shownRows > kExcelMaxRows) {
        if (tell)
            tell("Script size greater than 100 is not allowed in Excel");
        return false;
    }
    link.postJob(target, [&link, rows = std::move(rows)](ExcelWriter& w) {
        const SheetStyle plain{-1, 0, false};
        for (size_t p = 0; p < rows.size() && w.alive(); ++p) {
            const ExcelRow& r = rows[p];
            if (r.empty)
                continue; // keeps its old cells
            const int row = static_cast<int>(p) + 2;
            std::vector<SheetCell> cells;
            cells.reserve(kExcelColumns);
            cells.push_back(SheetCell{row, 1, r.key, true, plain});
            cells.push_back(SheetCell{row, 2, r.exchange, true, plain});
            for (int k = 0; k < kColumnKinds; ++k)
                cells.push_back(SheetCell{row, k + 3, r.texts[static_cast<size_t>(k)], true, plain});
            w.writeCells(cells);
        }
        if (w.alive())
            markLive(link, w.target());
    });
    WriteLog(3, "Exit AddExcelScripts");
    return true;
}

void DeleteExcelRows(CMSExcel& link, const ExcelTargetPtr& target, int rowPlace)
{
    link.postJob(target, [rowPlace](ExcelWriter& w) { w.fillRow(rowPlace + 2, 1, kExcelColumns, kExcelGrey, 1); });
}

std::vector<SheetCell> ExcelTickCells(const SecurityRecord& s, const QuoteData& q, int rowPlace)
{
    std::vector<SheetCell> cells;
    for (int k = 0; k < kColumnKinds; ++k) {
        const short code = ColumnKindTick(q, k);
        if (code != kTickRose && code != kTickFell)
            continue;
        const SheetStyle style{code == kTickRose ? kExcelRoseBack : kExcelFellBack, kExcelWhite, false};
        cells.push_back(SheetCell{rowPlace + 2, k + 3, ExcelValueText(k, s, q, true), true, style});
    }
    return cells;
}

void UpdateExcelTick(CMSExcel& link, const ExcelTargetPtr& target, int security, int rowPlace)
{
    if (!target->cellsLive)
        return;
    if (!link.hasRowFormatter())
        link.setRowFormatter(
            [](int s, int rowPlace, std::vector<SheetCell>& out) {
                const auto securities = SecurityTable::current();
                if (!securities || !securities->valid(s))
                    return;
                const SecurityRecord& record = securities->row(s);
                auto cells = ExcelTickCells(record, record.quote(), rowPlace);
                out.insert(out.end(), std::make_move_iterator(cells.begin()), std::make_move_iterator(cells.end()));
            },
            kColumnKinds);
    link.putRow(target, rowPlace, security);
}
