#include "InPlaceEdit.h"

#include "ListReport.h"

#include <QKeyEvent>

CInPlaceEdit::CInPlaceEdit(CListReport* list, int row, int column, const QString& initial)
    : QLineEdit(initial, list->viewport()), m_list(list), m_row(row), m_column(column)
{
    setObjectName(QStringLiteral("CInPlaceEdit"));
    setProperty("controlId", kControlId);
    setFont(list->font());
    setFrame(true);
    connect(this, &QLineEdit::textEdited, this, &CInPlaceEdit::grow);
}

void CInPlaceEdit::keyPressEvent(QKeyEvent* event)
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
        QLineEdit::keyPressEvent(event);
    }
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
    if (m_finished)
        return;
    m_finished = true;
    const QString value = text();
    m_list->EndLabelEdit(m_row, m_column, m_escape ? nullptr : &value);
    // The focus goes back to the list before the editor hides, so that it
    // does not wander to the next widget of the chain.
    m_list->setFocus(Qt::OtherFocusReason);
    hide();
    deleteLater();
}
