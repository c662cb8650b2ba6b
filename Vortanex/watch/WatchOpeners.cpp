#include "watch/WatchOpeners.h"

#include "app/base/LogWriter.h"
#include "app/base/MessageBox.h"
#include "watch/excel/ExcelExportCommand.h"

WatchOpeners& watchOpeners()
{
    static WatchOpeners openers = [] {
        WatchOpeners o;
        InstallExcelLink(o); // the spreadsheet link is this window's own
        return o;
    }();
    return openers;
}

void TellNotAvailable(const std::string& name)
{
    WriteLog(0, name + " is not available in this version.");
    MsgBoxInfo(name + " is not available in this version.");
}
