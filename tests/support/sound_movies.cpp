#include "support/sound_movies.h"

#include <algorithm>
#include <cstdlib>

#include "support/test_media.h"

namespace tarn::test {

std::filesystem::path toneMovie() {
  return generatedMedia("tone_pcm.mkv",
                        "-f lavfi -i testsrc2=size=64x32:rate=25:duration=1 "
                        "-f lavfi -i sine=frequency=440:sample_rate=44100:duration=1 "
                        "-c:v libx264 -pix_fmt yuv420p -c:a pcm_s16le");
}

std::filesystem::path lateToneMovie() {
  return generatedMedia("late_tone_aac.mp4",
                        "-f lavfi -i testsrc2=size=64x32:rate=25:duration=2 "
                        "-f lavfi -i \"aevalsrc=if(gte(t\\,1)\\,0.5*sin(2*PI*440*t)\\,0):"
                        "s=48000:d=2\" -c:v libx264 -pix_fmt yuv420p -c:a aac");
}

std::filesystem::path silentMovie() {
  return generatedMedia("no_sound.mp4",
                        "-f lavfi -i testsrc2=size=64x32:rate=25:duration=2 "
                        "-c:v libx264 -pix_fmt yuv420p");
}

int32_t peakOf(const std::vector<int16_t>& samples) {
  int32_t peak = 0;
  for (int16_t sample : samples) peak = std::max(peak, std::abs(static_cast<int32_t>(sample)));
  return peak;
}

}  // namespace tarn::test
