#include "common/paths.h"

#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <system_error>

namespace tarn {
namespace fs = std::filesystem;
namespace {

constexpr const char* kFolderName = "tarn-converter";

fs::path withoutTrailingSeparator(const fs::path& folder) {
  std::string text = folder.string();
  while (text.size() > 1 && text.back() == '/') text.pop_back();
  return text;
}

bool isUnder(const fs::path& folder, const char* root) {
  const std::string text = folder.lexically_normal().string();
  const std::string prefix = std::string(root) + "/";
  return text == root || text.compare(0, prefix.size(), prefix) == 0;
}

}  // namespace

WorkingPaths WorkingPaths::forExeFolder(const fs::path& exeFolder) {
  WorkingPaths paths;
  paths.exeFolder = exeFolder;
  paths.logPath = exeFolder / "TarnConverter.log";
  paths.settingsPath = exeFolder / "TarnConverter.ini";
  paths.defaultTempFolder = exeFolder / "TEMP";
  paths.encoderToolPath = exeFolder / "PLUG-IN" / "ffmpeg_III.exe";
  paths.probeFolder = exeFolder;
  paths.filesFolder = withoutTrailingSeparator(exeFolder);
  return paths;
}

WorkingPaths WorkingPaths::forUserFolders(const fs::path& exeFolder, const UserFolders& folders) {
  WorkingPaths paths = forExeFolder(exeFolder);
  paths.logPath = folders.state / "TarnConverter.log";
  paths.settingsPath = folders.config / "TarnConverter.ini";
  paths.defaultTempFolder = folders.cache / "TEMP";
  paths.probeFolder = folders.cache;
  paths.filesFolder = withoutTrailingSeparator(folders.cache);
  paths.userFolders = true;
  return paths;
}

WorkingPaths WorkingPaths::forProgram(const fs::path& exeFolder) {
  if (programFolderWritable(exeFolder)) return forExeFolder(exeFolder);
  return forUserFolders(exeFolder, userFoldersFromEnvironment());
}

fs::path runningExeFolder() {
  std::error_code error;
  const auto exe = fs::read_symlink("/proc/self/exe", error);
  if (error) return fs::current_path(error);
  return exe.parent_path();
}

bool programFolderWritable(const fs::path& exeFolder) {
  if (::faccessat(AT_FDCWD, exeFolder.c_str(), W_OK, AT_EACCESS) != 0) return false;
  return ::geteuid() != 0 || !isUnder(exeFolder, "/usr");
}

UserFolders userFoldersFrom(const std::function<std::string(const char*)>& lookup) {
  fs::path home = lookup("HOME");
  if (home.empty()) {
    if (const passwd* user = ::getpwuid(::getuid()); user && user->pw_dir) home = user->pw_dir;
  }
  const auto base = [&](const char* variable, const char* fallback) {
    const fs::path value = lookup(variable);
    return (value.is_absolute() ? value : home / fallback) / kFolderName;
  };
  return UserFolders{base("XDG_CONFIG_HOME", ".config"), base("XDG_STATE_HOME", ".local/state"),
                     base("XDG_CACHE_HOME", ".cache")};
}

UserFolders userFoldersFromEnvironment() {
  return userFoldersFrom([](const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
  });
}

}  // namespace tarn
