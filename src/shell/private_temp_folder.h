#pragma once

#include <filesystem>

#include "common/folder_lock.h"

namespace tarn {

// A folder of one tarn-convert run under a base folder ("tarn-convert-" + six random characters),
// so that runs may go at once. It holds its owner's lock (a lock on the file ".owner" inside) for
// its whole life and is removed with everything in it when the object ends. Folders whose owner
// is gone (killed, a power cut) are removed by the next run that creates one under the same base.
class PrivateTempFolder {
 public:
  PrivateTempFolder() = default;
  ~PrivateTempFolder();
  PrivateTempFolder(PrivateTempFolder&& other) noexcept;
  PrivateTempFolder& operator=(PrivateTempFolder&& other) noexcept;
  PrivateTempFolder(const PrivateTempFolder&) = delete;
  PrivateTempFolder& operator=(const PrivateTempFolder&) = delete;

  // Creates the base when missing, removes abandoned folders there, then makes a new one. Empty
  // (valid() false) when no folder can be made.
  static PrivateTempFolder create(const std::filesystem::path& base);
  bool valid() const { return !path_.empty(); }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
  FolderLock owner_;
};

// Removes the private folders under `base` whose owner lock nobody holds. A folder without its
// lock file (its run ended between making the folder and the file) counts as abandoned once it
// is a minute old. Links are never followed.
void removeAbandonedPrivateFolders(const std::filesystem::path& base);

// A folder from which the encoder tool runs for a probe: the probe writes its report beside the
// tool under a fixed name, so each run probes from a private folder of its own whose
// PLUG-IN/ffmpeg_III.exe links to the real tool.
class ProbeFolder {
 public:
  ProbeFolder(const std::filesystem::path& exeFolder, const std::filesystem::path& base);
  // Where probes run from: the own folder, or the program folder when none could be made.
  std::filesystem::path path(const std::filesystem::path& exeFolder) const;

 private:
  PrivateTempFolder folder_;
};

}  // namespace tarn
