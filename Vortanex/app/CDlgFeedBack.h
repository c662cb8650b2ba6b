#pragma once
// The feedback panel that drops down from the ribbon's Feedback button: one
// to five stars, a comment of up to 500 characters and "Call Me back". Submit
// checks the comment, sends it to the broker (code 810) off the UI thread
// while the panel shows busy, and hands the broker's answer to the message
// bar. UI thread, except the send, which runs on the exchange thread.
#include "ui/form.h"

#include <QImage>

#include <functional>
#include <memory>
#include <string>

class DialogExchange;
class ExchangeCancel;
class QPaintEvent;

class CDlgFeedBack final : public ui::Form {
    Q_OBJECT
public:
    static constexpr int kTemplateId = 288;
    static constexpr int kFirstStar = 1457; // to 1461
    static constexpr int kComment = 1462;
    static constexpr int kRatingWord = 1463;
    static constexpr int kCallMeBack = 1464;
    static constexpr int kLogo = 1465;
    static constexpr int kPhoto = 1466;
    static constexpr int kCommentLimit = 500;

    struct Hooks {
        std::function<bool()> locked;
        // The frame's current profile picture (200 pixels); empty for none.
        std::function<std::string()> picturePath;
        // Sends the request with transaction code 810; returns the HTTP status
        // and fills the reply. Runs on the exchange thread.
        std::function<int(const std::string& request, std::string& reply, ExchangeCancel& cancel)> send;
        // The popup text of the broker's answer for the main frame (UI thread).
        std::function<void(const std::string& popupText, const std::string& answer)> showAnswer;
        // The broker's web address the answer's popup carries.
        std::function<std::string()> brokerWebAddress;
    };

    explicit CDlgFeedBack(Hooks hooks, QWidget* parent = nullptr);
    ~CDlgFeedBack() override;

    // "Hated it" ... "Loved it"; empty for 0.
    static std::string RatingWord(int rating);
    // The message that refuses a comment (already trimmed), empty when it
    // may be sent.
    static std::string CommentProblem(const std::string& comment);
    // "ReportData=810|uid|session|4|build|rating|info|comment|Y/N".
    static std::string BuildRequest(const std::string& userId, const std::string& sessionId, int rating,
                                    const std::string& infoText, const std::string& comment, bool callMeBack);

    void OnStar(int rating);
    void OnSubmit();
    int Rating() const { return m_rating; }
    bool StarFilled(int star) const;
    bool isBusy() const;
    const QImage& Photo() const { return m_photo; }

protected:
    void onInit() override;
    void paintEvent(QPaintEvent* event) override;

private:
    void setControlsEnabled(bool on);
    void handleReply(int http, const std::string& reply);
    void limitComment();

    Hooks m_hooks;
    int m_rating = 0;
    QImage m_logo;
    QImage m_photo;
    // Last: it goes first, while the controls it calls back exist.
    std::unique_ptr<DialogExchange> m_exchange;
};
