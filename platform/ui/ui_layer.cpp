#include "ui/ui_layer.h"

#include "ui/qt_prompter.h"
#include "ui/ui_thread.h"

namespace ui {

UiLayer::UiLayer() : m_prompter(std::make_unique<QtPrompter>())
{
    UiThread::requireCurrent("UiLayer");
    setDefaultPrompter(m_prompter.get());
}

UiLayer::~UiLayer()
{
    setDefaultPrompter(nullptr);
}

} // namespace ui
