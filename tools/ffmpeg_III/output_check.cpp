#include "ffmpeg_III/output_check.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "ffmpeg_III/ffmpeg_runner.h"

namespace tarn::tool {
namespace {

std::optional<double> parseNumber(const std::string& text) {
  if (text.empty()) return std::nullopt;
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (end != text.c_str() + text.size() || !std::isfinite(value)) return std::nullopt;
  return value;
}

const StreamPackets* firstOfType(const ReadBack& found, const std::string& type) {
  for (const auto& stream : found.streams) {
    if (stream.type == type) return &stream;
  }
  return nullptr;
}

}  // namespace

std::vector<StreamPackets> parseStreamEntries(const std::string& text) {
  std::vector<StreamPackets> streams;
  std::istringstream lines(text);
  bool inStream = false;
  for (std::string line; std::getline(lines, line);) {
    if (line == "[STREAM]") {
      streams.emplace_back();
      inStream = true;
      continue;
    }
    if (line == "[/STREAM]") {
      inStream = false;
      continue;
    }
    const size_t equals = line.find('=');
    if (!inStream || equals == std::string::npos) continue;
    const std::string key = line.substr(0, equals);
    const std::string value = line.substr(equals + 1);
    StreamPackets& stream = streams.back();
    if (key == "codec_type") {
      stream.type = value;
    } else if (key == "codec_name") {
      stream.codec = value;
    } else if (key == "nb_read_packets") {
      stream.packets = std::strtoll(value.c_str(), nullptr, 10);
    } else if (key == "r_frame_rate") {
      stream.frameRate = parseRate(value).value_or(0);
    } else if (key == "duration") {
      stream.seconds = parseNumber(value).value_or(-1);
    }
  }
  return streams;
}

ReadBack readBack(const std::string& ffprobe, const std::string& file) {
  std::string text;
  std::string startError;
  // "file:" keeps a name with a colon a file name.
  const int status =
      runProgramForOutput(ffprobe,
                          {"-v", "error", "-count_packets", "-show_entries",
                           "stream=codec_type,codec_name,nb_read_packets,r_frame_rate,duration",
                           "-of", "default", "file:" + file},
                          &text, &startError);
  ReadBack found;
  found.readable = status == 0;
  if (found.readable) found.streams = parseStreamEntries(text);
  return found;
}

int64_t videoFrames(const StreamPackets& stream) {
  if (stream.codec == "theora" && stream.seconds > 0 && stream.frameRate > 0) {
    return std::max(stream.packets,
                    static_cast<int64_t>(std::llround(stream.seconds * stream.frameRate)));
  }
  return stream.packets;
}

std::optional<double> parseDurationSeconds(const std::string& text) {
  std::string rest = text;
  double sign = 1;
  if (!rest.empty() && rest[0] == '-') {
    sign = -1;
    rest.erase(0, 1);
  }
  double seconds = 0;
  size_t parts = 0;
  std::istringstream pieces(rest);
  for (std::string piece; std::getline(pieces, piece, ':');) {
    const auto value = parseNumber(piece);
    if (!value || *value < 0 || ++parts > 3) return std::nullopt;
    seconds = seconds * 60 + *value;
  }
  if (parts == 0) return std::nullopt;
  return sign * seconds;
}

std::optional<double> parseRate(const std::string& text) {
  const size_t slash = text.find('/');
  if (slash == std::string::npos) {
    const auto value = parseNumber(text);
    return value && *value > 0 ? value : std::nullopt;
  }
  const auto over = parseNumber(text.substr(0, slash));
  const auto under = parseNumber(text.substr(slash + 1));
  if (!over || !under || *over <= 0 || *under <= 0) return std::nullopt;
  return *over / *under;
}

int64_t expectedVideoFrames(int64_t framesGiven, double inputRate,
                            const std::optional<double>& outputRate,
                            const std::optional<double>& limitSeconds) {
  if (framesGiven <= 0 || inputRate <= 0) return 0;
  double seconds = static_cast<double>(framesGiven) / inputRate;
  if (limitSeconds) seconds = std::min(seconds, std::max(0.0, *limitSeconds));
  return static_cast<int64_t>(std::llround(seconds * outputRate.value_or(inputRate)));
}

std::string whyIncomplete(const ReadBack& found, const Expectation& expected) {
  if (!found.readable) return expected.what + " is not finished: it cannot be read back";
  if (expected.videoFrames) {
    const StreamPackets* video = firstOfType(found, "video");
    const int64_t frames = video ? videoFrames(*video) : 0;
    if (frames == 0) return expected.what + " has no picture";
    // Theora stores nothing for a picture that repeats the one before, not even its time at the
    // end of the stream: a still scene counts short however complete the movie is. Its
    // completeness rests on ffmpeg's write errors and the read-back.
    const bool repeatsLeftOut = video && video->codec == "theora";
    if (!repeatsLeftOut && frames < *expected.videoFrames - 1) {
      return expected.what + " is incomplete: " + std::to_string(frames) + " of " +
             std::to_string(*expected.videoFrames) + " frames";
    }
    if (frames > *expected.videoFrames + 1) {
      return expected.what + " has " + std::to_string(frames) + " frames instead of " +
             std::to_string(*expected.videoFrames);
    }
  }
  if (expected.sound) {
    const StreamPackets* audio = firstOfType(found, "audio");
    if (!audio || audio->packets == 0) return expected.what + " has no sound";
  }
  const bool anything = std::any_of(found.streams.begin(), found.streams.end(),
                                    [](const StreamPackets& s) { return s.packets > 0; });
  if (!anything) return expected.what + " is empty";
  return {};
}

}  // namespace tarn::tool
