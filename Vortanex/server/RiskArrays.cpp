#include "server/RiskArrays.h"

#include "app/base/SessionRecord.h"

#include <memory>

ClientRiskArrays& RiskArraysOf(ClientInfo& client)
{
    if (!client.risk)
        client.risk = std::make_shared<ClientRiskArrays>();
    return *client.risk;
}

ClientRiskArrays& ActiveClientRiskArrays()
{
    if (ClientInfo* c = ActiveClientEntry())
        return RiskArraysOf(*c);
    static ClientRiskArrays none;
    none = ClientRiskArrays{};
    return none;
}

void FreeAllRiskArrays()
{
    for (ClientInfo& c : g_Session.clients)
        c.risk.reset();
}
