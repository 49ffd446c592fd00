#include "common/paths.h"

#include <system_error>

namespace tarn {

WorkingPaths WorkingPaths::forExeFolder(const std::filesystem::path& exeFolder) {
  WorkingPaths paths;
  paths.exeFolder = exeFolder;
  paths.logPath = exeFolder / "TarnConverter.log";
  paths.settingsPath = exeFolder / "TarnConverter.ini";
  paths.defaultTempFolder = exeFolder / "TEMP";
  paths.encoderToolPath = exeFolder / "PLUG-IN" / "ffmpeg_III.exe";
  return paths;
}

std::filesystem::path runningExeFolder() {
  std::error_code error;
  const auto exe = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return std::filesystem::current_path(error);
  return exe.parent_path();
}

}  // namespace tarn
