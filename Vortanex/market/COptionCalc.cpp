#include "market/COptionCalc.h"

#include "app/base/ActivityStamp.h"
#include "app/base/MessageBox.h"
#include "market/OptionPricing.h"

namespace option_calc_detail {
namespace {

ui::FormSpec optionSpec()
{
    using ui::ControlKind;
    ui::FormSpec spec;
    spec.templateId = COptionCalc::kTemplateId;
    spec.name = "COptionCalc";
    spec.caption = "Option Calculator";
    spec.width = 200;
    spec.height = 150;
    const ui::EditRules readOnly{false, 0, "", true};
    spec.controls = {
        {-1, ControlKind::Label, "Option Type :", {8, 10, 90, 10}},
        {COptionCalc::kKind, ControlKind::Combo, "", {100, 8, 90, 12}},
        {-1, ControlKind::Label, "Underline Security LTP :", {8, 26, 90, 10}},
        {COptionCalc::kPrice, ControlKind::Edit, "", {100, 24, 90, 12}},
        {-1, ControlKind::Label, "Strike Price :", {8, 42, 90, 10}},
        {COptionCalc::kStrike, ControlKind::Edit, "", {100, 40, 90, 12}},
        {-1, ControlKind::Label, "Days from Expiry :", {8, 58, 90, 10}},
        {COptionCalc::kDays, ControlKind::Edit, "", {100, 56, 90, 12}},
        {-1, ControlKind::Label, "Interest rate :", {8, 74, 90, 10}},
        {COptionCalc::kRate, ControlKind::Edit, "", {100, 72, 90, 12}},
        {-1, ControlKind::Label, "Volatility :", {8, 90, 90, 10}},
        {COptionCalc::kVolatility, ControlKind::Edit, "", {100, 88, 90, 12}},
        {-1, ControlKind::Label, "Theoredical Price :", {8, 106, 90, 10}},
        {COptionCalc::kResult, ControlKind::Edit, "", {100, 104, 90, 12}, readOnly},
        {COptionCalc::kCalculate, ControlKind::DefaultButton, "Calculate", {40, 126, 56, 14}},
        {2, ControlKind::Button, "Close", {104, 126, 56, 14}},
    };
    return spec;
}

} // namespace
} // namespace option_calc_detail

COptionCalc::COptionCalc(QWidget* parent) : ui::Form(option_calc_detail::optionSpec(), parent)
{
    onClick(kCalculate, [this] { OnCalculate(); });
}

void COptionCalc::onInit()
{
    SetAccessTime();
    setComboItems(kKind, {"CALL", "PUT"});
    setComboIndex(kKind, 0);
}

void COptionCalc::OnCalculate()
{
    try {
        SetAccessTime();
        OptionCheck c = CheckOptionInputs({text(kPrice), text(kStrike), text(kDays), text(kRate),
                                           text(kVolatility)});
        if (c.ok)
            c = CheckOptionValues(c);
        if (!c.ok) {
            // No price of the last inputs stays beside the refused ones.
            setText(kResult, "");
            MsgBoxOk(c.message);
            focus(c.focus);
            return;
        }
        const std::string kind = text(kKind);
        const char letter = static_cast<char>((kind.empty() ? 'C' : kind[0]) + 32);
        double price = 0;
        BlackScholes(letter, c.T, c.r, c.sigma, price, c.S, c.K);
        // A volatility of 0 prices what is in the money; anything else that
        // has no finite value shows a dash.
        setText(kResult, OptionPriceText(price));
    } catch (...) {
    }
}
