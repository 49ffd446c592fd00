#pragma once

#include <cstdint>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

namespace tarn::test {

// Small generated movies whose frames say their own number: the middle band holds the frame
// number as 8 bits (white or black bands from left to right, bit 0 first), the top 8 rows are
// red and the bottom 8 rows blue, so order, completeness, colour order and row order of decoded
// frames can be checked.
struct NumberedMovie {
  std::string name;
  int32_t width;
  int32_t height;
  int32_t frames;
  bool variableRate;
};

inline void PrintTo(const NumberedMovie& movie, std::ostream* out) {
  *out << movie.name;
}

// All kinds: H.264/AAC in MP4 and MOV, MPEG-4/MP3 in AVI, VP9/Opus in MKV, H.264 without sound,
// 1001 x 41 pixels (4:4:4), other pixel formats (10-bit 4:2:0, planar RGB at 162 x 47, full-range
// 4:2:2 MJPEG), and a variable frame rate in MKV
// (frame n shown at (n + floor(n / 5)) / 25 s). 2 seconds, 50 frames each.
const std::vector<NumberedMovie>& numberedMovies();
const NumberedMovie& numberedMovie(const std::string& name);
// Generates (once per build) and returns the file.
std::filesystem::path numberedMoviePath(const NumberedMovie& movie);

// The frame number drawn into a decoded frame (bottom row first, 4 bytes per pixel, B G R x),
// or -1 when the red top and blue bottom stripes are not where they belong.
int32_t readFrameNumber(const uint8_t* bgra, int32_t width, int32_t height);

}  // namespace tarn::test
