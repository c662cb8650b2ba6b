#include "ListCtrlCustom.h"

#include <QApplication>
#include <QPaintEvent>
#include <QPainter>
#include <QStyledItemDelegate>

namespace {

// Turns each cell's painting into the list's hooks.
class CustomDrawDelegate final : public QStyledItemDelegate {
public:
    explicit CustomDrawDelegate(CListCtrlCustom* list) : QStyledItemDelegate(list), m_list(list) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        const int row = index.row();
        const int column = index.column();
        const int state = int(option.state);
        const quintptr data = index.siblingAtColumn(0).data(Qt::UserRole).value<quintptr>();
        QStyleOptionViewItem opt(option);
        initStyleOption(&opt, index);
        painter->save();
        painter->setClipRect(option.rect);

        bool itemPost = false;
        bool subItemPost = false;
        bool skip = false;
        if (m_list->IsNotifyItemDraw()) {
            itemPost = m_list->IsNotifyItemPostPaint(row, state, data);
            applyColours(opt, m_list->TextColorForItem(row, state, data), m_list->BkColorForItem(row, state, data));
            if (const QFont* font = m_list->FontForItem(row, state, data)) {
                opt.font = *font;
                itemPost = true; // the font is restored after the row
            }
            skip = m_list->IsItemDraw(row, state, data) && m_list->OnItemDraw(painter, row, state, data);
            if (!skip && m_list->IsNotifySubItemDraw(row, state, data)) {
                subItemPost = m_list->IsNotifySubItemPostPaint(row, column, state, data);
                applyColours(opt, m_list->TextColorForSubItem(row, column, state, data),
                             m_list->BkColorForSubItem(row, column, state, data));
                if (const QFont* font = m_list->FontForSubItem(row, column, state, data)) {
                    opt.font = *font;
                    subItemPost = true;
                }
                skip = m_list->IsSubItemDraw(row, column, state, data)
                       && m_list->OnSubItemDraw(painter, row, column, state, data);
            }
        }
        if (!skip) {
            const QWidget* widget = opt.widget;
            QStyle* style = widget ? widget->style() : QApplication::style();
            style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);
        }
        if (subItemPost && m_list->IsSubItemPostDraw())
            m_list->OnSubItemPostDraw(painter, row, column, state, data);
        if (itemPost && m_list->IsItemPostDraw())
            m_list->OnItemPostDraw(painter, row, state, data);
        painter->restore();
    }

private:
    static void applyColours(QStyleOptionViewItem& opt, const QColor& text, const QColor& background)
    {
        if (text.isValid()) {
            opt.palette.setColor(QPalette::Text, text);
            opt.palette.setColor(QPalette::HighlightedText, text);
        }
        if (background.isValid())
            opt.backgroundBrush = background;
    }

    CListCtrlCustom* m_list;
};

} // namespace

CListCtrlCustom::CListCtrlCustom(QWidget* parent) : QTableWidget(parent)
{
    setItemDelegate(new CustomDrawDelegate(this));
    setSelectionBehavior(QAbstractItemView::SelectRows);
}

void CListCtrlCustom::paintEvent(QPaintEvent* event)
{
    if (IsDraw()) {
        QPainter painter(viewport());
        if (OnDraw(&painter, viewport()->rect()))
            return;
    }
    QTableWidget::paintEvent(event);
    if (IsNotifyPostPaint() && IsPostDraw()) {
        QPainter painter(viewport());
        OnPostDraw(&painter, viewport()->rect());
    }
}
