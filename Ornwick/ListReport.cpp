#include "ListReport.h"

#include "InPlaceEdit.h"
#include "InPlaceList.h"

#include <QHeaderView>
#include <QMouseEvent>
#include <QScrollBar>

CListReport::CListReport(QWidget* parent) : QTableWidget(parent)
{
    // Editing is this class's own, by the click rule.
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    // Scrolling first takes the focus to the list, which ends an open editor.
    const auto takeFocus = [this] { setFocus(Qt::OtherFocusReason); };
    connect(horizontalScrollBar(), &QScrollBar::valueChanged, this, takeFocus);
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, takeFocus);
}

void CListReport::SetColumnEditInit()
{
    m_columns.assign(size_t(columnCount()), ColumnEdit{});
}

void CListReport::SetColumnEditInfo(int column, int type, const QStringList& choices)
{
    if (column < 0 || size_t(column) >= m_columns.size())
        return;
    m_columns[size_t(column)] = ColumnEdit{type, choices};
}

int CListReport::HitTestEx(const QPoint& point, int* column) const
{
    const QModelIndex index = indexAt(point);
    if (column)
        *column = index.isValid() ? index.column() : -1;
    return index.isValid() ? index.row() : -1;
}

void CListReport::mousePressEvent(QMouseEvent* event)
{
    const int focusedRow = currentRow();
    QTableWidget::mousePressEvent(event);
    if (event->button() != Qt::LeftButton)
        return;
    int column = -1;
    const int row = HitTestEx(event->position().toPoint(), &column);
    if (row < 0 || column < 0)
        return;
    // The first click selects the row, the next one edits.
    if (row != focusedRow) {
        setCurrentCell(row, column);
        return;
    }
    if (!m_editLabels || size_t(column) >= m_columns.size())
        return;
    const ColumnEdit& edit = m_columns[size_t(column)];
    if (edit.type == EditBox) {
        EditSubLabel(row, column);
    } else if (edit.type == EditList) {
        const QTableWidgetItem* cell = item(row, column);
        ShowInPlaceList(row, column, edit.choices, cell ? cell->text() : QString());
    }
}

QRect CListReport::editorRect(int row, int column)
{
    if (row < 0 || row >= rowCount() || column < 0 || column >= columnCount() || columnWidth(column) < 5)
        return {};
    const QModelIndex index = model()->index(row, column);
    scrollTo(index); // the row, and the cell when it lies outside the visible part
    QRect rect = visualRect(index);
    rect.setLeft(rect.left() + 4);
    rect.setRight(std::min(rect.right() - 3, viewport()->width() - 1));
    return rect;
}

CInPlaceEdit* CListReport::EditSubLabel(int row, int column)
{
    const QRect rect = editorRect(row, column);
    if (rect.isEmpty())
        return nullptr;
    setFocus(Qt::OtherFocusReason); // ends an editor that is still open
    const QTableWidgetItem* cell = item(row, column);
    auto* editor = new CInPlaceEdit(this, row, column, cell ? cell->text() : QString());
    const Qt::Alignment alignment = cell ? Qt::Alignment(cell->textAlignment()) : Qt::AlignLeft;
    editor->setAlignment((alignment & Qt::AlignHorizontal_Mask) ? (alignment & Qt::AlignHorizontal_Mask)
                                                                  : Qt::AlignLeft);
    editor->setGeometry(rect);
    editor->show();
    editor->selectAll();
    editor->setFocus(Qt::OtherFocusReason);
    return editor;
}

CInPlaceList* CListReport::ShowInPlaceList(int row, int column, const QStringList& choices, const QString& current)
{
    const QRect rect = editorRect(row, column);
    if (rect.isEmpty())
        return nullptr;
    setFocus(Qt::OtherFocusReason); // ends an editor that is still open
    auto* editor = new CInPlaceList(this, row, column, choices, current);
    editor->setGeometry(rect.left(), rect.top(), rect.width(), rowHeight(row));
    editor->show();
    editor->setFocus(Qt::OtherFocusReason);
    return editor;
}

void CListReport::EndLabelEdit(int row, int column, const QString* text)
{
    if (!text || row < 0 || row >= rowCount() || column < 0 || column >= columnCount())
        return;
    if (QTableWidgetItem* cell = item(row, column))
        cell->setText(*text);
    else
        setItem(row, column, new QTableWidgetItem(*text));
    emit labelEdited(row, column, *text);
}
