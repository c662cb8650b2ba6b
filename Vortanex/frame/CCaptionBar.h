#pragma once
// The caption bar over the documents that offers to report the crash of the
// previous run: white on red, a "Report Error" button and a close box that
// asks before the offer goes. UI thread.
#include <QWidget>

#include <functional>
#include <string>

class QLabel;
class QMainWindow;
class QPushButton;
class QToolBar;

class CCaptionBar : public QWidget {
    Q_OBJECT
public:
    static constexpr int kBarId = 33299;
    static constexpr int kReportError = 1514;
    static constexpr const char* kCrashText =
        "Vortanex wasn't shut down properly last time, do you want to report this error ?";

    // `report` sends the pending text without making the window wait and
    // calls done on the UI thread with whether it was delivered.
    using Report = std::function<void(std::function<void(bool delivered)> done)>;

    // Puts the bar at the top of the frame's documents; the bar goes once a
    // report was delivered.
    static CCaptionBar* Create(QMainWindow& frame, const std::string& text, Report report);

    QString text() const;
    // The button (disabled while a report is on its way) and the close box.
    void OnReportError();
    void OnClose();

private:
    CCaptionBar(const std::string& text, Report report, QWidget* parent);
    void dismiss();

    QLabel* m_label = nullptr;
    QPushButton* m_button = nullptr;
    Report m_report;
};
