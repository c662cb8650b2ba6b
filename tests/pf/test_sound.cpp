#include "pf/recording_sound.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

TEST(SoundCoalescer, MergesWhileASoundIsQueuedOrPlaying)
{
    pf::SoundCoalescer c;
    EXPECT_FALSE(c.current());
    EXPECT_TRUE(c.request(pf::Sound::AlertFile));
    EXPECT_FALSE(c.request(pf::Sound::AlertFile));
    EXPECT_FALSE(c.request(pf::Sound::Tone)); // any sound merges into the one queued
    EXPECT_EQ(c.current(), pf::Sound::AlertFile);
    EXPECT_EQ(c.finish(), 2);
    EXPECT_FALSE(c.current());
    EXPECT_TRUE(c.request(pf::Sound::Tone));
    EXPECT_EQ(c.finish(), 0);
}

TEST(RecordingSound, ABurstFromManyThreadsPlaysOnce)
{
    pf::RecordingSound sound;
    std::vector<std::thread> threads;
    for (int t = 0; t < 10; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 10; ++i)
                sound.request(pf::Sound::AlertFile);
        });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(sound.requests(), 100);
    EXPECT_EQ(sound.finishPlaying(), 99);
    EXPECT_EQ(sound.finishPlaying(), 0); // nothing playing any more

    sound.request(pf::Sound::Tone);
    const auto plays = sound.plays();
    ASSERT_EQ(plays.size(), 2u);
    EXPECT_EQ(plays[0].sound, pf::Sound::AlertFile);
    EXPECT_EQ(plays[0].merged, 99);
    EXPECT_TRUE(plays[0].finished);
    EXPECT_EQ(plays[1].sound, pf::Sound::Tone);
    EXPECT_FALSE(plays[1].finished);
}

} // namespace
