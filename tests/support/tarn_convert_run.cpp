#include "support/tarn_convert_run.h"

#include "support/test_media.h"

namespace tarn::test {

std::string quoted(const std::string& path) {
  std::string word = "'";
  for (const char c : path) word += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return word + "'";
}

TarnConvertRun runTarnConvert(const std::string& arguments, const std::string& environment) {
  TarnConvertRun run;
  const std::string program = quoted((binDir() / "tarn-convert").string());
  const std::string prefix = environment.empty() ? std::string() : "env " + environment + " ";
  run.status = runShell(prefix + program + " " + arguments + " 2>&1", &run.output);
  return run;
}

}  // namespace tarn::test
