#include "orders/WebLinkPages.h"

#include "server/ServerRequests.h"

#include "app/base/ConfigFile.h"
#include "app/base/FixedText.h"
#include "app/base/LogWriter.h"
#include "app/base/SessionRecord.h"
#include "orders/ClientOrderStore.h"
#include "frame/OrderFormLinks.h"
#include "orders/OrderFormRules.h"

#include <stdexcept>
#include <string_view>

bool OpenWebLinkPage(const std::string& linkName, const std::string& typedClient)
{
    try {
        const WebLinkRecord* link = nullptr;
        for (const WebLinkRecord& l : g_WebLinkTable.links)
            if (std::string_view(FixedTextView(l.Name)) == linkName)
                link = &l;
        if (!link) {
            WriteLog(0, "weblink id not found");
            return false;
        }
        std::string clientId;
        if (const ClientInfo* client = ActiveClientEntry())
            clientId = FixedTextView(client->user_id);
        const std::string request
            = EstimatedChargesText(std::string(FixedTextView(pv_user_info.user_id)), clientId, link->WebId, typedClient);
        std::string query = request;
        if (pv_user_info.encrypt) {
            std::string encoded;
            if (!EncryptRequest(request, encoded)) {
                WriteLog(0, linkName + " not opened: the request could not be encoded");
                return false;
            }
            query = UrlEncode(encoded, true);
        }
        const std::string address = EstimatedChargesAddress(std::string(FixedTextView(g_Config.Redirect_Url)), query);
        if (address.empty()) {
            WriteLog(0, linkName + " not opened: not a web address");
            return false;
        }
        CurrentOrderFormLinks().openInBrowser(address);
        return true;
    } catch (const std::exception& e) {
        WriteLog(0, std::string("SException in display weblink : [") + e.what() + "]");
    } catch (...) {
        WriteLog(0, "Exception in display weblink");
    }
    return false;
}
