#include "InPlaceList.h"

#include "ListReport.h"

#include <QKeyEvent>

CInPlaceList::CInPlaceList(CListReport* list, int row, int column, const QStringList& choices,
                           const QString& current)
    : QComboBox(list->viewport()), m_end(list, row, column)
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
    if (m_end.isEndKey(event))
        finish();
    else
        QComboBox::keyPressEvent(event);
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
    // The first entry stands for "no value".
    m_end.finish(this, currentIndex() > 0 ? currentText() : QString());
}
