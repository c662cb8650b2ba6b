#include "server/CProxyDetails.h"

#include "app/base/AppSettings.h"
#include "app/base/FixedText.h"
#include "app/base/MessageBox.h"

#include "ui/modal_host.h"
#include "ui/prompter.h"

#include <string>

namespace proxy_details_detail {
namespace {

constexpr const char* kCaption = "Proxy Authentication";

ui::FormSpec proxySpec()
{
    using ui::ControlKind;
    // The settings record keeps 23 characters of user name and domain. The
    // password has no edit limit: one cut while pasted would be saved wrong
    // without a word, so OK refuses a password the settings file cannot hold.
    ui::EditRules name;
    name.maxLength = sizeof(AppSettings::proxy_user) - 1;
    ui::EditRules password;
    ui::EditRules domain;
    domain.maxLength = sizeof(AppSettings::proxy_domain) - 1;

    ui::FormSpec spec;
    spec.templateId = CProxyDetails::kTemplateId;
    spec.name = "CProxyDetails";
    spec.caption = kCaption;
    spec.width = 200;
    spec.height = 86;
    spec.controls = {
        {-1, ControlKind::Label, "User Name :", {10, 10, 50, 8}},
        {CProxyDetails::kUserName, ControlKind::Edit, "", {65, 8, 125, 12}, name},
        {-1, ControlKind::Label, "Password :", {10, 28, 50, 8}},
        {CProxyDetails::kPassword, ControlKind::Password, "", {65, 26, 125, 12}, password},
        {-1, ControlKind::Label, "Domain :", {10, 46, 50, 8}},
        {CProxyDetails::kDomain, ControlKind::Edit, "", {65, 44, 125, 12}, domain},
        {1, ControlKind::DefaultButton, "OK", {86, 66, 50, 14}},
        {2, ControlKind::Button, "Cancel", {140, 66, 50, 14}},
    };
    return spec;
}

} // namespace
} // namespace proxy_details_detail

CProxyDetails::CProxyDetails(QWidget* parent) : ui::Form(proxy_details_detail::proxySpec(), parent)
{
    onClick(1, [this] { OnOK(); });
}

int CProxyDetails::DoModal()
{
    return ui::modalHost().run(*this);
}

void CProxyDetails::onInit()
{
    setText(kUserName, FixedTextView(g_AppSettings.proxy_user));
    setText(kPassword, FixedTextView(g_AppSettings.proxy_password));
    setText(kDomain, FixedTextView(g_AppSettings.proxy_domain));
}

void CProxyDetails::OnOK()
{
    const std::string user = text(kUserName);
    const std::string password = text(kPassword);
    const std::string domain = text(kDomain);
    if (user.empty()) {
        MsgBoxInfoCaption("Please enter User Name", proxy_details_detail::kCaption);
        focus(kUserName);
        return;
    }
    if (password.empty()) {
        MsgBoxInfoCaption("Please enter Password", proxy_details_detail::kCaption);
        focus(kPassword);
        return;
    }
    // The settings file keeps the password as Base64 in 127 characters.
    if (password.size() > kMaxProxyPassword) {
        MsgBoxInfoCaption("Password cannot be more than " + std::to_string(kMaxProxyPassword) + " Characters",
                          proxy_details_detail::kCaption);
        focus(kPassword, true);
        return;
    }
    CopyFixedText(g_AppSettings.proxy_user, user);
    CopyFixedText(g_AppSettings.proxy_password, password);
    CopyFixedText(g_AppSettings.proxy_domain, domain);
    g_ProxyInUse = 1;
    SaveSettings();
    finish(ui::Ok);
}
