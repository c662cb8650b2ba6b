#pragma once
// A modal host for tests: instead of a nested event loop, a form is run by
// the script registered under its name, which drives it by control id and
// must finish it; run returns the outcome the form was finished with. A form
// without a script fails the test in strict mode (the default) and is
// cancelled. Modeless forms are shown as real (offscreen) widgets. UI thread.
#include "ui/form_driver.h"
#include "ui/modal_host.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace testkit {

class ScriptedModalHost final : public ui::ModalHost {
public:
    using Script = std::function<void(ui::FormDriver& driver)>;

    // Replaces the script for forms of that name; it serves every run.
    void script(const std::string& formName, Script script);
    void setStrict(bool strict) { m_strict = strict; }

    // Names of the forms run modally and shown modeless, in order.
    const std::vector<std::string>& runs() const { return m_runs; }
    const std::vector<std::string>& shown() const { return m_shown; }

    int run(ui::Form& form) override;
    void showModeless(ui::Form& form) override;

private:
    std::map<std::string, Script> m_scripts;
    std::vector<std::string> m_runs;
    std::vector<std::string> m_shown;
    bool m_strict = true;
};

} // namespace testkit
