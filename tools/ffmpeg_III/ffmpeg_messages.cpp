#include "ffmpeg_III/ffmpeg_messages.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace tarn::tool {
namespace {

constexpr std::string_view kConversionFailed = "Conversion failed!";
constexpr size_t kMaxLineLength = 300;
constexpr size_t kMaxLinesKept = 50;

// What ffmpeg writes when the output cannot be written.
constexpr std::array<std::string_view, 8> kWriteErrors = {
    "No space left on device",      "Disk quota exceeded",   "File too large",
    "Input/output error",           "Error writing trailer", "Error closing file",
    "av_interleaved_write_frame()", kConversionFailed};

constexpr std::array<std::string_view, 3> kSpaceErrors = {"No space left on device",
                                                          "Disk quota exceeded", "File too large"};

// Words of ffmpeg's error lines, compared case-blind.
constexpr std::array<std::string_view, 14> kErrorWords = {
    "error",           "invalid",
    "no such file",    "permission denied",
    "not found",       "unknown encoder",
    "unknown decoder", "unknown input format",
    "unrecognized",    "does not contain any stream",
    "failed",          "cannot",
    "could not",       "no space left"};

bool contains(std::string_view text, std::string_view part) {
  return text.find(part) != std::string_view::npos;
}

template <size_t N>
bool containsAny(std::string_view text, const std::array<std::string_view, N>& parts) {
  return std::any_of(parts.begin(), parts.end(),
                     [text](std::string_view part) { return contains(text, part); });
}

std::string lowerCased(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

// "[mp4 @ 0x55d3c14771c0] Error ..." -> "Error ..."
void dropContextPrefix(std::string& line) {
  if (line.size() < 2 || line[0] != '[') return;
  const size_t close = line.find("] ");
  if (close != std::string::npos && contains(std::string_view(line).substr(0, close), " @ ")) {
    line.erase(0, close + 2);
  }
}

bool isProgressLine(std::string_view line) {
  // The progress line and the closing size summary ("video:12kB ... muxing overhead: unknown").
  return line.rfind("frame=", 0) == 0 || line.rfind("size=", 0) == 0 ||
         line.rfind("video:", 0) == 0;
}

}  // namespace

void FfmpegMessages::take(std::string_view text) {
  for (const char c : text) {
    if (c == '\n' || c == '\r') {
      takeLine(std::move(partial_));
      partial_.clear();
    } else if (partial_.size() < kMaxLineLength) {
      partial_ += c;
    }
  }
}

void FfmpegMessages::finish() {
  if (!partial_.empty()) takeLine(std::move(partial_));
  partial_.clear();
}

void FfmpegMessages::takeLine(std::string line) {
  while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back()))) line.pop_back();
  dropContextPrefix(line);
  size_t start = 0;
  while (start < line.size() && std::isspace(static_cast<unsigned char>(line[start]))) ++start;
  line.erase(0, start);
  if (line.empty() || isProgressLine(line)) return;
  const bool writeError = containsAny(line, kWriteErrors);
  if (writeError) writeFailed_ = true;
  if (containsAny(line, kSpaceErrors)) spaceRanOut_ = true;
  if (!writeError && !containsAny(lowerCased(line), kErrorWords)) return;
  if (errorLines_.size() < kMaxLinesKept) errorLines_.push_back(std::move(line));
}

std::string FfmpegMessages::reason() const {
  const auto telling = [](const std::string& line) { return line != kConversionFailed; };
  if (writeFailed_) {
    for (const auto& line : errorLines_) {
      if (telling(line) && containsAny(line, kWriteErrors)) return line;
    }
  }
  const auto first = std::find_if(errorLines_.begin(), errorLines_.end(), telling);
  return first == errorLines_.end() ? std::string() : *first;
}

}  // namespace tarn::tool
