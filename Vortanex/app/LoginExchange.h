#pragma once
// The account exchanges without their windows: the checks of what the user
// typed, the request texts of the login, the recovery exchanges, the security
// questions and the password change, and the reading of their replies. The
// login reply is written into the session record here.
#include <atomic>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct ServiceRecord;

// 1 once the encryption-details request has succeeded for the current login
// attempt; a failed attempt clears it so that the next one asks again.
extern std::atomic<int> g_EncryptionDetailsFlag;

namespace login {

inline constexpr const char* kUserIdLabel = "User Id :";
inline constexpr const char* kNickNameLabel = "Nick Name:";
inline constexpr const char* kAppTag = "MRT382QJ";
// The login request never grows beyond what the servers read.
inline constexpr size_t kMaxLoginRequest = 1023;
// A server that keeps answering "log in again" gets this many repeats.
inline constexpr int kMaxLoginRepeats = 3;
// The questions dialog has check-box ids for this many rows.
inline constexpr int kMaxQuestions = 15;
inline constexpr size_t kMaxOtpIdentifier = 25;
// What the user is told when a recovery exchange brought no reply at all.
inline constexpr const char* kNoResponseText = "No response received for your request please try after some time";

// Characters that a typed text must not carry into a request: they separate
// fields ('|'), records ('~'), parts ('^') and keys ('&').
bool HasRequestSeparator(std::string_view text);

std::string Trim(std::string_view text);
// '|'-separated (or `separator`) fields, each trimmed; empty fields count, so
// a reply starting with '|' has an empty first field. Empty text: no fields.
std::vector<std::string> SplitFields(std::string_view text, char separator = '|');
// The field numbered from 1, empty beyond the end.
std::string FieldAt(const std::vector<std::string>& fields, size_t number);
// The leading decimal number of a text (sign allowed), 0 without one; values
// beyond int are clamped.
int ToInt(std::string_view text);
// The characters of a UTF-8 text (not its bytes): the length limits of the
// typed id, password and token count what the user typed.
size_t CharacterCount(std::string_view utf8);

// The address sent as this machine's in the login, ED=19 and feed texts: its
// first interface address that is not loopback (pf::localIPv4).
std::string LocalAddressText();

// 1 for the "User Id :" label, 2 for "Nick Name:", 0 for anything else.
int IdKindOfLabel(std::string_view label);

// Which edit a failed check puts the focus on.
enum class Field { UserId, Password, Token, OldPassword, NewPassword, ConfirmPassword };

struct InputProblem {
    std::string message;
    Field focus = Field::UserId;
};

// The login's input checks in their order: id by its kind, password, token.
std::optional<InputProblem> CheckLoginInput(int idKind, std::string_view id, std::string_view password,
                                            std::string_view token);
// The recovery exchanges' identity check: the login's id rules plus no full
// stop. Any other id kind is not checked.
bool RecoveryIdentityOk(int idKind, std::string_view id);

// "LoginData=3000|...&SecDate=..."; empty when it would exceed kMaxLoginRequest.
std::string BuildLoginRequest(std::string_view id, std::string_view digest, std::string_view localAddress,
                              std::string_view token, int idKind, std::string_view deviceId,
                              std::string_view securityStamp);

// What the login reply said beside what it wrote into the session record.
struct LoginReply {
    int status = -1;
    std::string message;     // field 3
    std::string pageAddress; // field 27 on status 3 and 4
    int servicesCounter = 0; // field 31
    size_t fieldCount = 0;
    bool clientTableRefused = false; // field 18 asked for an impossible table
    bool userIdRefused = false;      // field 7 cannot name the user's files ("../x", "a/b")
};

// Statuses whose reply goes on past field 3.
bool LoginStatusParsesOn(int status);

// Reads the login reply into pv_user_info, the segment and client tables, the
// session values and the configuration's hosts, with every text cut to its
// field. Parsing stops after field 3 for the statuses that end there. Sets
// Trade_Port to 80 afterwards.
LoginReply ApplyLoginReply(std::string_view reply);

// "LoginData=1002|user|session|page&ClientUserId=client", the query of the
// browser page that statuses 3 and 4 open.
std::string BuildBrowserLoginText(std::string_view pageAddress);

// The client-services reply: marks the services it names. The message to
// show (empty = none) and whether it is an error box.
struct ServicesOutcome {
    std::string message;
    bool plainBox = false; // the server's own text, shown in a plain OK box
    int marked = 0;
};
ServicesOutcome ApplyServicesReply(std::string_view reply, std::vector<ServiceRecord>& services);
std::string BuildServicesRequest();

// --- recovery exchanges ---
std::string BuildForgotPasswordRequest(std::string_view id, std::string_view localAddress, int idKind, int mode);
std::string BuildSecurityKeyRequest(int code, std::string_view id, std::string_view digestOrMobile, int kind,
                                    int idKind);
std::string BuildAccessCodeRequest(std::string_view id, std::string_view digest, std::string_view localAddress,
                                   int idKind);
std::string IncompleteResponseText(std::string_view reply);
std::string MismatchText(std::string_view typedId, std::string_view replyId);
std::string BlankIdText(std::string_view typedId);
std::string TscText(std::string_view code);

// --- security questions ---
struct Question {
    int question_id = 0;
    int mandatory = 0;
    std::string text;
    std::string kind;
    std::string options;
};
// Questions separated by '~', parts by '^'. Empty items are skipped; false
// (and no questions) when an item has fewer than five parts.
bool ParseQuestionData(std::string_view data, std::vector<Question>& out);
// "id^answer~id^answer" from (id, answer) pairs.
std::string JoinAnswers(const std::vector<std::pair<int, std::string>>& answers);
std::string BuildAnswersRequest(std::string_view replyUserId, int count, std::string_view answers,
                                std::string_view localAddress);
// 1114 resend and 1116 send of the one-time password.
std::string BuildOtpRequest(int code, std::string_view identifier, std::string_view localAddress, int idKind);

// --- change password ---
// The password rules in their order; the first failing rule wins. `rule` is
// its number from 1; rules 1 to 3 use the product box, 13 the information box.
struct PasswordProblem {
    int rule = 0;
    std::string message;
    Field focus = Field::NewPassword;
};
std::optional<PasswordProblem> CheckNewPassword(std::string_view oldPassword, std::string_view newPassword,
                                                std::string_view confirm, std::string_view userName);
// "LoginData=1005|user|oldDigest|newDigest|4|addr" (website) or
// "LoginData=1004|user|old|new|4|addr" (trading, the passwords as typed).
std::string BuildChangePasswordRequest(bool trading, std::string_view userName, std::string_view oldText,
                                       std::string_view newText, std::string_view localAddress);

} // namespace login
