#include "InPlaceList.h"

#include "ListReport.h"

#include <QKeyEvent>

CInPlaceList::CInPlaceList(CListReport* list, int row, int column, const QStringList& choices,
                           const QString& current)
    : QComboBox(list->viewport()), m_list(list), m_row(row), m_column(column)
{
    setObjectName(QStringLiteral("CInPlaceList"));
    setProperty("controlId", kControlId);
    setFont(list->font());
    setMaxVisibleItems(6);
    QStringList sorted = choices;
    sorted.sort();
    addItems(sorted);
    const int index = findText(current);
    setCurrentIndex(index >= 0 ? index : 0);
    // Picking an entry closes the list, which ends the edit.
    connect(this, qOverload<int>(&QComboBox::activated), this, [this] { finish(); });
}

void CInPlaceList::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Escape:
        m_escape = true;
        finish();
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        finish();
        return;
    default:
        QComboBox::keyPressEvent(event);
    }
}

void CInPlaceList::focusOutEvent(QFocusEvent* event)
{
    QComboBox::focusOutEvent(event);
    // The popup of the list takes the focus while it is open: not an end.
    if (event->reason() == Qt::PopupFocusReason)
        return;
    finish();
}

void CInPlaceList::finish()
{
    if (m_finished)
        return;
    m_finished = true;
    // The first entry stands for "no value".
    const QString value = currentIndex() > 0 ? currentText() : QString();
    m_list->EndLabelEdit(m_row, m_column, m_escape ? nullptr : &value);
    // The focus goes back to the list before the editor hides, so that it
    // does not wander to the next widget of the chain.
    m_list->setFocus(Qt::OtherFocusReason);
    hide();
    deleteLater();
}
