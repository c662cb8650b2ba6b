#pragma once
// Drives a form as its user would, by control id: typing goes through the
// edit's rules, clicks reach only enabled and shown controls and run the
// form's handlers. Steps the user could not take (a disabled button, an
// unknown id, an index past the items) are refused and recorded as problems.
#include <string>
#include <string_view>
#include <vector>

class QWidget;

namespace ui {

class Form;

class FormDriver {
public:
    explicit FormDriver(Form& form);

    FormDriver& type(int id, std::string_view text);
    FormDriver& pick(int id, int index);
    FormDriver& check(int id, bool on);
    FormDriver& click(int id);
    FormDriver& step(int spinId, int delta);

    Form& form() { return m_form; }
    const std::vector<std::string>& problems() const { return m_problems; }

private:
    QWidget* usable(int id, const char* what);
    void problem(std::string text);

    Form& m_form;
    std::vector<std::string> m_problems;
};

} // namespace ui
