#pragma once
// What a linked watch list writes into its sheet. Row 1 holds the headers;
// the list's row at place p is sheet row p + 2 (list order, not the grid's);
// column A the display key, B the exchange name, C to Y the 23 column kinds
// in kind order whatever the grid shows. The rows are copied on the UI
// thread when a write is asked for, so the writer never reads a view or a
// list that may change or go away meanwhile. Qt-free.
#include "watch/excel/ExcelLink.h"

#include "server/SecurityRecord.h"

#include <array>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

class SecurityTable;
struct WatchlistRecord;

inline constexpr int kExcelColumns = 25;      // A to Y
inline constexpr uint32_t kExcelGrey = 0xC0C0C0;
inline constexpr uint32_t kExcelRoseBack = 0xA00000;
inline constexpr uint32_t kExcelFellBack = 0x0000FF;
inline constexpr uint32_t kExcelWhite = 0xFFFFFF;
inline constexpr int kExcelMaxRows = 100;

// One row of the list as the sheet shows it.
struct ExcelRow {
    bool empty = true;
    std::string key;
    std::string exchange;
    std::array<std::string, 23> texts;
};

// The decimals of a security's figures: four for a currency, else two. The
// texts carry them and the sheet's number format follows the text.
int ExcelDecimals(const SecurityRecord& security);
// The exchange name of column B; a code outside the table is written as is.
std::string ExcelExchangeName(std::string_view code);
// The text of kind 0..22 for a security. tick: the per-tick texts (the
// quantity kinds keep two decimals there).
std::string ExcelValueText(int kind, const SecurityRecord& security, const QuoteData& quote, bool tick);
ExcelRow ExcelRowOf(const SecurityRecord& security, const QuoteData& quote);
// Every row of the list by place; a removed or unknown row is empty.
std::vector<ExcelRow> ExcelRowsOf(const WatchlistRecord& list, const SecurityTable* securities);

// The writers. Each hands its work to the link's writer thread and returns.
void WriteExcelHeaders(CMSExcel& link, const ExcelTargetPtr& target);
// The full pass: an empty row is greyed A to Y and left unwritten; at the
// end the cells are live.
void UpdateDataExcel(CMSExcel& link, const ExcelTargetPtr& target, std::vector<ExcelRow> rows);
// The list changed: clears every row below the headers, then a full pass.
void SaveExcelWatchlist(CMSExcel& link, const ExcelTargetPtr& target, std::vector<ExcelRow> rows);
// Rows were added: every row with a security is written again with a plain
// look. More than 100 shown rows are refused with tell's message on the
// calling (UI) thread; the cells stay off then. false when refused.
bool AddExcelScripts(CMSExcel& link, const ExcelTargetPtr& target, std::vector<ExcelRow> rows, int shownRows,
                     const std::function<void(const std::string&)>& tell);
// A removed row is greyed A to Y; its texts stay.
void DeleteExcelRows(CMSExcel& link, const ExcelTargetPtr& target, int rowPlace);
// The cells of a tick: only kinds that rose (dark blue, white) or fell (red,
// white). Nothing when the target's cells are not live.
std::vector<SheetCell> ExcelTickCells(const SecurityRecord& security, const QuoteData& quote, int rowPlace);
// A tick of the security (an index of the published security table) at a
// row place: the writer makes the cells from the latest quote when it
// writes, so the caller's part is small and a slow workbook gets each row's
// newest values only.
void UpdateExcelTick(CMSExcel& link, const ExcelTargetPtr& target, int security, int rowPlace);
