#include "shell/private_temp_folder.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <system_error>
#include <utility>

namespace tarn {
namespace fs = std::filesystem;
namespace {

constexpr std::string_view kPrefix = "tarn-convert-";
constexpr const char* kOwnerFile = ".owner";

bool isPrivateFolderName(const std::string& name) {
  return name.size() == kPrefix.size() + 6 && name.starts_with(kPrefix);
}

bool oldEnoughToBeAbandoned(const fs::path& folder) {
  std::error_code error;
  const auto written = fs::last_write_time(folder, error);
  return !error && fs::file_time_type::clock::now() - written > std::chrono::minutes(1);
}

}  // namespace

void removeAbandonedPrivateFolders(const fs::path& base) {
  std::error_code error;
  fs::directory_iterator entries(base, error);
  if (error) return;
  for (const fs::directory_iterator end; entries != end; entries.increment(error)) {
    if (error) break;
    std::error_code statusError;
    if (!isPrivateFolderName(entries->path().filename().string()) ||
        entries->symlink_status(statusError).type() != fs::file_type::directory) {
      continue;
    }
    const fs::path folder = entries->path();
    const fs::path owner = folder / kOwnerFile;
    const FolderLock lock = FolderLock::tryLock(owner.string());
    std::error_code ignored;
    if (lock.held() ||
        (!fs::exists(fs::symlink_status(owner, ignored)) && oldEnoughToBeAbandoned(folder))) {
      // remove_all deletes links as entries; it never follows them.
      fs::remove_all(folder, ignored);
    }
  }
}

PrivateTempFolder PrivateTempFolder::create(const fs::path& base) {
  PrivateTempFolder made;
  std::error_code error;
  fs::create_directories(base, error);
  removeAbandonedPrivateFolders(base);
  for (int attempt = 0; attempt < 10; ++attempt) {
    std::string pattern = (base / (std::string(kPrefix) + "XXXXXX")).string();
    if (!::mkdtemp(pattern.data())) return made;
    const fs::path owner = fs::path(pattern) / kOwnerFile;
    const int fd =
        ::open(owner.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0) ::close(fd);
    FolderLock lock = FolderLock::tryLock(owner.string());
    // Another run may have taken the new folder for an abandoned one before it was locked.
    if (lock.held() && lock.stillAt(owner.string())) {
      made.path_ = pattern;
      made.owner_ = std::move(lock);
      return made;
    }
  }
  return made;
}

PrivateTempFolder::PrivateTempFolder(PrivateTempFolder&& other) noexcept
    : path_(std::exchange(other.path_, {})), owner_(std::move(other.owner_)) {}

PrivateTempFolder& PrivateTempFolder::operator=(PrivateTempFolder&& other) noexcept {
  if (this != &other) {
    std::error_code ignored;
    if (!path_.empty()) fs::remove_all(path_, ignored);
    path_ = std::exchange(other.path_, {});
    owner_ = std::move(other.owner_);
  }
  return *this;
}

PrivateTempFolder::~PrivateTempFolder() {
  std::error_code ignored;
  if (!path_.empty()) fs::remove_all(path_, ignored);
}

ProbeFolder::ProbeFolder(const fs::path& exeFolder, const fs::path& base)
    : folder_(PrivateTempFolder::create(base)) {
  if (!folder_.valid()) return;
  std::error_code error;
  fs::create_directories(folder_.path() / "PLUG-IN", error);
  fs::create_symlink(fs::absolute(exeFolder / "PLUG-IN" / "ffmpeg_III.exe", error),
                     folder_.path() / "PLUG-IN" / "ffmpeg_III.exe", error);
}

fs::path ProbeFolder::path(const fs::path& exeFolder) const {
  return folder_.valid() ? folder_.path() : exeFolder;
}

}  // namespace tarn
