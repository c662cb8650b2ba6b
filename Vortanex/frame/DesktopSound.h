#pragma once
// The sound service of the running program: the alert sound file played by
// the desktop's sound player, the tone (and a file that cannot be played) as
// the display's bell. Requests that arrive while a sound plays merge into it,
// so a burst of alerts gives one sound.
#include "pf/paths.h"
#include "pf/sound_coalescer.h"
#include "pf/sound_service.h"

#include <memory>

class DesktopSound final : public pf::SoundService {
public:
    explicit DesktopSound(pf::Paths paths);
    ~DesktopSound() override;
    DesktopSound(const DesktopSound&) = delete;
    DesktopSound& operator=(const DesktopSound&) = delete;

    // Any thread; the sound starts on the UI thread.
    void request(pf::Sound sound) override;

private:
    void play(pf::Sound sound); // UI thread

    pf::Paths m_paths;
    pf::SoundCoalescer m_coalescer;
    // Lets queued plays see whether the service still exists.
    std::shared_ptr<DesktopSound*> m_self;
};
