#pragma once
// "Convert Position": converts one intraday (Maxivane) position to delivery.
// ShowConvertPositionForm asks the server for the convertible quantity and
// the margin on a worker, then fills the single dialog; "Convert to
// Delivery" sends the conversion on a worker. While either runs the dialog is
// busy: a new opening is refused and the buttons stay off. UI thread only.
#include <QDialog>

#include <string>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

class CDlgConvertPosition : public QDialog {
    Q_OBJECT
public:
    explicit CDlgConvertPosition(QWidget* parent = nullptr);
    ~CDlgConvertPosition() override;

    // The values of a finished query, shown in the controls.
    void Fill(const std::string& clientCode, int secIndex, const std::string& exchangeName, char side, bool ok,
              int maxivaneQty, int convertible, int allowable, double margin);
    // Button 1: checks the quantity, then sends the conversion on a worker.
    void ConvertPosition();
    // A reply that failed after the request left (stateUnknown) leaves nothing
    // convertible until the next opening.
    void conversionDone(const std::string& text, const std::string& caption, bool warning, bool stateUnknown);
    // A query for a new opening runs: the form takes no conversion meanwhile.
    void setQuerying(bool on);

    bool busy = false;
    int convertibleQty() const { return m_convertible; }
    QLineEdit* quantityEdit() const { return m_quantity; }
    QPushButton* convertButton() const { return m_convert; }
    QLabel* maxivaneLabel() const { return m_maxivane; }

private:
    void enableControls(bool on);

    QLineEdit* m_client = nullptr;
    QLineEdit* m_security = nullptr;
    QComboBox* m_exchange = nullptr;
    QLineEdit* m_quantity = nullptr;
    QLabel* m_maxivane = nullptr;
    QLabel* m_allowable = nullptr;
    QLabel* m_margin = nullptr;
    QPushButton* m_convert = nullptr;
    QPushButton* m_cancel = nullptr;
    std::string m_clientCode;
    int m_secIndex = -1;
    std::string m_exchangeName;
    char m_side = ' ';
    int m_convertible = 0;
};

// The live dialog, or null. UI thread only.
extern CDlgConvertPosition* g_pDlgConvertPosition;

// Installs the real conversion form behind ConvertPositionService.
void InstallConvertPositionForm();
void UninstallConvertPositionForm();
// Waits until no query or conversion runs (exit, tests). Any thread.
bool WaitConvertPositionWork(int timeoutMs);
// Exit: ends every query and conversion still out; a conversion is named on
// the Trading list as of unknown state (its reply is not seen). UI thread.
void EndConvertPositionWorkInFlight();
