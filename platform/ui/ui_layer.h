#pragma once
// The UI layer's start-up: made once on the UI thread after the application
// object, it makes the Qt prompter the process-wide default. Destroy it
// before the application object.
#include <memory>

namespace ui {

class QtPrompter;

class UiLayer {
public:
    UiLayer();
    ~UiLayer();
    UiLayer(const UiLayer&) = delete;
    UiLayer& operator=(const UiLayer&) = delete;

private:
    std::unique_ptr<QtPrompter> m_prompter;
};

} // namespace ui
