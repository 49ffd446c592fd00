#pragma once

#include <filesystem>

namespace tarn {

// Working paths derived once at start-up from the folder of the running executable.
struct WorkingPaths {
  std::filesystem::path exeFolder;          // folder of the program file
  std::filesystem::path logPath;            // exeFolder / "TarnConverter.log"
  std::filesystem::path settingsPath;       // exeFolder / "TarnConverter.ini"
  std::filesystem::path defaultTempFolder;  // exeFolder / "TEMP"
  std::filesystem::path encoderToolPath;    // exeFolder / "PLUG-IN" / "ffmpeg_III.exe"

  static WorkingPaths forExeFolder(const std::filesystem::path& exeFolder);
};

// Folder of the running executable (/proc/self/exe).
std::filesystem::path runningExeFolder();

}  // namespace tarn
