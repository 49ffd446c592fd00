// The movie's sound through SDL's audio: SDL's "disk" driver writes what the device plays into a
// file, which makes the real output observable on a machine without a sound card.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <thread>

#include "gui/audio_device.h"
#include "gui/sound_player.h"
#include "gui_harness.h"
#include "input/decode_graph.h"
#include "resources/tick_wave.h"
#include "support/frame_recorder.h"
#include "support/sound_movies.h"
#include "support/test_media.h"

namespace tarn::test {
namespace {

using namespace std::chrono_literals;

std::vector<int16_t> samplesOf(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<int16_t> samples(bytes.size() / 2);
  std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
  return samples;
}

struct Played {
  std::vector<int16_t> samples;
  PcmFormat format;
};

// Plays the tone movie through a freshly opened device to its end; returns what the device
// played, or nullopt when no device opened.
std::optional<Played> playToneMovie(const std::filesystem::path& file, bool muted) {
  ScopedEnvironment driver("SDL_AUDIODRIVER", "disk");
  ScopedEnvironment target("SDL_DISKAUDIOFILE", file.string());
  PcmFormat format;
  {
    auto output = AudioDevice::open();
    if (!output) return std::nullopt;
    format = output->format();
    EXPECT_GT(format.sampleRate, 0);
    EXPECT_GT(format.channels, 0);
    OpenedGraph opened = openDecodeGraph(toneMovie(), output.get());
    EXPECT_TRUE(opened.graph);
    if (!opened.graph) return std::nullopt;
    opened.graph->setMuted(muted);
    opened.graph->run();
    EXPECT_TRUE(waitForComplete(*opened.graph));
    std::this_thread::sleep_for(400ms);  // the queue's last part reaches the device
  }                                      // graph, then device closed: the file is complete
  return Played{samplesOf(file), format};
}

TEST(MovieSoundDeviceTest, TheToneReachesTheDeviceAndAMutedGraphLeavesItSilent) {
  ASSERT_FALSE(toneMovie().empty());
  ScratchDir dir;
  const auto played = playToneMovie(dir / "played.raw", false);
  ASSERT_TRUE(played) << "SDL's disk audio driver did not open";
  const std::vector<int16_t>& sound = played->samples;
  EXPECT_GT(peakOf(sound), 2000);
  // The whole second of tone, not a blip: from its first sound to its last lie more than half a
  // second of the device's samples.
  const auto first = std::find_if(sound.begin(), sound.end(), [](int16_t s) { return s != 0; });
  const auto last = std::find_if(sound.rbegin(), sound.rend(), [](int16_t s) { return s != 0; });
  ASSERT_NE(first, sound.end());
  EXPECT_GT(std::distance(first, last.base()),
            played->format.sampleRate * played->format.channels / 2);

  const auto muted = playToneMovie(dir / "muted.raw", true);
  ASSERT_TRUE(muted);
  EXPECT_FALSE(muted->samples.empty());  // the device ran, and played silence
  EXPECT_EQ(peakOf(muted->samples), 0);
}

TEST(MovieSoundDeviceTest, TheClickSharesTheDeviceWithAPlayingMovie) {
  ASSERT_FALSE(toneMovie().empty());
  ScratchDir dir;
  const std::filesystem::path file = dir / "mixed.raw";
  PcmFormat format;
  {
    ScopedEnvironment driver("SDL_AUDIODRIVER", "disk");
    ScopedEnvironment target("SDL_DISKAUDIOFILE", file.string());
    auto device = AudioDevice::open();
    ASSERT_TRUE(device) << "SDL's disk audio driver did not open";
    format = device->format();
    SoundPlayer player(device.get());
    ASSERT_TRUE(player.hasDevice());
    // The click alone, then the click over the muted movie, then over the playing one.
    player.play(makeTickWave());
    std::this_thread::sleep_for(300ms);
    OpenedGraph opened = openDecodeGraph(toneMovie(), device.get());
    ASSERT_TRUE(opened.graph);
    opened.graph->run();
    player.play(makeTickWave());
    EXPECT_TRUE(waitForComplete(*opened.graph));
    std::this_thread::sleep_for(300ms);
  }
  const std::vector<int16_t> sound = samplesOf(file);
  // In blocks of 10 ms: the click at the start, a stretch of silence (at least 50 ms of the
  // 300 ms waited), then the movie's tone with the second click in it.
  const size_t block = static_cast<size_t>(format.sampleRate * format.channels / 100);
  std::vector<int32_t> peaks;
  for (size_t at = 0; at + block <= sound.size(); at += block) {
    peaks.push_back(peakOf({sound.begin() + static_cast<std::ptrdiff_t>(at),
                            sound.begin() + static_cast<std::ptrdiff_t>(at + block)}));
  }
  const auto loud = [](int32_t peak) { return peak > 0; };
  const auto click = std::find_if(peaks.begin(), peaks.end(), loud);
  ASSERT_NE(click, peaks.end());
  EXPECT_LT(click - peaks.begin(), 10);
  const auto silence = std::find_if_not(click, peaks.end(), loud);
  const auto movie = std::find_if(silence, peaks.end(), loud);
  ASSERT_NE(movie, peaks.end());
  EXPECT_GE(movie - silence, 5);
  EXPECT_GT(*std::max_element(movie, peaks.end()), 2000);
}

TEST(MovieSoundDeviceTest, WithoutADeviceMoviesPlaySilentlyAndWithTheDummyDriverToo) {
  ASSERT_FALSE(toneMovie().empty());
  {
    // An audio driver that does not exist: no output, and a graph without one plays as before.
    ScopedEnvironment driver("SDL_AUDIODRIVER", "no-such-driver");
    EXPECT_FALSE(AudioDevice::open());
    OpenedGraph opened = openDecodeGraph(toneMovie(), nullptr);
    ASSERT_TRUE(opened.graph);
    opened.graph->run();
    EXPECT_TRUE(waitForComplete(*opened.graph));
  }
  {
    ScopedEnvironment driver("SDL_AUDIODRIVER", "dummy");
    auto output = AudioDevice::open();
    ASSERT_TRUE(output) << "SDL's dummy audio driver did not open";
    OpenedGraph opened = openDecodeGraph(toneMovie(), output.get());
    ASSERT_TRUE(opened.graph);
    opened.graph->run();
    std::this_thread::sleep_for(200ms);
    opened.graph->pause();
    opened.graph->seek(0);
    opened.graph->run();
    EXPECT_TRUE(waitForComplete(*opened.graph));
  }
}

}  // namespace
}  // namespace tarn::test
