#include "server/AlertSound.h"

#include <system_error>

std::optional<std::filesystem::path> AlertSoundFile(const pf::Paths& paths)
{
    for (const auto& p : {paths.sound() / "alert.wav", paths.root() / "alert.wav"}) {
        std::error_code ec;
        if (std::filesystem::is_regular_file(p, ec))
            return p;
    }
    return std::nullopt;
}

int AlertSoundThread(int beep, pf::SoundService& sound, const pf::Paths& paths)
{
    if (beep != 0 || !AlertSoundFile(paths))
        sound.request(pf::Sound::Tone);
    else
        sound.request(pf::Sound::AlertFile);
    return 0;
}
