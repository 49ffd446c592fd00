#pragma once

#include <optional>
#include <string>

namespace tarn::tool {

// The folder of an output path as a user would name it ("." for a bare file name).
std::string outputFolderOf(const std::string& outputPath);

// True when the folder's file system has (almost) no space left.
bool folderIsFull(const std::string& folder);

// A run's output written under a name of its own in the output's folder
// (".NAME.XXXXXX.part.EXT", created new, so no other file is ever written through), and put in
// place over the output path only when it is complete. Until then the output path is untouched;
// a staged file that is not committed is removed when this object ends.
class StagedOutput {
 public:
  // Creates the staged file. On failure `error` is the reason for the user: "no space left in
  // FOLDER" or "the output folder FOLDER cannot be written: why".
  static std::optional<StagedOutput> create(const std::string& outputPath, std::string* error);

  StagedOutput(StagedOutput&& other) noexcept;
  StagedOutput& operator=(StagedOutput&&) = delete;
  StagedOutput(const StagedOutput&) = delete;
  StagedOutput& operator=(const StagedOutput&) = delete;
  ~StagedOutput();

  // The file the run writes.
  const std::string& path() const { return path_; }
  const std::string& outputPath() const { return outputPath_; }

  // Renames the staged file over the output path, with the permissions a newly created file
  // gets. False with `error` when that fails (the staged file is then removed).
  bool commit(std::string* error);
  // Removes the staged file now.
  void discard();

 private:
  StagedOutput(std::string outputPath, std::string path, unsigned permissions);

  std::string outputPath_;
  std::string path_;
  unsigned permissions_;
  bool pending_ = true;
};

}  // namespace tarn::tool
