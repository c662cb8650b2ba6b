#include "ui/form.h"

#include "ui/prompter.h"
#include "ui/text_fit.h"

#include "pf/log.h"

#include <algorithm>


#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>

#include <algorithm>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QValidator>

#include <QEvent>

#include <climits>
#include <cmath>
#include <exception>

namespace ui {
namespace form_detail {
namespace {

// Dialog units to pixels with the units of the form's font.
QRect toPixels(const DluRect& r, const DialogUnits& u)
{
    const auto across = [&u](int units) { return static_cast<int>(std::lround(units * u.x / 4)); };
    const auto down = [&u](int units) { return static_cast<int>(std::lround(units * u.y / 8)); };
    return QRect(across(r.x), down(r.y), across(r.width), down(r.height));
}

// A control the user reads or types in (frames and group boxes lie behind
// the controls by design).
bool takesRoom(const QWidget& w)
{
    return !qobject_cast<const QGroupBox*>(&w) && !(qobject_cast<const QFrame*>(&w) && !qobject_cast<const QLabel*>(&w) &&
                                                    static_cast<const QFrame&>(w).frameShape() == QFrame::NoFrame);
}

QString qs(std::string_view s)
{
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

// Applies an edit's rules to typed text (the validator may rewrite what is
// typed: upper case, forbidden characters removed, length cut).
class RulesValidator final : public QValidator {
public:
    RulesValidator(EditRules rules, QObject* parent) : QValidator(parent), m_rules(std::move(rules)) {}
    State validate(QString& input, int& pos) const override
    {
        const QString fixed = QString::fromStdString(m_rules.apply(input.toStdString()));
        if (fixed != input) {
            pos = std::min<int>(pos, static_cast<int>(fixed.size()));
            input = fixed;
        }
        return Acceptable;
    }

private:
    EditRules m_rules;
};

} // namespace
} // namespace form_detail

Form::Form(FormSpec spec, QWidget* parent) : QDialog(parent), m_spec(std::move(spec))
{
    setObjectName(QString::fromStdString(m_spec.name));
    setWindowTitle(QString::fromStdString(m_spec.caption));
    m_keys = new KeyFilter(this);
    build();
}

void Form::changeEvent(QEvent* event)
{
    QDialog::changeEvent(event);
    if (event->type() == QEvent::WindowTitleChange)
        keepTitleWhole(*this);
}

Form::~Form() = default;

QRect Form::toPixels(const DluRect& rect) const
{
    return form_detail::toPixels(rect, m_units);
}

void Form::build()
{
    ensurePolished();
    m_units = dialogUnitsFor(font());
    if (m_spec.width > 0 && m_spec.height > 0)
        resize(toPixels({0, 0, m_spec.width, m_spec.height}).size());
    m_keys->watch(this);
    std::map<int, QButtonGroup*> radioGroups;
    for (const ControlSpec& spec : m_spec.controls) {
        if (m_controls.count(spec.id) && spec.id != 0 && spec.id != -1) {
            pf::logLine(0, "Form " + m_spec.name + ": control id " + std::to_string(spec.id) + " used twice");
            continue;
        }
        QWidget* w = makeControl(spec);
        QRect place = toPixels(spec.rect);
        // A combo box's template height includes its dropped-down list; the
        // closed box is one line high.
        if (qobject_cast<QComboBox*>(w))
            place.setHeight(std::min(place.height(), w->sizeHint().height()));
        w->setGeometry(place);
        m_keys->watch(w);
        if (spec.kind == ControlKind::Group)
            w->lower(); // frames stay behind the controls they enclose
        if (spec.kind == ControlKind::Radio) {
            QButtonGroup*& group = radioGroups[spec.group];
            if (!group) {
                group = new QButtonGroup(this);
                group->setExclusive(true);
            }
            group->addButton(static_cast<QAbstractButton*>(w));
        }
        // Labels often share id -1 (IDC_STATIC); they are not addressable.
        if (spec.id != -1)
            m_controls[spec.id] = Control{spec, w};
    }
    widenLabels();
    keepTitleWhole(*this);
}

void Form::widenLabels()
{
    // A label narrower than its text takes the free room beside it, on the
    // side its alignment grows to, up to the next control on its line (less
    // a gap) or the form's edge: a template drawn for a narrower font keeps
    // its texts whole and apart.
    for (QLabel* label : findChildren<QLabel*>(Qt::FindDirectChildrenOnly))
        widenLabel(*label);
}

void Form::widenLabel(QLabel& labelRef)
{
    constexpr int kGap = 4;
    QLabel* label = &labelRef;
    {
        if (label->wordWrap() || label->text().isEmpty() || label->parentWidget() != this)
            return;
        const int need = label->fontMetrics().horizontalAdvance(label->text()) + 2 * label->margin() + 1;
        QRect r = label->geometry();
        if (need <= r.width())
            return;
        int leftLimit = 0, rightLimit = width();
        for (QObject* o : children()) {
            auto* other = qobject_cast<QWidget*>(o);
            if (!other || other == label || other->isWindow() || other->isHidden() || !form_detail::takesRoom(*other))
                continue;
            const QRect g = other->geometry();
            if (g.bottom() < r.top() || g.top() > r.bottom())
                continue; // another line
            if (g.left() >= r.right())
                rightLimit = std::min(rightLimit, g.left() - kGap);
            else if (g.right() <= r.left())
                leftLimit = std::max(leftLimit, g.right() + 1 + kGap);
        }
        const int more = need - r.width();
        if (label->alignment() & Qt::AlignRight) {
            r.setLeft(std::max(leftLimit, r.left() - more));
        } else if (label->alignment() & Qt::AlignHCenter) {
            r.setLeft(std::max(leftLimit, r.left() - (more + 1) / 2));
            r.setRight(std::min(rightLimit - 1, r.right() + (more + 1) / 2));
        } else {
            r.setRight(std::min(rightLimit - 1, r.right() + more));
        }
        if (r.width() > label->width())
            label->setGeometry(r);
    }
}

QWidget* Form::makeControl(const ControlSpec& spec)
{
    const QString caption = QString::fromStdString(spec.caption);
    const int id = spec.id;
    switch (spec.kind) {
    case ControlKind::Label:
        return new QLabel(caption, this);
    case ControlKind::Static: {
        auto* frame = new QFrame(this);
        frame->setFrameShape(QFrame::NoFrame);
        return frame;
    }
    case ControlKind::Edit:
    case ControlKind::Password: {
        auto* edit = new QLineEdit(this);
        if (spec.kind == ControlKind::Password)
            edit->setEchoMode(QLineEdit::Password);
        // The length limit is the validator's: it counts what is left after
        // forbidden characters are removed, as the limit of typed text does.
        edit->setReadOnly(spec.rules.readOnly);
        edit->setValidator(new form_detail::RulesValidator(spec.rules, edit));
        edit->setText(QString::fromStdString(spec.rules.apply(spec.caption)));
        connect(edit, &QLineEdit::textChanged, this, [this, id] { runChanged(id); });
        return edit;
    }
    case ControlKind::MultiLine: {
        auto* edit = new QPlainTextEdit(caption, this);
        edit->setReadOnly(spec.rules.readOnly);
        connect(edit, &QPlainTextEdit::textChanged, this, [this, id] { runChanged(id); });
        return edit;
    }
    case ControlKind::Button:
    case ControlKind::DefaultButton: {
        auto* button = new QPushButton(caption, this);
        button->setAutoDefault(false);
        button->setDefault(spec.kind == ControlKind::DefaultButton);
        connect(button, &QPushButton::clicked, this, [this, id] { runClick(id); });
        return button;
    }
    case ControlKind::Check:
    case ControlKind::Radio: {
        QAbstractButton* button = spec.kind == ControlKind::Check
            ? static_cast<QAbstractButton*>(new QCheckBox(caption, this))
            : new QRadioButton(caption, this);
        if (spec.kind == ControlKind::Radio)
            button->setAutoExclusive(false); // the form's button group decides
        connect(button, &QAbstractButton::clicked, this, [this, id] { runClick(id); });
        return button;
    }
    case ControlKind::Combo:
    case ControlKind::ComboEdit: {
        auto* combo = new QComboBox(this);
        combo->setEditable(spec.kind == ControlKind::ComboEdit);
        if (spec.kind == ControlKind::ComboEdit) {
            combo->setValidator(new form_detail::RulesValidator(spec.rules, combo));
            connect(combo, &QComboBox::currentTextChanged, this, [this, id] { runChanged(id); });
        } else {
            connect(combo, &QComboBox::currentIndexChanged, this, [this, id] { runChanged(id); });
        }
        return combo;
    }
    case ControlKind::List: {
        auto* list = new QListWidget(this);
        connect(list, &QListWidget::currentRowChanged, this, [this, id] { runChanged(id); });
        return list;
    }
    case ControlKind::Spin: {
        auto* spin = new QSpinBox(this);
        spin->setRange(INT_MIN, INT_MAX);
        connect(spin, &QSpinBox::valueChanged, this, [this, id] { runChanged(id); });
        return spin;
    }
    case ControlKind::Group:
        return new QGroupBox(caption, this);
    }
    return new QWidget(this);
}

const ControlSpec* Form::controlSpec(int id) const
{
    auto it = m_controls.find(id);
    return it == m_controls.end() ? nullptr : &it->second.spec;
}

const Form::Control* Form::find(int id, const char* what) const
{
    auto it = m_controls.find(id);
    if (it == m_controls.end() || !it->second.widget) {
        pf::logLine(0, "Form " + m_spec.name + "::" + what + ": no control " + std::to_string(id));
        return nullptr;
    }
    return &it->second;
}

QWidget* Form::control(int id) const
{
    const Control* c = find(id, "control");
    return c ? c->widget.data() : nullptr;
}

std::string Form::text(int id) const
{
    const Control* c = find(id, "text");
    if (!c)
        return {};
    QWidget* w = c->widget;
    QString t;
    if (auto* label = qobject_cast<QLabel*>(w))
        t = label->text();
    else if (auto* edit = qobject_cast<QLineEdit*>(w))
        t = edit->text();
    else if (auto* plain = qobject_cast<QPlainTextEdit*>(w))
        t = plain->toPlainText();
    else if (auto* button = qobject_cast<QAbstractButton*>(w))
        t = button->text();
    else if (auto* combo = qobject_cast<QComboBox*>(w))
        t = combo->currentText();
    else if (auto* list = qobject_cast<QListWidget*>(w))
        t = list->currentItem() ? list->currentItem()->text() : QString();
    else if (auto* spin = qobject_cast<QSpinBox*>(w))
        t = QString::number(spin->value());
    else if (auto* group = qobject_cast<QGroupBox*>(w))
        t = group->title();
    return t.toStdString();
}

void Form::setText(int id, std::string_view text)
{
    const Control* c = find(id, "setText");
    if (!c)
        return;
    QWidget* w = c->widget;
    const QString t = form_detail::qs(text);
    if (auto* label = qobject_cast<QLabel*>(w)) {
        label->setText(t);
        widenLabel(*label);
    } else if (auto* edit = qobject_cast<QLineEdit*>(w)) {
        edit->setText(QString::fromStdString(c->spec.rules.apply(text)));
    } else if (auto* plain = qobject_cast<QPlainTextEdit*>(w)) {
        plain->setPlainText(t);
    } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
        button->setText(t);
    } else if (auto* combo = qobject_cast<QComboBox*>(w)) {
        const QSignalBlocker block(combo);
        if (combo->isEditable())
            combo->setEditText(QString::fromStdString(c->spec.rules.apply(text)));
        else
            combo->setCurrentIndex(combo->findText(t)); // selects the item with that text, or none
    } else if (auto* spin = qobject_cast<QSpinBox*>(w)) {
        bool ok = false;
        const int value = t.trimmed().toInt(&ok);
        if (ok)
            spin->setValue(value);
    } else if (auto* group = qobject_cast<QGroupBox*>(w)) {
        group->setTitle(t);
    }
}

void Form::enable(int id, bool on)
{
    if (const Control* c = find(id, "enable"))
        c->widget->setEnabled(on);
}

bool Form::isEnabled(int id) const
{
    const Control* c = find(id, "isEnabled");
    return c && c->widget->isEnabled();
}

void Form::showControl(int id, bool on)
{
    if (const Control* c = find(id, "showControl"))
        c->widget->setVisible(on);
}

bool Form::isVisible(int id) const
{
    const Control* c = find(id, "isVisible");
    return c && !c->widget->isHidden();
}

bool Form::checked(int id) const
{
    const Control* c = find(id, "checked");
    auto* button = c ? qobject_cast<QAbstractButton*>(c->widget) : nullptr;
    return button && button->isChecked();
}

void Form::setChecked(int id, bool on)
{
    const Control* c = find(id, "setChecked");
    auto* button = c ? qobject_cast<QAbstractButton*>(c->widget) : nullptr;
    if (!button)
        return;
    button->setCheckable(true);
    button->setChecked(on);
}

void Form::setComboItems(int id, const std::vector<std::string>& items)
{
    const Control* c = find(id, "setComboItems");
    if (!c)
        return;
    QStringList list;
    for (const std::string& item : items)
        list << QString::fromStdString(item);
    if (auto* combo = qobject_cast<QComboBox*>(c->widget)) {
        const QSignalBlocker block(combo);
        combo->clear();
        combo->addItems(list);
        combo->setCurrentIndex(-1);
    } else if (auto* listWidget = qobject_cast<QListWidget*>(c->widget)) {
        const QSignalBlocker block(listWidget);
        listWidget->clear();
        listWidget->addItems(list);
    }
}

std::vector<std::string> Form::comboItems(int id) const
{
    std::vector<std::string> items;
    const Control* c = find(id, "comboItems");
    if (!c)
        return items;
    if (auto* combo = qobject_cast<QComboBox*>(c->widget)) {
        for (int i = 0; i < combo->count(); ++i)
            items.push_back(combo->itemText(i).toStdString());
    } else if (auto* list = qobject_cast<QListWidget*>(c->widget)) {
        for (int i = 0; i < list->count(); ++i)
            items.push_back(list->item(i)->text().toStdString());
    }
    return items;
}

int Form::comboIndex(int id) const
{
    const Control* c = find(id, "comboIndex");
    if (!c)
        return -1;
    if (auto* combo = qobject_cast<QComboBox*>(c->widget))
        return combo->currentIndex();
    if (auto* list = qobject_cast<QListWidget*>(c->widget))
        return list->currentRow();
    return -1;
}

void Form::setComboIndex(int id, int index)
{
    const Control* c = find(id, "setComboIndex");
    if (!c)
        return;
    if (auto* combo = qobject_cast<QComboBox*>(c->widget)) {
        const QSignalBlocker block(combo);
        combo->setCurrentIndex(index >= 0 && index < combo->count() ? index : -1);
    } else if (auto* list = qobject_cast<QListWidget*>(c->widget)) {
        const QSignalBlocker block(list);
        list->setCurrentRow(index >= 0 && index < list->count() ? index : -1);
    }
}

void Form::focus(int id, bool selectAll)
{
    const Control* c = find(id, "focus");
    if (!c)
        return;
    c->widget->setFocus(Qt::OtherFocusReason);
    if (!selectAll)
        return;
    if (auto* edit = qobject_cast<QLineEdit*>(c->widget))
        edit->selectAll();
    else if (auto* combo = qobject_cast<QComboBox*>(c->widget); combo && combo->lineEdit())
        combo->lineEdit()->selectAll();
}

int Form::focusedId() const
{
    // focusWidget() is the control that has, or will get, the focus when the
    // form is active; the editor inside an editable combo counts as the combo.
    for (QWidget* w = focusWidget(); w && w != this; w = w->parentWidget())
        for (const auto& [id, control] : m_controls)
            if (control.widget == w)
                return id;
    return 0;
}

void Form::onClick(int id, std::function<void()> handler)
{
    m_clickHandlers[id] = std::move(handler);
}

void Form::onChanged(int id, std::function<void()> handler)
{
    m_changeHandlers[id] = std::move(handler);
}

void Form::finish(int outcome)
{
    m_outcome = outcome;
    m_finished = true;
    QDialog::done(outcome);
}

void Form::prepare()
{
    m_finished = false;
    m_outcome = 0;
    if (m_initDone)
        return;
    m_initDone = true;
    try {
        onInit();
    } catch (const std::exception& e) {
        pf::logLine(0, "SException in " + m_spec.name + "::onInit : [" + e.what() + "]");
    } catch (...) {
        pf::logLine(0, "Exception in " + m_spec.name + "::onInit");
    }
}

void Form::accept()
{
    runClick(Ok);
}

void Form::reject()
{
    runClick(Cancel);
}

void Form::runClick(int id)
{
    emit controlClicked(id);
    if (m_clickHandlers.count(id)) {
        runHandler(m_clickHandlers, id, "click");
        return;
    }
    // Unhandled Ok and Cancel buttons close the form, as a dialog's defaults do.
    if (id == Ok || id == Cancel)
        finish(id);
}

void Form::runChanged(int id)
{
    if (m_changeHandlers.count(id))
        runHandler(m_changeHandlers, id, "change");
}

void Form::runHandler(const std::map<int, std::function<void()>>& handlers, int id, const char* what)
{
    auto it = handlers.find(id);
    if (it == handlers.end() || !it->second)
        return;
    const auto handler = it->second; // a copy: the handler may replace itself
    try {
        handler();
    } catch (const std::exception& e) {
        pf::logLine(0, "SException in " + m_spec.name + " " + what + " " + std::to_string(id) + " : [" + e.what()
                           + "]");
    } catch (...) {
        pf::logLine(0, "Exception in " + m_spec.name + " " + what + " " + std::to_string(id));
    }
}

} // namespace ui
