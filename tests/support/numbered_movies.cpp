#include "support/numbered_movies.h"

#include <stdexcept>

#include "support/test_media.h"

namespace tarn::test {
namespace {

// Each channel: red stripe on top, blue stripe at the bottom, the frame number's bits between.
std::string patternFilter() {
  const std::string bit = "bitand(N\\,pow(2\\,floor(X/floor(W/8))))";
  const std::string bits = "if(" + bit + "\\,255\\,0)";
  return "format=gbrp,geq=r='if(lt(Y\\,8)\\,255\\,if(gte(Y\\,H-8)\\,0\\," + bits + "))'" +
         ":g='if(lt(Y\\,8)+gte(Y\\,H-8)\\,0\\," + bits + ")'" +
         ":b='if(lt(Y\\,8)\\,0\\,if(gte(Y\\,H-8)\\,255\\," + bits + "))'";
}

std::string sourceArgs(const NumberedMovie& movie, const std::string& extraFilter = "") {
  return "-f lavfi -i \"color=c=black:s=" + std::to_string(movie.width) + "x" +
         std::to_string(movie.height) + ":r=25:d=2," + patternFilter() + extraFilter + "\"";
}

const std::string kSound = " -f lavfi -i \"sine=frequency=440:duration=2\"";

std::string argsFor(const NumberedMovie& movie) {
  const std::string& name = movie.name;
  if (name == "numbered.mp4" || name == "numbered.mov") {
    return sourceArgs(movie) + kSound + " -c:v libx264 -pix_fmt yuv420p -c:a aac -shortest";
  }
  if (name == "numbered.avi") {
    return sourceArgs(movie) + kSound + " -c:v mpeg4 -q:v 3 -pix_fmt yuv420p -c:a libmp3lame";
  }
  if (name == "numbered.mkv") {
    return sourceArgs(movie) + kSound +
           " -c:v libvpx-vp9 -deadline realtime -cpu-used 8 -pix_fmt yuv420p -c:a libopus";
  }
  if (name == "numbered-silent.mp4") return sourceArgs(movie) + " -c:v libx264 -pix_fmt yuv420p";
  if (name == "numbered-1001.mp4") return sourceArgs(movie) + " -c:v libx264 -pix_fmt yuv444p";
  if (name == "numbered-10bit.mkv") return sourceArgs(movie) + " -c:v libx264 -pix_fmt yuv420p10le";
  if (name == "numbered-rgb.mkv") return sourceArgs(movie) + " -c:v ffv1 -pix_fmt gbrp";
  if (name == "numbered-mjpeg.avi") {
    return sourceArgs(movie) + " -c:v mjpeg -q:v 3 -pix_fmt yuvj422p";
  }
  if (name == "numbered-variable.mkv") {
    return sourceArgs(movie, ",settb=1/1000,setpts='(N+floor(N/5))/25/TB'") +
           " -c:v libx264 -pix_fmt yuv420p -fps_mode passthrough";
  }
  throw std::invalid_argument(name);
}

}  // namespace

const std::vector<NumberedMovie>& numberedMovies() {
  static const std::vector<NumberedMovie> movies = {
      {"numbered.mp4", 160, 48, 50, false},         {"numbered.mov", 160, 48, 50, false},
      {"numbered.avi", 160, 48, 50, false},         {"numbered.mkv", 160, 48, 50, false},
      {"numbered-silent.mp4", 160, 48, 50, false},  {"numbered-1001.mp4", 1001, 41, 50, false},
      {"numbered-variable.mkv", 160, 48, 50, true}, {"numbered-10bit.mkv", 160, 48, 50, false},
      {"numbered-rgb.mkv", 162, 47, 50, false},     {"numbered-mjpeg.avi", 160, 48, 50, false},
  };
  return movies;
}

const NumberedMovie& numberedMovie(const std::string& name) {
  for (const NumberedMovie& movie : numberedMovies()) {
    if (movie.name == name) return movie;
  }
  throw std::invalid_argument(name);
}

std::filesystem::path numberedMoviePath(const NumberedMovie& movie) {
  return generatedMedia(movie.name, argsFor(movie));
}

int32_t readFrameNumber(const uint8_t* bgra, int32_t width, int32_t height) {
  auto pixel = [&](int32_t x, int32_t pictureRow) {
    const int32_t memoryRow = height - 1 - pictureRow;  // bottom row first
    return bgra + (static_cast<size_t>(memoryRow) * width + x) * 4;
  };
  const uint8_t* top = pixel(width / 2, 2);
  const uint8_t* bottom = pixel(width / 2, height - 3);
  if (top[2] < 180 || top[0] > 80 || top[1] > 80) return -1;           // red
  if (bottom[0] < 180 || bottom[2] > 80 || bottom[1] > 80) return -1;  // blue
  const int32_t band = width / 8;
  int32_t number = 0;
  for (int bit = 0; bit < 8; ++bit) {
    const uint8_t* p = pixel(bit * band + band / 2, height / 2);
    if ((p[0] + p[1] + p[2]) / 3 > 128) number |= 1 << bit;
  }
  return number;
}

}  // namespace tarn::test
