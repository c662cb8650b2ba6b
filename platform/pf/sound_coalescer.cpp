#include "pf/sound_coalescer.h"

namespace pf {

bool SoundCoalescer::request(Sound sound)
{
    std::lock_guard lock(m_mutex);
    if (m_current) {
        ++m_merged;
        return false;
    }
    m_current = sound;
    m_merged = 0;
    return true;
}

int SoundCoalescer::finish()
{
    std::lock_guard lock(m_mutex);
    const int merged = m_merged;
    m_current.reset();
    m_merged = 0;
    return merged;
}

std::optional<Sound> SoundCoalescer::current() const
{
    std::lock_guard lock(m_mutex);
    return m_current;
}

} // namespace pf
