#pragma once
// A dialog built from a control table whose controls the window's code
// addresses by their numeric ids, as the dialog templates number them.
// Buttons 1 and 2 close the form with Ok and Cancel unless the code handles
// them; Escape and the window's close button act as button 2.
#include "ui/form_spec.h"
#include "ui/key_filter.h"
#include "ui/text_fit.h"

#include <QDialog>
#include <QPointer>

#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

class QLabel;

namespace ui {

class Form : public QDialog {
    Q_OBJECT
public:
    explicit Form(FormSpec spec, QWidget* parent = nullptr);
    ~Form() override;

    const std::string& name() const { return m_spec.name; }
    int templateId() const { return m_spec.templateId; }
    const ControlSpec* controlSpec(int id) const;
    // The widget of a control; null (and a log line) for an unknown id.
    QWidget* control(int id) const;

    // Text of labels, edits, buttons, group titles, the current combo or list
    // item and a spin's number. Setting an edit's text applies its rules and
    // runs its change handler, as typing would.
    std::string text(int id) const;
    void setText(int id, std::string_view text);

    using QWidget::isEnabled;
    using QWidget::isVisible;
    void enable(int id, bool on = true);
    bool isEnabled(int id) const;
    void showControl(int id, bool on = true);
    bool isVisible(int id) const; // not hidden by the code (the form itself may be unshown)

    bool checked(int id) const;
    void setChecked(int id, bool on);

    // Combo and list items; setting them does not run change handlers.
    void setComboItems(int id, const std::vector<std::string>& items);
    std::vector<std::string> comboItems(int id) const;
    int comboIndex(int id) const; // -1 when none
    void setComboIndex(int id, int index);

    void focus(int id, bool selectAll = false);
    int focusedId() const; // 0 when no control has the focus

    // Handlers by control id: click for buttons, checks and radios; change
    // for edits (any change), combos, lists and spins (the user's changes).
    void onClick(int id, std::function<void()> handler);
    void onChanged(int id, std::function<void()> handler);
    // What the keys do before the focused control sees them.
    KeyFilter& keys() { return *m_keys; }

    // Ends the form with an outcome (1 Ok, 2 Cancel, or the form's own).
    void finish(int outcome);
    bool isFinished() const { return m_finished; }
    int outcome() const { return m_outcome; }

    // Called by the modal hosts before the form is shown: runs onInit once.
    void prepare();

    // A rectangle of the control table in this form's pixels: the dialog
    // units of the form's font (ui/text_fit.h).
    QRect toPixels(const DluRect& rect) const;

public slots:
    void accept() override;
    void reject() override;

signals:
    void controlClicked(int id);

protected:
    // The window's initialisation (filling controls from its data).
    virtual void onInit() {}
    // A new title widens the form to keep it whole.
    void changeEvent(QEvent* event) override;

private:
    struct Control {
        ControlSpec spec;
        QPointer<QWidget> widget;
    };
    void build();
    void widenLabels();
    void widenLabel(QLabel& label);
    QWidget* makeControl(const ControlSpec& spec);
    const Control* find(int id, const char* what) const;
    void runClick(int id);
    void runChanged(int id);
    void runHandler(const std::map<int, std::function<void()>>& handlers, int id, const char* what);

    FormSpec m_spec;
    std::map<int, Control> m_controls;
    std::map<int, std::function<void()>> m_clickHandlers;
    std::map<int, std::function<void()>> m_changeHandlers;
    KeyFilter* m_keys = nullptr;
    DialogUnits m_units;
    bool m_initDone = false;
    bool m_finished = false;
    int m_outcome = 0;
};

} // namespace ui
