#include "watch/CAlertPopUp.h"

#include "app/base/ActivityStamp.h"
#include "app/base/AppSettings.h"
#include "app/base/LogWriter.h"
#include "app/base/MessageBox.h"
#include "app/base/TextFormat.h"
#include "frame/FrameThemes.h"
#include "frame/OrderFormOpener.h"
#include "frame/WatchOrderCommands.h"
#include "server/SecurityTable.h"
#include "watch/AlertStore.h"
#include "frame/WatchOpeners.h"

#include "ui/prompter.h"

#include <QFont>
#include <QLabel>
#include <QPushButton>

#include <mutex>

namespace alert_pop_up_detail {
namespace {

constexpr const char* kLockedText = "No Action is allowed when the terminal is locked";

std::mutex g_cascadeMutex;
int g_cascadeX = 20; // guarded by g_cascadeMutex
int g_cascadeY = 20; // guarded by g_cascadeMutex

ui::FormSpec popupSpec(const std::string& caption)
{
    using ui::ControlKind;
    ui::FormSpec spec;
    spec.templateId = CAlertPopUp::kTemplateId;
    spec.name = "CAlertPopUp";
    spec.caption = caption;
    spec.width = 220;
    spec.height = 118;
    spec.controls = {
        {CAlertPopUp::kTitle, ControlKind::Label, "TITLE", {7, 5, 206, 10}},
        {CAlertPopUp::kMessage, ControlKind::Label, "MESG", {7, 17, 206, 18}},
        {CAlertPopUp::kSymbol, ControlKind::Label, "", {7, 38, 100, 14}},
        {CAlertPopUp::kLtp, ControlKind::Button, "LTP", {110, 36, 103, 20}},
        {CAlertPopUp::kChangeLabel, ControlKind::Label, "% Change : ", {7, 62, 44, 10}},
        {CAlertPopUp::kChange, ControlKind::Label, "", {52, 62, 58, 10}},
        {CAlertPopUp::kTtqLabel, ControlKind::Label, "TTQ: ", {112, 62, 24, 10}},
        {CAlertPopUp::kTtq, ControlKind::Label, "", {137, 62, 76, 10}},
        {CAlertPopUp::kAction, ControlKind::Button, "Action", {7, 96, 60, 16}},
        {CAlertPopUp::kClose, ControlKind::Button, "Close Alert", {153, 96, 60, 16}},
    };
    return spec;
}

void styleLabel(QWidget* w, const QFont& font, const char* colour)
{
    if (!w)
        return;
    w->setFont(font);
    if (colour)
        w->setStyleSheet(QString("color: %1;").arg(colour));
}

} // namespace
} // namespace alert_pop_up_detail

CAlertPopUp::CAlertPopUp(int security, std::string name, std::string description, std::string trackedTime,
                         std::string key, bool recurring, QWidget* parent)
    : ui::Form(alert_pop_up_detail::popupSpec(name), parent), m_security(security), m_name(std::move(name)),
      m_description(std::move(description)), m_trackedTime(std::move(trackedTime)), m_key(std::move(key)),
      m_recurring(recurring)
{
    setAttribute(Qt::WA_DeleteOnClose, true);
    m_reload = SecurityReload::instance().add("alert popup", [this](const SecurityTable& before, SecurityTable& after) {
        const int found = ReresolveSecurity(before, after, m_security);
        if (found >= 0) {
            m_security = found;
            return SecurityReload::Outcome{};
        }
        m_security = -1;
        m_reload.reset();
        close();
        MsgBoxOk("The security of the alert " + m_name + " is no longer in the security file; its popup is closed.");
        return SecurityReload::Outcome{true, "alert popup " + m_name};
    });
    onClick(kAction, [this] { OnAction(); });
    onClick(kLtp, [] {});
    // Neither Escape nor Enter closes the popup: both move the focus on.
    keys().onKeyDown = [this](ui::Key key, ui::Mods) {
        if (key == ui::Key::Escape || key == ui::Key::Enter) {
            focusNextChild();
            return true;
        }
        return false;
    };
}

std::pair<int, int> CAlertPopUp::NextCascadePosition()
{
    std::lock_guard lock(alert_pop_up_detail::g_cascadeMutex);
    const std::pair<int, int> at{alert_pop_up_detail::g_cascadeX, alert_pop_up_detail::g_cascadeY};
    int& x = alert_pop_up_detail::g_cascadeX;
    int& y = alert_pop_up_detail::g_cascadeY;
    if (x > 800)
        x = 0;
    if (y >= 400) {
        y = 0;
        x += 300;
    } else {
        y += 100;
        x += 100;
    }
    return at;
}

void CAlertPopUp::ResetCascade()
{
    std::lock_guard lock(alert_pop_up_detail::g_cascadeMutex);
    alert_pop_up_detail::g_cascadeX = 20;
    alert_pop_up_detail::g_cascadeY = 20;
}

void CAlertPopUp::onInit()
{
    const auto table = SecurityTable::current();
    std::string exch, symbol, key;
    QuoteData q;
    if (table && table->valid(m_security)) {
        const SecurityRecord& rec = table->row(m_security);
        exch = std::string(rec.market_exchange.view());
        symbol = std::string(rec.symbol.view());
        q = rec.quote();
    }
    const bool four = exch == "CN" || exch == "CM";
    setText(kTitle, m_trackedTime);
    setText(kMessage, m_description);
    setText(kSymbol, symbol);
    setText(kLtp, formatText(four ? "%.4lf" : "%.2lf", ColumnKindValue(q, 4) / 100));
    const double change = ColumnKindValue(q, 10) / 100;
    setText(kChange, formatText(four ? "%10.4lf" : "%10.2lf", change));
    setText(kTtq, formatText("%10.0lf", ColumnKindValue(q, 13)));

    QFont bold = font();
    bold.setBold(true);
    alert_pop_up_detail::styleLabel(control(kTitle), bold, nullptr);
    // Each text in a tone that reads on the theme's window: the light tones
    // on a dark one.
    const bool dark = IsDarkTheme();
    alert_pop_up_detail::styleLabel(control(kMessage), font(), dark ? "rgb(176,176,176)" : "rgb(80,80,80)");
    QFont large("Arial");
    large.setPixelSize(20);
    large.setWeight(QFont::DemiBold);
    alert_pop_up_detail::styleLabel(control(kSymbol), large, nullptr);
    QFont larger("Arial");
    larger.setPixelSize(30);
    larger.setWeight(QFont::ExtraBold);
    alert_pop_up_detail::styleLabel(control(kLtp), larger, nullptr);
    const char* fall = dark ? "rgb(255,128,128)" : "rgb(160,0,0)";
    const char* rise = dark ? "rgb(0,200,0)" : "rgb(0,96,0)";
    alert_pop_up_detail::styleLabel(control(kChange), bold, change < 0 ? fall : rise);
    alert_pop_up_detail::styleLabel(control(kTtq), bold, dark ? "rgb(128,176,255)" : "rgb(0,0,128)");

    if (IsTerminalLocked()) {
        showControl(kAction, false);
        m_openedLocked = true;
        setAttribute(Qt::WA_ShowWithoutActivating, true);
    }
    const auto [x, y] = NextCascadePosition();
    move(x, y);
}

void CAlertPopUp::showEvent(QShowEvent* event)
{
    ui::Form::showEvent(event);
    if (m_soundPlayed)
        return;
    m_soundPlayed = true;
    if (g_AppSettings.switches[1] == '1')
        AlertStore::playAlertSound();
}

std::vector<int> CAlertPopUp::actionItems() const
{
    std::vector<int> items;
    if (m_recurring)
        items.push_back(kModifyAlert);
    if (TradingAllowed()) {
        items.push_back(kBuy);
        items.push_back(kSell);
    }
    items.push_back(kDetails);
    return items;
}

void CAlertPopUp::OnAction()
{
    if (IsTerminalLocked()) {
        MyMessageBox(alert_pop_up_detail::kLockedText, "Error", MsgIconInformation);
        return;
    }
    const auto table = SecurityTable::current();
    const std::string key =
        table && table->valid(m_security) ? std::string(table->row(m_security).displayKey().view()) : "";
    ui::MenuSpec menu;
    for (int id : actionItems()) {
        std::string text = id == kModifyAlert ? "Modify Alert"
                           : id == kBuy       ? "Buy " + key
                           : id == kSell      ? "Sell " + key
                                              : "Details " + key;
        ui::MenuItem item;
        item.id = id;
        item.text = std::move(text);
        menu.items.push_back(std::move(item));
    }
    const QWidget* button = control(kAction);
    const QPoint at = button ? button->mapToGlobal(QPoint(0, button->height())) : QPoint(x(), y());
    const int command = ui::prompter().pickMenuCommand(menu, at.x(), at.y());
    if (command != 0)
        runAction(command);
}

void CAlertPopUp::runAction(int command)
{
    if (IsTerminalLocked()) {
        MyMessageBox(alert_pop_up_detail::kLockedText, "Error", MsgIconInformation);
        return;
    }
    SetAccessTime();
    try {
        switch (command) {
        case kModifyAlert:
            if (!m_recurring)
                return;
            AlertStore::openManager(m_security, m_name, m_key);
            break;
        case kBuy:
        case kSell: {
            if (!TradingAllowed())
                return;
            const auto table = SecurityTable::current();
            if (!table || !table->valid(m_security))
                return;
            OrderFormParams params;
            params.index = m_security;
            params.side = command == kBuy ? 'B' : 'S';
            // Both sides open at the ask, as the popup has always done.
            params.price = ColumnKindValue(table->row(m_security).quote(), 2) / 100;
            OpenOrderForm(params, this, 1);
            break;
        }
        case kDetails:
            if (watchOpeners().details)
                watchOpeners().details(m_security);
            else
                TellNotAvailable("Scrip Details");
            break;
        default:
            break;
        }
    } catch (...) {
        WriteLog(0, "Exception in CAlertPopUp::OnAction");
    }
}

void CAlertPopUp::reject()
{
    if (IsTerminalLocked() && !m_openedLocked) {
        MyMessageBox(alert_pop_up_detail::kLockedText, "Error", MsgIconInformation);
        return;
    }
    ui::Form::reject();
}
