#pragma once
// The "Authentication Questions" dialog of the forgotten-password path: one
// row per question the server sent, built at run time (check box, question,
// input), the optional questions chosen up to the required count, and the
// answers sent back. Given question 9 alone it is the one-time-password form
// with its "GenerateOTP" button. UI thread; run it with ui::modalHost() or
// through RunQuestions / RunOtpForm.
#include "app/LoginExchange.h"
#include "ui/form.h"

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class CComboQst;
class DialogExchange;

class CAuthClientDet final : public ui::Form {
    Q_OBJECT
public:
    static constexpr int kTemplateId = 113;
    static constexpr int kFirstCheck = 20000;
    static constexpr int kFirstInput = 30000;
    static constexpr int kGenerateOtp = 1558;
    static constexpr int kOtpLabel = 1559;
    static constexpr int kOtpQuestion = 9;

    // The server's question data with its counts.
    struct QuestionSet {
        int count = 0;    // as the server gave it
        int required = 0; // R: how many questions must be answered
        std::vector<login::Question> questions;
    };

    // Parses the question data; refuses (log line and message box, nullopt)
    // data with a malformed question or more questions than the dialog has rows.
    static std::optional<QuestionSet> SetQuestions(int count, int required, std::string_view data);
    // The one-time-password form: question 9 only.
    static QuestionSet OtpQuestions();

    CAuthClientDet(QuestionSet set, std::string replyUserId, std::string typedId, int idKind,
                   QWidget* parent = nullptr);
    ~CAuthClientDet() override;

    // Runs the questions dialog modally, then the one a "start again" answer
    // (status 101) brings. UI thread.
    static void RunQuestions(const std::string& replyUserId, const std::string& typedId, int idKind, int count,
                             int required, const std::string& data);
    // Sends the one-time password and opens its form. UI thread.
    static void RunOtpForm(const std::string& typedId, int idKind);

    void OnOK();
    void OnCheck(int checkId);
    // The answers, the resend and the send of the one-time password run off
    // the UI thread; Cancel while one runs ends it.
    void ResendOtp();
    // then: on the UI thread once the reply has been read.
    void SendOtp(std::function<void()> then = {});
    bool isBusy() const;

    bool isOtpForm() const { return m_lastQuestionId == kOtpQuestion; }
    int optionalCount() const { return m_optionalCount; }
    // The input ids of a row (several for character boxes); its combo for a
    // choice question.
    const std::vector<int>& inputIds(size_t row) const { return m_rows.at(row).inputs; }
    CComboQst* comboOf(size_t row) const { return m_rows.at(row).combo; }

protected:
    void onInit() override;

private:
    struct Row {
        login::Question question;
        int checkId = 0;
        std::vector<int> inputs;
        CComboQst* combo = nullptr;
    };
    struct Built {
        ui::FormSpec spec;
        std::vector<Row> rows;
        QuestionSet set;
    };
    static Built buildSpec(QuestionSet set);
    CAuthClientDet(Built built, std::string replyUserId, std::string typedId, int idKind, QWidget* parent);
    void enableRow(const Row& row, bool on, bool clear);
    std::string answerOf(const Row& row) const;
    std::string identifier() const;
    void showInfo(std::string_view text) const;
    // The fields of a reply with at least minFields of them; nullopt once the
    // user has been told why not (a failed exchange that still brought a body
    // passes silently).
    std::optional<std::vector<std::string>> replyFields(int http, const std::string& reply, size_t minFields) const;
    bool askOkCancel(std::string_view text) const;
    // One request on the exchange thread; then(http, reply) on the UI thread.
    void exchange(int code, std::string request, std::function<void(int, const std::string&)> then);
    void answersReply(int http, const std::string& reply);
    void resendReply(int http, const std::string& reply);

    QuestionSet m_set;
    std::vector<Row> m_rows;
    std::string m_replyUserId;
    std::string m_typedId;
    int m_idKind = 0;
    int m_optionalCount = 0;
    int m_lastQuestionId = 0;
    // A "start again" answer's new questions, run by RunQuestions after this
    // dialog has closed.
    std::optional<std::pair<std::string, QuestionSet>> m_followUp;
    // Last: it goes first, while the controls it calls back exist.
    std::unique_ptr<DialogExchange> m_exchange;
};
