#pragma once
// The popup of a fired price alert: the security's symbol, last price, %
// change and traded quantity, the alert's description and the time it
// fired, and an Action menu (modify the alert, buy, sell, details). Several
// may be open at once; each opens a step further along a cascade. Modeless,
// on the UI thread; the check that fired it never waits for it.
#include "server/SecurityReload.h"
#include "ui/form.h"

#include <string>

class CAlertPopUp final : public ui::Form {
    Q_OBJECT
public:
    static constexpr int kTemplateId = 227;
    static constexpr int kClose = 2;
    static constexpr int kSymbol = 1235;
    static constexpr int kTtq = 1237;
    static constexpr int kChange = 1239;
    static constexpr int kLtp = 1243;
    static constexpr int kTitle = 1336;
    static constexpr int kAction = 1399;
    static constexpr int kMessage = 1345;
    static constexpr int kChangeLabel = 1001;
    static constexpr int kTtqLabel = 1002;

    static constexpr int kModifyAlert = 32930;
    static constexpr int kBuy = 32972;
    static constexpr int kSell = 32974;
    static constexpr int kDetails = 32978;

    CAlertPopUp(int security, std::string name, std::string description, std::string trackedTime, std::string key,
                bool recurring, QWidget* parent = nullptr);

    // The Action menu as it is offered (item ids in order).
    std::vector<int> actionItems() const;
    // Runs one of the Action menu's commands, as a pick from the menu does.
    void runAction(int command);
    // The Action button: drops the menu down (through the prompter).
    void OnAction();
    bool openedLocked() const { return m_openedLocked; }
    int security() const { return m_security; }

    // The next cascade position (the first popups open at (20, 20), (120, 120), ...).
    static std::pair<int, int> NextCascadePosition();
    static void ResetCascade();

public slots:
    void reject() override;

protected:
    void onInit() override;
    void showEvent(QShowEvent* event) override;

private:
    int m_security;
    std::string m_name;
    std::string m_description;
    std::string m_trackedTime;
    std::string m_key;
    bool m_recurring;
    bool m_openedLocked = false;
    bool m_soundPlayed = false;
    SecurityReload::Registration m_reload; // Buy and Sell must name the same security after a re-download
};
