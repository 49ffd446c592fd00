#include "encoding/temp_cleanup.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <system_error>
#include <thread>

#include "common/folder_lock.h"

namespace tarn {
namespace fs = std::filesystem;
namespace {

// Names of the plain, visible files in `folder` that `matches` accepts, in listing order.
template <typename Matcher>
std::vector<fs::path> listMatches(const fs::path& folder, Matcher matches) {
  std::vector<fs::path> found;
  std::error_code error;
  fs::directory_iterator entries(folder, error);
  if (error) return found;
  for (const fs::directory_iterator end; entries != end; entries.increment(error)) {
    if (error) break;
    const std::string name = entries->path().filename().string();
    if (name.empty() || name[0] == '.') continue;  // hidden
    // Folders, links, devices and pipes are never the program's working files.
    std::error_code statusError;
    if (entries->symlink_status(statusError).type() != fs::file_type::regular) continue;
    if (matches(name)) found.push_back(entries->path());
  }
  return found;
}

// Deletes the files in order; stops at the first one that cannot be deleted.
void deletePass(const std::vector<fs::path>& files) {
  for (const fs::path& file : files) {
    std::error_code error;
    fs::remove(file, error);
    if (error) return;
  }
}

}  // namespace

void sleepMilliseconds(int milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

bool isFrameFileName(const std::string& name) {
  constexpr std::string_view kPrefix = "temp";
  constexpr std::string_view kSuffix = ".bmp";
  if (name.size() < kPrefix.size() + 6 + kSuffix.size()) return false;
  if (!name.starts_with(kPrefix) || !name.ends_with(kSuffix)) return false;
  const auto digits =
      std::string_view(name).substr(kPrefix.size(), name.size() - kPrefix.size() - kSuffix.size());
  return std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool deleteTempFilesIfFree(const std::string& folder, int32_t keepAvi,
                           const OwnAviCopies& aviCopies, const std::function<void(int)>& wait) {
  const FolderLock lock = FolderLock::tryLock(folder);
  if (!lock.held()) return false;
  deleteTempFiles(folder, keepAvi, aviCopies, wait);
  return true;
}

std::string folderInUseMessage(const std::string& folder) {
  return "The temporary folder " + folder + " is in use by another conversion.";
}

void deleteTempFiles(const std::string& folder, int32_t keepAvi, const OwnAviCopies& aviCopies,
                     const std::function<void(int)>& wait) {
  const fs::path path(folder);
  const auto frameFiles = [](const std::string& name) { return isFrameFileName(name); };
  deletePass(listMatches(path, frameFiles));
  wait(500);
  deletePass(listMatches(path, frameFiles));
  deletePass(listMatches(path, [](const std::string& name) { return name == "temp.wav"; }));
  if (keepAvi == 0) {
    deletePass(listMatches(path, [&aviCopies](const std::string& name) {
      return std::find(aviCopies.fileNames.begin(), aviCopies.fileNames.end(), name) !=
             aviCopies.fileNames.end();
    }));
  }
}

}  // namespace tarn
