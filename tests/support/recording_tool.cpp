#include "support/recording_tool.h"

#include <fstream>

namespace tarn::test {
namespace fs = std::filesystem;

void installRecordingTool(const fs::path& programFolder, const std::string& then) {
  fs::create_directories(programFolder / "PLUG-IN");
  const fs::path tool = programFolder / "PLUG-IN" / "ffmpeg_III.exe";
  {
    std::ofstream script(tool, std::ios::trunc);
    script << "#!/bin/sh\n"
           << "out='" << (programFolder / "argv.txt").string() << "'\n"
           << "for a in \"$@\"; do printf '%s\\n' \"$a\" >> \"$out\"; done\n"
           << "echo --- >> \"$out\"\n"
           << then << "\n";
  }
  fs::permissions(tool, fs::perms::owner_all | fs::perms::group_read | fs::perms::others_read);
}

std::vector<std::vector<std::string>> recordedRuns(const fs::path& programFolder) {
  std::vector<std::vector<std::string>> runs;
  std::ifstream in(programFolder / "argv.txt");
  std::vector<std::string> current;
  for (std::string line; std::getline(in, line);) {
    if (line == "---") {
      runs.push_back(std::move(current));
      current.clear();
    } else {
      current.push_back(line);
    }
  }
  return runs;
}

}  // namespace tarn::test
