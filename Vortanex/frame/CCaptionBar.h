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

    // Puts the bar at the top of the frame's documents; `report` sends the
    // pending text and returns true when it was delivered (the bar then goes).
    static CCaptionBar* Create(QMainWindow& frame, const std::string& text, std::function<bool()> report);

    QString text() const;
    // The button and the close box.
    void OnReportError();
    void OnClose();

private:
    CCaptionBar(const std::string& text, std::function<bool()> report, QWidget* parent);
    void dismiss();

    QLabel* m_label = nullptr;
    QPushButton* m_button = nullptr;
    std::function<bool()> m_report;
};
