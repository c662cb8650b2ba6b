#include "frame/controls/CEditValidate.h"

#include <QApplication>
#include <QKeyEvent>

CEditValidate::CEditValidate(QWidget* parent) : QLineEdit(parent)
{
    connect(this, &QLineEdit::textChanged, this, [this] { OnChange(); });
}

bool CEditValidate::RemoveChars(const QString& chars)
{
    QString t = text();
    const qsizetype before = t.size();
    for (const QChar c : chars)
        t.remove(c);
    if (t.size() == before)
        return false;
    // Setting the text changes it again; that second pass removes nothing, so
    // the recursion ends there.
    setText(t);
    setSelection(int(t.size()), 0);
    setCursorPosition(int(t.size()));
    return true;
}

void CEditValidate::OnChange()
{
    if (m_upperCase) {
        const QString t = text();
        const QString upper = t.toUpper();
        if (upper != t) {
            const int caret = cursorPosition();
            setText(upper);
            setCursorPosition(caret);
            return; // the change made here runs OnChange again
        }
    }
    RemoveChars(m_forbidden);
}

CEditGridCtrl::CEditGridCtrl(QWidget* parent) : CEditValidate(parent) {}

void CEditGridCtrl::OnChange()
{
    RemoveChars(m_ownForbidden);
    if (text().size() == maxLength()) {
        QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier);
        QApplication::sendEvent(this, &tab);
    }
}
