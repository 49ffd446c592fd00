#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tarn {

struct FolderSpace {
  uint64_t free = 0;       // free bytes of the file system
  uint64_t available = 0;  // of those, what this process may use
};

// The space of the file system that holds `folder` (or its nearest existing parent folder);
// nullopt when it cannot be read.
std::optional<FolderSpace> folderSpace(const std::string& folder);

// Free bytes written with the mask "####.###.###.###" over the byte count divided by 10^9:
// 123456789012 -> "123.456.789.012".
std::string freeSpaceText(uint64_t freeBytes);

// The free-space log line for `folder`: freeSpaceText of its free bytes (0 when unknown) and
// " bytes".
std::string freeSpaceLine(const std::string& folder);

}  // namespace tarn
