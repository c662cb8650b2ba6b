#include "app/LoginExchange.h"

#include "app/base/SmallUtilities.h"
#include "app/base/ConfigFile.h"
#include "app/base/FixedText.h"
#include "app/base/LogWriter.h"
#include "app/base/ProgramPaths.h"
#include "app/base/SessionRecord.h"
#include "app/base/TextFormat.h"
#include "pf/net.h"
#include "server/CompanionLists.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

std::atomic<int> g_EncryptionDetailsFlag{0};

namespace login_exchange_detail {
namespace {

// What a user id may not contain; a nick name may also hold '@' and '-'.
constexpr std::string_view kUserIdForbidden = "`~!@#$%^&*()-=+\\|;:'\"[{]}<,>/? ";
constexpr std::string_view kNickNameForbidden = "`~!#$%^&*()=+\\|;:'\"[{]}<,>/? ";

bool containsAny(std::string_view text, std::string_view set)
{
    return text.find_first_of(set) != std::string_view::npos;
}

std::string str(std::string_view s)
{
    return std::string(s);
}

bool isSpecial(unsigned char c)
{
    return (c >= 0x20 && c <= 0x2F) || (c >= 0x3A && c <= 0x40) || (c >= 0x5B && c <= 0x60)
        || (c >= 0x7B && c <= 0x7E);
}

} // namespace
} // namespace login_exchange_detail

namespace login {

using login_exchange_detail::str;

bool HasRequestSeparator(std::string_view text)
{
    return text.find_first_of("|~^&") != std::string_view::npos;
}

std::string Trim(std::string_view text)
{
    const size_t b = text.find_first_not_of(" \t\r\n");
    if (b == std::string_view::npos)
        return {};
    const size_t e = text.find_last_not_of(" \t\r\n");
    return std::string(text.substr(b, e - b + 1));
}

std::vector<std::string> SplitFields(std::string_view text, char separator)
{
    std::vector<std::string> out;
    if (text.empty())
        return out;
    size_t start = 0;
    for (;;) {
        const size_t end = text.find(separator, start);
        out.push_back(Trim(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start)));
        if (end == std::string_view::npos)
            return out;
        start = end + 1;
    }
}

std::string FieldAt(const std::vector<std::string>& fields, size_t number)
{
    return number >= 1 && number <= fields.size() ? fields[number - 1] : std::string();
}

int ToInt(std::string_view text)
{
    const std::string t = Trim(text);
    errno = 0;
    const long long v = std::strtoll(t.c_str(), nullptr, 10);
    if (v > INT_MAX)
        return INT_MAX;
    if (v < INT_MIN)
        return INT_MIN;
    return static_cast<int>(v);
}

size_t CharacterCount(std::string_view utf8)
{
    size_t n = 0;
    for (const char c : utf8)
        n += (static_cast<unsigned char>(c) & 0xC0) != 0x80; // continuation bytes belong to their lead
    return n;
}

std::string LocalAddressText()
{
    // The interfaces' own address: the host name resolves to a loopback
    // address on a usual Debian host, which tells the servers nothing.
    return pf::localIPv4();
}

int IdKindOfLabel(std::string_view label)
{
    if (label == kUserIdLabel)
        return 1;
    if (label == kNickNameLabel)
        return 2;
    return 0;
}

std::optional<InputProblem> CheckLoginInput(int idKind, std::string_view id, std::string_view password,
                                            std::string_view token)
{
    if (idKind == 1) {
        if (id.empty())
            return InputProblem{"User Id cannot be blank", Field::UserId};
        if (CharacterCount(id) > 10)
            return InputProblem{"User Id cannot be more than 10 Characters", Field::UserId};
        if (login_exchange_detail::containsAny(id, login_exchange_detail::kUserIdForbidden))
            return InputProblem{"Invalid Credential", Field::UserId};
    } else if (idKind == 2) {
        if (id.empty())
            return InputProblem{"Nick Name cannot be blank", Field::UserId};
        if (CharacterCount(id) > 25)
            return InputProblem{"Nick Name cannot be more than 25 Characters", Field::UserId};
        if (login_exchange_detail::containsAny(id, login_exchange_detail::kNickNameForbidden))
            return InputProblem{"Invalid Credential", Field::UserId};
    }
    if (password.empty())
        return InputProblem{"Password cannot be blank", Field::Password};
    if (CharacterCount(password) > 10)
        return InputProblem{"Password cannot be more than 10 Characters", Field::Password};
    if (CharacterCount(token) > 8)
        return InputProblem{"Token cannot be more than 8 Digits", Field::Token};
    // The token travels as typed: a separator would add fields or keys.
    if (HasRequestSeparator(token))
        return InputProblem{"Invalid Token / AccessCode", Field::Token};
    return std::nullopt;
}

bool RecoveryIdentityOk(int idKind, std::string_view id)
{
    if (idKind == 1)
        return !id.empty() && id.size() <= 10 && !login_exchange_detail::containsAny(id, login_exchange_detail::kUserIdForbidden)
            && id.find('.') == std::string_view::npos;
    if (idKind == 2)
        return !id.empty() && id.size() <= 25 && !login_exchange_detail::containsAny(id, login_exchange_detail::kNickNameForbidden)
            && id.find('.') == std::string_view::npos;
    return true;
}

std::string BuildLoginRequest(std::string_view id, std::string_view digest, std::string_view localAddress,
                              std::string_view token, int idKind, std::string_view deviceId,
                              std::string_view securityStamp)
{
    std::string text = formatText("LoginData=3000|%s|%s|%d|%s|%d|%s|%s|%d|%s&SecDate=%s", str(id).c_str(),
                                  str(digest).c_str(), 4, str(localAddress).c_str(), 242, str(token).c_str(), kAppTag,
                                  idKind, str(deviceId).c_str(), str(securityStamp).c_str());
    if (text.size() > kMaxLoginRequest) {
        WriteLog(0, "Login request of " + std::to_string(text.size()) + " characters is too long; not sent");
        return {};
    }
    return text;
}

bool LoginStatusParsesOn(int status)
{
    return status == 0 || status == 2 || status == 3 || status == 4 || status == 110;
}

namespace {

// A host or an address of the reply is kept only when it is one token: a
// blank or a line break in it would name keys of its own once the per-user
// file is written, and steer every later session. The value in use stays.
template <size_t N>
void KeepReplyHost(char (&field)[N], std::string_view value, int fieldNumber)
{
    if (!IsSingleToken(value)) {
        WriteLog(0, formatText("Login reply field %d holds a blank or a control character; refused, [%s] kept",
                               fieldNumber, std::string(FixedTextView(field)).c_str()));
        return;
    }
    CopyFixedText(field, value);
}

} // namespace

LoginReply ApplyLoginReply(std::string_view reply)
{
    // The port the login itself went over: a session opened over TLS stays on it.
    const int loginPort = g_Config.Trade_Port;
    LoginReply out;
    const std::vector<std::string> f = SplitFields(reply);
    out.fieldCount = f.size();
    for (size_t n = 1; n <= f.size(); ++n) {
        const std::string& v = f[n - 1];
        switch (n) {
        case 2: out.status = ReplyStatus(v); break;
        case 3: out.message = v; break;
        case 4: KeepReplyHost(pv_user_info.feed_update_host, v, 4); break;
        case 5: pv_user_info.feed_update_port = ToInt(v); break;
        case 6:
            CopyFixedText(pv_user_info.session_id, v);
            SetLoggedSessionId(FixedTextView(pv_user_info.session_id));
            break;
        case 7: {
            // The id names the user's files: one that is no plain file name
            // would put them outside the program folder.
            char id[sizeof pv_user_info.user_id] = {};
            CopyFixedText(id, v);
            if (IsPlainFileName(v) && IsPlainFileName(FixedTextView(id)))
                CopyFixedText(pv_user_info.user_id, v);
            else
                out.userIdRefused = true;
            break;
        }
        case 8: CopyFixedText(pv_user_info.user_name, v); break;
        case 9: pv_user_info.user_type = v.empty() ? '\0' : v[0]; break;
        case 10: CopyFixedText(pv_user_info.client_code, v); break;
        case 11: CopyFixedText(pv_user_info.client_code2, v); break;
        case 14: {
            pv_user_info.segment_count = ParseSegmentList(v);
            break;
        }
        case 17: g_Session.account_flag = ToInt(v); break;
        case 18:
            if (!AllocateClientTable(ToInt(v)))
                out.clientTableRefused = true;
            break;
        case 19: SetLoginFlags(v.substr(0, 128)); break;
        case 21: g_Session.category_version = ToInt(v); break;
        case 22:
            if (out.status != 3)
                CopyFixedText(g_Session.security_stamp, v);
            break;
        case 23: CopyFixedText(g_Session.last_login, v); break;
        case 24: g_Session.login_value24 = ToInt(v); break;
        case 25: g_Session.compressed_replies = ToInt(v); break;
        case 26:
            g_Session.CloseTime = ToInt(v);
            WriteLog(0, formatText("CloseTime %ld", static_cast<long>(g_Session.CloseTime)));
            break;
        case 27:
            if (out.status == 3 || out.status == 4)
                out.pageAddress = v.substr(0, 127);
            else
                KeepReplyHost(g_Config.Trade_Host, v, 27);
            break;
        case 28: break; // the trading port is settled below, whatever the reply says
        case 29:
            KeepReplyHost(g_Config.Redirect_Url, v, 29);
            WriteLog(0, "Redirect_Url " + std::string(FixedTextView(g_Config.Redirect_Url)));
            break;
        case 30: KeepReplyHost(g_Config.Gcrn, v, 30); break;
        case 31: out.servicesCounter = ToInt(v); break;
        case 32: g_Session.services_version = ToInt(v); break;
        case 33: KeepReplyHost(g_Config.Market_Data_Host, v, 33); break;
        case 34: g_Session.password_days = ToInt(v); break;
        case 36: CopyFixedText(g_Session.risk_accepted, v); break;
        case 37:
            CopyFixedText(g_Session.login_message, v);
            WriteLog(0, "Login message " + std::string(FixedTextView(g_Session.login_message)));
            break;
        default: break;
        }
        if (n == 3 && !LoginStatusParsesOn(out.status))
            break;
    }
    // Later exchanges go to the trading host's web port whatever the reply
    // said; a session opened on the TLS port stays there, or the session id,
    // orders and trading passwords would travel in clear.
    g_Config.Trade_Port = loginPort == 443 ? 443 : 80;
    return out;
}

std::string BuildBrowserLoginText(std::string_view pageAddress)
{
    return formatText("LoginData=1002|%s|%s|%s&ClientUserId=%s", str(FixedTextView(pv_user_info.user_id)).c_str(),
                      str(FixedTextView(pv_user_info.session_id)).c_str(), str(pageAddress).c_str(),
                      str(FixedTextView(pv_user_info.client_code)).c_str());
}

std::string BuildServicesRequest()
{
    return formatText("ReportData=920|%s|%s|%s|%s|%d", str(FixedTextView(pv_user_info.session_id)).c_str(),
                      str(FixedTextView(pv_user_info.user_id)).c_str(),
                      str(FixedTextView(pv_user_info.client_code)).c_str(),
                      str(FixedTextView(pv_user_info.client_code2)).c_str(), 4);
}

ServicesOutcome ApplyServicesReply(std::string_view reply, std::vector<ServiceRecord>& services)
{
    ServicesOutcome out;
    if (reply.empty()) {
        out.message = "Error : No response received for your request please try after some time";
        return out;
    }
    const size_t tilde = reply.find('~');
    if (tilde == std::string_view::npos) {
        out.message = "Error : Invalid response received for your request please try after some time";
        return out;
    }
    const std::string_view head = reply.substr(0, tilde);
    if (head.find('|') == std::string_view::npos) {
        out.message = "Error : Invalid response received for your request.";
        return out;
    }
    const std::vector<std::string> f = SplitFields(head);
    if (ReplyStatus(FieldAt(f, 2)) != 0) {
        out.message = FieldAt(f, 3);
        out.plainBox = true;
        return out;
    }
    if (ToInt(FieldAt(f, 4)) < 1)
        return out;
    const std::string_view body = reply.substr(tilde + 1);
    if (Trim(body).empty()) {
        out.message = "No Services Details received.";
        return out;
    }
    for (ServiceRecord& s : services)
        s.subscribed = 0;
    for (const std::string& row : SplitFields(body, '^')) {
        const std::vector<std::string> rf = SplitFields(row);
        if (row.empty() || rf.empty())
            break;
        const int id = ToInt(rf[0]);
        for (ServiceRecord& s : services)
            if (s.id == id && !s.subscribed) {
                s.subscribed = 1;
                ++out.marked;
            }
    }
    return out;
}

std::string BuildForgotPasswordRequest(std::string_view id, std::string_view localAddress, int idKind, int mode)
{
    return formatText("ReportData=%ld|%s|%ld|%s|%ld|%ld", 1007L, str(id).c_str(), 4L, str(localAddress).c_str(),
                      static_cast<long>(idKind), static_cast<long>(mode));
}

std::string BuildSecurityKeyRequest(int code, std::string_view id, std::string_view digestOrMobile, int kind,
                                    int idKind)
{
    return formatText("LoginData=%ld|%s|%s|%ld|%ld|%ld", static_cast<long>(code), str(id).c_str(),
                      str(digestOrMobile).c_str(), 4L, static_cast<long>(kind), static_cast<long>(idKind));
}

std::string BuildAccessCodeRequest(std::string_view id, std::string_view digest, std::string_view localAddress,
                                   int idKind)
{
    return formatText("LoginData=%ld|%s|%s|%ld|%s|%ld", 1011L, str(id).c_str(), str(digest).c_str(), 4L,
                      str(localAddress).c_str(), static_cast<long>(idKind));
}

std::string IncompleteResponseText(std::string_view reply)
{
    return formatText("Incomplete Response received [%s] ..\nplease try again", str(reply).c_str());
}

std::string MismatchText(std::string_view typedId, std::string_view replyId)
{
    return formatText("Invalid Response received [USERID MISMATCH:%s | %s] ..\nplease try again", str(typedId).c_str(),
                      str(replyId).c_str());
}

std::string BlankIdText(std::string_view typedId)
{
    return formatText("Invalid Response received [USERID:%s] ..\nplease try again", str(typedId).c_str());
}

std::string TscText(std::string_view code)
{
    return formatText("Invalid Response received [TSC:%s] ..\nplease try again", str(code).c_str());
}

bool ParseQuestionData(std::string_view data, std::vector<Question>& out)
{
    out.clear();
    for (const std::string& item : SplitFields(data, '~')) {
        if (item.empty())
            continue;
        const std::vector<std::string> parts = SplitFields(item, '^');
        if (parts.size() < 5) {
            WriteLog(0, "Question data with fewer than 5 parts refused");
            out.clear();
            return false;
        }
        Question q;
        q.question_id = ToInt(parts[0]);
        q.mandatory = ToInt(parts[1]);
        q.text = parts[2];
        q.kind = parts[3];
        q.options = parts[4];
        out.push_back(std::move(q));
    }
    return true;
}

std::string JoinAnswers(const std::vector<std::pair<int, std::string>>& answers)
{
    std::string out;
    for (const auto& [id, answer] : answers)
        out += formatText("%ld^%s~", static_cast<long>(id), answer.c_str());
    if (!out.empty())
        out.pop_back(); // the last '~'
    return out;
}

std::string BuildAnswersRequest(std::string_view replyUserId, int count, std::string_view answers,
                                std::string_view localAddress)
{
    return formatText("ReportData=%ld|%s|%s|%s|%ld|%ld|%s|%s", 1110L, "", str(replyUserId).c_str(), "", 4L,
                      static_cast<long>(count), str(answers).c_str(), str(localAddress).c_str());
}

std::string BuildOtpRequest(int code, std::string_view identifier, std::string_view localAddress, int idKind)
{
    return formatText("ReportData=%ld|%s|%d|%s|%d", static_cast<long>(code),
                      str(identifier.substr(0, kMaxOtpIdentifier)).c_str(), 4, str(localAddress).c_str(), idKind);
}

std::optional<PasswordProblem> CheckNewPassword(std::string_view oldPassword, std::string_view newPassword,
                                                std::string_view confirm, std::string_view userName)
{
    const auto sized = [](std::string_view s) { return s.size() >= 6 && s.size() <= 10; };
    if (oldPassword.empty())
        return PasswordProblem{1, "Old Password Field cannot be Blank", Field::OldPassword};
    if (newPassword.empty())
        return PasswordProblem{2, "New Password Field cannot be Blank", Field::NewPassword};
    if (confirm.empty())
        return PasswordProblem{3, "Confirm Password Field cannot be Blank", Field::ConfirmPassword};
    if (newPassword == oldPassword)
        return PasswordProblem{4, "Invalid Data : New & old login Password Can not be same", Field::NewPassword};
    if (!sized(oldPassword))
        return PasswordProblem{5, "Old Password Field should be 6 to 10 Characters", Field::OldPassword};
    if (!sized(newPassword))
        return PasswordProblem{6, "Invalid Data : New Login Password should be 6 to 10 Characters",
                               Field::NewPassword};
    if (!sized(confirm))
        return PasswordProblem{7, "Confirm Password Field should be 6 to 10 Characters ", Field::ConfirmPassword};
    if (login_exchange_detail::containsAny(newPassword, login_exchange_detail::kNickNameForbidden))
        return PasswordProblem{
            8, "Please enter Valid New Password. Enter only alphanumeric characters and '@', '-' , '_'",
            Field::NewPassword};
    if (login_exchange_detail::containsAny(confirm, login_exchange_detail::kNickNameForbidden))
        return PasswordProblem{
            9, "Please enter Valid Confirm Password. Enter only alphanumeric characters and '@', '-' , '_'",
            Field::ConfirmPassword};
    if (newPassword != confirm)
        return PasswordProblem{10, "New Password & Confirm are not identical", Field::NewPassword};
    if (newPassword == userName)
        return PasswordProblem{11, "Invalid Data : Passwords Can Not Be Same As Userid.", Field::NewPassword};
    bool digit = false;
    bool letter = false;
    for (unsigned char c : newPassword) {
        digit = digit || (c >= '0' && c <= '9');
        letter = letter || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    }
    if (!digit || !letter)
        return PasswordProblem{12, "Invalid Data : New Login Password Must be Alphanumeric.", Field::NewPassword};
    bool special = false;
    for (unsigned char c : newPassword) {
        if (c < 0x20 || c > 0x7E) { // outside printable ASCII fails at once
            special = false;
            break;
        }
        special = special || login_exchange_detail::isSpecial(c);
    }
    if (!special)
        return PasswordProblem{13, "Password should contain atleast 1 special character", Field::NewPassword};
    return std::nullopt;
}

std::string BuildChangePasswordRequest(bool trading, std::string_view userName, std::string_view oldText,
                                       std::string_view newText, std::string_view localAddress)
{
    return formatText(trading ? "LoginData=1004|%s|%s|%s|%d|%s" : "LoginData=1005|%s|%s|%s|%d|%s",
                      str(userName).c_str(), str(oldText).c_str(), str(newText).c_str(), 4, str(localAddress).c_str());
}

} // namespace login
