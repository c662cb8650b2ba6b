#pragma once
// "Scrip Movement": the latest trade of every security whose last traded
// quantity reaches the filter, the newest on top. It subscribes nothing: it
// sees the quotes the other windows subscribed. The feed keeps each
// security's latest trade in the window's tick box (MarketFeed); the window's
// timer applies a batch in arrival order on the UI thread, so the newest
// trade ends on top. One instance; it is deleted when closed.
#include "server/SecurityReload.h"
#include "ui/form.h"

#include <memory>

class CMyListCtrl;
namespace ui {
class Ticker;
}
struct LastTradeTick;

class CScripLastTick final : public ui::Form {
    Q_OBJECT
public:
    static constexpr int kTemplateId = 183;
    static constexpr int kList = 1114, kFilterEdit = 1136, kFilterButton = 1139;
    static constexpr int kTimerId = 1;
    static constexpr int kTimerMs = 100;

    explicit CScripLastTick(QWidget* parent = nullptr);
    ~CScripLastTick() override;

    // The open window (g_pScripLastTick), null when none.
    static CScripLastTick* instance();
    // Command 1117: shows the open window, or builds and shows a new one.
    static CScripLastTick* Open(QWidget* parent);

    // One security's trade into the list (UI thread); returns 0.
    int UpdateList(int security, const LastTradeTick& trade);
    void OnFilter();
    void MyUpdate(int code);
    void OnCancel();
    // The timer: applies the trades that arrived.
    void OnTimer();

    int filter() const { return m_filter; }
    CMyListCtrl* list() const { return m_list; }
    ui::Ticker* ticker() const { return m_ticker; }

public slots:
    void reject() override;

protected:
    void onInit() override;

private:
    struct Box;
    CMyListCtrl* m_list = nullptr;
    ui::Ticker* m_ticker = nullptr;
    std::shared_ptr<Box> m_box;
    int m_filter = 0;
    bool m_closed = false;
    const void* m_tableSeen = nullptr; // rows name securities of this table
    SecurityReload::Registration m_reload; // empties the list at once after a re-download
    void followTable();
};
