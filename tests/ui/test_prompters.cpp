#include "testkit/contrast.h"
#include "testkit/headless.h"

#include "ui/qt_prompter.h"

#include <QApplication>
#include <QLabel>
#include <QTimer>

#include <gtest/gtest-spi.h>

#include <thread>
#include <vector>

namespace {

ui::Ask box(std::string text, std::string caption)
{
    ui::Ask a;
    a.text = std::move(text);
    a.caption = std::move(caption);
    return a;
}

using SB = QMessageBox::StandardButton;

struct PlanCase {
    const char* name;
    ui::Ask ask;
    QMessageBox::Icon icon;
    std::vector<std::pair<SB, int>> buttons; // NoButton: custom, compared by result
    std::vector<std::string> customTexts;
    int defaultIndex;
    int closeResult;
};

TEST(QtPrompterPlan, MapsIconsButtonsResultsAndDefaults)
{
    auto ask = [](ui::Icon icon, ui::Buttons buttons, int def = 0,
                  std::vector<std::pair<std::string, int>> custom = {}) {
        ui::Ask a;
        a.text = "text";
        a.icon = icon;
        a.buttons = buttons;
        a.defaultIndex = def;
        a.custom = std::move(custom);
        return a;
    };
    const PlanCase cases[] = {
        {"ok", ask(ui::Icon::None, ui::Buttons::Ok), QMessageBox::NoIcon, {{SB::Ok, 1}}, {}, 0, 1},
        {"okCancelInfo", ask(ui::Icon::Information, ui::Buttons::OkCancel), QMessageBox::Information,
         {{SB::Ok, 1}, {SB::Cancel, 2}}, {}, 0, 2},
        {"yesNoQuestionSecondDefault", ask(ui::Icon::Question, ui::Buttons::YesNo, 1), QMessageBox::Question,
         {{SB::Yes, 6}, {SB::No, 7}}, {}, 1, 7},
        {"yesNoCancelWarning", ask(ui::Icon::Warning, ui::Buttons::YesNoCancel), QMessageBox::Warning,
         {{SB::Yes, 6}, {SB::No, 7}, {SB::Cancel, 2}}, {}, 0, 2},
        {"abortRetryIgnoreError", ask(ui::Icon::Error, ui::Buttons::AbortRetryIgnore), QMessageBox::Critical,
         {{SB::Abort, 3}, {SB::Retry, 4}, {SB::Ignore, 5}}, {}, 0, 3},
        {"retryCancel", ask(ui::Icon::None, ui::Buttons::RetryCancel), QMessageBox::NoIcon,
         {{SB::Retry, 4}, {SB::Cancel, 2}}, {}, 0, 2},
        {"customLoginAgainExit", ask(ui::Icon::Question, ui::Buttons::Custom, 1, {{"Login Again", 1000}, {"Exit ", 2}}),
         QMessageBox::Question, {{SB::NoButton, 1000}, {SB::NoButton, 2}}, {"Login Again", "Exit "}, 1, 2},
        {"customWithoutCancelClosesWithLast", ask(ui::Icon::None, ui::Buttons::Custom, 0, {{"A", 10}, {"B", 11}}),
         QMessageBox::NoIcon, {{SB::NoButton, 10}, {SB::NoButton, 11}}, {"A", "B"}, 0, 11},
        {"customEmptyFallsBackToOk", ask(ui::Icon::None, ui::Buttons::Custom), QMessageBox::NoIcon, {{SB::Ok, 1}}, {},
         0, 1},
        {"defaultPastTheButtonsIsFirst", ask(ui::Icon::None, ui::Buttons::OkCancel, 5), QMessageBox::NoIcon,
         {{SB::Ok, 1}, {SB::Cancel, 2}}, {}, 0, 2},
    };
    for (const PlanCase& c : cases) {
        SCOPED_TRACE(c.name);
        const ui::QtPrompter::BoxPlan plan = ui::QtPrompter::plan(c.ask);
        EXPECT_EQ(plan.icon, c.icon);
        ASSERT_EQ(plan.buttons.size(), c.buttons.size());
        size_t customIndex = 0;
        for (size_t i = 0; i < plan.buttons.size(); ++i) {
            EXPECT_EQ(plan.buttons[i].standard, c.buttons[i].first) << "button " << i;
            EXPECT_EQ(plan.buttons[i].result, c.buttons[i].second) << "button " << i;
            if (c.buttons[i].first == SB::NoButton) {
                EXPECT_EQ(plan.buttons[i].text, c.customTexts[customIndex++]);
            }
        }
        EXPECT_EQ(plan.defaultIndex, c.defaultIndex);
        EXPECT_EQ(plan.closeResult, c.closeResult);
    }
}

class ScriptedPrompterTest : public testkit::Headless {};

TEST_F(ScriptedPrompterTest, RecordsTheAskingWorkerThreadAndAnswersFromTheScript)
{
    prompter.queueAnswer(ui::No);
    std::thread::id workerId;
    int answer = 0;
    std::thread worker([&] {
        workerId = std::this_thread::get_id();
        ui::Ask a;
        a.text = "Do you want to Quit from this Application";
        a.caption = "Vortanex";
        a.icon = ui::Icon::Question;
        a.buttons = ui::Buttons::YesNo;
        answer = ui::prompter().ask(a);
    });
    worker.join();
    EXPECT_EQ(answer, ui::No);
    const auto asks = prompter.asks();
    ASSERT_EQ(asks.size(), 1u);
    EXPECT_EQ(asks[0].thread, workerId);
    EXPECT_NE(asks[0].thread, std::this_thread::get_id());
    EXPECT_EQ(asks[0].caption, "Vortanex");
    EXPECT_EQ(asks[0].buttons, ui::Buttons::YesNo);
    EXPECT_EQ(asks[0].answer, ui::No);
}

TEST_F(ScriptedPrompterTest, QueueThenRuleThenFirstButton)
{
    prompter.answerWhen("Feed got Disconnected", ui::Ok);
    prompter.answerWhen("Quit", ui::No);
    prompter.queueAnswer(ui::Cancel);
    struct Case {
        const char* text;
        ui::Buttons buttons;
        std::vector<std::pair<std::string, int>> custom;
        int expected;
    } cases[] = {
        {"Quit now?", ui::Buttons::YesNo, {}, ui::Cancel}, // the queue comes first
        {"Quit now?", ui::Buttons::YesNo, {}, ui::No},     // then the rule
        {"Saved.", ui::Buttons::Ok, {}, ui::Ok},
        {"Replace?", ui::Buttons::YesNo, {}, ui::Yes},
        {"Retry?", ui::Buttons::RetryCancel, {}, ui::Retry},
        {"Session expired", ui::Buttons::Custom, {{"Login Again", 1000}, {"Exit ", 2}}, 1000},
    };
    for (const Case& c : cases) {
        ui::Ask a;
        a.text = c.text;
        a.buttons = c.buttons;
        a.custom = c.custom;
        EXPECT_EQ(ui::prompter().ask(a), c.expected) << c.text;
    }
    EXPECT_EQ(prompter.askCount(), std::size(cases));
}

TEST_F(ScriptedPrompterTest, StrictModeFailsOnAnUnexpectedBox)
{
    prompter.setStrict(true);
    prompter.answerWhen("expected", ui::Ok);
    EXPECT_EQ(ui::prompter().ask(box("an expected box", "Vortanex")), ui::Ok);
    EXPECT_NONFATAL_FAILURE(ui::prompter().ask(box("Surprise", "Input Error")), "Unexpected message box");
}

TEST_F(ScriptedPrompterTest, PickersAnswerFromTheirQueuesElseCancel)
{
    prompter.queueSavePath(paths.data().string() + "/book.csv");
    prompter.queueMenuCommand(32933);
    ui::FilePrompt save;
    save.filter = "CSV Files (*.csv)";
    save.defaultSuffix = "csv";
    EXPECT_EQ(ui::prompter().pickSavePath(save), paths.data().string() + "/book.csv");
    EXPECT_EQ(ui::prompter().pickSavePath(save), std::nullopt);
    ASSERT_EQ(prompter.filePrompts().size(), 2u);
    EXPECT_EQ(prompter.filePrompts()[0].defaultSuffix, "csv");
    EXPECT_EQ(ui::prompter().pickColour(ui::Rgb{0}), std::nullopt);
    ui::MenuSpec menu;
    menu.items.resize(1);
    menu.items[0].id = 32933;
    menu.items[0].text = "Export";
    EXPECT_EQ(ui::prompter().pickMenuCommand(menu, 0, 0), 32933);
    EXPECT_EQ(ui::prompter().pickMenuCommand(ui::MenuSpec{}, 0, 0), 0);
}

// A box shows server text as it is: markup and links in it are characters,
// never a link the user can click.
TEST_F(ScriptedPrompterTest, TheProductionBoxShowsItsTextAsPlainText)
{
    const std::string text = "Order rejected <a href=\"file:///etc/passwd\">details</a> <b>now</b>";
    Qt::TextFormat format = Qt::AutoText;
    QString shown;
    bool seen = false;
    QTimer::singleShot(0, [&] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) {
                seen = true;
                format = box->textFormat();
                if (auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label")))
                    shown = label->text();
                box->done(0);
            }
    });
    ui::QtPrompter production;
    production.ask(box(text, "Vortanex"));
    ASSERT_TRUE(seen);
    EXPECT_EQ(format, Qt::PlainText);
    EXPECT_EQ(shown.toStdString(), text);
}

// A short message keeps its box's title whole: the order confirmation's
// question and the product's name over a one-word error, in the default
// font and a larger one.
TEST_F(ScriptedPrompterTest, TheProductionBoxIsWideEnoughForItsTitle)
{
    struct Case {
        const char* caption;
        const char* text;
    };
    const Case cases[] = {
        {"Do You want to place order", "Buy 1 SBIN @ 0.00"},
        {"Vortanex", "Invalid"},
        {"Do You want to Place these Orders ?", "OK"},
    };
    const QFont kept = QApplication::font();
    for (const int points : {9, 14}) {
        QFont font = kept;
        font.setPointSize(points);
        QApplication::setFont(font);
        for (const Case& c : cases) {
            std::vector<std::string> cut{"no box shown"};
            QTimer::singleShot(0, [&] {
                for (QWidget* w : QApplication::topLevelWidgets())
                    if (auto* shown = qobject_cast<QMessageBox*>(w); shown && shown->isVisible()) {
                        cut = testkit::clippedTitle(*shown);
                        shown->done(0);
                    }
            });
            ui::QtPrompter production;
            production.ask(box(c.text, c.caption));
            EXPECT_EQ(cut, std::vector<std::string>{}) << c.caption << " at " << points << " points";
        }
    }
    QApplication::setFont(kept);
}

} // namespace
