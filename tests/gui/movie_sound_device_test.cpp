// The movie's sound through SDL's audio: SDL's "disk" driver writes what the device plays into a
// file, which makes the real output observable on a machine without a sound card.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <thread>

#include "gui/sdl_sound_output.h"
#include "input/decode_graph.h"
#include "support/frame_recorder.h"
#include "support/sound_movies.h"
#include "support/test_media.h"

namespace tarn::test {
namespace {

using namespace std::chrono_literals;

// Sets an environment variable for one scope and restores what was there.
class ScopedEnvironment {
 public:
  ScopedEnvironment(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    setenv(name, value.c_str(), 1);
  }
  ~ScopedEnvironment() {
    if (old_) {
      setenv(name_, old_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

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
    auto output = SdlSoundOutput::open();
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

TEST(MovieSoundDeviceTest, WithoutADeviceMoviesPlaySilentlyAndWithTheDummyDriverToo) {
  ASSERT_FALSE(toneMovie().empty());
  {
    // An audio driver that does not exist: no output, and a graph without one plays as before.
    ScopedEnvironment driver("SDL_AUDIODRIVER", "no-such-driver");
    EXPECT_FALSE(SdlSoundOutput::open());
    OpenedGraph opened = openDecodeGraph(toneMovie(), nullptr);
    ASSERT_TRUE(opened.graph);
    opened.graph->run();
    EXPECT_TRUE(waitForComplete(*opened.graph));
  }
  {
    ScopedEnvironment driver("SDL_AUDIODRIVER", "dummy");
    auto output = SdlSoundOutput::open();
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
