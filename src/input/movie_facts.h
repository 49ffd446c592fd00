#pragma once

#include <cstdint>
#include <string>

namespace tarn {

// What the FFmpeg libraries read from a movie file's header and streams, for a description that
// programs read (the probe text is for people).
struct MovieFacts {
  bool readable = false;
  std::string error;  // why not, when not readable
  int32_t width = 0;
  int32_t height = 0;
  int32_t rateNumerator = 0;  // frame rate as a fraction; 0/0 when unknown
  int32_t rateDenominator = 0;
  double durationSeconds = 0;
  int64_t frameCount = 0;  // the stream's own count, else duration times rate (rounded down)
  std::string videoCodec;
  bool hasAudio = false;
  std::string audioCodec;
  int32_t audioSampleRate = 0;
  int32_t audioChannels = 0;
};

// Reads the facts of the movie at `path` (a local, regular file). A file without a video stream
// is not a movie: not readable.
MovieFacts readMovieFacts(const std::string& path);

}  // namespace tarn
