#pragma once
// "Alert Manager": every price alert in a list, and one alert at a time in
// the edit fields (security, type, criteria, value, name, frequency). Save
// checks the alert and stores it; the list's menu modifies, removes or clears
// alerts. The alerts file is written when the dialog closes. Modal, UI thread.
#include "ui/form.h"

#include <string>
#include <vector>

class QTreeWidget;

class CAlertManager final : public ui::Form {
    Q_OBJECT
public:
    static constexpr int kTemplateId = 226;
    static constexpr int kSave = 1;
    static constexpr int kCancel = 2;
    static constexpr int kList = 1208;
    static constexpr int kSecurity = 1210;
    static constexpr int kName = 1218;
    static constexpr int kFrequency = 1337;
    static constexpr int kType = 1338;
    static constexpr int kCriteria = 1340;
    static constexpr int kValue = 1341;
    static constexpr int kChoose = 1342;
    static constexpr int kStatus = 1343;

    static constexpr int kClearAll = 32925;
    static constexpr int kRemove = 32926;
    static constexpr int kModify = 32930;

    explicit CAlertManager(QWidget* parent = nullptr);
    // Writes the alerts file: it follows every change the dialog made,
    // however the dialog ended.
    ~CAlertManager() override;

    // Set by the opener before the dialog runs.
    void setSecurity(int security) { m_security = security; }
    // The popup's "Modify Alert": the alert's key and name, modify mode on.
    void setModify(std::string key, std::string name);

    int security() const { return m_security; }
    bool modifyMode() const { return m_modify; }
    bool fieldsEnabled() const { return m_enabled; }

    // Save (button 1).
    void OnOK();
    // "..." : the add-scrip dialog picks the security.
    void OnChooseSecurity();
    // A click on a row of the list (its position).
    void OnClickListAlerts(int row);
    // The list's context menu at a row; and its three commands.
    void OnContextMenu(int row);
    void OnModifySelected();
    void OnRemoveSelected();
    void OnClearAll();
    // The value edit changed: the decimals it may still take.
    void OnValueChanged();

    // Every open manager lists the table again, keeping the selected row: an
    // alert that fired while it was open shows its tracked time, or goes when
    // it fired once. UI thread.
    static void RefreshOpenLists();

    // The list as shown: one row of nine texts per alert, in key order.
    std::vector<std::vector<std::string>> listRows() const;
    int valueMaxLength() const;

protected:
    void onInit() override;

private:
    void fillList();
    void enableFields(bool on);
    void showAlert(const std::string& key);
    void resetFields();
    std::string selectedKey() const;

    int m_security = -1;
    bool m_modify = false;
    bool m_enabled = false;
    std::string m_editedKey;
    std::string m_editedName;
    std::vector<std::string> m_rowKeys; // the key of each list row, by position
    int m_selected = -1;
    QTreeWidget* m_list = nullptr;
};

// Runs the dialog for a security (-1: none), or for one alert in modify mode
// when `key` is given.
void OpenAlertManager(QWidget* parent, int security, const std::string& name = {}, const std::string& key = {});
