#pragma once
// "Security Search": finds securities of the master by the first letters of
// the display key or by scrip code, filtered by exchange and type, or lists a
// pre-defined watch list. Mode 1 adds the chosen rows to the calling market
// watch; mode 5 hands one security back (chosenIndex). Run it with
// ui::modalHost(). UI thread.
#include "ui/form.h"

#include <string>
#include <vector>

class CVortanexView;
class QTreeWidget;

class CScrip final : public ui::Form {
    Q_OBJECT
public:
    static constexpr int kTemplateId = 106;
    static constexpr int kName = 1021;
    static constexpr int kCode = 1037;
    static constexpr int kNse = 1038, kBse = 1040, kNseFx = 1039, kMcxSx = 1054, kNcdex = 1542, kMcx = 1543;
    static constexpr int kCash = 1028, kFuture = 1031, kOption = 1033, kOthers = 1030;
    static constexpr int kExpiry = 1200;
    static constexpr int kStrike = 1211;
    static constexpr int kSearch = 1025;
    static constexpr int kCategory = 1103;
    static constexpr int kList = 1104;
    static constexpr int kResults = 1105;

    // mode 1: add to `view`; mode 5: return one security.
    CScrip(int mode, CVortanexView* view, QWidget* parent = nullptr);

    int chosenIndex() const { return m_chosen; }
    int mode() const { return m_mode; }

    void OnSearch();
    void OnOK();
    // The expiry and strike lists of the typed name.
    void FillExpiryAndStrike();
    void OnCategory();
    void OnWatchlist();

    // The results list: securities in shown order, and the selection.
    QTreeWidget* results() const { return m_results; }
    std::vector<int> resultSecurities() const;
    void selectResults(const std::vector<int>& rows);

protected:
    void onInit() override;

private:
    void showResults(const std::vector<int>& securities);
    std::vector<int> selectedSecurities() const;

    int m_mode = 1;
    CVortanexView* m_view = nullptr;
    int m_chosen = -1;
    QTreeWidget* m_results = nullptr;
};
