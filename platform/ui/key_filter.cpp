#include "ui/key_filter.h"

#include "pf/log.h"

#include <QKeyEvent>
#include <QWidget>

#include <exception>
#include <string>

namespace ui {

KeyFilter::KeyFilter(QObject* parent) : QObject(parent) {}

void KeyFilter::watch(QWidget* widget)
{
    if (!widget)
        return;
    widget->installEventFilter(this);
    for (QWidget* inner : widget->findChildren<QWidget*>())
        inner->installEventFilter(this);
}

bool KeyFilter::feed(Key key, Mods mods)
{
    if (!onKeyDown || key == Key::None)
        return false;
    try {
        return onKeyDown(key, mods);
    } catch (const std::exception& e) {
        pf::logLine(0, std::string("SException in KeyFilter::onKeyDown : [") + e.what() + "]");
    } catch (...) {
        pf::logLine(0, "Exception in KeyFilter::onKeyDown");
    }
    return false;
}

Key KeyFilter::keyFromQt(int qtKey, Qt::KeyboardModifiers modifiers)
{
    const bool keypad = modifiers.testFlag(Qt::KeypadModifier);
    if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9)
        return Key((keypad ? int(Key::Numpad0) : int(Key::Digit0)) + (qtKey - Qt::Key_0));
    if (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z)
        return Key(int(Key::A) + (qtKey - Qt::Key_A));
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24)
        return Key(int(Key::F1) + (qtKey - Qt::Key_F1));
    switch (qtKey) {
    case Qt::Key_Backspace: return Key::Backspace;
    case Qt::Key_Tab:
    case Qt::Key_Backtab: return Key::Tab;
    case Qt::Key_Return:
    case Qt::Key_Enter: return Key::Enter;
    case Qt::Key_Shift: return Key::Shift;
    case Qt::Key_Control: return Key::Control;
    case Qt::Key_Alt: return Key::Alt;
    case Qt::Key_Escape: return Key::Escape;
    case Qt::Key_Space: return Key::Space;
    case Qt::Key_PageUp: return Key::PageUp;
    case Qt::Key_PageDown: return Key::PageDown;
    case Qt::Key_End: return Key::End;
    case Qt::Key_Home: return Key::Home;
    case Qt::Key_Left: return Key::Left;
    case Qt::Key_Up: return Key::Up;
    case Qt::Key_Right: return Key::Right;
    case Qt::Key_Down: return Key::Down;
    case Qt::Key_Insert: return Key::Insert;
    case Qt::Key_Delete: return Key::Delete;
    case Qt::Key_Asterisk: return keypad ? Key::Multiply : Key::None;
    case Qt::Key_Plus: return keypad ? Key::Add : Key::None;
    case Qt::Key_Minus: return keypad ? Key::Subtract : Key::None;
    case Qt::Key_Period: return keypad ? Key::Decimal : Key::None;
    case Qt::Key_Slash: return keypad ? Key::Divide : Key::None;
    default: break;
    }
    return Key::None;
}

Mods KeyFilter::modsFromQt(Qt::KeyboardModifiers modifiers)
{
    return Mods{modifiers.testFlag(Qt::ShiftModifier), modifiers.testFlag(Qt::ControlModifier),
                modifiers.testFlag(Qt::AltModifier)};
}

bool KeyFilter::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyRelease) {
        m_walking.reset();
        return QObject::eventFilter(watched, event);
    }
    if (event->type() != QEvent::KeyPress)
        return QObject::eventFilter(watched, event);
    auto* widget = qobject_cast<QWidget*>(watched);
    auto* keyEvent = static_cast<QKeyEvent*>(event);
    const Press press{keyEvent->key(), int(keyEvent->modifiers()), keyEvent->timestamp(),
                      keyEvent->nativeScanCode(), keyEvent->isAutoRepeat()};
    // Passed up: the same press, now at a parent of the widget that saw it
    // last. A press that reaches the same widget again is a new one.
    const bool passedUp = m_walking && *m_walking == press && widget && m_lastReceiver
        && widget != m_lastReceiver && widget->isAncestorOf(m_lastReceiver);
    m_walking = press;
    m_lastReceiver = widget;
    if (passedUp)
        return QObject::eventFilter(watched, event);
    Mods mods = modsFromQt(keyEvent->modifiers());
    if (keyEvent->key() == Qt::Key_Backtab)
        mods.shift = true; // Shift+Tab arrives as its own key
    if (feed(keyFromQt(keyEvent->key(), keyEvent->modifiers()), mods)) {
        m_walking.reset(); // swallowed: no parent sees it
        return true;
    }
    return QObject::eventFilter(watched, event);
}

} // namespace ui
