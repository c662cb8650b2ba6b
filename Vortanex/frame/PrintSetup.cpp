#include "frame/PrintSetup.h"

#include "app/base/LogWriter.h"

namespace {

ui::PageSetup& pageSetup()
{
    static ui::PageSetup setup;
    return setup;
}

} // namespace

const ui::PageSetup& CurrentPageSetup() { return pageSetup(); }

void SetCurrentPageSetup(const ui::PageSetup& page) { pageSetup() = page; }

bool OnFilePrintSetup()
{
    const std::optional<ui::PageSetup> chosen = ui::prompter().pickPageSetup(pageSetup());
    if (!chosen)
        return false;
    pageSetup() = *chosen;
    WriteLog(1, "Print setup: " + chosen->paper + (chosen->landscape ? " landscape" : " portrait"));
    return true;
}
