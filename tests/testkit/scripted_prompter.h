#pragma once
// A prompter for tests: every question is recorded (with the thread that
// asked) and answered at once from a queue of scripted answers, else by the
// first rule whose text part occurs in the question, else by the box's first
// button. In strict mode a question without a queued answer or rule fails
// the test. Any thread.
#include "ui/prompter.h"

#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace testkit {

struct AskRecord {
    std::string caption;
    std::string text;
    ui::Icon icon = ui::Icon::None;
    ui::Buttons buttons = ui::Buttons::Ok;
    std::vector<std::pair<std::string, int>> custom;
    std::thread::id thread;
    int answer = 0;
};

class ScriptedPrompter final : public ui::Prompter {
public:
    // Answers of the next questions, in order.
    void queueAnswer(int outcome);
    // Answers every question whose text contains textPart (checked after the queue).
    void answerWhen(std::string textPart, int outcome);
    void setStrict(bool strict);
    // The box's first button: Ok for Ok boxes, Yes for yes/no, the first custom id.
    static int firstButton(const ui::Ask& ask);

    std::vector<AskRecord> asks() const;
    std::size_t askCount() const;

    // Picker answers, in order; when none is queued the picker is cancelled.
    void queueSavePath(std::optional<std::string> path);
    void queueOpenPath(std::optional<std::string> path);
    void queueColour(std::optional<ui::Rgb> colour);
    void queueFont(std::optional<std::pair<std::string, int>> font);
    void queueMenuCommand(int id);
    void queuePageSetup(std::optional<ui::PageSetup> setup);
    void queuePrint(std::optional<ui::PrintChoice> choice);
    int printQuestions() const;
    // The colour each colour picker opened with, in order.
    std::vector<ui::Rgb> colourInitials() const;
    std::vector<ui::FilePrompt> filePrompts() const;
    std::vector<ui::MenuSpec> menus() const;

    int ask(const ui::Ask& ask) override;
    std::optional<std::string> pickSavePath(const ui::FilePrompt& prompt) override;
    std::optional<std::string> pickOpenPath(const ui::FilePrompt& prompt) override;
    std::optional<ui::Rgb> pickColour(ui::Rgb initial) override;
    std::optional<std::pair<std::string, int>> pickFont(const std::string& family, int pixelHeight) override;
    int pickMenuCommand(const ui::MenuSpec& menu, int x, int y) override;
    std::optional<ui::PageSetup> pickPageSetup(const ui::PageSetup& current) override;
    std::optional<ui::PrintChoice> pickPrint(const ui::PrintChoice& current) override;

private:
    template <class T>
    static std::optional<T> takeFront(std::deque<std::optional<T>>& queue);

    mutable std::mutex m_mutex;
    std::deque<int> m_answers;                                         // guarded by m_mutex
    std::vector<std::pair<std::string, int>> m_rules;                  // guarded by m_mutex
    bool m_strict = false;                                             // guarded by m_mutex
    std::vector<AskRecord> m_asks;                                     // guarded by m_mutex
    std::deque<std::optional<std::string>> m_savePaths;                // guarded by m_mutex
    std::deque<std::optional<std::string>> m_openPaths;                // guarded by m_mutex
    std::deque<std::optional<ui::Rgb>> m_colours;                      // guarded by m_mutex
    std::vector<ui::Rgb> m_colourInitials;                             // guarded by m_mutex
    std::deque<std::optional<std::pair<std::string, int>>> m_fonts;    // guarded by m_mutex
    std::deque<int> m_menuCommands;                                    // guarded by m_mutex
    std::vector<ui::FilePrompt> m_filePrompts;                         // guarded by m_mutex
    std::vector<ui::MenuSpec> m_menus;                                 // guarded by m_mutex
    std::deque<std::optional<ui::PageSetup>> m_pageSetups;             // guarded by m_mutex
    std::deque<std::optional<ui::PrintChoice>> m_prints;               // guarded by m_mutex
    int m_printQuestions = 0;                                          // guarded by m_mutex
};

} // namespace testkit
