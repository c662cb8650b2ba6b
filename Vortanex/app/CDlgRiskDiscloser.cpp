#include "app/CDlgRiskDiscloser.h"

#include "app/base/LogWriter.h"

#include "pf/shell.h"

#include <QGuiApplication>
#include <QPalette>
#include <QPushButton>
#include <QScreen>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace dlg_risk_discloser_detail {
namespace {

ui::FormSpec riskSpec()
{
    using ui::ControlKind;
    ui::FormSpec spec;
    spec.templateId = CDlgRiskDiscloser::kTemplateId;
    spec.name = "CDlgRiskDiscloser";
    spec.caption = CDlgRiskDiscloser::kDefaultTitle;
    spec.width = 400;
    spec.height = 160;
    spec.controls = {
        {CDlgRiskDiscloser::kTitle, ControlKind::Label, "", {10, 4, 380, 8}},
        {CDlgRiskDiscloser::kText, ControlKind::Static, "", {10, 14, 380, 120}},
        {1, ControlKind::DefaultButton, "I acknowledge", {170, 140, 60, 14}},
    };
    return spec;
}

} // namespace
} // namespace dlg_risk_discloser_detail

CDlgRiskDiscloser::CDlgRiskDiscloser(pf::Shell& shell, QWidget* parent)
    : ui::Form(dlg_risk_discloser_detail::riskSpec(), parent), m_shell(shell)
{
    onClick(1, [this] { finish(1); });
}

std::string CDlgRiskDiscloser::DisclosureHtml()
{
    static const char* const points[] = {
        "9 out of 10 individual traders in equity Futures and Options Segment, incurred net losses.",
        "On an average, loss makers registered net trading loss close to Rs 50, 000.",
        "Over and above the net trading losses incurred, loss makers expended an additional 28 % of net trading "
        "losses as transaction costs.",
        "Those making net trading profits, incurred between 15 % to 50 % of such profits as transaction cost",
    };
    std::string html = "<p style=\"font-family:Arial; font-size:20pt\"><b>As per a SEBI study dated 25 Jan 2023</b></p>"
                       "<ul style=\"font-family:Arial; font-size:15pt\">";
    for (const char* p : points)
        html += std::string("<li>") + p + "</li>";
    html += "</ul><p style=\"font-family:Arial; font-size:15pt\"><b>Source:<a href=\"" + std::string(kStudyAddress)
        + "\">SEBI</a></b></p>";
    return html;
}

void CDlgRiskDiscloser::onInit()
{
    setWindowTitle(QString::fromStdString(m_title));
    WriteLog(0, m_title);
    setText(kTitle, m_title);
    if (QWidget* holder = control(kText)) {
        auto* layout = new QVBoxLayout(holder);
        layout->setContentsMargins(0, 0, 0, 0);
        m_view = new QTextBrowser(holder);
        m_view->setOpenLinks(false);
        m_view->setFrameShape(QFrame::NoFrame);
        QPalette p = m_view->palette();
        p.setColor(QPalette::Base, palette().color(QPalette::Button));
        m_view->setPalette(p);
        m_view->setHtml(QString::fromStdString(DisclosureHtml()));
        layout->addWidget(m_view);
        connect(m_view, &QTextBrowser::anchorClicked, this, [this](const QUrl& url) { OnLink(url.toString().toStdString()); });
    }
    // The desktop's width less 10 pixels each side, from half its height to
    // 100 pixels above its bottom.
    if (const QScreen* s = QGuiApplication::primaryScreen()) {
        const QRect d = s->availableGeometry();
        const int top = d.top() + d.height() / 2;
        setGeometry(d.left() + 10, top, d.width() - 20, std::max(100, d.bottom() - 100 - top));
    }
}

void CDlgRiskDiscloser::OnLink(const std::string& address)
{
    WriteLog(0, address);
    m_shell.openUrl(address, pf::ShowMode::Normal);
}

void CDlgRiskDiscloser::reject()
{
    // Escape moves on instead of closing: the notice must be acknowledged.
    focusNextChild();
}
