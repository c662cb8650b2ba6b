#pragma once
// A SoundService for tests: applies the coalescing policy and records each
// sound that would play with the number of requests merged into it. A sound
// "plays" until finishPlaying() is called.
#include "pf/sound_coalescer.h"

#include <mutex>
#include <vector>

namespace pf {

class RecordingSound final : public SoundService {
public:
    struct Play {
        Sound sound;
        int merged = 0; // requests merged into it (known once it finished)
        bool finished = false;
    };

    void request(Sound sound) override;
    // Ends the sound playing now; returns its merged count (0 when none played).
    int finishPlaying();

    std::vector<Play> plays() const;
    int requests() const;

private:
    SoundCoalescer m_coalescer;
    mutable std::mutex m_mutex;
    std::vector<Play> m_plays; // guarded by m_mutex
    int m_requests = 0;        // guarded by m_mutex
};

} // namespace pf
