#include "frame/FormsAboveFrame.h"

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QPointer>
#include <QWidget>
#include <QWindow>

namespace forms_above_frame_detail {
namespace {

class FormsAboveFrame final : public QObject {
public:
    explicit FormsAboveFrame(QWidget& frame) : QObject(&frame), m_frame(&frame) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show && watched->isWidgetType()) {
            auto* w = static_cast<QWidget*>(watched);
            if (w->isWindow() && !w->parentWidget() && qobject_cast<QDialog*>(w) && m_frame && w != m_frame) {
                QWindow* own = w->windowHandle();
                QWindow* frame = m_frame->windowHandle();
                if (own && frame && own != frame && !own->transientParent())
                    own->setTransientParent(frame);
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QPointer<QWidget> m_frame;
};

} // namespace
} // namespace forms_above_frame_detail

void KeepFormsAboveFrame(QWidget& frame)
{
    qApp->installEventFilter(new forms_above_frame_detail::FormsAboveFrame(frame));
}
