#include "encoding/encode_command.h"

#include <array>
#include <cstdio>

#include "common/text.h"
#include "encoding/tool_command.h"

namespace tarn {
namespace {

std::string channelsPiece(int32_t channelsIndex) {
  return channelsIndex == 1 ? " -ac 1 " : " -ac 2 ";
}

std::string ratePiece(int32_t sampleRateIndex, const std::string& extension) {
  switch (sampleRateIndex) {
    case 1:
      return extension == ".flv" ? " -ar 44100 " : " -ar 48000 ";
    case 3:
      return " -ar 22050 ";
    case 4:
      return " -ar 11025 ";
    default:
      return " -ar 44100 ";
  }
}

std::string bitRatePiece(int32_t bitRateIndex) {
  static const std::array<const char*, 10> kRates = {
      "",           " -b 500k ",  " -b 700k ",  " -b 900k ",  " -b 1200k ",
      " -b 1500k ", " -b 2000k ", " -b 3000k ", " -b 4000k ", " -b 5000k "};
  if (bitRateIndex < 0 || bitRateIndex >= static_cast<int32_t>(kRates.size())) return {};
  return kRates[static_cast<size_t>(bitRateIndex)];
}

std::string presetPiece(int32_t codecModeIndex) {
  static const char* kRateControl =
      " -g 250 -keyint_min 25 -sc_threshold 40 -i_qfactor 0.71 -b_strategy 1 -qcomp 0.6 -qmin 10 "
      "-qmax 51 -qdiff 4 ";
  static const char* kMaxFirst =
      " -threads 0 -coder 1 -flags +loop -cmp +chroma -partitions "
      "+parti8x8+parti4x4+partp8x8+partp4x4-partb8x8  -subq 8 ";
  static const char* kMaxSecond =
      " -me_range 16 -g 250 -keyint_min 25 -sc_threshold 40 -i_qfactor 0.71 -b_strategy 1 "
      "-qcomp 0.6 -qmin 10 -qmax 51 -qdiff 4 ";
  switch (codecModeIndex) {
    case 1:
      return std::string(
                 " -threads 0 -coder 0 -flags +loop -cmp +chroma -partitions "
                 "-parti8x8-parti4x4-partp8x8-partp4x4-partb8x8  -subq 0 -me_range 16 ") +
             kRateControl;
    case 2:
      return std::string(
                 " -threads 0 -coder 0 -flags +loop -cmp +chroma -partitions "
                 "-parti8x8+parti4x4+partp8x8-partp4x4-partb8x8  -subq 3 -me_range 16 ") +
             kRateControl;
    case 3:
      return std::string(
                 " -threads 0 -coder 1 -flags +loop -cmp +chroma -partitions "
                 "-parti8x8+parti4x4+partp8x8+partp4x4-partb8x8  -subq 5 -me_range 16 ") +
             kRateControl;
    case 4:
      return std::string(kMaxFirst) + kMaxSecond + "-refs 16 ";
    case 5:
      return std::string(kMaxFirst) + kMaxSecond + "-refs 4 ";
    default:
      return {};
  }
}

struct Container {
  const char* extension;
  const char* codecPiece;
  const char* format;
  bool constantRateFactor;  // quality as -crf (value + 10); otherwise as -qscale
};

constexpr std::array<Container, 8> kContainers = {{
    {".flv", " -vcodec libx264 -acodec mp3 ", "flv", true},
    {".mov", " -vcodec libx264 -acodec mp3 ", "mov", true},
    {".avi", " -vcodec libx264 -acodec pcm_s16le ", "avi", true},
    {".mp4", " -r 30 ", "mp4", false},
    {".m4v", " -r 30 ", "m4v", false},
    {".ogg", " -r 30 ", "ogg", false},
    {".ogv", " -r 30 ", "ogg", false},
    {".webm", " -r 30 ", "webm", false},
}};

std::string qualityTail(const Container& container, int32_t qualityValue) {
  const std::string format = container.format;
  if (qualityValue == 0) {
    return container.constantRateFactor ? " -crf 22 -qscale 15 -f " + format + " "
                                        : " -sameq -qscale 15 -f " + format + " ";
  }
  return container.constantRateFactor
             ? " -crf " + std::to_string(qualityValue + 10) + " -f " + format + " "
             : " -qscale " + std::to_string(qualityValue) + " -f " + format + " ";
}

}  // namespace

std::string outputExtension(const std::string& path) {
  const size_t separator = path.find_last_of("/\\:");
  const size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (separator != std::string::npos && dot < separator)) return {};
  return toLower(path.substr(dot));
}

std::string sizePiece(int32_t resizeIndex, int32_t width, int32_t height) {
  static const std::array<float, 6> kFactors = {1.0f, 0.9f, 0.8f, 0.7f, 0.6f, 0.5f};
  if (resizeIndex < 1 || resizeIndex > 5) return {};
  // Extended precision, truncated toward zero: 0.9f is a little below 0.9, so 1920 gives 1712.
  const long double factor = kFactors[static_cast<size_t>(resizeIndex)];
  const auto side = [&](int32_t pixels) {
    return 16 * static_cast<int64_t>(factor * static_cast<long double>(pixels) / 16.0L);
  };
  return " -s " + std::to_string(side(width)) + "x" + std::to_string(side(height)) + " ";
}

std::string inputRatePiece(int64_t timePerFrame) {
  if (timePerFrame == 0) return " -r 30 ";
  char rate[64];
  std::snprintf(rate, sizeof rate, "%05.2f", 10000000.0 / static_cast<double>(timePerFrame));
  return std::string(" -r ") + rate + " ";
}

EncodeCommand encodeCommand(const EncodeRequest& request) {
  EncodeCommand result;
  result.extension = outputExtension(trimBlanks(request.outputPath));
  result.encoderInputPath = request.tempStreamFolder + "/temp%06d.bmp";

  const Container* container = nullptr;
  for (const Container& candidate : kContainers) {
    if (result.extension == candidate.extension) {
      container = &candidate;
      break;
    }
  }
  if (!container) return result;

  const OutputOptions& options = request.output;
  const std::string audioOptions =
      channelsPiece(options.channelsIndex) + ratePiece(options.sampleRateIndex, result.extension);
  const std::string timing =
      " -t " + request.durationText + bitRatePiece(request.bitRateIndex) +
      presetPiece(request.codecModeIndex) +
      sizePiece(options.resizeIndex, request.frameWidth, request.canvasHeight);

  ToolCommandBuilder tool(request.exeFolder + "/PLUG-IN/ffmpeg_III.exe", true);
  tool.options(" " + inputRatePiece(request.timePerFrame) + "-i ")
      .path(result.encoderInputPath, framePatternArgument(request.tempStreamFolder))
      .options(" ");
  if (request.soundPresent) {
    tool.options("-i ").path(request.tempStreamFolder + "/temp.wav").options(audioOptions);
  } else {
    tool.options(" ");
  }
  tool.options(std::string(container->codecPiece) + timing +
               qualityTail(*container, options.qualityValue) + " -y ")
      .path(request.outputPath);
  ToolCommand built = tool.build();
  result.command = std::move(built.text);
  result.arguments = std::move(built.arguments);
  return result;
}

}  // namespace tarn
