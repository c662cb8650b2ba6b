#include "app/CAboutDlg.h"

#include "app/base/ConfigFile.h"
#include "app/base/FixedText.h"
#include "app/base/LogWriter.h"

#include "pf/shell.h"

namespace about_dlg_detail {
namespace {

ui::FormSpec aboutSpec()
{
    using ui::ControlKind;
    ui::FormSpec spec;
    spec.templateId = CAboutDlg::kTemplateId;
    spec.name = "CAboutDlg";
    spec.caption = "About Vortanex";
    spec.width = 235;
    spec.height = 80;
    spec.controls = {
        {CAboutDlg::kProductText, ControlKind::Label, "Vortanex Ver 2.3", {40, 10, 150, 8}},
        {CAboutDlg::kBuildText, ControlKind::Label, "Build Number 2.3.0.20", {40, 22, 150, 8}},
        {CAboutDlg::kSiteLink, ControlKind::Button, "", {40, 36, 150, 12}},
        {1, ControlKind::DefaultButton, "OK", {178, 58, 50, 14}},
    };
    return spec;
}

} // namespace
} // namespace about_dlg_detail

CAboutDlg::CAboutDlg(pf::Shell& shell, QWidget* parent) : ui::Form(about_dlg_detail::aboutSpec(), parent), m_shell(shell)
{
    onClick(kSiteLink, [this] { OnSiteLink(); });
}

void CAboutDlg::onInit()
{
    const std::string_view site = FixedTextView(g_Config.Redirect_Url);
    setText(kSiteLink, site);
    showControl(kSiteLink, !site.empty());
}

void CAboutDlg::OnSiteLink()
{
    const std::string site(FixedTextView(g_Config.Redirect_Url));
    if (site.empty() || !m_shell.openUrl(site, pf::ShowMode::Normal))
        WriteLog(0, "Could not open the web site [" + site + "]");
}
