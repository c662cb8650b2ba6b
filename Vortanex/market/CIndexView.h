#pragma once
// "Indices Watchlist": one grid row per market index with its value and day
// values, coloured by tick direction and highlighted when the % change
// crosses the user's thresholds. At most one is open. Index broadcasts reach
// it through its tick box (MarketFeed); its 100 ms timer applies them here.
#include <QWidget>

#include <memory>
#include <string>

class CMyGridCtrl;
namespace ui {
class Ticker;
}
struct IndexRecord;

class CIndexView : public QWidget {
    Q_OBJECT
public:
    static constexpr int kGridId = 1303;
    static constexpr int kTimerId = 1;
    static constexpr int kTimerMs = 100;
    static constexpr int ID_INDEX_INTRADAY_CHART = 32888, ID_INDEX_DERIVATIVE_CHAIN = 32889;

    explicit CIndexView(QWidget* parent = nullptr);
    ~CIndexView() override;

    // The open view (null when none).
    static CIndexView* instance();

    void OnInitialUpdate();
    // Rebuilds the rows from the index table and sends the index subscription.
    void OnRefresh();
    // One index's row from its record as the feed left it.
    void UpdateIndex(int rowNumber, const IndexRecord& index);
    void OnContextMenu(int x, int y);
    void OnIntraDayChart();
    void OnDerivativeChain();
    void FreeAllVariables();
    // The timer: applies the updates that arrived and redraws.
    void OnTimer();

    CMyGridCtrl* grid() const { return m_grid; }
    ui::Ticker* ticker() const { return m_ticker; }
    int slot() const { return m_slot; }
    // The grid row showing an index number, -1 when none.
    int rowOf(int indexNumber) const;
    // The index number of the selected row, -1 when none.
    int selectedIndex() const;
    void selectIndex(int indexNumber);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    struct Box;
    CMyGridCtrl* m_grid = nullptr;
    ui::Ticker* m_ticker = nullptr;
    std::shared_ptr<Box> m_box;
    int m_slot = -1;
    int m_pendingRedraw = 0;
    bool m_closing = false;
    bool m_menuEntries = false; // the last decision on the menu's entries
    std::vector<int> m_rowIds;  // grid row id by index number
};

// Command 32886: activates the open view or opens one in the frame's document area.
CIndexView* OpenIndexView(QWidget* frame);
