#pragma once
// The option calculator: a European call or put priced from five typed
// values (OptionPricing.h). Needs no server. Modal, command 32887.
#include "ui/form.h"

class COptionCalc final : public ui::Form {
    Q_OBJECT
public:
    static constexpr int kTemplateId = 126;
    static constexpr int kKind = 1179, kPrice = 1032, kStrike = 1052, kDays = 1048, kRate = 1049, kVolatility = 1050,
                         kResult = 1051, kCalculate = 1187;

    explicit COptionCalc(QWidget* parent = nullptr);
    void OnCalculate();

protected:
    void onInit() override;
};
