// The key filter with real key events delivered through the application, as
// a keyboard delivers them: to the focused control first, then, while unused,
// to its parents.
#include "ui/key_filter.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QWidget>

#include <gtest/gtest.h>

#include <vector>

namespace {

class KeyFilterDelivery : public ::testing::Test {
protected:
    void SetUp() override
    {
        window.resize(200, 100);
        edit = new QLineEdit(&window);
        filter.watch(&window);
        filter.onKeyDown = [this](ui::Key key, ui::Mods) {
            seen.push_back(key);
            return key == ui::Key::Enter || key == ui::Key::Up; // the form's own keys
        };
    }
    // One press and release of the key at the edit; Qt walks an unused press
    // up to the window, as it does for a keyboard.
    void press(Qt::Key key, ulong timestamp, bool release = true)
    {
        QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier);
        down.setTimestamp(timestamp);
        QApplication::sendEvent(edit, &down);
        if (release) {
            QKeyEvent up(QEvent::KeyRelease, key, Qt::NoModifier);
            up.setTimestamp(timestamp + 1);
            QApplication::sendEvent(edit, &up);
        }
    }
    QWidget window;
    QLineEdit* edit = nullptr;
    ui::KeyFilter filter;
    std::vector<ui::Key> seen;
};

TEST_F(KeyFilterDelivery, EveryPressCountsOnceWhetherSwallowedOrPassedUp)
{
    struct Case {
        const char* name;
        Qt::Key key;
        ui::Key expected;
        bool release;
    };
    // Each press is a new event object at the same address, as Qt's own
    // delivery makes them; swallowed keys (Enter, Up) and a key the edit
    // leaves to its parents (F6) alike; with and without releases between.
    const Case cases[] = {
        {"Enter with releases", Qt::Key_Return, ui::Key::Enter, true},
        {"Up held down", Qt::Key_Up, ui::Key::Up, false},
        {"F6 passed up to the window", Qt::Key_F6, ui::Key(117), true},
        {"F6 held down", Qt::Key_F6, ui::Key(117), false},
    };
    for (const Case& c : cases) {
        seen.clear();
        for (ulong t = 1000; t < 1003; ++t)
            press(c.key, t * 10, c.release);
        EXPECT_EQ(seen, std::vector<ui::Key>(3, c.expected)) << c.name;
    }
}

TEST_F(KeyFilterDelivery, TheSameEventObjectPressedAgainIsANewPress)
{
    // A press repeated with equal time stamps (a synthetic key source) at the
    // focused control still counts each time.
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    for (int i = 0; i < 3; ++i)
        QApplication::sendEvent(edit, &enter);
    EXPECT_EQ(seen.size(), 3u);
}

} // namespace
