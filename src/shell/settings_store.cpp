#include "shell/settings_store.h"

#include <cerrno>
#include <cstdio>
#include <string>
#include <system_error>

#include "shell/settings_file.h"

namespace tarn {

bool storeSettings(Application& app) {
  const std::filesystem::path& path = app.paths.settingsPath;
  std::error_code error;
  if (app.paths.userFolders) std::filesystem::create_directories(path.parent_path(), error);
  errno = 0;
  if (saveSettings(path, app.settings)) return true;
  const std::string reason = errno != 0 ? std::error_code(errno, std::generic_category()).message()
                                        : (error ? error.message() : std::string("unknown error"));
  const std::string text = "The settings cannot be saved:\r\n" + path.string() + "\r\n" + reason;
  if (app.frontend) {
    app.frontend->showMessage(text, "Error", MessageIcon::warning, MessageButtons::ok);
  } else {
    std::fprintf(stderr, "The settings cannot be saved: %s: %s\n", path.c_str(), reason.c_str());
  }
  return false;
}

}  // namespace tarn
