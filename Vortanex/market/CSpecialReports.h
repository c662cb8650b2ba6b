#pragma once
// The special-reports dialog: bulk deals of an exchange (mode 1), the FII
// activity (mode 2) and the MF activity (mode 3), each fetched each time the
// dialog is shown or another exchange is chosen, listed, drawn as a net
// investment chart (modes 2 and 3) and saved as CSV text or the chart as an
// image. The ribbon opens it modally on the handler's stack.
//
// The request and the parse run on a worker; the result comes back by value
// to the UI thread and is dropped when the dialog is gone or a newer fetch
// has replaced it. Closing ends the exchange in flight without waiting for it.
#include "market/SpecialReportData.h"

#include "ui/form.h"

#include <memory>
#include <string>

class CMyListCtrl;
class ExchangeCancel;
class NetInvestmentChart;

namespace ui {
class Commands;
}

class CSpecialReports final : public ui::Form {
    Q_OBJECT
public:
    static constexpr int kTemplateId = 195;
    enum ControlId : int {
        kList = 1121,
        kExchangeLabel = 1132,
        kExchange = 1134,
        kChart = 1258,
        kSave = 1279,
        kStatus = 1343,
    };
    enum CommandId : int {
        kSaveGrid = 32933,
        kSaveChart = 32934,
    };

    explicit CSpecialReports(int mode, QWidget* parent = nullptr);
    ~CSpecialReports() override;

    int mode() const { return m_mode; }
    CMyListCtrl* list() const { return m_list; }
    NetInvestmentChart* chart() const { return m_chart; }
    std::string statusText() const;
    bool busy() const { return m_busy; }
    // Fetches whose result was shown (one that was replaced or dropped is not counted).
    int fetchCount() const { return m_fetches; }

    // Starts a fetch of the mode's report on a worker; a fetch still running
    // is ended and its result dropped.
    void StartFetch();
    // The exchange combo's choice (bulk deals): fetches again.
    void OnExchangeChange();
    // The Save menu's result with the chosen path; false when nothing was
    // written.
    bool SaveTo(int command, const std::string& path);
    void OnSave();

    struct Result;

protected:
    void onInit() override;
    void showEvent(QShowEvent* event) override;

private:
    void apply(const Result& r);

    int m_mode = sr::kBulkDeals;
    bool m_busy = false;
    int m_fetches = 0;
    unsigned m_generation = 0; // the fetch whose result is awaited
    std::shared_ptr<ExchangeCancel> m_cancel;
    CMyListCtrl* m_list = nullptr;
    NetInvestmentChart* m_chart = nullptr;
    struct Alive;
    std::shared_ptr<Alive> m_alive;
};

// Commands 1124 (bulk deals), 1127 (FII activity) and 1130 (MF activity).
void InstallSpecialReports(ui::Commands& commands, QWidget* mainWindow);
