#pragma once
// The policy every sound service follows: while a sound is queued or playing,
// further requests merge into it and are only counted, so a burst of alerts
// from one feed tick gives one sound instead of a queue of them.
#include "pf/sound_service.h"

#include <mutex>
#include <optional>

namespace pf {

class SoundCoalescer {
public:
    // True when this request starts a new sound: the caller must queue it for
    // playing and call finish() when it ends. False when it merged into the
    // sound already queued or playing.
    bool request(Sound sound);
    // The current sound has ended; returns how many requests merged into it.
    // The next request starts a new sound.
    int finish();
    // The sound queued or playing, if any.
    std::optional<Sound> current() const;

private:
    mutable std::mutex m_mutex;
    std::optional<Sound> m_current; // guarded by m_mutex
    int m_merged = 0;               // guarded by m_mutex
};

} // namespace pf
