#include "ffmpeg_III/legacy_command.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace tarn::tool {
namespace {

// The x264 tuning options of the converter's codec modes; each takes one value.
constexpr std::array<std::string_view, 16> kEncoderTuningOptions = {
    "threads",  "coder", "flags",      "cmp",          "partitions", "subq",
    "me_range", "g",     "keyint_min", "sc_threshold", "i_qfactor",  "b_strategy",
    "qcomp",    "qmin",  "qmax",       "qdiff"};

bool isEncoderTuning(std::string_view name) {
  return name == "refs" || std::find(kEncoderTuningOptions.begin(), kEncoderTuningOptions.end(),
                                     name) != kEncoderTuningOptions.end();
}

std::optional<std::string>* outputField(LegacyOutputOptions& output, std::string_view name) {
  if (name == "ac") return &output.channels;
  if (name == "ar") return &output.sampleRate;
  if (name == "vcodec") return &output.videoCodec;
  if (name == "acodec") return &output.audioCodec;
  if (name == "t") return &output.duration;
  if (name == "b") return &output.bitRate;
  if (name == "s") return &output.size;
  if (name == "crf") return &output.crf;
  if (name == "qscale") return &output.qscale;
  if (name == "f") return &output.format;
  return nullptr;
}

LegacyParseResult failure(std::string error) {
  return LegacyParseResult{std::nullopt, std::move(error)};
}

}  // namespace

LegacyParseResult parseLegacyCommand(const std::vector<std::string>& arguments) {
  LegacyCommand command;
  std::optional<std::string> pendingRate;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (argument.size() < 2 || argument[0] != '-') {
      if (command.outputPath) return failure("more than one output file: \"" + argument + "\"");
      command.outputPath = argument;
      continue;
    }
    const std::string name = argument.substr(1);
    if (name == "y") {
      command.overwrite = true;
      continue;
    }
    if (name == "sameq") {
      command.output.sameQuality = true;
      continue;
    }
    const bool known =
        name == "i" || name == "r" || outputField(command.output, name) || isEncoderTuning(name);
    if (!known) return failure("unknown option " + argument);
    if (i + 1 >= arguments.size()) return failure("option " + argument + " needs a value");
    const std::string& value = arguments[++i];
    if (name == "i") {
      command.inputs.push_back(LegacyInput{value, pendingRate});
      pendingRate.reset();
    } else if (name == "r") {
      // Before an input it is that input's rate; after the last input, the output's.
      pendingRate = value;
    } else if (auto* field = outputField(command.output, name)) {
      *field = value;
    } else {
      command.output.encoderTuning.emplace_back(name, value);
    }
  }
  if (pendingRate) {
    if (command.inputs.empty()) return failure("no input file given (-i)");
    command.output.rate = pendingRate;
  }
  if (command.inputs.empty()) return failure("no input file given (-i)");
  return LegacyParseResult{std::move(command), {}};
}

}  // namespace tarn::tool
