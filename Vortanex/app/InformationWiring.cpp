#include "app/InformationWiring.h"

#include "app/base/ConfigFile.h"
#include "app/base/FixedText.h"
#include "frame/CMainFrame.h"
#include "frame/InformationDisplays.h"
#include "frame/OrderFormOpener.h"
#include "server/ExtraSubscriptions.h"
#include "server/FeedSubscriptions.h"
#include "server/SecurityTable.h"
#include "watch/CVortanexView.h"

void InstallInformationDisplays(CMainFrame& frame, pf::Shell* shell)
{
    InformationDisplays::Services s;
    s.shell = shell;
    // The options list is the special watch list of window type 8.
    s.addToOptionsWindows = [](int security, short status) {
        for (CVortanexView* view : CVortanexView::openViews())
            if (view->windowSlot() >= 0 && FeedSubscriptions::instance().window(view->windowSlot()).type == 8)
                view->OnAddscrip(1, 1, security, status);
    };
    s.brokerWebAddress = [] { return std::string(FixedTextView(g_Config.Redirect_Url)); };
    // The research-call order form finds the call's security by scrip code
    // in the table the login published.
    SetScripCodeLookup([](int code, char letter) { return Search_ScripCode(code, letter); });
    auto* displays = new InformationDisplays(frame, std::move(s));
    SetInformationDisplays(displays);
    ExtraSubscriptions::instance().setSource("advisory", displays->MorrowpickTokenSource());
}

void InformationDisplayFeed(int code, const std::string& payload)
{
    if (InformationDisplays* d = InformationDisplays::Instance())
        d->OnInformationFeed(code, payload);
}

void InformationDayProductEvent(const std::vector<std::string>& fields)
{
    if (InformationDisplays* d = InformationDisplays::Instance())
        d->ProcessDayProductEventMsg(fields);
}
