#include "testkit/keep_look.h"

#include <QApplication>

namespace testkit {

KeepLook::KeepLook(std::function<void()> restoreMore)
    : m_restoreMore(std::move(restoreMore)), m_palette(QApplication::palette()), m_styleSheet(qApp->styleSheet())
{
}

KeepLook::~KeepLook()
{
    if (m_restoreMore)
        m_restoreMore();
    QApplication::setPalette(m_palette);
    qApp->setStyleSheet(m_styleSheet);
}

} // namespace testkit
