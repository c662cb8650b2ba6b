#pragma once
// The UI layer's start-up and shut-down. Made once on the UI thread after the
// application object, it makes the Qt prompter the process-wide default. Its
// destruction, after the event loop and before worker threads are joined,
// closes the UI thread to further work (see UiThread::close); a worker that
// still asks a question then gets the box's closing answer at once.
namespace ui {

class UiLayer {
public:
    UiLayer();
    ~UiLayer();
    UiLayer(const UiLayer&) = delete;
    UiLayer& operator=(const UiLayer&) = delete;
};

} // namespace ui
