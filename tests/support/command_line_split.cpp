#include "support/command_line_split.h"

namespace tarn {
namespace {

bool isBlank(char c) {
  return c == ' ' || c == '\t';
}

// The program name: quotes toggle grouping and are dropped, backslashes are plain characters.
size_t readProgramName(const std::string& line, size_t pos, std::string& name) {
  bool quoted = false;
  for (; pos < line.size(); ++pos) {
    const char c = line[pos];
    if (c == '"') {
      quoted = !quoted;
    } else if (isBlank(c) && !quoted) {
      break;
    } else {
      name += c;
    }
  }
  return pos;
}

// One argument after the program name, by the C runtime's rules: 2n backslashes before a quote
// give n backslashes and the quote groups; 2n+1 give n backslashes and a literal quote; inside a
// quoted part, a doubled quote is a literal quote.
size_t readArgument(const std::string& line, size_t pos, std::string& argument) {
  bool quoted = false;
  while (pos < line.size()) {
    const char c = line[pos];
    if (isBlank(c) && !quoted) break;
    if (c == '\\') {
      size_t count = 0;
      while (pos < line.size() && line[pos] == '\\') {
        ++count;
        ++pos;
      }
      if (pos < line.size() && line[pos] == '"') {
        argument.append(count / 2, '\\');
        if (count % 2 == 1) {
          argument += '"';
          ++pos;
        }
      } else {
        argument.append(count, '\\');
      }
      continue;
    }
    if (c == '"') {
      if (quoted && pos + 1 < line.size() && line[pos + 1] == '"') {
        argument += '"';
        pos += 2;
        continue;
      }
      quoted = !quoted;
      ++pos;
      continue;
    }
    argument += c;
    ++pos;
  }
  return pos;
}

size_t skipBlanks(const std::string& line, size_t pos) {
  while (pos < line.size() && isBlank(line[pos])) ++pos;
  return pos;
}

void appendArguments(const std::string& line, size_t pos, std::vector<std::string>& arguments) {
  while (true) {
    pos = skipBlanks(line, pos);
    if (pos >= line.size()) return;
    std::string argument;
    pos = readArgument(line, pos, argument);
    arguments.push_back(std::move(argument));
  }
}

}  // namespace

std::vector<std::string> splitCommandLine(const std::string& commandLine) {
  std::vector<std::string> arguments;
  const size_t pos = skipBlanks(commandLine, 0);
  if (pos >= commandLine.size()) return arguments;
  std::string program;
  const size_t end = readProgramName(commandLine, pos, program);
  arguments.push_back(std::move(program));
  appendArguments(commandLine, end, arguments);
  return arguments;
}

}  // namespace tarn
