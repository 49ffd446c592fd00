#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tarn::tool {

// One "-i" input of a legacy command line with the options written before it.
struct LegacyInput {
  std::string path;
  std::optional<std::string> rate;  // "-r" before "-i": the input frame rate
};

// The options that apply to the output (written after the first "-i"), as given.
struct LegacyOutputOptions {
  std::optional<std::string> rate;  // "-r" after the inputs: the output frame rate
  std::optional<std::string> channels;
  std::optional<std::string> sampleRate;
  std::optional<std::string> videoCodec;
  std::optional<std::string> audioCodec;
  std::optional<std::string> duration;
  std::optional<std::string> bitRate;
  std::optional<std::string> size;
  std::optional<std::string> crf;
  std::optional<std::string> qscale;
  std::optional<std::string> format;
  bool sameQuality = false;
  // The x264 tuning literals of the codec modes ("-subq 3", "-refs 16", ...), in order, without
  // their leading dash.
  std::vector<std::pair<std::string, std::string>> encoderTuning;
};

struct LegacyCommand {
  std::vector<LegacyInput> inputs;
  LegacyOutputOptions output;
  std::optional<std::string> outputPath;
  bool overwrite = false;
};

struct LegacyParseResult {
  std::optional<LegacyCommand> command;
  std::string error;  // set when `command` is empty
};

// Parses the arguments after the program name, in the option dialect the converter writes.
// Option values may begin with "-" ("-partitions -parti8x8+..."), so every option's arity is
// known here; an unknown option is an error rather than a guess.
LegacyParseResult parseLegacyCommand(const std::vector<std::string>& arguments);

}  // namespace tarn::tool
