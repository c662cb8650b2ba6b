#include "watch/CAlertManager.h"

#include "app/base/ActivityStamp.h"
#include "app/base/AppSettings.h"
#include "app/base/ExchangeNames.h"
#include "app/base/LogWriter.h"
#include "app/base/MessageBox.h"
#include "app/base/TextFormat.h"
#include "frame/FrameSubscriptions.h"
#include "server/FeedSubscriptions.h"
#include "server/SecurityTable.h"
#include "watch/AlertTable.h"
#include "watch/CScrip.h"

#include "ui/modal_host.h"
#include "ui/prompter.h"
#include "ui/text_fit.h"

#include <QCursor>
#include <QHeaderView>
#include <QLineEdit>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <ctime>

namespace alert_manager_detail {
namespace {

// The type list's items; the sixth carries the trailing blank the list has
// always shown. The table of types keeps the plain names.
const std::vector<std::string> kTypeItems = {"Bid Price", "Ask Price", "LTP",        "% Change",
                                             "Total Sell", "Total Buy ", "TTQ", "NetChange"};

std::string exchangeName(std::string_view code) { return ExchangeDisplayName(code, {"NN", "BN", "CN", "CM", "MC"}); }

std::string listTime(int64_t seconds)
{
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm tm{};
    localtime_r(&t, &tm);
    char text[48];
    std::strftime(text, sizeof text, "%d/%m/%Y %I:%M:%S %p", &tm);
    return text;
}

// A whole number or decimal, and nothing else.
bool readValue(const std::string& text, double& out)
{
    if (text.empty())
        return false;
    char* end = nullptr;
    out = std::strtod(text.c_str(), &end);
    return end == text.c_str() + text.size() && std::isfinite(out);
}

// The managers open now (UI thread only): a fire refills their lists.
std::vector<CAlertManager*> g_open;

// The box answers of Yes and No.
constexpr int kIdYes = 6;
constexpr int kIdNo = 7;

int ask(const std::string& text, unsigned style)
{
    return MyMessageBox(text, kProductCaption, style);
}

ui::FormSpec managerSpec()
{
    using ui::ControlKind;
    ui::EditRules nameRules;
    nameRules.maxLength = 20;
    nameRules.forbidden = "|\r\n"; // the alerts file stores the name as it is
    ui::EditRules readOnly;
    readOnly.readOnly = true;
    ui::EditRules valueRules;
    valueRules.forbidden = "|\r\n";
    ui::FormSpec spec;
    spec.templateId = CAlertManager::kTemplateId;
    spec.name = "CAlertManager";
    spec.caption = "Alert Manager";
    spec.width = 420;
    spec.height = 250;
    spec.controls = {
        {1001, ControlKind::Label, "Alert for : ", {7, 9, 60, 10}},
        {CAlertManager::kSecurity, ControlKind::Edit, "", {70, 7, 150, 13}, readOnly},
        {CAlertManager::kChoose, ControlKind::Button, "...", {224, 7, 20, 13}},
        {1002, ControlKind::Label, "Alert Type : ", {7, 27, 60, 10}},
        {CAlertManager::kType, ControlKind::Combo, "", {70, 25, 90, 13}},
        {1003, ControlKind::Label, "Alert criteria : ", {170, 27, 60, 10}},
        {CAlertManager::kCriteria, ControlKind::Combo, "", {232, 25, 40, 13}},
        {1004, ControlKind::Label, "Alert Value : ", {7, 45, 60, 10}},
        {CAlertManager::kValue, ControlKind::Edit, "", {70, 43, 90, 13}, valueRules},
        {1005, ControlKind::Label, "Alert Name : ", {170, 45, 60, 10}},
        {CAlertManager::kName, ControlKind::Edit, "", {232, 43, 100, 13}, nameRules},
        {1006, ControlKind::Label, "Alert frequency : ", {7, 63, 60, 10}},
        {CAlertManager::kFrequency, ControlKind::Combo, "", {70, 61, 90, 13}},
        {CAlertManager::kSave, ControlKind::DefaultButton, "Save", {300, 61, 50, 14}},
        {CAlertManager::kCancel, ControlKind::Button, "Cancel", {360, 61, 50, 14}},
        {CAlertManager::kList, ControlKind::Static, "", {7, 82, 406, 146}},
        {CAlertManager::kStatus, ControlKind::Label, "", {7, 232, 406, 10}},
    };
    return spec;
}

} // namespace
} // namespace alert_manager_detail

CAlertManager::CAlertManager(QWidget* parent) : ui::Form(alert_manager_detail::managerSpec(), parent)
{
    alert_manager_detail::g_open.push_back(this);
    onClick(kSave, [this] { OnOK(); });
    onClick(kChoose, [this] { OnChooseSecurity(); });
    onChanged(kValue, [this] { OnValueChanged(); });
    // The box takes no typing: it says where the security comes from.
    if (auto* box = qobject_cast<QLineEdit*>(control(kSecurity)))
        box->setPlaceholderText(QStringLiteral("Click ... to choose the security"));
}

void CAlertManager::setModify(std::string key, std::string name)
{
    m_editedKey = std::move(key);
    m_editedName = std::move(name);
    m_modify = true;
}

void CAlertManager::onInit()
{
    if (QWidget* holder = control(kList)) {
        auto* layout = new QVBoxLayout(holder);
        layout->setContentsMargins(0, 0, 0, 0);
        m_list = new QTreeWidget(holder);
        m_list->setRootIsDecorated(false);
        m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
        m_list->setColumnCount(9);
        m_list->setHeaderLabels(
            {"ME", "Security", "Type", "Criteria", "Value", "Name", "Set Time", "Tracked Time", "Recurring"});
        const int widths[9] = {50, 100, 50, 30, 60, 60, 60, 60, 50};
        for (int c = 0; c < 9; ++c)
            m_list->setColumnWidth(c, widths[c]);
        ui::fitHeaderSections(*m_list->header()); // no caption cut, whatever the font
        m_list->setContextMenuPolicy(Qt::CustomContextMenu);
        layout->addWidget(m_list);
        connect(m_list, &QTreeWidget::itemClicked, this,
                [this](QTreeWidgetItem* item, int) { OnClickListAlerts(m_list->indexOfTopLevelItem(item)); });
        connect(m_list, &QTreeWidget::customContextMenuRequested, this, [this](const QPoint& at) {
            OnContextMenu(m_list->indexOfTopLevelItem(m_list->itemAt(at)));
        });
    }
    setComboItems(kType, alert_manager_detail::kTypeItems);
    setComboItems(kCriteria, {">=", "<"});
    setComboItems(kFrequency, {"Once", "Recurring"});
    setComboIndex(kType, 0);
    setComboIndex(kCriteria, 0);
    setComboIndex(kFrequency, 0);

    const auto table = SecurityTable::current();
    if (m_security < 0 || !table || !table->valid(m_security)) {
        m_security = -1;
        setText(kSecurity, "");
        enableFields(false);
    } else {
        setText(kSecurity, table->row(m_security).displayKey().view());
        enableFields(true);
        if (m_modify) {
            setText(kName, m_editedName);
            if (const auto r = AlertTable::instance().find(m_editedKey)) {
                setComboIndex(kCriteria, r->criteria == kCriteriaBelow ? 1 : 0);
                setComboIndex(kType, r->type);
                setComboIndex(kFrequency, r->recurring ? 1 : 0);
                const bool cn = table->row(m_security).market_exchange == "CN";
                setText(kValue, formatText(cn ? "%.4lf" : "%.2lf", r->typed));
            }
        }
    }
    fillList();
}

void CAlertManager::enableFields(bool on)
{
    m_enabled = on;
    for (int id : {kType, kCriteria, kFrequency})
        enable(id, on);
    for (int id : {kName, kValue})
        if (auto* edit = qobject_cast<QLineEdit*>(control(id)))
            edit->setReadOnly(!on);
}

void CAlertManager::fillList()
{
    m_rowKeys.clear();
    m_selected = -1;
    if (m_list)
        m_list->clear();
    const auto table = SecurityTable::current();
    for (const auto& [key, r] : AlertTable::instance().entries()) {
        std::string exch, display;
        if (table && table->valid(r.secIndex)) {
            exch = std::string(table->row(r.secIndex).market_exchange.view());
            display = std::string(table->row(r.secIndex).displayKey().view());
        }
        const int decimals = AlertValueDecimals(r.type, exch);
        const QStringList texts = {
            QString::fromStdString(alert_manager_detail::exchangeName(exch)),
            QString::fromStdString(display),
            QString::fromUtf8(r.type >= 0 && r.type < kAlertTypeCount ? kAlertTypes[r.type].name : ""),
            QString::fromUtf8(AlertCriteriaText(r.criteria)),
            QString::fromStdString(formatText("%.*lf", decimals, r.typed)),
            QString::fromStdString(r.name),
            QString::fromStdString(alert_manager_detail::listTime(r.setTime)),
            r.triggered ? QString::fromStdString(alert_manager_detail::listTime(r.trackedTime)) : QStringLiteral("ACTIVE"),
            r.recurring ? QStringLiteral("YES") : QStringLiteral("NO"),
        };
        m_rowKeys.push_back(key);
        if (m_list) {
            auto* item = new QTreeWidgetItem(texts);
            item->setTextAlignment(4, Qt::AlignRight | Qt::AlignVCenter);
            item->setTextAlignment(5, Qt::AlignRight | Qt::AlignVCenter);
            m_list->addTopLevelItem(item);
        }
    }
    // Columns widen to their longest text: a key, a price or a date cut
    // short reads as another one.
    if (m_list)
        for (int c = 0; c < m_list->columnCount(); ++c)
            ui::widenColumnToContents(*m_list, c, m_list->columnWidth(c));
}

void CAlertManager::RefreshOpenLists()
{
    for (CAlertManager* dlg : alert_manager_detail::g_open) {
        if (!dlg->m_list)
            continue; // filled when it opens
        const std::string selected = dlg->selectedKey();
        dlg->fillList();
        const auto it = std::find(dlg->m_rowKeys.begin(), dlg->m_rowKeys.end(), selected);
        if (!selected.empty() && it != dlg->m_rowKeys.end()) {
            dlg->m_selected = static_cast<int>(it - dlg->m_rowKeys.begin());
            dlg->m_list->setCurrentItem(dlg->m_list->topLevelItem(dlg->m_selected));
        }
    }
}

std::vector<std::vector<std::string>> CAlertManager::listRows() const
{
    std::vector<std::vector<std::string>> rows;
    if (!m_list)
        return rows;
    for (int i = 0; i < m_list->topLevelItemCount(); ++i) {
        std::vector<std::string> row;
        for (int c = 0; c < 9; ++c)
            row.push_back(m_list->topLevelItem(i)->text(c).toStdString());
        rows.push_back(std::move(row));
    }
    return rows;
}

void CAlertManager::OnOK()
{
    try {
        if (!m_enabled)
            return;
        const auto table = SecurityTable::current();
        if (m_security < 0 || !table || !table->valid(m_security)) {
            alert_manager_detail::ask("Please select Security", MsgIconWarning);
            focus(kChoose);
            return;
        }
        const int type = comboIndex(kType);
        if (type < 0 || type >= kAlertTypeCount) {
            alert_manager_detail::ask("Please select alert type", MsgIconWarning);
            return;
        }
        double typed = 0;
        // A value that is not a number is no value (it would read as 0).
        if (!alert_manager_detail::readValue(text(kValue), typed)) {
            alert_manager_detail::ask("Please enter a value", MsgIconWarning);
            return;
        }
        const int criteria = comboIndex(kCriteria) == 1 ? kCriteriaBelow : kCriteriaAtOrAbove;
        const AlertType& t = kAlertTypes[type];
        const double trigger = typed * t.scale;
        const SecurityRecord& rec = table->row(m_security);
        const std::string display(rec.displayKey().view());
        const std::string exch(rec.market_exchange.view());
        const double current = ColumnKindValue(rec.quote(), t.quoteField);
        // Without a quote yet there is nothing the alert could already meet.
        const bool quoted = current != 0;
        const bool already = criteria == kCriteriaBelow ? trigger > current : current >= trigger;
        if (quoted && already) {
            alert_manager_detail::ask(formatText("Cannot save the alert as %s of %s is already %s %.2lf is [%.4lf]", t.name,
                                   display.c_str(), AlertCriteriaText(criteria), typed, current / t.scale),
                        MsgIconWarning);
            return;
        }
        const int frequency = comboIndex(kFrequency);
        if (frequency < 0) {
            alert_manager_detail::ask("Please select a frequency", MsgIconWarning);
            return;
        }
        const std::string name = text(kName);
        if (name.empty()) {
            alert_manager_detail::ask("Please enter a alert name", MsgIconWarning);
            return;
        }
        const int decimals = AlertValueDecimals(type, exch);
        AlertRecord r;
        r.secIndex = m_security;
        r.type = type;
        r.quoteField = t.quoteField;
        r.criteria = criteria;
        r.trigger = trigger;
        r.typed = typed;
        r.recurring = frequency != 0;
        r.name = AlertFileText(name);
        r.description = AlertDescription(type, display, alert_manager_detail::exchangeName(exch), criteria, typed, decimals);
        r.watchToken = rec.wtoken;
        r.symbol = std::string(rec.symbol.view());

        AlertTable& alerts = AlertTable::instance();
        if (!m_modify && alerts.countOf(m_security) >= 3) {
            alert_manager_detail::ask("Max of 3 alerts can be set for the same script", MsgIconInformation);
            return;
        }
        const std::string key = AlertKey(type, display, criteria, typed, decimals);
        // Changing an alert into itself is no duplicate.
        const bool sameAlert = m_modify && key == m_editedKey;
        if (!sameAlert) {
            const auto existing = alerts.find(key);
            if (existing && !existing->triggered && existing->criteria == r.criteria &&
                existing->quoteField == r.quoteField && existing->trigger == r.trigger &&
                alert_manager_detail::ask("The selected alert already exists do you want to modify this alert",
                            MsgYesNo | MsgIconQuestion) == alert_manager_detail::kIdNo)
                return; // the old alert stays as it was
        }
        // Only now is the old alert replaced: No above keeps it.
        if (m_modify && !m_editedKey.empty() && !sameAlert)
            alerts.erase(m_editedKey);
        if (g_AppSettings.alerts_switch == 0 &&
            alert_manager_detail::ask("Alert(s) are currently disabled would you like to activate the alerts?",
                        MsgYesNo | MsgIconQuestion) == alert_manager_detail::kIdYes) {
            g_AppSettings.alerts_switch = 1;
            SaveSettings();
            alert_manager_detail::ask("To disable the alerts go to Vortanex Settings and uncheck the ScripAlerts checkBox",
                        MsgIconInformation);
        }
        alerts.put(key, r);
        if (m_modify)
            m_editedKey = key;
        table->row(m_security).alert_flag.store(1);
        setText(kStatus, formatText("Alert for %s saved successfully", display.c_str()));
        fillList();
        Update_Feeds_Token();
        resetFields();
        enableFields(false);
    } catch (...) {
        WriteLog(0, "exception while saving");
    }
}

void CAlertManager::resetFields()
{
    setText(kName, "");
    setText(kValue, "");
    setComboIndex(kType, 0);
    setComboIndex(kCriteria, 0);
    setComboIndex(kFrequency, 0);
}

void CAlertManager::OnChooseSecurity()
{
    CScrip pick(5, nullptr, this);
    if (ui::modalHost().run(pick) != 1 || pick.chosenIndex() < 0)
        return;
    const auto table = SecurityTable::current();
    if (!table || !table->valid(pick.chosenIndex()))
        return;
    m_security = pick.chosenIndex();
    setText(kSecurity, table->row(m_security).displayKey().view());
    setText(kValue, "");
    setText(kName, "");
    enableFields(true);
}

void CAlertManager::showAlert(const std::string& key)
{
    const auto r = AlertTable::instance().find(key);
    const auto table = SecurityTable::current();
    if (!r || !table || !table->valid(r->secIndex))
        return;
    m_security = r->secIndex;
    const SecurityRecord& rec = table->row(m_security);
    setText(kSecurity, rec.displayKey().view());
    setComboIndex(kType, r->type);
    setComboIndex(kCriteria, r->criteria == kCriteriaBelow ? 1 : 0);
    setComboIndex(kFrequency, r->recurring ? 1 : 0);
    setText(kValue, formatText("%.*lf", AlertValueDecimals(r->type, rec.market_exchange.view()), r->typed));
    setText(kName, r->name);
}

std::string CAlertManager::selectedKey() const
{
    if (m_selected < 0 || m_selected >= static_cast<int>(m_rowKeys.size()))
        return {};
    return m_rowKeys[static_cast<size_t>(m_selected)];
}

void CAlertManager::OnClickListAlerts(int row)
{
    try {
        m_selected = row;
        if (m_list && row >= 0 && row < m_list->topLevelItemCount())
            m_list->setCurrentItem(m_list->topLevelItem(row));
        // Each row keeps the key it was filled from: rebuilding it from the
        // shown texts misses the type names the list and the combo spell
        // differently.
        const std::string key = selectedKey();
        if (key.empty())
            return;
        m_editedKey = key;
        if (!AlertTable::instance().contains(key))
            return;
        showAlert(key);
        enableFields(false);
        m_modify = false;
    } catch (...) {
        WriteLog(1, "Exception in CAlertManager::OnClickListAlerts");
    }
}

void CAlertManager::OnContextMenu(int row)
{
    try {
        if (m_rowKeys.empty() || row < 0)
            return;
        OnClickListAlerts(row);
        SetAccessTime();
        ui::MenuSpec menu;
        for (const auto& [id, text] : std::vector<std::pair<int, const char*>>{
                 {kModify, "Modify selected Alert"}, {kRemove, "Remove Selected Alert"}, {0, ""},
                 {kClearAll, "Clear All Alerts"}}) {
            ui::MenuItem item;
            item.id = id; // 0: the separator
            item.text = text;
            menu.items.push_back(std::move(item));
        }
        const QPoint at = QCursor::pos();
        switch (ui::prompter().pickMenuCommand(menu, at.x(), at.y())) {
        case kModify:
            OnModifySelected();
            break;
        case kRemove:
            OnRemoveSelected();
            break;
        case kClearAll:
            OnClearAll();
            break;
        default:
            break;
        }
    } catch (...) {
    }
}

void CAlertManager::OnModifySelected()
{
    m_modify = true;
    enableFields(true);
    if (auto* edit = qobject_cast<QLineEdit*>(control(kValue)))
        edit->setMaxLength(32767);
}

void CAlertManager::OnRemoveSelected()
{
    const std::string key = selectedKey();
    if (key.empty() || !AlertTable::instance().contains(key))
        return;
    showAlert(key);
    const std::string display = text(kSecurity);
    if (alert_manager_detail::ask(formatText("Are you sure you want to remove alert %s?", display.c_str()),
                    MsgYesNo | MsgIconQuestion) == alert_manager_detail::kIdNo)
        return;
    AlertTable::instance().erase(key);
    setText(kStatus, formatText("%s Removed from the alert list", display.c_str()));
    setText(kValue, "");
    setText(kName, "");
    if (auto alerts = CurrentAlertServices())
        alerts->WriteAlertDataToFile();
    fillList();
}

void CAlertManager::OnClearAll()
{
    if (alert_manager_detail::ask("Are You sure you want to clear all the alerts?", MsgYesNo | MsgIconQuestion) != alert_manager_detail::kIdYes)
        return;
    AlertTable::instance().clear();
    fillList();
    setText(kStatus, "All Alerts Cleared");
    enableFields(false);
    m_security = -1;
    if (auto alerts = CurrentAlertServices())
        alerts->WriteAlertDataToFile();
}

void CAlertManager::OnValueChanged()
{
    auto* edit = qobject_cast<QLineEdit*>(control(kValue));
    if (!edit)
        return;
    const std::string value = edit->text().toStdString();
    const size_t point = value.find('.');
    if (point == std::string::npos) {
        edit->setMaxLength(32767);
        return;
    }
    const int type = comboIndex(kType);
    std::string exch;
    const auto table = SecurityTable::current();
    if (table && table->valid(m_security))
        exch = std::string(table->row(m_security).market_exchange.view());
    // A price takes two decimals (four for currencies), a quantity none.
    int decimals = exch == "CN" || exch == "CM" ? 4 : 2;
    if (type >= 4 && type <= 6)
        decimals = 0;
    edit->setMaxLength(static_cast<int>(point) + 1 + decimals);
}

int CAlertManager::valueMaxLength() const
{
    const auto* edit = qobject_cast<const QLineEdit*>(control(kValue));
    return edit ? edit->maxLength() : 0;
}

CAlertManager::~CAlertManager()
{
    auto& open = alert_manager_detail::g_open;
    open.erase(std::remove(open.begin(), open.end(), this), open.end());
    try {
        if (auto alerts = CurrentAlertServices())
            alerts->WriteAlertDataToFile();
    } catch (...) {
        WriteLog(0, "Exception in CAlertManager::OnDestroy");
    }
}

void OpenAlertManager(QWidget* parent, int security, const std::string& name, const std::string& key)
{
    try {
        SetAccessTime();
        CAlertManager dlg(parent);
        dlg.setSecurity(security);
        if (!key.empty())
            dlg.setModify(key, name);
        ui::modalHost().run(dlg);
    } catch (...) {
        WriteLog(0, "Exception in OnSetAlert");
    }
}
