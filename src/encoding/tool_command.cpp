#include "encoding/tool_command.h"

#include <filesystem>

#include "common/text.h"

namespace tarn {

ToolCommandBuilder::ToolCommandBuilder(const std::string& program, bool quoteInText) {
  command_.text = quoteInText ? "\"" + program + "\"" : program;
  command_.arguments.push_back(program);
}

ToolCommandBuilder& ToolCommandBuilder::options(std::string_view pieces) {
  command_.text += pieces;
  size_t at = 0;
  while (at < pieces.size()) {
    const size_t start = pieces.find_first_not_of(' ', at);
    if (start == std::string_view::npos) break;
    const size_t end = pieces.find(' ', start);
    command_.arguments.emplace_back(pieces.substr(start, end - start));
    at = end;
  }
  return *this;
}

ToolCommandBuilder& ToolCommandBuilder::path(const std::string& path) {
  // Blanks at the ends belong to the name when a file of that name exists; otherwise they are
  // padding, removed as the legacy text removes them.
  std::error_code error;
  const bool named = std::filesystem::exists(std::filesystem::symlink_status(path, error));
  return this->path(path, toolPath(named ? path : trimBlanks(path)));
}

ToolCommandBuilder& ToolCommandBuilder::path(const std::string& shown,
                                             const std::string& argument) {
  command_.text += "\"" + trimBlanks(shown) + "\"";
  command_.arguments.push_back(argument);
  return *this;
}

std::string toolPath(const std::string& path) {
  return !path.empty() && path[0] == '-' ? "./" + path : path;
}

std::string framePatternArgument(const std::string& folder) {
  std::string pattern;
  for (const char c : toolPath(folder)) {
    pattern += c;
    if (c == '%') pattern += '%';
  }
  return pattern + "/temp%06d.bmp";
}

}  // namespace tarn
