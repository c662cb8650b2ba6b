#include "watch/excel/ExcelExport.h"

#include "app/base/LogWriter.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

namespace {

void slashToBlank(std::string& s)
{
    std::replace(s.begin(), s.end(), '/', ' ');
}

void say(const ExcelExportUi& ui, const std::string& text)
{
    if (ui.message)
        ui.message(text);
}

void aside(const ExcelExportUi& ui, const std::function<void()>& step)
{
    if (ui.runAside)
        ui.runAside(step);
    else
        step();
}

// A name cut (a list's to 29 characters, any to 31) that another list's
// sheet already has gets a number at its end, so two lists whose names differ
// only after the cut never write into one sheet.
std::string uniqueCut(const std::string& full, const std::vector<std::string>& taken, bool listNameCut)
{
    std::string name = full.substr(0, 31);
    if (full.size() <= 31 && !listNameCut)
        return name;
    for (int n = 2; n < 100 && std::find(taken.begin(), taken.end(), name) != taken.end(); ++n) {
        const std::string tail = "~" + std::to_string(n);
        name = full.substr(0, 31 - tail.size()) + tail;
    }
    return name;
}

} // namespace

std::string ExcelSheetNameFor(int type, int group, const std::string& listName, const std::string& underlying,
                              const std::string& symbol)
{
    std::string name;
    if (type == 2)
        name = "Derv Chain - " + underlying.substr(0, 20);
    else if (type == 3)
        name = "Future Chain - " + symbol;
    else
        name = listName.substr(0, 29);
    slashToBlank(name);
    switch (group) {
    case 3: name = "Future Stock- " + listName; break;
    case 4: name = "Future Index- " + listName; break;
    case 5: name = "Future Currency- " + listName; break;
    case 6:
    case 7:
    case 8: name = listName.substr(0, 29); break;
    default: break;
    }
    slashToBlank(name);
    return name;
}

ExcelExportResult ExportToExcel(CMSExcel& link, const ExcelTargetPtr& target, const ExcelListInfo& list,
                                const ExcelExportUi& ui, const std::vector<std::string>& taken)
{
    const std::string full = ExcelSheetNameFor(list.type, list.group, list.name, list.underlying, list.symbol);
    const bool listNameCut = list.type != 2 && list.type != 3 && (list.group < 3 || list.group > 5) &&
                             list.name.size() > 29;
    const std::string sheet = uniqueCut(full, taken, listNameCut);

    bool newBook = true;
    std::string path;
    if (!link.linkOpen()) {
        if (!ui.askWorkbook || !ui.askWorkbook(newBook, path))
            return ExcelExportResult::Cancelled;
    }
    if (link.linkedCount() >= 3) {
        bool present = false;
        aside(ui, [&] { present = link.IsSheetLinked(sheet); });
        say(ui, present ? "WatchList already Present" : "Only 3 WatchList are allowed to open in Excel");
        return ExcelExportResult::TooMany;
    }
    if (list.shownRows > kExcelMaxRows) {
        say(ui, "Script size is greater than 100 not allowed in Excel");
        return ExcelExportResult::TooManyRows;
    }
    const auto reset = [&] {
        aside(ui, [&] { link.Close(); });
        target->cellsLive = false;
        if (target->onLive)
            target->onLive(false);
    };
    target->sheetName = sheet;
    if (!link.linkOpen()) {
        std::string error;
        int result = -2;
        aside(ui, [&] { result = link.Initialization(sheet, error, newBook ? std::string() : path, newBook ? 0 : 1); });
        if (result != 1) {
            // Any failure, of a new book or of an opened file, is shown and
            // leaves nothing linked.
            say(ui, result == -2 || error.empty() ? "Exception occurred while Processing request for Excel" : error);
            if (result == -2)
                WriteLog(0, "COM exception error for Opening Excel file");
            reset();
            return ExcelExportResult::StartFailed;
        }
        target->bookName = link.GetActiveWorkbookName();
        target->openedExisting = !newBook;
        link.linkTarget(target);
        if (newBook) {
            char text[600];
            std::snprintf(text, sizeof text, "Watchlist added successfully in [%s]", target->bookName.c_str());
            say(ui, text);
        } else if (target->bookName != std::filesystem::path(path).filename().string()) {
            // The chosen file cannot take the data (read-only, a format the
            // spreadsheet only reads): the link keeps it in a file of its own,
            // which the user must learn of now.
            char text[1200];
            std::snprintf(text, sizeof text, "Cannot write to [%s]: Watchlist added successfully in [%s]",
                          path.c_str(), target->bookName.c_str());
            say(ui, text);
        }
    } else {
        bool present = false;
        aside(ui, [&] { present = link.IsSheetLinked(sheet); });
        if (present) {
            say(ui, "WatchList already Present and Updating data");
            WriteLog(0, "Excel WatchList already Present and Updating data for [" +
                            std::to_string(link.linkedCount()) + "] Watchlist :" + sheet);
            // The view is counted once, however often it is presented.
            target->bookName = link.GetActiveWorkbookName();
            link.linkTarget(target);
            target->cellsLive = true;
            if (target->onLive)
                target->onLive(true);
            return ExcelExportResult::AlreadyPresent;
        }
        int added = -1;
        aside(ui, [&] { added = link.AddSheet(sheet); });
        if (added != 1) {
            say(ui, "Error in Inserting Watchlist");
            reset();
            return ExcelExportResult::AddFailed;
        }
        target->bookName = link.GetActiveWorkbookName();
        target->openedExisting = false;
        link.linkTarget(target);
        char text[600];
        std::snprintf(text, sizeof text, "Watchlist added successfully in [%s]", target->bookName.c_str());
        say(ui, text);
    }
    WriteLog(3, "Excel sheet Added : " + std::to_string(link.linkedCount()) + " for Watch :" + sheet);
    WriteExcelHeaders(link, target);
    if (target->openedExisting)
        SaveExcelWatchlist(link, target, list.rows);
    else
        UpdateDataExcel(link, target, list.rows);
    WriteLog(3, "Excel pv_isOpenExcel Flag [" + std::to_string(link.linkedCount()) + "]");
    return ExcelExportResult::Linked;
}
