#pragma once

#include <filesystem>
#include <functional>
#include <string>

namespace tarn {

// The per-user folders of an installed program, each already ending in "tarn-converter".
struct UserFolders {
  std::filesystem::path config;  // $XDG_CONFIG_HOME/tarn-converter: the settings file
  std::filesystem::path state;   // $XDG_STATE_HOME/tarn-converter: the run log
  std::filesystem::path cache;   // $XDG_CACHE_HOME/tarn-converter: TEMP and the probe report
};

// Working paths derived once at start-up. Where the program folder can be written (a build
// folder, an unpacked copy) every file sits beside the executable; where it cannot (an installed
// program) the same files go to the user's folders under the same names.
struct WorkingPaths {
  std::filesystem::path exeFolder;          // folder of the program file
  std::filesystem::path logPath;            // exeFolder (or state) / "TarnConverter.log"
  std::filesystem::path settingsPath;       // exeFolder (or config) / "TarnConverter.ini"
  std::filesystem::path defaultTempFolder;  // exeFolder (or cache) / "TEMP"
  std::filesystem::path encoderToolPath;    // exeFolder / "PLUG-IN" / "ffmpeg_III.exe"
  std::filesystem::path probeFolder;        // where the probe writes its report
  // What a blank temporary folder stands for: the program folder, or the cache folder where the
  // program folder cannot be written. No trailing separator.
  std::filesystem::path filesFolder;
  bool userFolders = false;  // the files live in the user's folders

  static WorkingPaths forExeFolder(const std::filesystem::path& exeFolder);
  static WorkingPaths forUserFolders(const std::filesystem::path& exeFolder,
                                     const UserFolders& folders);
  // The layout this program folder calls for (programFolderWritable), with the user's folders
  // taken from the environment.
  static WorkingPaths forProgram(const std::filesystem::path& exeFolder);
};

// Folder of the running executable (/proc/self/exe, symbolic links resolved).
std::filesystem::path runningExeFolder();

// Whether the running user may keep files in the program folder. Root may write everywhere, so
// for root a folder under /usr (where packages and `cmake --install` put programs) counts as
// installed and is not used.
bool programFolderWritable(const std::filesystem::path& exeFolder);

// The XDG base folders: a variable holding an absolute path, else the default under the home
// folder ($HOME, else the password database). `lookup` reads one environment variable.
UserFolders userFoldersFrom(const std::function<std::string(const char*)>& lookup);
UserFolders userFoldersFromEnvironment();

}  // namespace tarn
