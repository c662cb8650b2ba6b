#include "testkit/scripted_prompter.h"

#include <gtest/gtest.h>

namespace testkit {

void ScriptedPrompter::queueAnswer(int outcome)
{
    std::lock_guard lock(m_mutex);
    m_answers.push_back(outcome);
}

void ScriptedPrompter::answerWhen(std::string textPart, int outcome)
{
    std::lock_guard lock(m_mutex);
    m_rules.emplace_back(std::move(textPart), outcome);
}

void ScriptedPrompter::setStrict(bool strict)
{
    std::lock_guard lock(m_mutex);
    m_strict = strict;
}

int ScriptedPrompter::firstButton(const ui::Ask& ask)
{
    switch (ask.buttons) {
    case ui::Buttons::Ok:
    case ui::Buttons::OkCancel: return ui::Ok;
    case ui::Buttons::AbortRetryIgnore: return ui::Abort;
    case ui::Buttons::YesNoCancel:
    case ui::Buttons::YesNo: return ui::Yes;
    case ui::Buttons::RetryCancel: return ui::Retry;
    case ui::Buttons::Custom: return ask.custom.empty() ? ui::Ok : ask.custom.front().second;
    }
    return ui::Ok;
}

std::vector<AskRecord> ScriptedPrompter::asks() const
{
    std::lock_guard lock(m_mutex);
    return m_asks;
}

std::size_t ScriptedPrompter::askCount() const
{
    std::lock_guard lock(m_mutex);
    return m_asks.size();
}

int ScriptedPrompter::ask(const ui::Ask& ask)
{
    AskRecord record{ask.caption, ask.text, ask.icon, ask.buttons, ask.custom, std::this_thread::get_id(), 0};
    bool scripted = true;
    bool strict = false;
    {
        std::lock_guard lock(m_mutex);
        strict = m_strict;
        if (!m_answers.empty()) {
            record.answer = m_answers.front();
            m_answers.pop_front();
        } else {
            scripted = false;
            for (const auto& [part, outcome] : m_rules) {
                if (ask.text.find(part) != std::string::npos) {
                    record.answer = outcome;
                    scripted = true;
                    break;
                }
            }
            if (!scripted)
                record.answer = firstButton(ask);
        }
        m_asks.push_back(record);
    }
    // Outside the lock: the failure report must not block other askers.
    if (strict && !scripted)
        ADD_FAILURE() << "Unexpected message box [" << ask.caption << "]: " << ask.text;
    return record.answer;
}

template <class T>
std::optional<T> ScriptedPrompter::takeFront(std::deque<std::optional<T>>& queue)
{
    if (queue.empty())
        return std::nullopt;
    std::optional<T> front = std::move(queue.front());
    queue.pop_front();
    return front;
}

void ScriptedPrompter::queueSavePath(std::optional<std::string> path)
{
    std::lock_guard lock(m_mutex);
    m_savePaths.push_back(std::move(path));
}

void ScriptedPrompter::queueOpenPath(std::optional<std::string> path)
{
    std::lock_guard lock(m_mutex);
    m_openPaths.push_back(std::move(path));
}

void ScriptedPrompter::queueColour(std::optional<ui::Rgb> colour)
{
    std::lock_guard lock(m_mutex);
    m_colours.push_back(colour);
}

void ScriptedPrompter::queueFont(std::optional<std::pair<std::string, int>> font)
{
    std::lock_guard lock(m_mutex);
    m_fonts.push_back(std::move(font));
}

void ScriptedPrompter::queueMenuCommand(int id)
{
    std::lock_guard lock(m_mutex);
    m_menuCommands.push_back(id);
}

void ScriptedPrompter::queuePageSetup(std::optional<ui::PageSetup> setup)
{
    std::lock_guard lock(m_mutex);
    m_pageSetups.push_back(std::move(setup));
}

std::optional<ui::PageSetup> ScriptedPrompter::pickPageSetup(const ui::PageSetup&)
{
    std::lock_guard lock(m_mutex);
    return takeFront(m_pageSetups);
}

void ScriptedPrompter::queuePrint(std::optional<ui::PrintChoice> choice)
{
    std::lock_guard lock(m_mutex);
    m_prints.push_back(std::move(choice));
}

std::optional<ui::PrintChoice> ScriptedPrompter::pickPrint(const ui::PrintChoice&)
{
    std::lock_guard lock(m_mutex);
    ++m_printQuestions;
    return takeFront(m_prints);
}

int ScriptedPrompter::printQuestions() const
{
    std::lock_guard lock(m_mutex);
    return m_printQuestions;
}

std::vector<ui::FilePrompt> ScriptedPrompter::filePrompts() const
{
    std::lock_guard lock(m_mutex);
    return m_filePrompts;
}

std::vector<ui::MenuSpec> ScriptedPrompter::menus() const
{
    std::lock_guard lock(m_mutex);
    return m_menus;
}

std::optional<std::string> ScriptedPrompter::pickSavePath(const ui::FilePrompt& prompt)
{
    std::lock_guard lock(m_mutex);
    m_filePrompts.push_back(prompt);
    return takeFront(m_savePaths);
}

std::optional<std::string> ScriptedPrompter::pickOpenPath(const ui::FilePrompt& prompt)
{
    std::lock_guard lock(m_mutex);
    m_filePrompts.push_back(prompt);
    return takeFront(m_openPaths);
}

std::optional<ui::Rgb> ScriptedPrompter::pickColour(ui::Rgb initial)
{
    std::lock_guard lock(m_mutex);
    m_colourInitials.push_back(initial);
    return takeFront(m_colours);
}

std::vector<ui::Rgb> ScriptedPrompter::colourInitials() const
{
    std::lock_guard lock(m_mutex);
    return m_colourInitials;
}

std::optional<std::pair<std::string, int>> ScriptedPrompter::pickFont(const std::string&, int)
{
    std::lock_guard lock(m_mutex);
    return takeFront(m_fonts);
}

int ScriptedPrompter::pickMenuCommand(const ui::MenuSpec& menu, int, int)
{
    std::lock_guard lock(m_mutex);
    m_menus.push_back(menu);
    if (m_menuCommands.empty())
        return 0;
    const int id = m_menuCommands.front();
    m_menuCommands.pop_front();
    return id;
}

} // namespace testkit
