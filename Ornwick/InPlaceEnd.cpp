#include "InPlaceEnd.h"

#include "ListReport.h"

#include <QKeyEvent>

InPlaceEnd::InPlaceEnd(CListReport* list, int row, int column) : m_list(list), m_row(row), m_column(column) {}

bool InPlaceEnd::isEndKey(const QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Escape:
        m_escape = true;
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return true;
    default:
        return false;
    }
}

void InPlaceEnd::finish(QWidget* editor, const QString& value)
{
    if (m_finished)
        return;
    m_finished = true;
    m_list->EndLabelEdit(m_row, m_column, m_escape ? nullptr : &value);
    // The focus goes back to the list before the editor hides, so that it
    // does not wander to the next widget of the chain.
    m_list->setFocus(Qt::OtherFocusReason);
    editor->hide();
    editor->deleteLater();
}
