#include "common/free_space.h"

#include <cstdio>
#include <filesystem>

namespace tarn {
namespace fs = std::filesystem;

std::optional<FolderSpace> folderSpace(const std::string& folder) {
  std::error_code error;
  fs::path existing = fs::absolute(fs::path(folder), error);
  while (!error && !existing.empty() && !fs::exists(existing, error)) {
    if (existing == existing.parent_path()) break;
    existing = existing.parent_path();
  }
  if (error) return std::nullopt;
  const fs::space_info space = fs::space(existing, error);
  if (error) return std::nullopt;
  return FolderSpace{space.free, space.available, space.capacity};
}

std::string freeSpaceText(uint64_t freeBytes) {
  constexpr uint64_t kGiga = 1000000000;
  const uint64_t rest = freeBytes % kGiga;
  char text[48];
  std::snprintf(text, sizeof text, "%llu.%03llu.%03llu.%03llu",
                static_cast<unsigned long long>(freeBytes / kGiga),
                static_cast<unsigned long long>(rest / 1000000),
                static_cast<unsigned long long>(rest / 1000 % 1000),
                static_cast<unsigned long long>(rest % 1000));
  return text;
}

std::string freeSpaceLine(const std::string& folder) {
  const auto space = folderSpace(folder);
  return freeSpaceText(space ? space->free : 0) + " bytes";
}

}  // namespace tarn
