#include "orders/OrderBookToolBar.h"

#include <QAction>

namespace order_book_tool_bar_detail {
namespace {

struct ToolButton {
    int id;
    const char* caption;
    const char* tip;
};

// The order of toolbar 214; the texts are the menu's.
constexpr ToolButton kButtons[] = {
    {33009, "Refresh", "Refresh (F5)"},
    {32940, "Select Columns", "Select Columns"},
    {32942, "Expand All", "Expand All (Shift+Num +)"},
    {32943, "Collapse All", "Collapse All (Shift+Num -)"},
    {33011, "Modify", "Modify (F2)"},
    {33013, "Cancel", "Cancel (F1)"},
    {33001, "Basket Cancel", "Basket Cancel (Ctrl+B)"},
    {33377, "Place order", "Place order"},
    {33306, "Place Gtc order", "Place Gtc order"},
    {33015, "MF Mark", "MF Mark"},
    {33017, "Order History", "Order History"},
    {33019, "Copy", "Copy to ClipBoard"},
    {33021, "Save as CSV", "Save as CSV"},
    {32895, "Order Summary", "Order Summary (Shift+O)"},
};

const ToolButton* find(int id)
{
    for (const ToolButton& b : kButtons)
        if (b.id == id)
            return &b;
    return nullptr;
}

} // namespace
} // namespace order_book_tool_bar_detail

const std::vector<int>& OrderBookToolBar::CommandIds()
{
    static const std::vector<int> ids = [] {
        std::vector<int> out;
        for (const order_book_tool_bar_detail::ToolButton& b : order_book_tool_bar_detail::kButtons)
            out.push_back(b.id);
        return out;
    }();
    return ids;
}

const char* OrderBookToolBar::Caption(int commandId)
{
    const order_book_tool_bar_detail::ToolButton* b = order_book_tool_bar_detail::find(commandId);
    return b ? b->caption : "";
}

const char* OrderBookToolBar::Tip(int commandId)
{
    const order_book_tool_bar_detail::ToolButton* b = order_book_tool_bar_detail::find(commandId);
    return b ? b->tip : "";
}

OrderBookToolBar::OrderBookToolBar(QWidget* parent, Runner run, Enabler enabled)
    : QToolBar(parent)
    , m_run(std::move(run))
    , m_enabled(std::move(enabled))
{
    setObjectName(QStringLiteral("214"));
    setToolButtonStyle(Qt::ToolButtonTextOnly);
    setMovable(false);
    setFloatable(false);
    setFocusPolicy(Qt::NoFocus);
    // A greyed command must look greyed in the dark themes too.
    setStyleSheet(QStringLiteral("QToolButton:disabled { color: #808080; }"));
    for (const order_book_tool_bar_detail::ToolButton& b : order_book_tool_bar_detail::kButtons) {
        QAction* a = addAction(QString::fromLatin1(b.caption));
        a->setObjectName(QString::number(b.id));
        a->setData(b.id);
        a->setToolTip(QString::fromLatin1(b.tip));
        const int id = b.id;
        connect(a, &QAction::triggered, this, [this, id] {
            // The state may have changed since the bar last looked.
            if (m_run && m_enabled && m_enabled(id))
                m_run(id);
        });
    }
    refresh();
}

void OrderBookToolBar::refresh()
{
    for (QAction* a : actions()) {
        const int id = a->data().toInt();
        a->setEnabled(m_enabled ? m_enabled(id) : false);
    }
}

QAction* OrderBookToolBar::button(int commandId) const
{
    for (QAction* a : actions())
        if (a->data().toInt() == commandId)
            return a;
    return nullptr;
}
