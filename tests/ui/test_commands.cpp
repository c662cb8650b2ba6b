#include "testkit/headless.h"

#include "ui/commands.h"
#include "ui/key_filter.h"
#include "ui/ui_thread.h"

#include <memory>
#include <thread>
#include <vector>

namespace {

class CommandsTest : public testkit::Headless {};

TEST_F(CommandsTest, InvokeHonoursStateAndRanges)
{
    ui::Commands commands;
    std::vector<int> ran;
    bool locked = false;
    commands.add(32861, [&] { ran.push_back(32861); }, [&] { return ui::CommandState{!locked, locked}; });
    commands.addRange(33219, 33228, [&](int id) { ran.push_back(id); });

    EXPECT_TRUE(commands.invoke(32861));
    locked = true;
    EXPECT_FALSE(commands.invoke(32861)) << "a disabled command does not run";
    EXPECT_TRUE(commands.state(32861).checked);
    EXPECT_TRUE(commands.invoke(33219));
    EXPECT_TRUE(commands.invoke(33228));
    EXPECT_FALSE(commands.invoke(33229));
    EXPECT_FALSE(commands.invoke(1));
    EXPECT_FALSE(commands.state(1).enabled);
    EXPECT_EQ(ran, (std::vector<int>{32861, 33219, 33228}));
}

TEST_F(CommandsTest, PostFromAWorkerRunsOnTheUiThreadAndIsDroppedOnceTheOwnerIsGone)
{
    auto commands = std::make_unique<ui::Commands>();
    int ran = 0;
    bool onUi = false;
    commands->add(57665, [&] {
        ++ran;
        onUi = ui::UiThread::isCurrent();
    });
    std::thread worker([&] { commands->post(57665); });
    worker.join();
    EXPECT_TRUE(pumpUntil([&] { return ran == 1; }));
    EXPECT_TRUE(onUi);

    commands->post(57665);
    commands.reset();
    bool marker = false;
    ui::UiThread::post([&] { marker = true; });
    EXPECT_TRUE(pumpUntil([&] { return marker; }));
    EXPECT_EQ(ran, 1);
}

TEST(KeyFilter, QtKeysBecomeVirtualKeyNumbers)
{
    struct Case {
        int qtKey;
        Qt::KeyboardModifiers mods;
        int expected;
    } cases[] = {
        {Qt::Key_Tab, Qt::NoModifier, 9},         {Qt::Key_Backtab, Qt::ShiftModifier, 9},
        {Qt::Key_Return, Qt::NoModifier, 13},     {Qt::Key_Enter, Qt::KeypadModifier, 13},
        {Qt::Key_Escape, Qt::NoModifier, 27},     {Qt::Key_A, Qt::NoModifier, 65},
        {Qt::Key_Z, Qt::ShiftModifier, 90},       {Qt::Key_5, Qt::NoModifier, 53},
        {Qt::Key_5, Qt::KeypadModifier, 101},     {Qt::Key_Plus, Qt::KeypadModifier, 107},
        {Qt::Key_Minus, Qt::KeypadModifier, 109}, {Qt::Key_Plus, Qt::NoModifier, 0},
        {Qt::Key_F1, Qt::NoModifier, 112},        {Qt::Key_F12, Qt::NoModifier, 123},
        {Qt::Key_Delete, Qt::NoModifier, 46},     {Qt::Key_Down, Qt::NoModifier, 40},
    };
    for (const Case& c : cases)
        EXPECT_EQ(static_cast<int>(ui::KeyFilter::keyFromQt(c.qtKey, c.mods)), c.expected) << "Qt key " << c.qtKey;
    const ui::Mods mods = ui::KeyFilter::modsFromQt(Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_TRUE(mods.ctrl && mods.shift && !mods.alt);
}

} // namespace
