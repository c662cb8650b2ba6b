#include "frame/WindowOpeners.h"

AppWindowServices& appWindowServices()
{
    static AppWindowServices services;
    return services;
}

WindowOpeners& windowOpeners()
{
    static WindowOpeners openers;
    return openers;
}

void SetOrderHistoryOpener(OrderHistoryOpener opener) { windowOpeners().orderHistory = std::move(opener); }

void SetTsloHistoryOpener(TsloHistoryOpener opener) { windowOpeners().tsloHistory = std::move(opener); }
