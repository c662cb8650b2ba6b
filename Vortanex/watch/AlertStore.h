#pragma once
// The program's price alerts as the rest of the program reaches them: the
// frame's alert services (the alerts' securities, the popup, the user's
// alerts file), the feed's check of a qualifying tick, the alert sound and
// the alert manager's opener. Installed by the start-up.
#include "frame/FrameSubscriptions.h"
#include "server/SecurityReload.h"

#include <filesystem>
#include <functional>
#include <string>

struct QuoteData;
struct SecurityRecord;

namespace pf {
class SoundService;
}

class AlertStore final : public AlertServices {
public:
    // The user's alerts file is "<dataFolder>/<user id>_Alerts.dat".
    explicit AlertStore(std::filesystem::path dataFolder);

    std::vector<int> alertSecurities() const override;
    void showAlertPopUp(const AlertPopUpTexts& texts) override;
    void ReadAlertDataFromFile() override;
    void WriteAlertDataToFile() override;
    std::filesystem::path filePath() const;

    // The feed's side, any thread: a qualifying tick claims a check (false
    // while one of the security is pending), and the check runs on the pool
    // with the quote that claimed it.
    static bool claimCheck(int security, const SecurityRecord& row);
    static void prefetchCheck(int security);
    static void check(int security, const QuoteData& claimed);

    // The alert sound of a popup; nothing without a sound service.
    static void setSoundService(pf::SoundService* sound, std::filesystem::path soundFolderRoot);
    static void playAlertSound();

    // The alert manager in modify mode for one alert (the popup's "Modify
    // Alert"); tells the user it is not available until one is installed.
    using ManagerOpener = std::function<void(int security, const std::string& name, const std::string& key)>;
    static void setManagerOpener(ManagerOpener opener);
    static void openManager(int security, const std::string& name, const std::string& key);

private:
    std::filesystem::path m_dataFolder;
    SecurityReload::Registration m_reload; // the alerts find their securities again
};

// After a re-download: every alert finds its security again (marks and
// subscriptions follow); alerts whose security is gone are dropped and the
// user is told which. Returns the dropped alerts' keys.
std::vector<std::string> RebindAlerts(SecurityTable& after);
