#pragma once
// The web-links view: one of the broker's pages at a time in the embedded
// browser, for the user or, for a dealer, for a typed client. The page
// request is built apart from the window so its rules are checked without
// one. While the terminal is locked every navigation is refused with a box.
// UI thread.
#include "server/SecurityReload.h"
#include "ui/browser_view.h"

#include <QWidget>

#include <functional>
#include <memory>
#include <string>

class QComboBox;
class QLineEdit;
class QPushButton;

namespace pf {
class Shell;
}

// The inputs of one page request.
struct WebLinkRequestInput {
    char userType = 0;
    std::string userId;
    std::string clientCode; // the selected client's code
    int linkNumber = 0;
    std::string clientEdit; // the client edit's text
    char clientMode = '0';  // '2': the page needs a client id
    int encrypt = 0;        // the session's request encryption
    std::string webBase;    // "http://host:port"
};

enum class WebLinkRequestResult { Ready, NoClient, BadClient, NotEncoded };

struct WebLinkRequest {
    WebLinkRequestResult result = WebLinkRequestResult::Ready;
    std::string text;    // "LoginData=1002|..."
    std::string address; // "<web base>/qtrade/qlogin.exe?<text, encoded>"
};

// The client id is trimmed; an empty one stops a client-mode-'2' link
// quietly; one with a blank, a control character or any of the characters the
// broker's texts reserve is refused. Values are percent-encoded, or the whole
// text encrypted when the session asks for it (encrypt may fail: NotEncoded).
WebLinkRequest BuildWebLinkRequest(const WebLinkRequestInput& in,
                                   const std::function<bool(const std::string&, std::string&)>& encrypt);

class CWebLinks : public QWidget {
    Q_OBJECT
public:
    static constexpr int kComboId = 1076;
    static constexpr int kClientEditId = 1017;
    static constexpr int kBackId = 1285;
    static constexpr int kForwardId = 1287;
    static constexpr int kReloadId = 1262;
    static constexpr int kHomeId = 1265;

    // The locked test and the box are the program's; tests replace them.
    struct Hooks {
        std::function<bool()> isLocked;
        std::function<void(const std::string&)> message; // an information box
    };

    CWebLinks(pf::Shell& shell, Hooks hooks, QWidget* parent = nullptr);
    ~CWebLinks() override;

    // The single instance while it is open.
    static CWebLinks* Instance();

    // Takes the pending link (-1 = none) and shows it.
    void ShowSelectedLink(int linkIndex);
    void DisplayWeblinkX();
    int LinkIndex() const { return m_link; }

    ui::BrowserView& Browser() { return *m_browser; }
    QLineEdit* ClientEdit() const { return m_client; }
    QComboBox* Combo() const { return m_combo; }
    QString Title() const { return windowTitle(); }

    // Closes the view's window (the security re-download closes it with the
    // other windows); Instance() is null from here on.
    void Close_Window();

    void GoBack();
    void GoForward();
    void Reload();
    void GoHome();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void applyClientRule();
    // The security download closes the view (it closes it first).
    SecurityReload::Registration m_reload;

    pf::Shell& m_shell;
    Hooks m_hooks;
    std::unique_ptr<ui::BrowserView> m_browser;
    QComboBox* m_combo;
    QLineEdit* m_client;
    QWidget* m_bar; // control 1203: the row of buttons
    int m_link = -1;
};
