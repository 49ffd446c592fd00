// How fast the decode graph delivers frames to a callback (as during a conversion), against the
// system ffmpeg decoding the same movie to 32-bit BGRA and discarding it.
// Usage: decode_throughput [movie]   (without a movie, a 1920x480 H.264 strip of 10 s is made)
#include <sys/wait.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>

#include "input/decode_graph.h"

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

class CountingCallback : public tarn::SampleCallback {
 public:
  void bufferCB(double, const uint8_t* bytes, int32_t length) override {
    checksum += bytes[length / 2];
    ++frames;
  }
  std::atomic<int> frames{0};
  std::atomic<uint64_t> checksum{0};
};

int run(const std::string& command) {
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

int main(int argc, char** argv) {
  std::string movie;
  if (argc > 1) {
    movie = argv[1];
  } else {
    movie = (std::filesystem::temp_directory_path() / "tarn-bench-strip-1920x480.mp4").string();
    if (!std::filesystem::exists(movie)) {
      std::printf("making %s\n", movie.c_str());
      if (run("ffmpeg -hide_banner -loglevel error -y -f lavfi -i testsrc2=size=1920x480:rate=30 "
              "-t 10 -c:v libx264 -pix_fmt yuv420p '" +
              movie + "'") != 0) {
        return 1;
      }
    }
  }

  auto start = Clock::now();
  tarn::OpenedGraph opened = tarn::openDecodeGraph(movie);
  if (!opened.graph) {
    std::fprintf(stderr, "cannot open %s\n", movie.c_str());
    return 1;
  }
  const double openSeconds = secondsSince(start);
  CountingCallback callback;
  opened.graph->setSampleCallback(&callback);
  start = Clock::now();
  opened.graph->run();
  while (true) {
    auto event = opened.graph->takeEvent();
    if (event && *event == 1) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  const double graphSeconds = secondsSince(start);
  const auto format = opened.graph->format();
  opened.graph.reset();

  start = Clock::now();
  run("ffmpeg -hide_banner -loglevel error -nostdin -i '" + movie +
      "' -an -pix_fmt bgra -f null -");
  const double ffmpegSeconds = secondsSince(start);

  const int frames = callback.frames;
  std::printf("movie %s: %dx%d, %d frames\n", movie.c_str(), format.width, format.height, frames);
  std::printf("decode graph: open %.3f s, %.3f s for all frames = %.1f frames/s\n", openSeconds,
              graphSeconds, frames / graphSeconds);
  std::printf("ffmpeg -pix_fmt bgra -f null: %.3f s = %.1f frames/s (process start included)\n",
              ffmpegSeconds, frames / ffmpegSeconds);
  return 0;
}
