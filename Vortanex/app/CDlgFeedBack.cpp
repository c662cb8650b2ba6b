#include "app/CDlgFeedBack.h"

#include "app/DialogExchange.h"

#include "app/base/ActivityStamp.h"
#include "app/base/AppSettings.h"
#include "app/base/FixedText.h"
#include "app/base/LogWriter.h"
#include "app/base/MessageBox.h"
#include "app/base/SessionRecord.h"
#include "app/base/TextFormat.h"
#include "frame/FrameUtilities.h"
#include "frame/ProfileButtons.h"
#include "frame/UserPopupText.h"
#include "orders/TsloOrder.h"

#include "ui/command_bar.h"

#include <QAbstractButton>
#include <QIcon>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QTextCursor>

#include <cmath>

namespace dlg_feed_back_detail {
namespace {

constexpr int kStars = 5;
constexpr int kStarPixels = 22;

// Characters that would break the request (its separators) or that the
// broker's side refuses; line breaks are refused with them.
constexpr const char* kRefusedCharacters = "*#;'&|~^\r\n";
constexpr const char* kRefusedCharactersText = "* # ; ' & | ~ ^ and line breaks";
// Words the broker's side refuses, case-sensitive, in the order searched.
constexpr const char* kRefusedWords[] = {"BENCHMARK", "LOAD_FILE", "IDENTIFIED", "PRIVILEGES", "INJECTON", "SLEEP",
                                         "INJECTION", "SCHEMA",    "HOST_NAME",  "EXEC",       "--"};

ui::FormSpec feedbackSpec()
{
    using ui::ControlKind;
    ui::FormSpec spec;
    spec.templateId = CDlgFeedBack::kTemplateId;
    spec.name = "CDlgFeedBack";
    spec.caption = "Feedback";
    spec.width = 236;
    spec.height = 150;
    spec.controls = {
        {CDlgFeedBack::kLogo, ControlKind::Static, "", {6, 4, 120, 22}},
        {CDlgFeedBack::kPhoto, ControlKind::Static, "", {196, 4, 34, 22}},
        {-1, ControlKind::Label, "How would you rate us?", {6, 30, 150, 9}},
    };
    for (int i = 0; i < kStars; ++i)
        spec.controls.push_back({CDlgFeedBack::kFirstStar + i, ControlKind::Button, "", {6 + i * 20, 40, 18, 16}});
    spec.controls.push_back({CDlgFeedBack::kRatingWord, ControlKind::Label, "", {112, 44, 100, 10}});
    spec.controls.push_back({CDlgFeedBack::kComment, ControlKind::MultiLine, "", {6, 60, 224, 50}});
    spec.controls.push_back({CDlgFeedBack::kCallMeBack, ControlKind::Check, "Call Me back", {6, 114, 100, 10}});
    spec.controls.push_back({1, ControlKind::DefaultButton, "&Submit", {128, 130, 48, 14}});
    spec.controls.push_back({2, ControlKind::Button, "&Cancel", {182, 130, 48, 14}});
    return spec;
}

QIcon starIcon(bool filled)
{
    QPixmap pm(kStarPixels, kStarPixels);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath star;
    const double c = kStarPixels / 2.0;
    const double outer = c - 1.5;
    const double inner = outer * 0.42;
    for (int i = 0; i < 10; ++i) {
        const double r = i % 2 == 0 ? outer : inner;
        const double a = -M_PI / 2 + i * M_PI / 5;
        const QPointF pt(c + r * std::cos(a), c + r * std::sin(a) + 0.8);
        if (i == 0)
            star.moveTo(pt);
        else
            star.lineTo(pt);
    }
    star.closeSubpath();
    p.setPen(QPen(filled ? QColor(0xC8, 0x8A, 0x00) : QColor(0x8A, 0x8A, 0x8A), 1.2));
    p.setBrush(filled ? QBrush(QColor(0xF5, 0xB3, 0x01)) : QBrush(Qt::NoBrush));
    p.drawPath(star);
    return QIcon(pm);
}

std::string trimmed(const std::string& s)
{
    const char* blanks = " \t\r\n\v\f";
    const size_t b = s.find_first_not_of(blanks);
    if (b == std::string::npos)
        return {};
    return s.substr(b, s.find_last_not_of(blanks) - b + 1);
}

// Fields split at '|', as the reply gives them.
std::vector<std::string> splitFields(const std::string& s)
{
    std::vector<std::string> out;
    size_t start = 0;
    for (;;) {
        const size_t bar = s.find('|', start);
        out.push_back(s.substr(start, bar == std::string::npos ? std::string::npos : bar - start));
        if (bar == std::string::npos)
            return out;
        start = bar + 1;
    }
}

// Draws image into place, whole and centred, its proportions kept.
void drawFitted(QPainter& p, const QRect& place, const QImage& image)
{
    if (image.isNull() || place.isEmpty())
        return;
    const QSize fitted = image.size().scaled(place.size(), Qt::KeepAspectRatio);
    const QRect target(place.x() + (place.width() - fitted.width()) / 2,
                       place.y() + (place.height() - fitted.height()) / 2, fitted.width(), fitted.height());
    p.drawImage(target, image);
}

} // namespace
} // namespace dlg_feed_back_detail

CDlgFeedBack::CDlgFeedBack(Hooks hooks, QWidget* parent)
    : ui::Form(dlg_feed_back_detail::feedbackSpec(), parent), m_hooks(std::move(hooks))
{
    setFixedSize(size());
    for (int i = 0; i < dlg_feed_back_detail::kStars; ++i) {
        const int rating = i + 1;
        onClick(kFirstStar + i, [this, rating] { OnStar(rating); });
        if (auto* b = qobject_cast<QAbstractButton*>(control(kFirstStar + i))) {
            b->setToolTip(QString::fromStdString(RatingWord(rating)));
            b->setIconSize(QSize(dlg_feed_back_detail::kStarPixels, dlg_feed_back_detail::kStarPixels));
            b->setFocusPolicy(Qt::TabFocus);
            b->setStyleSheet(QStringLiteral("QPushButton { border: none; background: transparent; }"));
        }
    }
    onClick(1, [this] { OnSubmit(); });
    onClick(2, [this] {
        if (isBusy())
            m_exchange->cancel();
        finish(2);
    });
    onChanged(kComment, [this] { limitComment(); });
    m_exchange = std::make_unique<DialogExchange>([this](bool busy) {
        setControlsEnabled(!busy);
        setCursor(busy ? Qt::BusyCursor : Qt::ArrowCursor);
    });
}

CDlgFeedBack::~CDlgFeedBack() = default;

std::string CDlgFeedBack::RatingWord(int rating)
{
    switch (rating) {
    case 1: return "Hated it";
    case 2: return "Disliked it";
    case 3: return "It's OK";
    case 4: return "Liked it";
    case 5: return "Loved it";
    default: return {};
    }
}

std::string CDlgFeedBack::CommentProblem(const std::string& comment)
{
    if (comment.find_first_of(dlg_feed_back_detail::kRefusedCharacters) != std::string::npos)
        return formatText("Special Characters like %s not allowed.", dlg_feed_back_detail::kRefusedCharactersText);
    for (const char* word : dlg_feed_back_detail::kRefusedWords)
        if (comment.find(word) != std::string::npos)
            return "Invalid input. Please try again..";
    return {};
}

std::string CDlgFeedBack::BuildRequest(const std::string& userId, const std::string& sessionId, int rating,
                                       const std::string& infoText, const std::string& comment, bool callMeBack)
{
    return "ReportData=810|" + userId + "|" + sessionId + "|4|" + kBuildText + "|" + std::to_string(rating) + "|"
        + infoText + "|" + comment + "|" + (callMeBack ? "Y" : "N");
}

bool CDlgFeedBack::isBusy() const
{
    return m_exchange && m_exchange->busy();
}

bool CDlgFeedBack::StarFilled(int star) const
{
    auto* b = qobject_cast<QAbstractButton*>(control(kFirstStar + star - 1));
    return b && b->property("filled").toBool();
}

void CDlgFeedBack::onInit()
{
    SetAccessTime();
    if (m_hooks.locked && m_hooks.locked()) {
        MsgBoxInfo("Terminal is Locked. Pls Unlock to provide Feedback.");
        finish(2);
        return;
    }
    OnStar(0);
    if (auto* edit = qobject_cast<QPlainTextEdit*>(control(kComment)))
        edit->setPlaceholderText(QStringLiteral("Leave a comment..."));
    if (!LoadPngResource(m_logo, QStringLiteral("303")))
        WriteLog(1, "Loading Header Logo failed");
    const std::string path = m_hooks.picturePath ? m_hooks.picturePath() : std::string();
    if (path.empty() || !m_photo.load(QString::fromStdString(path))) {
        WriteLog(1, "Loading default image for Feedback");
        m_photo = ProfileButtons::DefaultPicture();
        if (m_photo.isNull())
            WriteLog(0, "Loaded default image failed for Feedback");
    }
    update();
}

void CDlgFeedBack::OnStar(int rating)
{
    m_rating = rating < 0 || rating > dlg_feed_back_detail::kStars ? 0 : rating;
    static const QIcon filled = dlg_feed_back_detail::starIcon(true);
    static const QIcon empty = dlg_feed_back_detail::starIcon(false);
    for (int i = 0; i < dlg_feed_back_detail::kStars; ++i) {
        if (auto* b = qobject_cast<QAbstractButton*>(control(kFirstStar + i))) {
            const bool on = i < m_rating;
            b->setIcon(on ? filled : empty);
            b->setProperty("filled", on);
            b->update();
        }
    }
    setText(kRatingWord, RatingWord(m_rating));
}

void CDlgFeedBack::limitComment()
{
    auto* edit = qobject_cast<QPlainTextEdit*>(control(kComment));
    if (!edit)
        return;
    const QString text = edit->toPlainText();
    if (text.size() <= kCommentLimit)
        return;
    edit->setPlainText(text.left(kCommentLimit));
    edit->moveCursor(QTextCursor::End);
}

void CDlgFeedBack::setControlsEnabled(bool on)
{
    for (int i = 0; i < dlg_feed_back_detail::kStars; ++i)
        enable(kFirstStar + i, on);
    for (int id : {kComment, kCallMeBack, 1, 2})
        enable(id, on);
}

void CDlgFeedBack::OnSubmit()
{
    SetAccessTime();
    if (isBusy())
        return;
    setControlsEnabled(false);
    if (m_rating == 0) {
        MsgBoxOk("Please select rating.");
        setControlsEnabled(true);
        ui::CommandBar::reopenPopup(this);
        return;
    }
    const std::string comment = dlg_feed_back_detail::trimmed(text(kComment));
    if (const std::string problem = CommentProblem(comment); !problem.empty()) {
        MsgBoxOk(problem);
        setControlsEnabled(true);
        ui::CommandBar::reopenPopup(this);
        focus(kComment);
        return;
    }
    const std::string request = BuildRequest(std::string(FixedTextView(pv_user_info.user_id)),
                                             std::string(FixedTextView(pv_user_info.session_id)), m_rating,
                                             GetInfoText(), comment, checked(kCallMeBack));
    WriteLog(1, request);
    auto result = std::make_shared<std::pair<int, std::string>>(-1, std::string());
    auto send = m_hooks.send;
    const bool started = m_exchange->run(
        [request, result, send](ExchangeCancel& cancel) {
            if (send)
                result->first = send(request, result->second, cancel);
        },
        [this, result] { handleReply(result->first, result->second); });
    if (!started) {
        WriteLog(0, "Feedback not sent: no thread for the request");
        setControlsEnabled(true);
    }
}

void CDlgFeedBack::handleReply(int http, const std::string& reply)
{
    WriteLog(1, formatText("Feedback reply [%d] : %s", http, reply.c_str()));
    // An HTTP failure is reported as such: its reply is always empty.
    if (http == 407) {
        MsgBoxOk("Proxy Authentication Failed");
        finish(2);
        return;
    }
    if (http != 200) {
        MsgBoxOk(formatText("Internet Connectivity Error [%d]. Pls contact System Administrator", http));
        finish(2);
        return;
    }
    if (reply.empty()) {
        MsgBoxOk("No response received from server");
        setControlsEnabled(true);
        ui::CommandBar::reopenPopup(this);
        return;
    }
    const std::vector<std::string> fields = dlg_feed_back_detail::splitFields(reply);
    if (fields.size() <= 2) {
        finish(2);
        return;
    }
    // Fields counted from 1: the first is the reply code, the third its text.
    if (dlg_feed_back_detail::trimmed(fields[0]) != "811") {
        MsgBoxOk("Invalid response received from server");
        setControlsEnabled(true);
        ui::CommandBar::reopenPopup(this);
        return;
    }
    UserPopupFields popup;
    popup.kind = 6;
    popup.side = ' ';
    popup.text = fields[2];
    popup.address = m_hooks.brokerWebAddress ? m_hooks.brokerWebAddress() : std::string();
    popup.eventId = 6;
    if (m_hooks.showAnswer)
        m_hooks.showAnswer(FormatUserPopupText(popup), fields[2]);
    finish(1);
}

void CDlgFeedBack::paintEvent(QPaintEvent* event)
{
    ui::Form::paintEvent(event);
    QPainter p(this);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    if (QWidget* logo = control(kLogo))
        dlg_feed_back_detail::drawFitted(p, logo->geometry(), m_logo);
    if (QWidget* photo = control(kPhoto))
        dlg_feed_back_detail::drawFitted(p, photo->geometry(), m_photo);
}
