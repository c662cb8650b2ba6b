#include "ui/ui_layer.h"

#include "ui/qt_prompter.h"
#include "ui/ui_thread.h"

namespace ui {

UiLayer::UiLayer()
{
    UiThread::requireCurrent("UiLayer");
    // Stays installed for the life of the process: late workers may still ask.
    static QtPrompter qtPrompter;
    setDefaultPrompter(&qtPrompter);
}

UiLayer::~UiLayer()
{
    UiThread::close();
}

} // namespace ui
