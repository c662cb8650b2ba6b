#pragma once
// The alert sound: a tone, or the alert sound file when it is installed.
// Requests go through the sound service, which merges a burst of alerts
// into one sound.
#include "pf/paths.h"
#include "pf/sound_service.h"

#include <filesystem>
#include <optional>

// "alert.wav" from Data/Sound, else from the program folder; empty when
// neither holds it.
std::optional<std::filesystem::path> AlertSoundFile(const pf::Paths& paths);

// beep != 0: the tone. Otherwise the alert file, or the tone when the file is
// missing (the fallback system beeps of a burst merge into one). Returns 0.
int AlertSoundThread(int beep, pf::SoundService& sound, const pf::Paths& paths);
