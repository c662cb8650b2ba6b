#pragma once
// Keyboard input in the numbers the windows' code compares against (the
// virtual-key numbering: Tab 9, Enter 13, Escape 27, '0'..'9' 48..57,
// 'A'..'Z' 65..90, F1..F12 112..123). A window watches its widgets with a
// KeyFilter and decides per key whether to swallow it, before the focused
// control sees it.
#include <QObject>
#include <QPointer>

#include <functional>
#include <optional>

class QWidget;

namespace ui {

enum class Key : int {
    None = 0,
    Backspace = 8,
    Tab = 9,
    Enter = 13,
    Shift = 16,
    Control = 17,
    Alt = 18,
    Escape = 27,
    Space = 32,
    PageUp = 33,
    PageDown = 34,
    End = 35,
    Home = 36,
    Left = 37,
    Up = 38,
    Right = 39,
    Down = 40,
    Insert = 45,
    Delete = 46,
    Digit0 = 48,
    A = 65,
    Z = 90,
    Numpad0 = 96,
    Multiply = 106,
    Add = 107,
    Subtract = 109,
    Decimal = 110,
    Divide = 111,
    F1 = 112,
    F12 = 123,
};

struct Mods {
    bool shift = false;
    bool ctrl = false;
    bool alt = false;
    bool operator==(const Mods&) const = default;
};

class KeyFilter : public QObject {
    Q_OBJECT
public:
    explicit KeyFilter(QObject* parent = nullptr);

    // Returns true to swallow the key. Runs on the UI thread.
    std::function<bool(Key key, Mods mods)> onKeyDown;

    // Routes the key presses of widget and of its inner widgets (the editor
    // of a combo or spin) through onKeyDown. A key that a widget leaves to its
    // parent reaches onKeyDown once, not once per watched widget.
    void watch(QWidget* widget);

    // Tests: hands a key to onKeyDown as if it had been pressed.
    bool feed(Key key, Mods mods = {});

    // Qt's key and modifiers as our key; Key::None when it has no number.
    static Key keyFromQt(int qtKey, Qt::KeyboardModifiers modifiers);
    static Mods modsFromQt(Qt::KeyboardModifiers modifiers);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // A key press by what it is. Qt hands a key the focused control leaves
    // unused to each parent in turn, unchanged; that walk must count as one
    // press. Event addresses cannot tell presses apart: Qt reuses them.
    struct Press {
        int key = 0;
        int modifiers = 0;
        quint64 timestamp = 0;
        quint32 scanCode = 0;
        bool autoRepeat = false;
        bool operator==(const Press&) const = default;
    };
    // The press being passed up from m_lastReceiver; cleared when it was
    // swallowed or a key was released (its walk is over by then).
    std::optional<Press> m_walking;
    QPointer<QWidget> m_lastReceiver;
};

} // namespace ui
