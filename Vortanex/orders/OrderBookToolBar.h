#pragma once
// Toolbar 214 of the order books: the commands of the books' "Order" menu as
// buttons, in the menu's order. The book says what a button runs and whether
// it may run now; the bar asks again whenever the book's state changes
// (refresh()). A command the book has no handler for stays greyed.
// UI thread only.
#include <QToolBar>

#include <functional>
#include <vector>

class OrderBookToolBar : public QToolBar {
    Q_OBJECT
public:
    using Runner = std::function<void(int commandId)>;
    using Enabler = std::function<bool(int commandId)>;

    // The command ids of toolbar 214, in button order.
    static const std::vector<int>& CommandIds();
    // The button's caption and its tooltip (the menu text without '&' and
    // with the key, if any, in brackets).
    static const char* Caption(int commandId);
    static const char* Tip(int commandId);

    OrderBookToolBar(QWidget* parent, Runner run, Enabler enabled);

    // Re-reads the enabled state of every button.
    void refresh();
    QAction* button(int commandId) const;

private:
    Runner m_run;
    Enabler m_enabled;
};
