// A stand-in for the encoder tool that leaves the encode out, for timing everything around it.
// Installed as PLUG-IN/ffmpeg_III.exe beside a copy of tarn-convert (or in frame_stage_bench's
// program folder). The main encode (an input "...%06d.bmp") reads nothing: it waits for each frame
// file to be complete, deletes it when the converter asks for consumed frames, and writes an
// empty output once the converter says the frames are complete. Every other run (probe, sound
// extraction) is passed to the real tool named by TARN_BENCH_REAL_TOOL, or does nothing without it.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "ffmpeg_III/frame_arrival.h"
#include "ffmpeg_III/frame_files.h"

namespace {
using namespace tarn::tool;

// Whether frame `name` is on disk and complete, given the first frame's file size.
bool complete(const std::string& name, off_t fileBytes) {
  struct stat info {};
  return ::stat(name.c_str(), &info) == 0 && info.st_size >= fileBytes;
}

int sinkFrames(const std::string& pattern, const std::string& output) {
  FrameArrival arrival = FrameArrival::fromEnvironment();
  const bool consume = consumeFramesFromEnvironment();
  off_t fileBytes = 0;
  for (int64_t number = 0;; ++number) {
    const std::string name = frameFileName(pattern, number);
    for (;;) {
      arrival.check();
      if (fileBytes == 0) {
        if (const FrameHeaderCheck first = readFrameHeader(name); first.format) {
          fileBytes = static_cast<off_t>(kFrameHeaderSize + first.format->pixelBytes());
        }
      }
      if (fileBytes > 0 && complete(name, fileBytes)) break;
      if (arrival.abandoned()) return 1;
      if (!arrival.pending()) {
        // The converter closes its input only after the last frame file: this is the end.
        std::FILE* out = std::fopen(output.c_str(), "wb");
        if (!out) return 1;
        std::fclose(out);
        std::printf("frames %lld\n", static_cast<long long>(number));
        return 0;
      }
      arrival.waitBriefly();
    }
    if (consume) ::unlink(name.c_str());
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> arguments(argv + 1, argv + argc);
  std::string pattern;
  for (size_t i = 0; i + 1 < arguments.size(); ++i) {
    if (arguments[i] == "-i" && isFramePattern(arguments[i + 1])) pattern = arguments[i + 1];
  }
  if (!pattern.empty() && arguments.size() >= 2) return sinkFrames(pattern, arguments.back());
  if (const char* real = std::getenv("TARN_BENCH_REAL_TOOL"); real && *real) {
    ::execv(real, argv);
    std::perror(real);
    return 127;
  }
  return 0;
}
