#include "ffmpeg_III/staged_output.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

namespace tarn::tool {
namespace {

namespace fs = std::filesystem;

// Long names are cut so that the staged name stays within the file system's name limit.
constexpr size_t kMaxStemBytes = 120;
// Below this the disk counts as full: ffmpeg fills it to the last block before it fails.
constexpr unsigned long long kFullBelowBytes = 1ULL << 20;

}  // namespace

std::string outputFolderOf(const std::string& outputPath) {
  const std::string folder = fs::path(outputPath).parent_path().string();
  return folder.empty() ? std::string(".") : folder;
}

bool folderIsFull(const std::string& folder) {
  struct statvfs info {};
  if (::statvfs(folder.c_str(), &info) != 0) return false;
  return static_cast<unsigned long long>(info.f_bavail) * info.f_frsize < kFullBelowBytes;
}

std::optional<StagedOutput> StagedOutput::create(const std::string& outputPath,
                                                 std::string* error) {
  const fs::path output(outputPath);
  const std::string folder = outputFolderOf(outputPath);
  std::string stem = output.stem().string();
  if (stem.size() > kMaxStemBytes) stem.resize(kMaxStemBytes);
  // The extension stays last: ffmpeg and the spherical step choose by it.
  const std::string suffix = ".part" + output.extension().string();
  const fs::path parent = output.parent_path();
  const std::string name = "." + stem + ".XXXXXX" + suffix;
  std::string templateText = parent.empty() ? name : (parent / name).string();
  std::vector<char> buffer(templateText.begin(), templateText.end());
  buffer.push_back('\0');
  // mkostemps opens with O_CREAT | O_EXCL: a name that exists (a user's file) is never taken.
  const int fd = ::mkostemps(buffer.data(), static_cast<int>(suffix.size()), O_CLOEXEC);
  if (fd < 0) {
    const int code = errno;
    if (error) {
      *error = code == ENOSPC || code == EDQUOT
                   ? "no space left in " + folder
                   : "the output folder " + folder + " cannot be written: " + std::strerror(code);
    }
    return std::nullopt;
  }
  ::close(fd);
  // The permissions ffmpeg would have given a new file. Read here, before the run starts its
  // threads (umask can only be read by setting it).
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return StagedOutput(outputPath, std::string(buffer.data()), 0666u & ~static_cast<unsigned>(mask));
}

StagedOutput::StagedOutput(std::string outputPath, std::string path, unsigned permissions)
    : outputPath_(std::move(outputPath)), path_(std::move(path)), permissions_(permissions) {}

StagedOutput::StagedOutput(StagedOutput&& other) noexcept
    : outputPath_(std::move(other.outputPath_)),
      path_(std::move(other.path_)),
      permissions_(other.permissions_),
      pending_(other.pending_) {
  other.pending_ = false;
}

StagedOutput::~StagedOutput() {
  discard();
}

void StagedOutput::discard() {
  if (!pending_) return;
  pending_ = false;
  ::unlink(path_.c_str());
}

bool StagedOutput::commit(std::string* error) {
  if (!pending_) {
    if (error) *error = "the output movie was already removed";
    return false;
  }
  ::chmod(path_.c_str(), static_cast<mode_t>(permissions_));
  if (::rename(path_.c_str(), outputPath_.c_str()) != 0) {
    const int code = errno;
    discard();
    if (error)
      *error = "cannot put the output in place as " + outputPath_ + ": " + std::strerror(code);
    return false;
  }
  pending_ = false;
  return true;
}

}  // namespace tarn::tool
