#pragma once

#include <string>

namespace tarn::test {

struct TarnConvertRun {
  int status = -1;
  std::string output;  // standard output and error together
};

// Runs this build's tarn-convert with `arguments` (shell words, quote paths with quoted()),
// `environment` ("NAME=value ..." words) put before it.
TarnConvertRun runTarnConvert(const std::string& arguments, const std::string& environment = "");

// A path as one shell word.
std::string quoted(const std::string& path);

}  // namespace tarn::test
