#pragma once
// "Export to Excel" (command 33315) without its windows: the sheet name of a
// list, the limits (three lists, 100 rows), starting or extending the link
// and the first write. The dialog, the message boxes and the way a blocking
// step runs without freezing the window come in through ExcelExportUi.
// Qt-free.
#include "watch/excel/ExcelLink.h"
#include "watch/excel/ExcelSheetWriters.h"

#include <functional>
#include <string>
#include <vector>

// The sheet name of a list: chains by their underlying, futures groups by
// their prefix, others by the list name; '/' becomes a blank; at most 31
// characters.
std::string ExcelSheetNameFor(int type, int group, const std::string& listName, const std::string& underlying,
                              const std::string& symbol);

struct ExcelExportUi {
    // The workbook dialog: false when cancelled; newBook, or the file's path.
    std::function<bool(bool& newBook, std::string& path)> askWorkbook;
    // A plain message box.
    std::function<void(const std::string& text)> message;
    // Runs a step that waits on the spreadsheet (unset: in place).
    std::function<void(const std::function<void()>& step)> runAside;
};

struct ExcelListInfo {
    int type = 0;
    int group = 0;
    std::string name;
    std::string underlying; // chain lists: the underlying's code or symbol
    std::string symbol;
    int shownRows = 0;           // rows that show (removed ones do not count)
    std::vector<ExcelRow> rows;  // by row place
};

enum class ExcelExportResult {
    Cancelled,
    TooMany,       // a fourth list, or already present with three
    TooManyRows,
    StartFailed,   // the link was reset
    AddFailed,     // the link was reset
    AlreadyPresent,
    Linked,
};

// Links the view's target (made by the caller, one per view) to a sheet.
// Other views' names (for unique cut names) come from taken.
ExcelExportResult ExportToExcel(CMSExcel& link, const ExcelTargetPtr& target, const ExcelListInfo& list,
                                const ExcelExportUi& ui, const std::vector<std::string>& taken = {});
