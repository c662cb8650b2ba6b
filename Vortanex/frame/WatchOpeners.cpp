#include "frame/WatchOpeners.h"

#include "app/base/LogWriter.h"
#include "app/base/MessageBox.h"

WatchOpeners& watchOpeners()
{
    static WatchOpeners openers;
    return openers;
}

void TellNotAvailable(const std::string& name)
{
    WriteLog(0, name + " is not available in this version.");
    MsgBoxInfo(name + " is not available in this version.");
}
