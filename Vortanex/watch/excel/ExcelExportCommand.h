#pragma once
// The market watch's side of the spreadsheet link: "Export to Excel", the
// ticks, the rows added, removed and saved, and a view that switches list
// or closes. Installed into the watch openers. The live workbook is Calc
// unless a test installed another backend with CMSExcel::installProgram.
// UI thread.
struct WatchOpeners;
class CVortanexView;

void InstallExcelLink(WatchOpeners& openers);
// "Export to Excel" of a view with other windows and boxes (benchmarks).
struct ExcelExportUi;
void ExportViewToExcel(CVortanexView* view, const ExcelExportUi& ui);
// Lets the program's link go (the frame's close; also at the
// application's end): a visible Calc stays open with the book.
void LetGoExcelLink();
