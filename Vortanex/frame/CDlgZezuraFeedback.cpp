#include "frame/CDlgZezuraFeedback.h"

#include <QPushButton>
#include <QVBoxLayout>

CDlgZezuraFeedback::CDlgZezuraFeedback(int linkIndex, const QUrl& address, pf::Shell& shell,
                                       const BrowserLockHooks& hooks, QWidget* parent)
    : QDialog(parent), m_browser(ui::makeBrowserView(this, shell))
{
    setWindowTitle(QStringLiteral("Zezura Feedback"));
    resize(720, 560);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_browser->widget(), 1);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName(QStringLiteral("ButtonCancel"));
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    layout->addWidget(cancel, 0, Qt::AlignRight);
    GuardBrowserWithLock(*m_browser, hooks);
    m_browser->showHtml(PlaceholderHtml());
    if (linkIndex >= 0 && !address.isEmpty() && ui::isWebAddress(address))
        m_browser->navigate(address);
}

CDlgZezuraFeedback::~CDlgZezuraFeedback() = default;

QString CDlgZezuraFeedback::PlaceholderHtml()
{
    return QStringLiteral("<html><head><title>Zezura Feedback</title></head><body style='margin:0'>"
                          "<table width='100%' cellpadding='8'><tr><td style='background-color:#de0000;color:white'>"
                          "<b>Vortanex</b></td></tr></table>"
                          "<p>Please wait. Processing your request...</p></body></html>");
}
