#include "input/audio_decoder.h"

#include <gtest/gtest.h>

#include "support/sound_movies.h"
#include "support/test_media.h"

namespace tarn {
namespace {

constexpr int64_t kSecond = 10'000'000;
constexpr int64_t kMillisecond = 10'000;

struct Decoded {
  std::vector<int16_t> samples;
  std::vector<int64_t> chunkTicks;
};

// Everything from the decoder's position to the end of the stream.
Decoded decodeToEnd(AudioDecoder& decoder) {
  Decoded decoded;
  while (decoder.nextChunk()) {
    decoded.chunkTicks.push_back(decoder.chunkTicks());
    decoded.samples.insert(decoded.samples.end(), decoder.samples().begin(),
                           decoder.samples().end());
  }
  return decoded;
}

TEST(AudioDecoderTest, ConvertsTheWholeToneToTheOutputRateAndChannels) {
  const auto movie = test::toneMovie();
  ASSERT_FALSE(movie.empty());
  auto decoder = AudioDecoder::open(movie, PcmFormat{48000, 2});
  ASSERT_TRUE(decoder);
  const Decoded decoded = decodeToEnd(*decoder);

  // One second of 44100 Hz mono becomes 48000 stereo frames.
  ASSERT_EQ(decoded.samples.size() % 2, 0u);
  EXPECT_NEAR(static_cast<double>(decoded.samples.size() / 2), 48000.0, 2.0);
  ASSERT_FALSE(decoded.chunkTicks.empty());
  EXPECT_NEAR(decoded.chunkTicks.front(), 0, kMillisecond);
  for (size_t i = 1; i < decoded.chunkTicks.size(); ++i) {
    EXPECT_LT(decoded.chunkTicks[i - 1], decoded.chunkTicks[i]);
  }
  // The mono tone is in both channels alike, and clearly audible (the source has 1/8 of full
  // scale; spreading it over two channels lowers it by 3 dB).
  for (size_t i = 0; i + 1 < decoded.samples.size(); i += 2) {
    ASSERT_EQ(decoded.samples[i], decoded.samples[i + 1]) << i;
  }
  EXPECT_GT(test::peakOf(decoded.samples), 2000);

  // Another format from the same file: 22050 Hz mono.
  auto small = AudioDecoder::open(movie, PcmFormat{22050, 1});
  ASSERT_TRUE(small);
  EXPECT_NEAR(static_cast<double>(decodeToEnd(*small).samples.size()), 22050.0, 2.0);
}

TEST(AudioDecoderTest, SeekStartsAtTheTargetAndSkipsWhatLiesBefore) {
  const auto movie = test::lateToneMovie();
  ASSERT_FALSE(movie.empty());
  auto decoder = AudioDecoder::open(movie, PcmFormat{48000, 1});
  ASSERT_TRUE(decoder);

  // From the start: a silent first second, then the tone; about two seconds in all.
  const Decoded whole = decodeToEnd(*decoder);
  EXPECT_NEAR(static_cast<double>(whole.samples.size()), 96000.0, 1100.0);
  ASSERT_GT(whole.samples.size(), 96000u - 1100u);
  EXPECT_LT(test::peakOf({whole.samples.begin(), whole.samples.begin() + 43200}), 100);
  EXPECT_GT(test::peakOf({whole.samples.begin() + 52800, whole.samples.begin() + 91200}), 10000);

  // From 1.5 s: the first piece starts there, loud, and half a second remains.
  ASSERT_TRUE(decoder->seek(15 * kSecond / 10));
  const Decoded late = decodeToEnd(*decoder);
  ASSERT_FALSE(late.chunkTicks.empty());
  EXPECT_NEAR(late.chunkTicks.front(), 15 * kSecond / 10, kMillisecond);
  EXPECT_NEAR(static_cast<double>(late.samples.size()), 24000.0, 1100.0);
  EXPECT_GT(test::peakOf({late.samples.begin(), late.samples.begin() + 4800}), 10000);

  // Back to the start: silent again.
  ASSERT_TRUE(decoder->seek(0));
  ASSERT_TRUE(decoder->nextChunk());
  EXPECT_LE(decoder->chunkTicks(), kMillisecond);
  EXPECT_LT(test::peakOf(decoder->samples()), 100);
}

TEST(AudioDecoderTest, MoviesWithoutSoundAndMissingFilesGiveNoDecoder) {
  const auto movie = test::silentMovie();
  ASSERT_FALSE(movie.empty());
  EXPECT_FALSE(AudioDecoder::open(movie, PcmFormat{48000, 2}));
  test::ScratchDir dir;
  EXPECT_FALSE(AudioDecoder::open(dir / "missing.mkv", PcmFormat{48000, 2}));
  EXPECT_FALSE(AudioDecoder::open(dir.path(), PcmFormat{48000, 2}));
  EXPECT_FALSE(AudioDecoder::open(test::toneMovie(), PcmFormat{0, 2}));
}

}  // namespace
}  // namespace tarn
