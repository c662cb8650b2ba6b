#include "app/CAuthClientDet.h"

#include "app/DialogExchange.h"

#include "app/base/SmallUtilities.h"
#include "app/base/LogWriter.h"
#include "app/base/MessageBox.h"
#include "app/base/SessionRecord.h"
#include "app/base/FixedText.h"
#include "app/base/TextFormat.h"
#include "frame/controls/CComboQst.h"
#include "frame/controls/CEditValidate.h"
#include "server/ExchangeCancel.h"
#include "server/RequestServer.h"

#include "ui/modal_host.h"

#include <QWidget>

#include <algorithm>

namespace auth_client_det_detail {
namespace {

// Rows are laid out in pixels; the form's table takes dialog units.
ui::DluRect fromPixels(int left, int top, int right, int bottom)
{
    return {left * 2 / 3, top * 8 / 13, (right - left) * 2 / 3, (bottom - top) * 8 / 13};
}

constexpr int kRowHeight = 32;
constexpr int kInputHeight = 22;
constexpr int kBoxWidth = 22;

// Every printable character but the digits: what a digits-only edit removes.
std::string nonDigits()
{
    std::string out;
    for (char c = 0x20; c < 0x7F; ++c)
        if (c < '0' || c > '9')
            out.push_back(c);
    return out;
}

bool isOneOf(int id, std::initializer_list<int> ids)
{
    for (int i : ids)
        if (i == id)
            return true;
    return false;
}

constexpr const char* kUnableForgot = "Unable to send forgot password request";

} // namespace
} // namespace auth_client_det_detail

std::optional<CAuthClientDet::QuestionSet> CAuthClientDet::SetQuestions(int count, int required,
                                                                         std::string_view data)
{
    QuestionSet set;
    set.count = count;
    set.required = required;
    bool ok = login::ParseQuestionData(data, set.questions);
    if (ok && static_cast<int>(set.questions.size()) > login::kMaxQuestions) {
        WriteLog(0, formatText("Security questions refused: %d questions received, the dialog holds %d",
                               static_cast<int>(set.questions.size()), login::kMaxQuestions));
        ok = false;
    }
    if (ok && set.questions.empty()) {
        WriteLog(0, "Security questions refused: no question received");
        ok = false;
    }
    if (!ok) {
        MyMessageBox("Invalid Response received for security questions ..\nplease try again", kProductCaption,
                     MsgOk | MsgIconInformation);
        return std::nullopt;
    }
    return set;
}

CAuthClientDet::QuestionSet CAuthClientDet::OtpQuestions()
{
    QuestionSet set;
    set.count = 1;
    set.required = 1;
    set.questions.push_back(login::Question{kOtpQuestion, 1, "Enter OTP", "T", ""});
    return set;
}

CAuthClientDet::Built CAuthClientDet::buildSpec(QuestionSet set)
{
    using ui::ControlKind;
    Built built;
    ui::FormSpec& spec = built.spec;
    std::vector<Row>& rows = built.rows;
    spec.templateId = kTemplateId;
    spec.name = "CAuthClientDet";
    spec.caption = "Authentication Questions";
    int y = 10;
    int nextInput = kFirstInput;
    int lastId = 0;
    for (size_t i = 0; i < set.questions.size(); ++i) {
        const login::Question& q = set.questions[i];
        Row row;
        row.question = q;
        row.checkId = kFirstCheck + static_cast<int>(i);
        if (q.question_id == kOtpQuestion) {
            spec.controls.push_back({kOtpLabel, ControlKind::Label,
                                     "OTP has been send successfully on your registered mobile no.",
                                     auth_client_det_detail::fromPixels(10, y, 530, y + 18)});
            y += 24;
        }
        spec.controls.push_back({row.checkId, ControlKind::Check, "", auth_client_det_detail::fromPixels(10, y, 30, y + 18)});
        spec.controls.push_back({-1, ControlKind::Label, q.text, auth_client_det_detail::fromPixels(40, y, 265, y + 18)});
        // Character boxes also take question 2 as digits.
        const bool digitsOnly = q.kind == "G" ? auth_client_det_detail::isOneOf(q.question_id, {1, 2, 4, 6, 8})
                                              : auth_client_det_detail::isOneOf(q.question_id, {1, 4, 6, 8});
        ui::EditRules rules;
        if (digitsOnly)
            rules.forbidden = auth_client_det_detail::nonDigits();
        if (q.kind == "T") {
            rules.maxLength = 50;
            const bool otp = q.question_id == kOtpQuestion;
            row.inputs.push_back(nextInput);
            spec.controls.push_back({nextInput++, otp ? ControlKind::Password : ControlKind::Edit, "",
                                     auth_client_det_detail::fromPixels(otp ? 120 : 280, y, 530, y + auth_client_det_detail::kInputHeight), rules});
        } else if (q.kind == "C") {
            // The combo itself is made by the dialog; its place is kept here.
            row.inputs.push_back(nextInput);
            spec.controls.push_back(
                {nextInput++, ControlKind::Static, "", auth_client_det_detail::fromPixels(280, y, 530, y + auth_client_det_detail::kInputHeight)});
            y += 28; // room for the "Others" edit below the combo
        } else if (q.kind == "G") {
            int x = 280;
            for (char p : q.options) {
                ui::EditRules box = rules;
                box.maxLength = 1;
                box.readOnly = p != '#';
                row.inputs.push_back(nextInput);
                const ui::DluRect rect = auth_client_det_detail::fromPixels(x, y, x + auth_client_det_detail::kBoxWidth - 2, y + auth_client_det_detail::kInputHeight);
                spec.controls.push_back({nextInput++, ControlKind::Edit, box.readOnly ? " " : "", rect, box});
                x += auth_client_det_detail::kBoxWidth;
            }
        } else {
            row.inputs.push_back(nextInput);
            spec.controls.push_back({nextInput++, ControlKind::MultiLine, q.options,
                                     auth_client_det_detail::fromPixels(240, y, 450, y + 2 * auth_client_det_detail::kInputHeight)});
            y += auth_client_det_detail::kInputHeight;
        }
        y += auth_client_det_detail::kRowHeight;
        lastId = q.question_id;
        rows.push_back(std::move(row));
    }
    y += 6;
    spec.controls.push_back({1, ControlKind::DefaultButton, "Submit", auth_client_det_detail::fromPixels(280, y, 360, y + 24)});
    spec.controls.push_back({2, ControlKind::Button, "Cancel", auth_client_det_detail::fromPixels(370, y, 450, y + 24)});
    if (lastId == kOtpQuestion)
        spec.controls.push_back(
            {kGenerateOtp, ControlKind::Button, "GenerateOTP", auth_client_det_detail::fromPixels(460, y, 540, y + 24)});
    spec.width = 560 * 2 / 3;
    spec.height = (y + 40) * 8 / 13;
    built.set = std::move(set);
    return built;
}

CAuthClientDet::CAuthClientDet(QuestionSet set, std::string replyUserId, std::string typedId, int idKind,
                               QWidget* parent)
    : CAuthClientDet(buildSpec(std::move(set)), std::move(replyUserId), std::move(typedId), idKind, parent)
{
}

CAuthClientDet::CAuthClientDet(Built built, std::string replyUserId, std::string typedId, int idKind,
                               QWidget* parent)
    : ui::Form(std::move(built.spec), parent), m_set(std::move(built.set)), m_rows(std::move(built.rows)),
      m_replyUserId(std::move(replyUserId)), m_typedId(std::move(typedId)), m_idKind(idKind)
{
    for (Row& row : m_rows) {
        m_lastQuestionId = row.question.question_id;
        if (row.question.kind == "C") {
            QWidget* place = control(row.inputs.front());
            row.combo = new CComboQst(this);
            row.combo->setGeometry(place->geometry());
            row.combo->Edit()->setMaxLength(50);
            for (const std::string& choice : login::SplitFields(row.question.options, ','))
                row.combo->addItem(QString::fromStdString(choice));
            row.combo->setCurrentIndex(-1);
            row.combo->PlaceEdit();
        }
        const int checkId = row.checkId;
        onClick(checkId, [this, checkId] { OnCheck(checkId); });
    }
    onClick(1, [this] { OnOK(); });
    onClick(kGenerateOtp, [this] { ResendOtp(); });
    // Cancel while an exchange runs ends the exchange; else it closes.
    onClick(2, [this] {
        if (isBusy())
            m_exchange->cancel();
        else
            finish(2);
    });
    m_exchange = std::make_unique<DialogExchange>([this](bool busy) {
        enable(1, !busy);
        if (isOtpForm())
            enable(kGenerateOtp, !busy);
    });
}

CAuthClientDet::~CAuthClientDet() = default;

bool CAuthClientDet::isBusy() const
{
    return m_exchange && m_exchange->busy();
}

void CAuthClientDet::exchange(int code, std::string request, std::function<void(int, const std::string&)> then)
{
    struct Result {
        std::string request;
        int http = -1;
        std::string reply;
    };
    auto r = std::make_shared<Result>();
    r->request = std::move(request);
    m_exchange->run(
        [r, code](ExchangeCancel& cancel) {
            long length = 0;
            r->http = RequestServer(pv_user_info.encrypt, code, r->request, r->reply, length, &cancel);
            // The answers travel in the request: nothing of it stays behind.
            r->request.assign(r->request.size(), '\0');
        },
        [r, then = std::move(then)] { then(r->http, r->reply); });
}

void CAuthClientDet::onInit()
{
    for (const Row& row : m_rows) {
        if (row.question.mandatory) {
            setChecked(row.checkId, true);
            showControl(row.checkId, false);
        } else {
            ++m_optionalCount;
            enableRow(row, false, false);
        }
    }
    if (QWidget* main = parentWidget() ? parentWidget()->window() : nullptr) {
        const QRect g = main->geometry();
        move(g.left() + 400, g.bottom() - 150 - height());
    }
}

void CAuthClientDet::enableRow(const Row& row, bool on, bool clear)
{
    if (row.combo) {
        row.combo->setEnabled(on);
        if (on || clear) {
            // A newly chosen question starts without a choice.
            row.combo->setCurrentIndex(-1);
            row.combo->Edit()->clear();
        }
        if (!on)
            row.combo->Edit()->setEnabled(false);
        return;
    }
    for (int id : row.inputs) {
        enable(id, on);
        const ui::ControlSpec* spec = controlSpec(id);
        if (clear && spec && !spec->rules.readOnly && spec->kind != ui::ControlKind::MultiLine)
            setText(id, "");
    }
}

void CAuthClientDet::OnCheck(int checkId)
{
    const auto it = std::find_if(m_rows.begin(), m_rows.end(), [&](const Row& r) { return r.checkId == checkId; });
    if (it == m_rows.end())
        return;
    int checkedCount = 0;
    for (const Row& row : m_rows)
        if (checked(row.checkId))
            ++checkedCount;
    if (checkedCount > m_set.required) {
        showInfo(formatText("Please choose to answer any %ld questions out of %ld optional questions",
                            static_cast<long>(m_set.required - 1), static_cast<long>(m_optionalCount)));
        setChecked(checkId, false);
        enableRow(*it, false, false);
        return;
    }
    if (checked(checkId))
        enableRow(*it, true, false);
    else
        enableRow(*it, false, true);
}

std::string CAuthClientDet::answerOf(const Row& row) const
{
    if (row.combo)
        return row.combo->GetSelectedText().toStdString();
    std::string answer;
    for (int id : row.inputs)
        answer += text(id);
    return answer;
}

std::string CAuthClientDet::identifier() const
{
    const std::string& id = m_idKind == 2 ? m_typedId : m_replyUserId;
    return id.substr(0, login::kMaxOtpIdentifier);
}

void CAuthClientDet::showInfo(std::string_view text) const
{
    MyMessageBox(text, kProductCaption, MsgOk | MsgIconInformation);
}

std::optional<std::vector<std::string>> CAuthClientDet::replyFields(int http, const std::string& reply,
                                                                    size_t minFields) const
{
    if (http != 200 && !reply.empty())
        return std::nullopt;
    if (reply.empty()) {
        showInfo(login::kNoResponseText);
        return std::nullopt;
    }
    std::vector<std::string> f = login::SplitFields(reply);
    if (f.size() < minFields) {
        showInfo(login::IncompleteResponseText(reply));
        return std::nullopt;
    }
    return f;
}

bool CAuthClientDet::askOkCancel(std::string_view text) const
{
    return MyMessageBox(text, kProductCaption, MsgOkCancel | MsgIconInformation) == 1;
}

void CAuthClientDet::OnOK()
{
    if (isBusy())
        return;
    enable(1, false);
    enable(2, false);
    const auto done = [this] {
        enable(1, true);
        enable(2, true);
    };
    std::vector<std::pair<int, std::string>> answers;
    std::vector<std::string> secrets;
    for (const Row& row : m_rows) {
        if (!checked(row.checkId))
            continue;
        const std::string answer = answerOf(row);
        const int firstInput = row.inputs.empty() ? 0 : row.inputs.front();
        if (answer.empty()) {
            showInfo(formatText("%s Cannot be Blank", row.question.text.c_str()));
            if (row.combo)
                row.combo->setFocus();
            else if (firstInput)
                focus(firstInput);
            done();
            return;
        }
        // An answer travels inside the request: a separator would forge fields.
        if (login::HasRequestSeparator(answer)) {
            showInfo(formatText("%s Cannot contain | ~ ^ &", row.question.text.c_str()));
            if (row.combo)
                row.combo->setFocus();
            else if (firstInput)
                focus(firstInput);
            done();
            return;
        }
        answers.emplace_back(row.question.question_id, answer);
        secrets.push_back(answer);
    }
    const int count = static_cast<int>(answers.size());
    if (count < m_set.required) {
        showInfo(formatText("You have to answer atleast %ld Questions", static_cast<long>(m_set.required - 1)));
        done();
        return;
    }
    const std::string answerList = login::JoinAnswers(answers);
    const std::string request = login::BuildAnswersRequest(m_replyUserId, count, answerList,
                                                           FixedTextView(pv_user_info.local_address));
    // The answers are secrets: the log shows the request without them.
    WriteLog(0, MaskSecretIn(request, answerList));

    done();
    exchange(1110, request, [this](int http, const std::string& reply) { answersReply(http, reply); });
}

void CAuthClientDet::answersReply(int http, const std::string& reply)
{
    const auto done = [this] {
        enable(1, true);
        enable(2, true);
    };
    const auto fields = replyFields(http, reply, 3);
    if (!fields) {
        done();
        return;
    }
    const std::vector<std::string>& f = *fields;
    const int status = ReplyStatus(f[1]);
    if (status == 0) {
        showInfo(f[2]);
        done();
        finish(1);
        return;
    }
    if (status == 102) {
        if (!f[2].empty() && askOkCancel(f[2] + " ")) {
            // The dialog closes once the code has been sent.
            SendOtp([this, done] {
                done();
                if (!isOtpForm())
                    finish(2);
            });
            return;
        }
    } else if (status == 101) {
        // Start again: the new questions are asked for before this dialog
        // closes (its exchange ends with it), then run by RunQuestions.
        if (!askOkCancel(f[2] + " ")) {
            done();
            finish(2);
            return;
        }
        const std::string again = login::BuildForgotPasswordRequest(
            m_replyUserId, FixedTextView(pv_user_info.local_address), m_idKind, 1);
        WriteLog(0, again);
        exchange(1007, again, [this, done](int, const std::string& reply2) {
            WriteLog(0, reply2);
            const std::vector<std::string> g = login::SplitFields(reply2);
            if (g.size() >= 2 && login::ToInt(g[1]) == 1) {
                if (auto set = SetQuestions(login::ToInt(login::FieldAt(g, 6)), login::ToInt(login::FieldAt(g, 7)),
                                            login::FieldAt(g, 8)))
                    m_followUp.emplace(login::FieldAt(g, 4), std::move(*set));
            } else if (reply2.empty()) {
                showInfo(login::kNoResponseText);
            } else {
                showInfo(login::FieldAt(g, 3).empty() ? std::string(auth_client_det_detail::kUnableForgot) : login::FieldAt(g, 3));
            }
            done();
            finish(2);
        });
        return;
    } else {
        showInfo(f[2].empty() ? std::string(auth_client_det_detail::kUnableForgot) : f[2]);
    }
    done();
    if (!isOtpForm())
        finish(2);
}

void CAuthClientDet::ResendOtp()
{
    if (isBusy())
        return;
    const std::string request =
        login::BuildOtpRequest(1114, identifier(), FixedTextView(pv_user_info.local_address), m_idKind);
    exchange(1114, request, [this](int http, const std::string& reply) { resendReply(http, reply); });
}

void CAuthClientDet::resendReply(int http, const std::string& reply)
{
    WriteLog(0, reply);
    const auto done = [this] {
        enable(1, true);
        enable(2, true);
    };
    const auto fields = replyFields(http, reply, 4);
    if (!fields) {
        done();
        return;
    }
    const std::vector<std::string>& f = *fields;
    const int status = ReplyStatus(f[1]);
    if (status == 0) {
        if (!f[2].empty())
            showInfo(f[2]);
    } else if (status == 102) {
        if (askOkCancel(f[2] + " "))
            SendOtp();
    } else {
        showInfo(f[2].empty() ? std::string(auth_client_det_detail::kUnableForgot) : f[2]);
        done();
        finish(2);
        return;
    }
    done();
}

void CAuthClientDet::SendOtp(std::function<void()> then)
{
    const std::string request =
        login::BuildOtpRequest(1116, identifier(), FixedTextView(pv_user_info.local_address), m_idKind);
    exchange(1116, request, [this, then = std::move(then)](int http, const std::string& reply) {
        WriteLog(0, reply);
        if (const auto f = replyFields(http, reply, 3); f && !(*f)[2].empty())
            showInfo((*f)[2]);
        if (then)
            then();
    });
}

void CAuthClientDet::RunQuestions(const std::string& replyUserId, const std::string& typedId, int idKind, int count,
                                  int required, const std::string& data)
{
    std::optional<QuestionSet> set = SetQuestions(count, required, data);
    std::string uid = replyUserId;
    // Each "start again" answer brings a new set; the server decides when it ends.
    while (set) {
        CAuthClientDet dialog(std::move(*set), uid, typedId, idKind);
        ui::modalHost().run(dialog);
        set.reset();
        if (dialog.m_followUp) {
            uid = dialog.m_followUp->first;
            set = std::move(dialog.m_followUp->second);
        }
    }
}

void CAuthClientDet::RunOtpForm(const std::string& typedId, int idKind)
{
    CAuthClientDet dialog(OtpQuestions(), typedId, typedId, idKind);
    dialog.SendOtp();
    ui::modalHost().run(dialog);
}
