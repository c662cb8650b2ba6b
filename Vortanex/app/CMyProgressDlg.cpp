#include "app/CMyProgressDlg.h"

#include "ui/ui_thread.h"

#include <QCloseEvent>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QVBoxLayout>

#include <string>

CMyProgressDlg* g_pProgressDlg = nullptr;

CMyProgressDlg* CMyProgressDlg::Show(QWidget* parent, const QString& caption, const QString& text,
                                     const QString& firstStep)
{
    if (!ui::UiThread::requireCurrent("CMyProgressDlg::Show"))
        return nullptr;
    CloseCurrent();
    auto* dlg = new CMyProgressDlg(parent);
    dlg->setWindowTitle(caption);
    dlg->SetText(text);
    dlg->SetMessage(firstStep);
    // Shown without waiting: the UI thread goes on serving the dialog while
    // the downloads run.
    dlg->setWindowModality(Qt::ApplicationModal);
    dlg->show();
    g_pProgressDlg = dlg;
    SetCurrentProgress(dlg);
    return dlg;
}

void CMyProgressDlg::CloseCurrent()
{
    if (!g_pProgressDlg)
        return;
    CMyProgressDlg* dlg = g_pProgressDlg;
    g_pProgressDlg = nullptr;
    delete dlg; // the destructor unregisters it
}

CMyProgressDlg::CMyProgressDlg(QWidget* parent) : QDialog(parent)
{
    auto* layout = new QVBoxLayout(this);
    m_text = new QLabel(this);
    m_text->setWordWrap(true);
    m_message = new QLabel(this);
    m_bar = new QProgressBar(this);
    m_bar->setRange(0, 100);
    m_bar->setValue(0);
    m_bar->setTextVisible(false);
    layout->addWidget(m_text);
    layout->addWidget(m_message);
    layout->addWidget(m_bar);
}

CMyProgressDlg::~CMyProgressDlg()
{
    // Unregistered before the widgets go: a download thread that is just
    // forwarding a call holds the registration lock until it has posted.
    SetCurrentProgress(nullptr);
    if (g_pProgressDlg == this)
        g_pProgressDlg = nullptr;
}

void CMyProgressDlg::closeEvent(QCloseEvent* event)
{
    event->ignore();
}

void CMyProgressDlg::SetText(const QString& text)
{
    m_text->setText(text);
}

void CMyProgressDlg::SetMessage(const QString& message)
{
    m_message->setText(message);
}

void CMyProgressDlg::SetRange(int lower, int upper)
{
    m_bar->setRange(lower, upper > lower ? upper : lower + 1);
}

void CMyProgressDlg::SetStep(int step)
{
    m_step = step > 0 ? step : 1;
}

void CMyProgressDlg::StepIt()
{
    int next = m_bar->value() + m_step;
    if (next > m_bar->maximum())
        next = m_bar->minimum() + (next - m_bar->maximum() - 1);
    m_bar->setValue(next);
}

QString CMyProgressDlg::Text() const
{
    return m_text->text();
}

QString CMyProgressDlg::Message() const
{
    return m_message->text();
}

int CMyProgressDlg::Position() const
{
    return m_bar->value();
}

void CMyProgressDlg::setProgressMessage(std::string_view text)
{
    const QString message = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    if (ui::UiThread::isCurrent()) {
        SetMessage(message);
        return;
    }
    // Never wait for the UI thread here: it may be closing the dialog and
    // waiting for the registration lock this call holds.
    QPointer<CMyProgressDlg> self(this);
    ui::UiThread::post([self, message] {
        if (self)
            self->SetMessage(message);
    });
}

void CMyProgressDlg::stepProgress()
{
    if (ui::UiThread::isCurrent()) {
        StepIt();
        return;
    }
    QPointer<CMyProgressDlg> self(this);
    ui::UiThread::post([self] {
        if (self)
            self->StepIt();
    });
}
