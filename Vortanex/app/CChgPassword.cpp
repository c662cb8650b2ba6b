#include "app/CChgPassword.h"

#include "app/DialogExchange.h"

#include "app/base/SmallUtilities.h"
#include "app/base/ActivityStamp.h"
#include "app/base/FixedText.h"
#include "frame/ImageCollections.h"
#include "app/base/LogWriter.h"
#include "app/LoginExchange.h"
#include "app/base/Md5.h"
#include "app/base/MessageBox.h"
#include "app/base/SessionRecord.h"
#include "server/ExchangeCancel.h"
#include "server/RequestServer.h"

#include <QIcon>

#include <cstdio>
#include <memory>
#include <utility>

std::atomic<bool> CChgPassword::s_tradingFlag{true};

namespace chg_password_detail {
namespace {

ui::FormSpec changePasswordSpec()
{
    using ui::ControlKind;
    ui::FormSpec spec;
    spec.templateId = CChgPassword::kTemplateId;
    spec.name = "CChgPassword";
    spec.caption = "Change Password";
    spec.width = 200;
    spec.height = 130;
    spec.controls = {
        {-1, ControlKind::Label, "User Name :", {10, 12, 70, 8}},
        {CChgPassword::kUserName, ControlKind::Edit, "", {85, 10, 100, 12}, ui::EditRules{false, 0, {}, true}},
        {-1, ControlKind::Label, "Type :", {10, 30, 70, 8}},
        {CChgPassword::kType, ControlKind::Combo, "", {85, 28, 100, 60}},
        {-1, ControlKind::Label, "Old Password :", {10, 48, 70, 8}},
        {CChgPassword::kOldPassword, ControlKind::Password, "", {85, 46, 100, 12}, ui::EditRules{false, 10, {}, false}},
        {-1, ControlKind::Label, "New Password :", {10, 66, 70, 8}},
        {CChgPassword::kNewPassword, ControlKind::Password, "", {85, 64, 100, 12}, ui::EditRules{false, 10, {}, false}},
        {-1, ControlKind::Label, "Confirm Password :", {10, 84, 70, 8}},
        {CChgPassword::kConfirmPassword, ControlKind::Password, "", {85, 82, 100, 12},
         ui::EditRules{false, 10, {}, false}},
        {1, ControlKind::DefaultButton, "OK", {85, 106, 48, 14}},
        {2, ControlKind::Button, "Cancel", {137, 106, 48, 14}},
    };
    return spec;
}

int focusId(login::Field field)
{
    switch (field) {
    case login::Field::OldPassword: return CChgPassword::kOldPassword;
    case login::Field::ConfirmPassword: return CChgPassword::kConfirmPassword;
    default: return CChgPassword::kNewPassword;
    }
}

} // namespace
} // namespace chg_password_detail

CChgPassword::CChgPassword(std::string userName, QWidget* parent)
    : ui::Form(chg_password_detail::changePasswordSpec(), parent), m_userName(std::move(userName))
{
    onClick(1, [this] { OnOK(); });
    onClick(2, [this] { OnCancel(); });
    m_exchange = std::make_unique<DialogExchange>([this](bool busy) { setBusy(busy); });
}

CChgPassword::~CChgPassword() = default;

bool CChgPassword::isBusy() const
{
    return m_exchange && m_exchange->busy();
}

void CChgPassword::setBusy(bool busy)
{
    for (int id : {kType, kOldPassword, kNewPassword, kConfirmPassword, 1})
        enable(id, !busy);
}

void CChgPassword::SetTradingFlag(bool on)
{
    s_tradingFlag = on;
}

bool CChgPassword::TradingFlag()
{
    return s_tradingFlag;
}

void CChgPassword::onInit()
{
    SetAccessTime();
    if (const ImageCollection* icons = GetImageCollection(274))
        setWindowIcon(icons->icon(1));
    setText(kUserName, m_userName);
    WriteLog(0, "Change Password");
    WriteLog(0, m_userName);
    std::vector<std::string> types = {"WEBSITE"};
    if (g_Session.account_flag == 0 && s_tradingFlag)
        types.push_back("TRADING");
    setComboItems(kType, types);
    setComboIndex(kType, 0);
}

void CChgPassword::OnOK()
{
    if (isBusy())
        return;
    enable(1, false);
    const std::string oldPassword = text(kOldPassword);
    const std::string newPassword = text(kNewPassword);
    const std::string confirm = text(kConfirmPassword);
    const bool trading = text(kType) == "TRADING";
    if (const auto problem = login::CheckNewPassword(oldPassword, newPassword, confirm, m_userName)) {
        if (problem->rule <= 3)
            MyMessageBox(problem->message, kProductCaption, MsgOk);
        else if (problem->rule == 13)
            MsgBoxInfo(problem->message);
        else
            MsgBoxOk(problem->message);
        enable(1, true);
        focus(chg_password_detail::focusId(problem->focus));
        return;
    }
    // The trading request carries the old password as typed: a separator in it
    // would shift the request's fields.
    if (trading && login::HasRequestSeparator(oldPassword)) {
        MsgBoxOk("Please enter Valid Old Password.");
        enable(1, true);
        focus(kOldPassword);
        return;
    }
    sendChange(trading, oldPassword, newPassword);
}

void CChgPassword::sendChange(bool trading, const std::string& oldPassword, const std::string& newPassword)
{
    const std::string address = login::LocalAddressText();
    std::string oldDigest;
    std::string newDigest;
    HashPassword(oldPassword, oldDigest);
    HashPassword(newPassword, newDigest);
    std::string request = trading
        ? login::BuildChangePasswordRequest(true, m_userName, oldPassword, newPassword, address)
        : login::BuildChangePasswordRequest(false, m_userName, oldDigest, newDigest, address);
    // The request holds the passwords or their digests: only its masked form
    // reaches the log, and the trading one not at all.
    if (trading)
        WriteLog(0, "Change Password request : TRADING");
    else
        WriteLog(0, MaskSecretIn(MaskSecretIn(request, oldDigest), newDigest));

    auto text = std::make_shared<std::string>(std::move(request));
    auto result = std::make_shared<std::pair<int, std::string>>(-1, std::string());
    oldDigest.assign(oldDigest.size(), '\0');
    newDigest.assign(newDigest.size(), '\0');
    m_exchange->run(
        [text, result](ExchangeCancel& cancel) {
            long length = 0;
            result->first = RequestServer(pv_user_info.encrypt, 1005, *text, result->second, length, &cancel);
            text->assign(text->size(), '\0');
        },
        [this, result] { changeReply(result->first, result->second); });
}

void CChgPassword::changeReply(int http, const std::string& reply)
{
    int status = -1;
    if (http == 200 && !reply.empty()) {
        const std::vector<std::string> f = login::SplitFields(reply);
        if (f.size() >= 2)
            status = ReplyStatus(f[1]);
        if (f.size() >= 3)
            MsgBoxInfoCaption(f[2], "Change Password");
    } else if (http == 200) {
        MsgBoxInfoCaption("Server Error. Please Try Again...", "Change Password");
    } else if (http == 407) {
        MsgBoxInfoCaption("Proxy Authentication Failed", "Internet Error");
    } else {
        char text[128];
        std::snprintf(text, sizeof text, "Internet Connectivity Error [%d]. Pls contact System Administrator", http);
        MsgBoxInfoCaption(text, "Internet Error");
    }
    enable(1, true);
    if (status == 0)
        finish(1);
}

void CChgPassword::OnCancel()
{
    if (isBusy()) {
        m_exchange->cancel();
        return;
    }
    finish(2);
}
