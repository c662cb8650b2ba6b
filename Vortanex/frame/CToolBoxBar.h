#pragma once
// The two task panes of the main frame: the watch lists as buttons grouped
// in pages (CToolBoxBarEx) and one button per exchange segment with its
// market status (CToolBoxBarMS). Filled after login from the watch-list table
// and the market-status table. UI thread; the market-status update of the
// feed is handed to the UI thread by its caller.
#include <QIcon>
#include <QWidget>

#include <functional>
#include <map>
#include <string>
#include <string_view>

class QListWidget;
class QListWidgetItem;
class QToolBox;

// The icon of a page or list name (names compared without regard to case).
// `segment5`/`segment8`: the names of the exchange segments of id 5 and 8.
struct WatchlistIconRef {
    int collection = 274;
    int index = 17;
};
WatchlistIconRef GetWatchlistIcon(std::string_view name, std::string_view segment8 = {});
// "NN" -> "NSE", ...; the code itself for a code not in the table.
std::string MarketSegmentName(std::string_view code);

class CToolBoxBarEx : public QWidget {
    Q_OBJECT
public:
    explicit CToolBoxBarEx(QWidget* parent = nullptr);

    // Rebuilds the pages and buttons from the watch-list table.
    void UpdateElements();
    // 0 select, 1 clear the selection, 2 add, 3 rename, 4 delete.
    void UpdateWatchlist(int operation, int list);

    int pageCount() const;
    int buttonCount(int page) const;
    QString buttonText(int page, int button) const;
    // The selected button of a page, -1 when none.
    int selectedButton(int page) const;
    int myWatchlistPage() const { return m_myWatchlistPage; }

    // A list's button was clicked (the market watch opens the list).
    std::function<void(int list)> onOpenList;

private:
    QListWidget* page(int index) const;
    QIcon iconOf(const WatchlistIconRef& ref) const;

    QToolBox* m_box = nullptr;
    int m_myWatchlistPage = 0;
    std::map<int, QIcon> m_pageIcons;
};

class CToolBoxBarMS : public QWidget {
    Q_OBJECT
public:
    explicit CToolBoxBarMS(QWidget* parent = nullptr);

    // Builds the one page from the market-status table.
    void AddElements();
    // Relabels a segment whose status changed; false when nothing changed.
    bool UpdateMarketStatus(std::string_view code, std::string_view status);

    int buttonCount() const;
    QString buttonText(int button) const;

private:
    QListWidget* m_list = nullptr;
    std::map<std::string, std::pair<int, std::string>> m_buttons; // code -> (button, status)
};
