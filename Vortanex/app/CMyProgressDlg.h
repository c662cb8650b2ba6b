#pragma once
// The start-up progress dialog: a text, the current step's message and a bar
// that the downloads advance. Modal over the program while the downloads run
// off the UI thread, so no command starts before they end. One at a time, named by g_pProgressDlg while it
// is shown; the Qt-free downloads reach it through ShowProgressMessage and
// StepProgress, from any thread (their calls are handed to the UI thread).
#include "app/base/ProgressReport.h"

#include <QDialog>
#include <QString>

class ImageCollection;
class QLabel;
class QProgressBar;

class CMyProgressDlg final : public QDialog, public ProgressReporter {
    Q_OBJECT
public:
    // UI thread. Creates the dialog modeless over parent, shows it and makes
    // it the current one; an existing one is closed first.
    static CMyProgressDlg* Show(QWidget* parent, const QString& caption, const QString& text,
                                const QString& firstStep);
    // UI thread. Closes and releases the current dialog, if any.
    static void CloseCurrent();

    ~CMyProgressDlg() override;

    void SetText(const QString& text);
    void SetMessage(const QString& message);
    void SetRange(int lower, int upper);
    void SetStep(int step);
    // Advances by one step, starting over past the upper end.
    void StepIt();
    void SetImages(const ImageCollection* images) { m_images = images; }
    const ImageCollection* Images() const { return m_images; }

    QString Text() const;
    QString Message() const;
    int Position() const;

    // ProgressReporter: any thread.
    void setProgressMessage(std::string_view text) override;
    void stepProgress() override;

protected:
    // The downloads it shows run until they end: the user cannot close it.
    void closeEvent(QCloseEvent* event) override;
    void reject() override {}

private:
    explicit CMyProgressDlg(QWidget* parent);

    QLabel* m_text = nullptr;
    QLabel* m_message = nullptr;
    QProgressBar* m_bar = nullptr;
    int m_step = 1;
    const ImageCollection* m_images = nullptr;
};

// The dialog on show, null when none is shown. UI thread.
extern CMyProgressDlg* g_pProgressDlg;
