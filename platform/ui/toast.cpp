#include "ui/toast.h"

#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QMouseEvent>
#include <QPropertyAnimation>
#include <QTimer>
#include <QVBoxLayout>

namespace ui {

namespace {
constexpr int kWidth = 280;
constexpr int kHeight = 120;

QString colourName(const QColor& c, const char* fallback)
{
    return c.isValid() ? c.name() : QString::fromLatin1(fallback);
}
} // namespace

Toast::Toast(const ToastSpec& spec, QWidget* owner)
    : QWidget(owner, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus),
      m_spec(spec),
      m_close(new QTimer(this))
{
    setAttribute(Qt::WA_DeleteOnClose);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setObjectName("Toast");
    setFixedSize(kWidth, kHeight);
    const auto& c = spec.colours.colours;
    setStyleSheet(QString("#Toast { background: %1; border: 1px solid #808080; }"
                          "#ToastCaption { background: %2; color: %3; font-weight: bold; padding: 3px; }"
                          "#ToastText { color: #000000; }"
                          "#ToastLink { color: %4; text-decoration: underline; }")
                      .arg(colourName(c[2], "#f4f4f4"), colourName(c[0], "#dcdcdc"), colourName(c[1], "#000000"),
                           colourName(c[3], "#0000fa")));
    setAttribute(Qt::WA_StyledBackground);

    auto* v = new QVBoxLayout(this);
    v->setContentsMargins(0, 0, 0, 4);
    v->setSpacing(4);
    auto* caption = new QLabel(spec.caption, this);
    caption->setObjectName("ToastCaption");
    caption->setTextFormat(Qt::PlainText);
    v->addWidget(caption);
    auto* body = new QHBoxLayout;
    body->setContentsMargins(6, 0, 6, 0);
    if (!spec.icon.isNull()) {
        auto* icon = new QLabel(this);
        icon->setPixmap(spec.icon.pixmap(32, 32));
        icon->setAlignment(Qt::AlignTop);
        body->addWidget(icon);
    }
    auto* texts = new QVBoxLayout;
    auto* text = new QLabel(spec.text, this);
    text->setObjectName("ToastText");
    text->setWordWrap(true);
    text->setTextFormat(Qt::PlainText);
    texts->addWidget(text, 1);
    auto* link = new QLabel(spec.linkText, this);
    link->setObjectName("ToastLink");
    link->setTextFormat(Qt::PlainText);
    link->setCursor(Qt::PointingHandCursor);
    texts->addWidget(link);
    body->addLayout(texts, 1);
    v->addLayout(body, 1);

    m_close->setSingleShot(true);
    connect(m_close, &QTimer::timeout, this, &QWidget::close);
}

Toast::~Toast() = default;

void Toast::showAt(QPoint pos)
{
    move(pos);
    if (m_spec.fadeStepMs > 0) {
        setWindowOpacity(0.0);
        m_fade = new QPropertyAnimation(this, "windowOpacity", this);
        // The fade takes a fixed number of steps of the given length.
        m_fade->setDuration(m_spec.fadeStepMs * 10);
        m_fade->setStartValue(0.0);
        m_fade->setEndValue(m_spec.opacity);
        m_fade->start();
    } else {
        setWindowOpacity(m_spec.opacity);
    }
    show();
    if (m_spec.autoCloseMs > 0)
        m_close->start(m_spec.autoCloseMs);
}

bool Toast::closeTimerRunning() const
{
    return m_close->isActive();
}

void Toast::click()
{
    if (onClicked)
        onClicked();
    close();
}

void Toast::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        click();
        return;
    }
    QWidget::mouseReleaseEvent(event);
}

} // namespace ui
