#pragma once
// Sounds the terminal asks for (alerts, research messages). Callers on any
// thread only request; the service decides what actually plays.
namespace pf {

enum class Sound {
    AlertFile, // the alert sound file (a beep when it cannot be played)
    Tone,      // the short tone
};

class SoundService {
public:
    virtual ~SoundService() = default;
    // Any thread; returns at once.
    virtual void request(Sound sound) = 0;
};

} // namespace pf
