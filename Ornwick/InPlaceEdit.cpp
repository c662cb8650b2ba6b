#include "InPlaceEdit.h"

#include "ListReport.h"

#include <QKeyEvent>

CInPlaceEdit::CInPlaceEdit(CListReport* list, int row, int column, const QString& initial)
    : QLineEdit(initial, list->viewport()), m_end(list, row, column)
{
    setObjectName(QStringLiteral("CInPlaceEdit"));
    setProperty("controlId", kControlId);
    setFont(list->font());
    setFrame(true);
    connect(this, &QLineEdit::textEdited, this, &CInPlaceEdit::grow);
}

void CInPlaceEdit::keyPressEvent(QKeyEvent* event)
{
    if (m_end.isEndKey(event))
        finish();
    else
        QLineEdit::keyPressEvent(event);
}

void CInPlaceEdit::focusOutEvent(QFocusEvent* event)
{
    QLineEdit::focusOutEvent(event);
    finish();
}

void CInPlaceEdit::grow()
{
    // Wide enough for the text, at most to the list's right edge.
    const int wanted = fontMetrics().horizontalAdvance(text()) + 5;
    const int limit = parentWidget()->width() - x();
    if (wanted > width())
        resize(std::min(wanted, limit), height());
}

void CInPlaceEdit::finish()
{
    m_end.finish(this, text());
}
