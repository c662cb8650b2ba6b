#include "app/base/MessageBox.h"

#include "app/base/LogWriter.h"
#include "pf/paths.h"
#include "temp_dir.h"
#include "ui/prompter.h"

#include <gtest/gtest.h>

#include <deque>
#include <fstream>
#include <functional>
#include <optional>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace {

// Records every question and answers from a script (OK when it runs dry).
class FakePrompter final : public ui::Prompter {
public:
    struct Seen {
        ui::Ask ask;
        std::thread::id thread;
    };

    void script(int answer)
    {
        std::lock_guard lock(m_mutex);
        m_answers.push_back(answer);
    }
    void failNext()
    {
        std::lock_guard lock(m_mutex);
        m_fail = true;
    }
    std::vector<Seen> seen()
    {
        std::lock_guard lock(m_mutex);
        return m_seen;
    }

    int ask(const ui::Ask& ask) override
    {
        std::lock_guard lock(m_mutex);
        m_seen.push_back({ask, std::this_thread::get_id()});
        if (m_fail) {
            m_fail = false;
            throw std::runtime_error("no window");
        }
        if (m_answers.empty())
            return ui::Ok;
        const int answer = m_answers.front();
        m_answers.pop_front();
        return answer;
    }
    std::optional<std::string> pickSavePath(const ui::FilePrompt&) override { return {}; }
    std::optional<std::string> pickOpenPath(const ui::FilePrompt&) override { return {}; }
    std::optional<ui::Rgb> pickColour(ui::Rgb) override { return {}; }
    std::optional<std::pair<std::string, int>> pickFont(const std::string&, int) override { return {}; }
    int pickMenuCommand(const ui::MenuSpec&, int, int) override { return 0; }

private:
    std::mutex m_mutex;
    std::deque<int> m_answers;            // guarded by m_mutex
    std::vector<Seen> m_seen;             // guarded by m_mutex
    bool m_fail = false;                  // guarded by m_mutex
};

class MessageBoxTest : public ::testing::Test {
protected:
    void SetUp() override { ui::setPrompter(&prompter); }
    void TearDown() override { ui::setPrompter(nullptr); }
    FakePrompter prompter;
};

} // namespace

TEST_F(MessageBoxTest, WrappersShowCaptionIconButtonsAndReturnTheAnswer)
{
    struct Case {
        const char* name;
        std::function<int()> call;
        int answer;
        const char* caption;
        ui::Icon icon;
        ui::Buttons buttons;
        int defaultIndex;
    } cases[] = {
        {"MsgBoxOk", [] { return MsgBoxOk("t"); }, ui::Ok, "Vortanex", ui::Icon::None, ui::Buttons::Ok, 0},
        {"MsgBoxInfo", [] { return MsgBoxInfo("t"); }, ui::Ok, "Vortanex", ui::Icon::Information, ui::Buttons::Ok, 0},
        {"MsgBoxInfoCaption", [] { return MsgBoxInfoCaption("t", "Client Message"); }, ui::Ok, "Client Message",
         ui::Icon::Information, ui::Buttons::Ok, 0},
        {"MsgBoxUpdateResponse", [] { return MsgBoxUpdateResponse("t"); }, ui::Ok, "Update response",
         ui::Icon::Information, ui::Buttons::Ok, 0},
        {"style 16", [] { return MsgBoxStyle("t", 16); }, ui::Ok, "Vortanex", ui::Icon::Error, ui::Buttons::Ok, 0},
        {"style 36 yes", [] { return MsgBoxStyle("t", 36); }, ui::Yes, "Vortanex", ui::Icon::Question,
         ui::Buttons::YesNo, 0},
        {"style 36 no", [] { return MyMessageBox("t", "Alert", 36); }, ui::No, "Alert", ui::Icon::Question,
         ui::Buttons::YesNo, 0},
        {"style 36 + second default", [] { return MyMessageBox("t", "Vortanex", 36 | MsgDefButton2); }, ui::No,
         "Vortanex", ui::Icon::Question, ui::Buttons::YesNo, 1},
        {"style 48", [] { return MyMessageBox("t", "Error !!!", 48); }, ui::Ok, "Error !!!", ui::Icon::Warning,
         ui::Buttons::Ok, 0},
        {"style 64", [] { return MsgBoxStyle("t", 64); }, ui::Ok, "Vortanex", ui::Icon::Information, ui::Buttons::Ok,
         0},
        {"style 1 cancel", [] { return MyMessageBox("t", "Vortanex", 1 | 64); }, ui::Cancel, "Vortanex",
         ui::Icon::Information, ui::Buttons::OkCancel, 0},
        // A default button the box does not have falls back to the first.
        {"OK with third default", [] { return MsgBoxStyle("t", MsgDefButton3); }, ui::Ok, "Vortanex", ui::Icon::None,
         ui::Buttons::Ok, 0},
    };
    for (const auto& c : cases) {
        prompter.script(c.answer);
        EXPECT_EQ(c.call(), c.answer) << c.name;
        const auto seen = prompter.seen();
        ASSERT_FALSE(seen.empty());
        const ui::Ask& ask = seen.back().ask;
        EXPECT_EQ(ask.text, "t") << c.name;
        EXPECT_EQ(ask.caption, c.caption) << c.name;
        EXPECT_EQ(ask.icon, c.icon) << c.name;
        EXPECT_EQ(ask.buttons, c.buttons) << c.name;
        EXPECT_EQ(ask.defaultIndex, c.defaultIndex) << c.name;
    }
}

TEST_F(MessageBoxTest, CustomButtonsReturnTheirOwnIds)
{
    prompter.script(1000);
    const int result = MyMessageBox("idle", "Logged Out", MsgIconQuestion | MsgDefButton2,
                                    {{"Login Again", 1000}, {"Exit ", ui::Cancel}});
    EXPECT_EQ(result, 1000);
    const ui::Ask ask = prompter.seen().back().ask;
    EXPECT_EQ(ask.buttons, ui::Buttons::Custom);
    ASSERT_EQ(ask.custom.size(), 2u);
    EXPECT_EQ(ask.custom[0], (std::pair<std::string, int>{"Login Again", 1000}));
    EXPECT_EQ(ask.defaultIndex, 1);
    EXPECT_EQ(ask.icon, ui::Icon::Question);
}

TEST_F(MessageBoxTest, FailureToShowGivesMinusOneAndIsLogged)
{
    TempDir dir;
    ASSERT_TRUE(StartLog(pf::Paths(dir.path())));
    prompter.failNext();
    EXPECT_EQ(MyMessageBox("t", "Vortanex", 36), -1);
    const std::filesystem::path log = CurrentLogPath();
    CloseLog();
    std::ifstream in(log);
    std::string first;
    std::getline(in, first);
    EXPECT_NE(first.find(" - Exception in MyMessageBox."), std::string::npos) << first;

    prompter.script(ui::Yes);
    EXPECT_EQ(MsgBoxStyle("t", 36), ui::Yes);
}

TEST_F(MessageBoxTest, WorkerThreadGetsTheAnswer)
{
    prompter.script(ui::No);
    int result = 0;
    std::thread::id worker;
    std::thread t([&] {
        worker = std::this_thread::get_id();
        result = MsgBoxStyle("Do you want to Quit from this Application", 36);
    });
    t.join();
    EXPECT_EQ(result, ui::No);
    const auto seen = prompter.seen();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].thread, worker);
    EXPECT_EQ(seen[0].ask.caption, "Vortanex");
}
