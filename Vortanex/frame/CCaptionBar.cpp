#include "frame/CCaptionBar.h"

#include "app/base/MessageBox.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMainWindow>
#include <QPointer>
#include <QPushButton>
#include <QToolBar>
#include <QToolButton>

CCaptionBar* CCaptionBar::Create(QMainWindow& frame, const std::string& text, Report report)
{
    auto* holder = new QToolBar(&frame);
    holder->setObjectName("CaptionBar");
    holder->setMovable(false);
    holder->setFloatable(false);
    auto* bar = new CCaptionBar(text, std::move(report), holder);
    holder->addWidget(bar);
    frame.addToolBarBreak(Qt::TopToolBarArea);
    frame.addToolBar(Qt::TopToolBarArea, holder);
    return bar;
}

CCaptionBar::CCaptionBar(const std::string& text, Report report, QWidget* parent)
    : QWidget(parent), m_report(std::move(report))
{
    setObjectName("CCaptionBar");
    setAutoFillBackground(true);
    setStyleSheet("CCaptionBar { background: #c00000; } QLabel { color: white; font-weight: bold; }");
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(8, 2, 4, 2);
    m_label = new QLabel(QString::fromStdString(text), this);
    m_button = new QPushButton(QStringLiteral("Report Error"), this);
    auto* close = new QToolButton(this);
    close->setText(QStringLiteral("\u2715"));
    close->setAutoRaise(true);
    row->addWidget(m_label, 1);
    row->addWidget(m_button);
    row->addWidget(close);
    connect(m_button, &QPushButton::clicked, this, [this] { OnReportError(); });
    connect(close, &QToolButton::clicked, this, [this] { OnClose(); });
}

QString CCaptionBar::text() const
{
    return m_label->text();
}

void CCaptionBar::OnReportError()
{
    if (!m_report || !m_button->isEnabled())
        return;
    m_button->setEnabled(false);
    QPointer<CCaptionBar> self(this);
    m_report([self](bool delivered) {
        if (!self)
            return;
        // The offer stays when the report did not get through.
        self->m_button->setEnabled(true);
        if (delivered)
            self->dismiss();
    });
}

void CCaptionBar::OnClose()
{
    if (MsgBoxStyle("Are you sure you don't want to report this error ?", MsgYesNo | MsgIconQuestion) == 6)
        dismiss();
}

void CCaptionBar::dismiss()
{
    if (QWidget* holder = parentWidget()) {
        holder->hide();
        holder->deleteLater();
    }
}
