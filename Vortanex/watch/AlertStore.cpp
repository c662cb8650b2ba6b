#include "watch/AlertStore.h"

#include "app/base/FixedText.h"
#include "app/base/LogWriter.h"
#include "app/base/MessageBox.h"
#include "app/base/SessionRecord.h"
#include "frame/CMainFrame.h"
#include "server/AlertSound.h"
#include "server/SecurityTable.h"
#include "watch/AlertCheck.h"
#include "watch/AlertTable.h"
#include "watch/CAlertManager.h"
#include "watch/CAlertPopUp.h"
#include "frame/WatchOpeners.h"

#include "pf/clock.h"
#include "pf/paths.h"
#include "ui/modal_host.h"

#include <atomic>
#include <mutex>

namespace alert_store_detail {
namespace {

AlertCheckGate g_gate;

std::mutex g_mutex;
pf::SoundService* g_sound = nullptr;             // guarded by g_mutex
std::filesystem::path g_soundRoot;               // guarded by g_mutex
AlertStore::ManagerOpener g_managerOpener;       // guarded by g_mutex

} // namespace
} // namespace alert_store_detail

AlertStore::AlertStore(std::filesystem::path dataFolder) : m_dataFolder(std::move(dataFolder))
{
    m_reload = SecurityReload::instance().add("alerts", [](const SecurityTable&, SecurityTable& after) {
        RebindAlerts(after);
        return SecurityReload::Outcome{};
    });
}

std::vector<std::string> RebindAlerts(SecurityTable& after)
{
    AlertTable& alerts = AlertTable::instance();
    std::vector<std::string> gone = alerts.rebind(after);
    // The new table's rows carry no alert marks: without them a crossing
    // would never be checked.
    for (int security : alerts.securities())
        after.row(security).alert_flag.store(1);
    if (!gone.empty()) {
        std::string text = "These alerts were removed: their security is no longer in the security file.";
        for (const std::string& key : gone) {
            WriteLog(0, "Alert removed after the security download: " + key);
            text += "\n" + key;
        }
        MsgBoxOk(text);
    }
    return gone;
}

std::vector<int> AlertStore::alertSecurities() const
{
    return AlertTable::instance().securities();
}

std::filesystem::path AlertStore::filePath() const
{
    return AlertsFilePath(m_dataFolder, FixedTextView(pv_user_info.user_id));
}

void AlertStore::ReadAlertDataFromFile()
{
    const auto table = SecurityTable::current();
    if (!table)
        return;
    if (::ReadAlertDataFromFile(AlertTable::instance(), *table, filePath()) > 0)
        AddAlertTokens(); // the alerts' securities are carried with no window open
}

void AlertStore::WriteAlertDataToFile()
{
    const auto table = SecurityTable::current();
    if (!table)
        return;
    ::WriteAlertDataToFile(AlertTable::instance(), *table, filePath());
}

void AlertStore::showAlertPopUp(const AlertPopUpTexts& texts)
{
    const auto record = AlertTable::instance().find(texts.key);
    const bool recurring = record && record->recurring;
    auto* popup = new CAlertPopUp(texts.security, texts.name, texts.description, texts.trackedTime, texts.key,
                                  recurring, CMainFrame::Instance());
    ui::modalHost().showModeless(*popup);
    // A one-time alert is done once its popup is up; a no-op when the alert
    // manager removed it meanwhile.
    if (record && !record->recurring && record->triggered)
        AlertTable::instance().erase(texts.key);
    CAlertManager::RefreshOpenLists();
}

void AlertStore::prefetchCheck(int security)
{
    AlertTable::instance().prefetchThresholds(security);
}

bool AlertStore::claimCheck(int security, const SecurityRecord& row)
{
    // A tick that meets no alert's condition queues nothing.
    return AlertTable::instance().mayFire(security, row) && alert_store_detail::g_gate.claim(security);
}

void AlertStore::check(int security, const QuoteData& claimed)
{
    // Released before the quote is read: a tick after this point starts the
    // next check.
    alert_store_detail::g_gate.release(security);
    const auto table = SecurityTable::current();
    if (!table)
        return;
    if (auto fired = CheckAlerts(security, claimed, AlertTable::instance(), *table, pf::clock().nowSeconds()))
        ShowAlertPopUp(fired->security, fired->name, fired->description, fired->trackedText, fired->key);
}

void AlertStore::setSoundService(pf::SoundService* sound, std::filesystem::path soundFolderRoot)
{
    std::lock_guard lock(alert_store_detail::g_mutex);
    alert_store_detail::g_sound = sound;
    alert_store_detail::g_soundRoot = std::move(soundFolderRoot);
}

void AlertStore::playAlertSound()
{
    std::lock_guard lock(alert_store_detail::g_mutex);
    if (alert_store_detail::g_sound)
        AlertSoundThread(0, *alert_store_detail::g_sound, pf::Paths(alert_store_detail::g_soundRoot));
}

void AlertStore::setManagerOpener(ManagerOpener opener)
{
    std::lock_guard lock(alert_store_detail::g_mutex);
    alert_store_detail::g_managerOpener = std::move(opener);
}

void AlertStore::openManager(int security, const std::string& name, const std::string& key)
{
    ManagerOpener opener;
    {
        std::lock_guard lock(alert_store_detail::g_mutex);
        opener = alert_store_detail::g_managerOpener;
    }
    if (opener)
        opener(security, name, key);
    else
        TellNotAvailable("Alert Manager");
}
