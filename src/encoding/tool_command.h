#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tarn {

// One run of the encoder tool, in two forms: the argument vector it is started with (the program
// by its exact path first, every path whole, as one argument) and the command-line text of the
// legacy dialect, which only the run log shows. No path is ever recovered from the text.
struct ToolCommand {
  std::string text;
  std::vector<std::string> arguments;
  bool empty() const { return arguments.empty(); }
};

// Builds both forms piece by piece, in the order of the text.
class ToolCommandBuilder {
 public:
  // The program path: in the text quoted when `quoteInText`, as the legacy lines write it.
  ToolCommandBuilder(const std::string& program, bool quoteInText);
  // Option pieces with their own blanks ("-i ", " -f wav -y "): kept as they are in the text,
  // split at the blanks into arguments. They never hold a path.
  ToolCommandBuilder& options(std::string_view pieces);
  // A path: in the text trimmed of blanks and in double quotes; as an argument whole (see
  // toolPath).
  ToolCommandBuilder& path(const std::string& path);
  // A path shown as `shown` but passed as `argument` (which toolPath does not change).
  ToolCommandBuilder& path(const std::string& shown, const std::string& argument);
  ToolCommand build() const { return command_; }

 private:
  ToolCommand command_;
};

// A path as the tool must get it: unchanged, except that a relative path beginning with "-" gets
// "./" in front, so that it can never be read as an option.
std::string toolPath(const std::string& path);

// The numbered frame files of `folder` as the tool's pattern: "%" in the folder doubled ("%%"
// stands for "%"), then "/temp%06d.bmp".
std::string framePatternArgument(const std::string& folder);

}  // namespace tarn
