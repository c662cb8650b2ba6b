#include "frame/EditCommands.h"

#include "frame/FrameIds.h"

#include "ui/commands.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTextEdit>

namespace edit_commands_detail {
namespace {

enum class EditAction { Undo, Cut, Copy, Paste, SelectAll };

// The focused control as an edit, if it is one.
struct FocusedEdit {
    QLineEdit* line = nullptr;
    QTextEdit* text = nullptr;
    QPlainTextEdit* plain = nullptr;
};

// The edit control that last had the keyboard focus, in any window: a click
// on the ribbon activates the frame, whose own focus is no edit the user was
// typing in (an order form's box is in a window of its own).
QPointer<QWidget> g_lastEdit; // UI thread

bool isEditControl(const QWidget* w)
{
    return qobject_cast<const QLineEdit*>(w) || qobject_cast<const QTextEdit*>(w)
        || qobject_cast<const QPlainTextEdit*>(w) || qobject_cast<const QAbstractSpinBox*>(w)
        || (qobject_cast<const QComboBox*>(w) && static_cast<const QComboBox*>(w)->isEditable());
}

QWidget* editOf(QWidget* w)
{
    // The line inside a combo or a spin box reports the focus as its own.
    for (QWidget* p = w; p; p = p->parentWidget()) {
        if (qobject_cast<QComboBox*>(p) || qobject_cast<QAbstractSpinBox*>(p))
            return p;
        if (p->isWindow())
            break;
    }
    return w;
}

FocusedEdit focusedEdit(QWidget* window)
{
    QWidget* w = QApplication::focusWidget();
    if (!w && window)
        w = window->focusWidget();
    if ((!w || !isEditControl(editOf(w))) && g_lastEdit && g_lastEdit->isVisible() && g_lastEdit->isEnabled())
        w = g_lastEdit;
    FocusedEdit e;
    if (!w)
        return e;
    if (auto* line = qobject_cast<QLineEdit*>(w))
        e.line = line;
    else if (auto* combo = qobject_cast<QComboBox*>(w))
        e.line = combo->lineEdit();
    else if (auto* spin = qobject_cast<QAbstractSpinBox*>(w))
        e.line = spin->findChild<QLineEdit*>();
    else if (auto* text = qobject_cast<QTextEdit*>(w))
        e.text = text;
    else if (auto* plain = qobject_cast<QPlainTextEdit*>(w))
        e.plain = plain;
    return e;
}

// A password's text never leaves its box.
bool canLeave(const QLineEdit& line) { return line.echoMode() == QLineEdit::Normal; }

template <typename TextBox>
bool canDoOnTextBox(const TextBox& box, EditAction action)
{
    const bool editable = !box.isReadOnly();
    switch (action) {
    case EditAction::Undo: return editable && box.document()->isUndoAvailable();
    case EditAction::Cut: return editable && box.textCursor().hasSelection();
    case EditAction::Copy: return box.textCursor().hasSelection();
    case EditAction::Paste: return box.canPaste();
    case EditAction::SelectAll: return !box.document()->isEmpty();
    }
    return false;
}

bool canDo(const FocusedEdit& e, EditAction action)
{
    if (e.line) {
        const QLineEdit& l = *e.line;
        const bool editable = !l.isReadOnly() && l.isEnabled();
        switch (action) {
        case EditAction::Undo: return editable && l.isUndoAvailable();
        case EditAction::Cut: return editable && l.hasSelectedText() && canLeave(l);
        case EditAction::Copy: return l.hasSelectedText() && canLeave(l);
        case EditAction::Paste: return editable;
        case EditAction::SelectAll: return !l.text().isEmpty();
        }
    }
    if (e.text)
        return canDoOnTextBox(*e.text, action);
    if (e.plain)
        return canDoOnTextBox(*e.plain, action);
    return false;
}

template <typename Box>
void apply(Box& box, EditAction action)
{
    switch (action) {
    case EditAction::Undo: box.undo(); break;
    case EditAction::Cut: box.cut(); break;
    case EditAction::Copy: box.copy(); break;
    case EditAction::Paste: box.paste(); break;
    case EditAction::SelectAll: box.selectAll(); break;
    }
}

void doEdit(const FocusedEdit& e, EditAction action)
{
    if (e.line)
        apply(*e.line, action);
    else if (e.text)
        apply(*e.text, action);
    else if (e.plain)
        apply(*e.plain, action);
}

} // namespace
} // namespace edit_commands_detail

void InstallEditCommands(ui::Commands& commands, QWidget& window)
{
    using edit_commands_detail::EditAction;
    const QPointer<QWidget> owner(&window);
    QObject::connect(qApp, &QApplication::focusChanged, &window, [](QWidget*, QWidget* now) {
        if (now && edit_commands_detail::isEditControl(edit_commands_detail::editOf(now)))
            edit_commands_detail::g_lastEdit = now;
    });
    const std::pair<int, EditAction> table[] = {
        {ID_EDIT_UNDO, EditAction::Undo},   {ID_EDIT_CUT, EditAction::Cut},
        {ID_EDIT_COPY, EditAction::Copy},   {ID_EDIT_PASTE, EditAction::Paste},
        {ID_EDIT_SELECT_ALL, EditAction::SelectAll},
    };
    for (const auto& [id, action] : table) {
        const EditAction a = action;
        commands.add(
            id,
            [owner, a] {
                const edit_commands_detail::FocusedEdit e = edit_commands_detail::focusedEdit(owner.data());
                if (edit_commands_detail::canDo(e, a))
                    edit_commands_detail::doEdit(e, a);
            },
            [owner, a] { return ui::CommandState{edit_commands_detail::canDo(edit_commands_detail::focusedEdit(owner.data()), a), false}; });
    }
}
