#pragma once
// "Scrip Details": the quote details and contract facts of one security in a
// four-column list of label and value pairs, fetched once with "WD=112". The
// request runs on a worker while the dialog shows it is busy; a reply that
// comes back after the dialog closed is dropped. Modal.
#include "server/SecurityReload.h"
#include "ui/form.h"

#include <functional>
#include <string>

class CMyListCtrl;
class ServerAccess;

class CScriptDetails final : public ui::Form {
    Q_OBJECT
public:
    static constexpr int kTemplateId = 125;
    static constexpr int kName = 1158, kSearch = 1025, kList = 1047, kMarketLot = 1276, kTickSize = 1280;

    explicit CScriptDetails(QWidget* parent = nullptr);
    ~CScriptDetails() override;

    void setSecurityIndex(int security) { m_security = security; }
    // Where the request goes (null: the program's request function). It
    // must outlive the request.
    void setServer(ServerAccess* server) { m_server = server; }
    int securityIndex() const { return m_security; }
    // Starts the request; the values arrive on the UI thread later.
    void Get_Data();
    // Applies a reply (status and body as the request function gave them).
    int ApplyReply(int httpStatus, const std::string& reply);
    bool loaded() const { return m_loaded; }
    std::string cellText(int row, int column) const;
    int rowCount() const;
    CMyListCtrl* list() const { return m_list; }

protected:
    void onInit() override;

private:
    int m_security = -1;
    ServerAccess* m_server = nullptr;
    bool m_loaded = false;
    bool m_commodity = false, m_currency = false;
    CMyListCtrl* m_list = nullptr;
    struct Alive;
    std::shared_ptr<Alive> m_alive;
    SecurityReload::Registration m_reload; // finds the security again after a re-download
};

// The watch's "Scrip &Details": builds the dialog for the security, runs it
// modally and destroys it.
void ShowScripDetails(int security, QWidget* parent);
