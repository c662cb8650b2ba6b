#include "frame/PositionServices.h"

namespace {
std::shared_ptr<BasketService> g_basket;
std::shared_ptr<ConvertPositionService> g_convert;
} // namespace

void SetBasketService(std::shared_ptr<BasketService> service)
{
    g_basket = std::move(service);
}

BasketService* InstalledBasketService()
{
    return g_basket.get();
}

void SetConvertPositionService(std::shared_ptr<ConvertPositionService> service)
{
    g_convert = std::move(service);
}

ConvertPositionService* InstalledConvertPositionService()
{
    return g_convert.get();
}
