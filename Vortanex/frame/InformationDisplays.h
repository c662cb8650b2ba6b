#pragma once
// The broadcast information displays of the main frame: the options-list
// advisory (feed code 141), the live advisory calls on the ribbon's "Nifty
// Morrowpick" button (145), the day's product events with the "Days Events"
// button and its popup (155), the reference-rate broadcast (160) and command
// 33376; the offers' captions and commands (which nothing fills, so with no
// current offer they show and send nothing).
//
// The feed's pool thread parses a message and looks its security up; every
// change of the ribbon, the tables and the views then runs on the UI thread
// as a posted closure that is dropped when the displays are gone. Server
// exchanges (acceptance, reference rate) run on a worker; their results come
// back the same way.
#include "frame/CDlgPopupDaysEvent.h"
#include "frame/InformationRecords.h"
#include "server/SecurityReload.h"

#include "ui/mailbox.h"

#include <QColor>
#include <QObject>
#include <QPointer>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class CMainFrame;
class ServerAccess;
namespace pf {
class Shell;
}

class InformationDisplays : public QObject {
    Q_OBJECT
public:
    static constexpr int kDaysEventsButton = 33375;
    static constexpr int kUpdateRbiRefRate = 33376;
    static constexpr int kSunvaleBar = 33316;
    static constexpr int kBrackenfoldBar = 33332;
    static constexpr int kAcceptSunvaleHour = 33317;
    static constexpr int kParticipate = 33320;
    static constexpr int kShowSunvaleHours = 33322;
    static constexpr int kShowBrackenfold = 33323;
    static constexpr int kAcceptBrackenfold = 33333;

    struct Services {
        ServerAccess* server = nullptr; // null: the program's request function
        pf::Shell* shell = nullptr; // opens a "T & C" link
        // UI thread: the security goes into every open options-list window
        // (window type 8) with this trading status.
        std::function<void(int security, short status)> addToOptionsWindows;
        std::function<bool()> locked; // the terminal is locked
        std::function<std::string()> brokerWebAddress; // the link of an event no longer known
        // Any thread: the security's display key ("" when unknown).
        std::function<std::string(int security)> displayKey;
    };

    InformationDisplays(CMainFrame& frame, Services services);
    ~InformationDisplays() override;

    // The program's displays while installed (the application's wiring).
    static InformationDisplays* Instance();

    // Any thread (the dispatcher's pool): a 141, 145, 155 or 160 payload.
    void OnInformationFeed(int code, const std::string& payload);
    // Any thread: the advisory calls' securities, for the subscription's
    // rebuild (UpdateMorrowpickTokens).
    std::vector<int> UpdateMorrowpickTokens() const;
    // The same as a source that stays valid after the displays are gone
    // (it then has no securities).
    std::function<std::vector<int>()> MorrowpickTokenSource() const;

    // UI thread.
    void ProcessDayProductEventMsg(const std::vector<std::string>& fields);
    void ProcessMorrowpickMsg(const AdvisoryCall& call);
    void OnAdvisoryCallButton(int id);
    void AcceptDaysEvent(int productId);
    void OnUpdateRbiRefRate();
    void OnParticipate();
    void OnShowOfferCommand(int id);
    void OnAcceptSunvaleHour();
    void OnBtnBkfClicked();
    void DisplaySunvaleHours();
    void DisplayBkf();
    // Kinds 1 (Sunvale Hours, bar 33316) and 3 (Brackenfold, bar 33332);
    // colour state 0 orange, 1 green, other: colour.
    void CreateCaptionBar(const std::string& text, int kind, int colourState, QColor colour);
    void UpdateCaptionBar(const std::string& text, int kind, int colourState, QColor colour);

    const CDaysProductEvents& DayEvents() const { return m_events; }
    const CMyRibbonCtrl& Calls() const { return m_calls; }
    // The open "Days Events" popup, or null; Popup() makes one as the
    // button's click does (tests).
    CDlgPopupDaysEvent* OpenPopup() const { return m_popup.data(); }
    CDlgPopupDaysEvent* Popup();
    // The ribbon category the panels go on (the second tab).
    int RibbonCategory() const;
    bool busy() const { return m_busy > 0; }

signals:
    // After each exchange's result was shown (tests wait on it).
    void exchangeDone();

private:
    // The pool's side of each code: parse and look up, then post the
    // widget work to the UI thread.
    void DerivaneMsgThread(const std::string& payload);
    void DisplayMorrowpickThread(const std::string& payload);
    void DisplaySunvaleHour_Bkf_Thread(const std::string& payload);
    void UpdateRbiRefRateThread(const std::string& payload);
    AdvisoryCall readCall(const std::string& payload) const;
    void postToUi(std::function<void(InformationDisplays&)> work);
    void CreateControl();
    void DestroyControl();
    void CreateRibbonButton();
    void RemoveRibbonButton();
    void UpdateRibbonButton();
    void publishCallSecurities();
    void acceptRequest(int id, int lastField, std::string title, std::string link);
    void refusedWhileLocked() const;

    CMainFrame& m_frame;
    ui::WindowRef m_frameRef; // the frame's notes, from any thread
    Services m_services;
    std::shared_ptr<std::atomic<InformationDisplays*>> m_self;
    CDaysProductEvents m_events; // UI thread
    CMyRibbonCtrl m_calls; // UI thread
    SecurityReload::Registration m_reload; // the calls' securities after a re-download
    bool m_advisoryPanel = false;
    bool m_daysPanel = false;
    QPointer<CDlgPopupDaysEvent> m_popup;
    int m_sunvaleOfferId = -1; // nothing sends offers: both stay -1
    int m_brackenfoldOfferId = -1;
    int m_busy = 0;
    struct CallSecurities {
        std::mutex mutex;
        std::vector<int> securities; // guarded by mutex
    };
    std::shared_ptr<CallSecurities> m_callSecurities = std::make_shared<CallSecurities>();
};

// Installs the program's displays (nullptr removes them). UI thread.
void SetInformationDisplays(InformationDisplays* displays);
