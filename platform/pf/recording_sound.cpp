#include "pf/recording_sound.h"

namespace pf {

void RecordingSound::request(Sound sound)
{
    // Under one lock so that a play is recorded before a concurrent
    // finishPlaying() can look for it.
    std::lock_guard lock(m_mutex);
    ++m_requests;
    if (m_coalescer.request(sound))
        m_plays.push_back({sound, 0, false});
}

int RecordingSound::finishPlaying()
{
    std::lock_guard lock(m_mutex);
    if (m_plays.empty() || m_plays.back().finished)
        return 0;
    const int merged = m_coalescer.finish();
    m_plays.back().merged = merged;
    m_plays.back().finished = true;
    return merged;
}

std::vector<RecordingSound::Play> RecordingSound::plays() const
{
    std::lock_guard lock(m_mutex);
    return m_plays;
}

int RecordingSound::requests() const
{
    std::lock_guard lock(m_mutex);
    return m_requests;
}

} // namespace pf
