#include "testkit/scripted_modal_host.h"

#include "ui/form.h"
#include "ui/prompter.h"
#include "ui/ui_thread.h"

#include <gtest/gtest.h>

namespace testkit {

void ScriptedModalHost::script(const std::string& formName, Script script)
{
    m_scripts[formName] = std::move(script);
}

int ScriptedModalHost::run(ui::Form& form)
{
    EXPECT_TRUE(ui::UiThread::isCurrent()) << "form " << form.name() << " run off the UI thread";
    m_runs.push_back(form.name());
    form.prepare();
    if (form.isFinished()) // its onInit closed it already
        return form.outcome();
    auto it = m_scripts.find(form.name());
    if (it == m_scripts.end() || !it->second) {
        if (m_strict)
            ADD_FAILURE() << "Unexpected modal form " << form.name();
        form.finish(ui::Cancel);
        return ui::Cancel;
    }
    const Script script = it->second; // a copy: the script may register others
    ui::FormDriver driver(form);
    script(driver);
    for (const std::string& problem : driver.problems())
        ADD_FAILURE() << "Form " << form.name() << ": " << problem;
    if (!form.isFinished()) {
        ADD_FAILURE() << "The script for " << form.name() << " left the form open";
        form.finish(ui::Cancel);
        return ui::Cancel;
    }
    return form.outcome();
}

void ScriptedModalHost::showModeless(ui::Form& form)
{
    m_shown.push_back(form.name());
    form.prepare();
    form.show();
}

} // namespace testkit
