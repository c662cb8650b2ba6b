#include "app/base/LegValue.h"

bool CanPrice(const ContractSize& contract)
{
    return !contract.commodity || contract.denominator > 0;
}

double PricedUnits(const ContractSize& contract, long long quantity)
{
    if (!contract.commodity)
        return static_cast<double>(quantity);
    if (!CanPrice(contract))
        return 0;
    const long long units = contract.unitsPerLot > 0 ? contract.unitsPerLot : 1;
    // In doubles: a lot may hold a fraction of the priced quantity, and the
    // master's sizes times a quantity may not fit 64 bits.
    return static_cast<double>(quantity) * static_cast<double>(units) / static_cast<double>(contract.denominator);
}

double LegValue(const ContractSize& contract, long long quantity, double price)
{
    const double v = PricedUnits(contract, quantity) * price;
    return v == 0 ? 0.0 : v;
}
