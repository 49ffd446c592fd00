#include "ffmpeg_III/container_profile.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "common/text.h"

namespace tarn::tool {
namespace {

ContainerProfile profileOf(Container container) {
  switch (container) {
    case Container::Flv:
      return {container, "flv", VideoEncoder::H264, "libmp3lame", false};
    case Container::Mov:
      return {container, "mov", VideoEncoder::H264, "libmp3lame", true};
    case Container::Avi:
      return {container, "avi", VideoEncoder::H264, "pcm_s16le", false};
    case Container::Mp4:
      return {container, "mp4", VideoEncoder::H264, "aac", true};
    case Container::M4v:
      return {container, "ipod", VideoEncoder::H264, "aac", true};
    case Container::Ogg:
      return {container, "ogg", VideoEncoder::Theora, "libvorbis", false};
    case Container::Webm:
      return {container, "webm", VideoEncoder::Vp9, "libopus", false};
    case Container::Wav:
      return {container, "wav", VideoEncoder::None, "pcm_s16le", false};
    case Container::Other:
      break;
  }
  return {};
}

std::optional<Container> containerOfName(const std::string& name) {
  if (name == "flv") return Container::Flv;
  if (name == "mov") return Container::Mov;
  if (name == "avi") return Container::Avi;
  if (name == "mp4") return Container::Mp4;
  if (name == "m4v" || name == "ipod") return Container::M4v;
  if (name == "ogg" || name == "ogv") return Container::Ogg;
  if (name == "webm") return Container::Webm;
  if (name == "wav") return Container::Wav;
  return std::nullopt;
}

std::optional<double> numberOf(const std::optional<std::string>& text) {
  if (!text) return std::nullopt;
  double value = 0;
  const auto* end = text->data() + text->size();
  const auto [ptr, error] = std::from_chars(text->data(), end, value);
  if (error != std::errc() || ptr != end) return std::nullopt;
  return value;
}

int clampRound(double value, int low, int high) {
  return std::clamp(static_cast<int>(std::lround(value)), low, high);
}

// The legacy quality value 1 (largest file) .. 21 (smallest) on the common scale of the command
// lines: "-qscale V" directly, "-crf N" as N - 10 (the converter writes N = V + 10).
std::optional<double> legacyQualityValue(const LegacyOutputOptions& options) {
  if (const auto crf = numberOf(options.crf)) return *crf - 10;
  if (options.sameQuality) return std::nullopt;
  return numberOf(options.qscale);
}

std::string formatDecimal(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", value);
  std::string result(text);
  while (result.back() == '0') result.pop_back();
  if (result.back() == '.') result.pop_back();
  return result;
}

// "1500k" -> {1500, "k"}; a plain number has no suffix.
std::optional<std::pair<double, std::string>> splitBitRate(const std::string& text) {
  size_t digits = 0;
  while (digits < text.size() &&
         (std::isdigit(static_cast<unsigned char>(text[digits])) || text[digits] == '.')) {
    ++digits;
  }
  const auto value = numberOf(text.substr(0, digits));
  if (!value || *value <= 0) return std::nullopt;
  return std::make_pair(*value, text.substr(digits));
}

std::string presetFor(CodecMode mode) {
  switch (mode) {
    case CodecMode::UltraFast:
      return "ultrafast";
    case CodecMode::Fast:
      return "veryfast";
    case CodecMode::Max:
      return "slow";
    case CodecMode::Slower:
      return "slower";
    case CodecMode::Auto:
    case CodecMode::Medium:
      break;
  }
  return "medium";
}

// The rate-control and keyframe literals of the codec modes in x264's own terms. The speed
// literals (-subq, -partitions, -me_range, -refs) are left to the preset, which keeps the modes
// in order of speed; "-threads 0" and "-cmp +chroma" are today's defaults.
std::string x264ParamsFor(const std::vector<std::pair<std::string, std::string>>& tuning) {
  std::string params;
  const auto add = [&params](const std::string& name, const std::string& value) {
    if (!params.empty()) params += ':';
    params += name + '=' + value;
  };
  for (const auto& [name, value] : tuning) {
    if (name == "coder")
      add("cabac", value == "0" ? "0" : "1");
    else if (name == "g")
      add("keyint", value);
    else if (name == "keyint_min")
      add("min-keyint", value);
    else if (name == "sc_threshold")
      add("scenecut", value);
    else if (name == "b_strategy")
      add("b-adapt", value);
    else if (name == "qcomp")
      add("qcomp", value);
    else if (name == "qmin")
      add("qpmin", value);
    else if (name == "qmax")
      add("qpmax", value);
    else if (name == "qdiff")
      add("qpstep", value);
    else if (name == "i_qfactor") {
      const auto factor = numberOf(value);
      if (factor && *factor > 0) add("ipratio", formatDecimal(1.0 / *factor));
    }
  }
  return params;
}

std::vector<std::string> h264Arguments(const LegacyOutputOptions& options) {
  const CodecMode mode = codecModeOf(options.encoderTuning);
  int crf = 23;
  if (const auto value = legacyQualityValue(options)) {
    crf = clampRound(*value + 10, 0, 51);
  } else if (options.sameQuality) {
    crf = 18;
  }
  std::vector<std::string> args{"-c:v",          "libx264", "-preset",
                                presetFor(mode), "-crf",    std::to_string(crf)};
  // A bit rate caps the constant-quality stream (x264 ignores -b:v next to -crf).
  if (options.bitRate) {
    if (const auto rate = splitBitRate(*options.bitRate)) {
      args.insert(args.end(), {"-maxrate", *options.bitRate, "-bufsize",
                               formatDecimal(rate->first * 2) + rate->second});
    }
  }
  const std::string params = x264ParamsFor(options.encoderTuning);
  if (!params.empty()) args.insert(args.end(), {"-x264-params", params});
  return args;
}

std::vector<std::string> vp9Arguments(const LegacyOutputOptions& options) {
  int crf = 32;
  if (const auto value = legacyQualityValue(options)) {
    crf = clampRound(13 + 2 * *value, 4, 63);
  } else if (options.sameQuality) {
    crf = 24;
  }
  std::vector<std::string> args{"-c:v", "libvpx-vp9",
                                "-crf", std::to_string(crf),
                                "-b:v", options.bitRate ? *options.bitRate : "0"};
  switch (codecModeOf(options.encoderTuning)) {
    case CodecMode::UltraFast:
      args.insert(args.end(), {"-deadline", "realtime", "-cpu-used", "8"});
      break;
    case CodecMode::Fast:
      args.insert(args.end(), {"-deadline", "realtime", "-cpu-used", "6"});
      break;
    case CodecMode::Max:
      args.insert(args.end(), {"-deadline", "good", "-cpu-used", "2"});
      break;
    case CodecMode::Slower:
      args.insert(args.end(), {"-deadline", "good", "-cpu-used", "1"});
      break;
    case CodecMode::Auto:
    case CodecMode::Medium:
      args.insert(args.end(), {"-deadline", "good", "-cpu-used", "4"});
      break;
  }
  args.insert(args.end(), {"-row-mt", "1"});
  return args;
}

std::vector<std::string> theoraArguments(const LegacyOutputOptions& options) {
  std::vector<std::string> args{"-c:v", "libtheora"};
  if (const auto value = legacyQualityValue(options)) {
    const double quality = std::clamp(10.0 - (*value - 1) / 2.0, 0.0, 10.0);
    args.insert(args.end(), {"-q:v", formatDecimal(quality)});
  } else if (options.bitRate && !options.sameQuality) {
    args.insert(args.end(), {"-b:v", *options.bitRate});
  } else {
    args.insert(args.end(), {"-q:v", options.sameQuality ? "8" : "7"});
  }
  return args;
}

}  // namespace

ContainerProfile containerProfileFor(const LegacyCommand& command) {
  if (command.output.format) {
    if (const auto container = containerOfName(toLower(*command.output.format))) {
      return profileOf(*container);
    }
    ContainerProfile other;
    other.muxer = *command.output.format;
    return other;
  }
  if (command.outputPath) {
    std::string extension = std::filesystem::path(*command.outputPath).extension().string();
    if (!extension.empty()) extension.erase(0, 1);
    if (const auto container = containerOfName(toLower(extension))) return profileOf(*container);
  }
  return {};
}

CodecMode codecModeOf(const std::vector<std::pair<std::string, std::string>>& tuning) {
  std::optional<double> subq;
  std::optional<double> refs;
  for (const auto& [name, value] : tuning) {
    if (name == "subq") subq = numberOf(value);
    if (name == "refs") refs = numberOf(value);
  }
  if (!subq) return CodecMode::Auto;
  if (*subq <= 1) return CodecMode::UltraFast;
  if (*subq <= 4) return CodecMode::Fast;
  if (*subq <= 6) return CodecMode::Medium;
  // The two top modes differ only in their reference count: 16 for Max, 4 for Slower.
  return refs && *refs >= 8 ? CodecMode::Max : CodecMode::Slower;
}

std::string audioCodecFor(const ContainerProfile& profile,
                          const std::optional<std::string>& legacy) {
  if (!legacy) return profile.defaultAudioCodec;
  std::string codec = toLower(*legacy);
  if (codec == "mp3") codec = "libmp3lame";
  if (codec == "vorbis") codec = "libvorbis";
  if (codec == "opus") codec = "libopus";
  const auto accepts = [&codec](std::initializer_list<const char*> names) {
    return std::any_of(names.begin(), names.end(), [&codec](const char* n) { return codec == n; });
  };
  bool fits = true;
  switch (profile.container) {
    case Container::Flv:
    case Container::Mov:
    case Container::Avi:
      fits = accepts({"libmp3lame", "aac", "pcm_s16le"});
      break;
    case Container::Mp4:
      fits = accepts({"aac", "libmp3lame"});
      break;
    case Container::M4v:
      fits = accepts({"aac"});
      break;
    case Container::Ogg:
      fits = accepts({"libvorbis", "libopus"});
      break;
    case Container::Webm:
      fits = accepts({"libopus", "libvorbis"});
      break;
    case Container::Wav:
      fits = codec.rfind("pcm_", 0) == 0;
      break;
    case Container::Other:
      break;
  }
  return fits ? codec : profile.defaultAudioCodec;
}

std::optional<std::string> sampleRateFor(const std::string& audioCodec,
                                         const ContainerProfile& profile,
                                         const std::optional<std::string>& requested) {
  // Opus runs at 48 kHz only (ffmpeg's encoder refuses 44100).
  if (audioCodec == "libopus") return std::string("48000");
  // FLV's MP3 knows 44100, 22050 and 11025 Hz, not 48000.
  if (profile.container == Container::Flv && requested && *requested == "48000") {
    return std::string("44100");
  }
  return requested;
}

std::vector<std::string> videoEncoderArguments(VideoEncoder encoder,
                                               const LegacyOutputOptions& options) {
  switch (encoder) {
    case VideoEncoder::H264:
      return h264Arguments(options);
    case VideoEncoder::Vp9:
      return vp9Arguments(options);
    case VideoEncoder::Theora:
      return theoraArguments(options);
    case VideoEncoder::None:
      break;
  }
  return {};
}

}  // namespace tarn::tool
