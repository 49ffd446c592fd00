#include "ffmpeg_III/progress_relay.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "ffmpeg_III/ffmpeg_plan.h"

namespace tarn::tool {
namespace {

std::optional<double> positiveNumber(const std::string& text) {
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (end == text.c_str() || *end != '\0' || !std::isfinite(value) || value <= 0) {
    return std::nullopt;
  }
  return value;
}

// "00:01:05.250" or "65.25" in seconds.
std::optional<double> durationSeconds(const std::string& text) {
  int hours = 0;
  int minutes = 0;
  double seconds = 0;
  char extra = 0;
  if (std::sscanf(text.c_str(), "%d:%d:%lf%c", &hours, &minutes, &seconds, &extra) == 3) {
    const double total = hours * 3600.0 + minutes * 60.0 + seconds;
    if (hours >= 0 && minutes >= 0 && seconds >= 0 && total > 0) return total;
    return std::nullopt;
  }
  return positiveNumber(text);
}

}  // namespace

ProgressRelay::ProgressRelay(std::optional<int64_t> expectedFrames,
                             std::function<void(const std::string&)> say)
    : expectedFrames_(expectedFrames), say_(std::move(say)) {}

void ProgressRelay::take(std::string_view text) {
  for (const char c : text) {
    if (c == '\n' || c == '\r') {
      takeLine(partial_);
      partial_.clear();
    } else if (partial_.size() < 4096) {
      partial_ += c;
    }
  }
}

void ProgressRelay::takeLine(std::string_view line) {
  const size_t equals = line.find('=');
  if (equals == std::string_view::npos) return;
  const std::string_view key = line.substr(0, equals);
  const std::string value(line.substr(equals + 1));
  if (key == "frame") {
    char* end = nullptr;
    const long long frames = std::strtoll(value.c_str(), &end, 10);
    if (end != value.c_str() && frames >= 0) frames_ = frames;
  } else if (key == "fps") {
    framesPerSecond_ = positiveNumber(value).value_or(0);
  } else if (key == "progress" && frames_ >= 0) {
    std::optional<int64_t> total = expectedFrames_;
    // The encode is over: what it wrote is the whole count.
    if (value == "end") total = frames_;
    say_(encodedFramesLine(frames_, total, framesPerSecond_));
  }
}

std::string encodedFramesLine(int64_t frames, std::optional<int64_t> total,
                              double framesPerSecond) {
  std::string line = "encoded " + std::to_string(frames);
  if (total) line += " of " + std::to_string(*total);
  line += " frames";
  if (framesPerSecond > 0) {
    char rate[32];
    std::snprintf(rate, sizeof rate, " (%.2f fps)", framesPerSecond);
    line += rate;
  }
  return line;
}

std::vector<std::string> withProgressReport(std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), {"-progress", "pipe:1"});
  return arguments;
}

std::optional<int64_t> expectedOutputFrames(const LegacyCommand& command) {
  if (command.inputs.empty() || !command.output.duration) return std::nullopt;
  const auto seconds = durationSeconds(*command.output.duration);
  const auto rate = positiveNumber(command.output.rate ? *command.output.rate
                                                       : inputFrameRate(command.inputs.front()));
  if (!seconds || !rate) return std::nullopt;
  return static_cast<int64_t>(std::llround(*seconds * *rate));
}

}  // namespace tarn::tool
