#pragma once
// The nominee notice of a login whose switches say the nominee details are
// missing: "Update Nominee" opens the broker's nominee page, and the next
// press asks the server whether the details have arrived; the panel closes
// only once they have. Escape does not close it.
#include "ui/form.h"

#include <memory>
#include <string>

class DialogExchange;
class ExchangeCancel;
class QTextBrowser;
class QTimer;

namespace pf {
class Shell;
}

// "LoginData=3015": the server's nominee status. Returns the status, -1 when
// the server answers 1. A reply with new switches (field 5, long enough to
// hold them all) replaces the login's switches.
int GetNomineeDetails();
// The same in two steps: the exchange (any thread; `cancel` may end it) and
// the reading of its reply (UI thread: it sets the login switches).
struct NomineeReply {
    int http = -1;
    std::string text;
};
NomineeReply FetchNomineeDetails(ExchangeCancel* cancel);
int ApplyNomineeDetails(const NomineeReply& reply);

class CNomineePopup final : public ui::Form {
    Q_OBJECT
public:
    static constexpr int kTemplateId = 310;
    static constexpr int kUpdate = 1;
    static constexpr int kStatic = 1581;
    static constexpr int kMainText = 1579;
    static constexpr int kNoteText = 1580;
    static constexpr int kReenableTimer = 1;
    static constexpr int kReenableMs = 30000;
    // A server that never reports the details would keep the user in a loop
    // of pages; after this many openings the panel lets the user go on.
    static constexpr int kMaxPageOpenings = 10;

    explicit CNomineePopup(pf::Shell& shell, QWidget* parent = nullptr);
    ~CNomineePopup() override;
    // True while the check of the details runs (off the UI thread).
    bool isBusy() const;

    // The texts the login sets (HTML-like; tags are the markup).
    void setTexts(std::string title, std::string button, std::string mainText, std::string note);
    static std::string DefaultMainText();
    static std::string DefaultNote(const std::string& formAddress, const std::string& locatorAddress);

    // Button 1.
    void OnUpdate();
    // The 30-second timer: the button comes back as "Click here".
    void OnTimer(int timerId);

    // 0 page not opened, 1 opened (to be checked), 2 done. Process-wide.
    static int NomineeState();
    static void ResetNomineeState();
    int pageOpenings() const { return m_openings; }

public slots:
    void reject() override;

protected:
    void onInit() override;

private:
    bool openNomineePage();

    pf::Shell& m_shell;
    std::string m_title = "Nominee Not Updated";
    std::string m_button = "Update Nominee";
    std::string m_main;
    std::string m_note;
    QTextBrowser* m_mainView = nullptr;
    QTextBrowser* m_noteView = nullptr;
    QTimer* m_timer = nullptr;
    int m_openings = 0;
    // Last: it goes first, while what its result touches still exists.
    std::unique_ptr<DialogExchange> m_exchange;
};
