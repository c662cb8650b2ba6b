#pragma once
// The control ids of the order form (dialog 284), shared by the form and by
// the checks that name the box at fault.
namespace orderform {
inline constexpr int kAccount = 1017;
inline constexpr int kSecurity = 1406;
inline constexpr int kSearch = 1407;
inline constexpr int kExchange = 1348;
inline constexpr int kAction = 1432;
inline constexpr int kLots = 1545;
inline constexpr int kLotSpin = 1544;
inline constexpr int kQuantity = 1350;
inline constexpr int kQtySpin = 1408;
inline constexpr int kPrice = 1409;
inline constexpr int kPriceSpin = 1323;
inline constexpr int kPriceLabel = 1546;
inline constexpr int kTrigger = 1410;
inline constexpr int kTriggerLabel = 1436;
inline constexpr int kDisclosed = 1411;
inline constexpr int kDisclosedLabel = 1547;
inline constexpr int kOrderType = 1424;
inline constexpr int kOrderMark = 1433;
inline constexpr int kAmo = 1425;
inline constexpr int kSor = 1434;
inline constexpr int kOk = 1360;
inline constexpr int kCancel = 2;
inline constexpr int kMargin = 1412;
inline constexpr int kHint = 1431;
inline constexpr int kNseRadio = 1564;
inline constexpr int kBseRadio = 1565;
inline constexpr int kNsePrice = 1567;
inline constexpr int kBsePrice = 1568;
inline constexpr int kCharges = 1570;
inline constexpr int kTrailing = 1426;
// The trailing stop-loss panel.
inline constexpr int kTrailHelp = 1413;
inline constexpr int kSpread = 1414;
inline constexpr int kTrailLabel = 1415;
inline constexpr int kTslTrigger = 1416;
inline constexpr int kMarketRadio = 1417;
inline constexpr int kWhenRadio = 1418;
inline constexpr int kBookProfit = 1419;
inline constexpr int kWhenPrice = 1420;
inline constexpr int kBpDisclosed = 1422;
inline constexpr int kBpPrice = 1423;
inline constexpr int kSpreadLabel = 1428;
inline constexpr int kTslTriggerLabel = 1429;
inline constexpr int kTrailAtLabel = 1430;
inline constexpr int kBpPriceLabel = 1435;
inline constexpr int kBpDisclosedLabel = 1473;
inline constexpr int kAutoSquareOff = 1513;
// A research-call order's lot text and its "Terms and Conditions" link.
inline constexpr int kCallLotLabel = 1474;
inline constexpr int kTermsLink = 1475;
} // namespace orderform
