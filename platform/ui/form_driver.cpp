#include "ui/form_driver.h"

#include "ui/form.h"

#include "pf/log.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QSpinBox>

namespace ui {

FormDriver::FormDriver(Form& form) : m_form(form) {}

void FormDriver::problem(std::string text)
{
    pf::logLine(1, "FormDriver " + m_form.name() + ": " + text);
    m_problems.push_back(std::move(text));
}

QWidget* FormDriver::usable(int id, const char* what)
{
    const std::string where = std::string(what) + "(" + std::to_string(id) + ")";
    if (!m_form.controlSpec(id)) {
        problem(where + ": no such control");
        return nullptr;
    }
    QWidget* w = m_form.control(id);
    if (!w || w->isHidden()) {
        problem(where + ": control is hidden");
        return nullptr;
    }
    if (!w->isEnabled()) {
        problem(where + ": control is disabled");
        return nullptr;
    }
    return w;
}

FormDriver& FormDriver::type(int id, std::string_view text)
{
    QWidget* w = usable(id, "type");
    if (!w)
        return *this;
    const QString t = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    w->setFocus(Qt::OtherFocusReason);
    QLineEdit* edit = qobject_cast<QLineEdit*>(w);
    if (auto* combo = qobject_cast<QComboBox*>(w))
        edit = combo->lineEdit();
    if (edit) {
        if (edit->isReadOnly()) {
            problem("type(" + std::to_string(id) + "): control is read-only");
            return *this;
        }
        // insert() validates like typing does, so the edit's rules apply.
        edit->clear();
        edit->insert(t);
    } else if (auto* plain = qobject_cast<QPlainTextEdit*>(w)) {
        plain->setPlainText(t);
    } else if (auto* spin = qobject_cast<QSpinBox*>(w)) {
        bool ok = false;
        const int value = t.trimmed().toInt(&ok);
        if (ok)
            spin->setValue(value);
        else
            problem("type(" + std::to_string(id) + "): not a number");
    } else {
        problem("type(" + std::to_string(id) + "): control takes no text");
    }
    return *this;
}

FormDriver& FormDriver::pick(int id, int index)
{
    QWidget* w = usable(id, "pick");
    if (!w)
        return *this;
    if (auto* combo = qobject_cast<QComboBox*>(w)) {
        if (index < 0 || index >= combo->count()) {
            problem("pick(" + std::to_string(id) + "): no item " + std::to_string(index));
            return *this;
        }
        combo->setCurrentIndex(index);
        emit combo->activated(index);
    } else if (auto* list = qobject_cast<QListWidget*>(w)) {
        if (index < 0 || index >= list->count()) {
            problem("pick(" + std::to_string(id) + "): no item " + std::to_string(index));
            return *this;
        }
        list->setCurrentRow(index);
    } else {
        problem("pick(" + std::to_string(id) + "): not a combo or list");
    }
    return *this;
}

FormDriver& FormDriver::check(int id, bool on)
{
    auto* button = qobject_cast<QAbstractButton*>(usable(id, "check"));
    if (!button)
        return *this;
    if (button->isChecked() == on)
        return *this;
    if (!on && qobject_cast<QRadioButton*>(button)) {
        problem("check(" + std::to_string(id) + "): a radio is cleared by choosing another");
        return *this;
    }
    button->click();
    return *this;
}

FormDriver& FormDriver::click(int id)
{
    if (auto* button = qobject_cast<QAbstractButton*>(usable(id, "click")))
        button->click();
    else if (m_form.controlSpec(id) && m_form.control(id) && m_form.control(id)->isEnabled()
             && !m_form.control(id)->isHidden())
        problem("click(" + std::to_string(id) + "): not a button");
    return *this;
}

FormDriver& FormDriver::step(int spinId, int delta)
{
    QWidget* w = usable(spinId, "step");
    if (auto* spin = qobject_cast<QSpinBox*>(w))
        spin->stepBy(delta);
    else if (w)
        problem("step(" + std::to_string(spinId) + "): not a spin");
    return *this;
}

} // namespace ui
