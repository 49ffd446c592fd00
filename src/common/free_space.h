#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tarn {

struct FolderSpace {
  uint64_t free = 0;       // free bytes of the file system
  uint64_t available = 0;  // of those, what this process may use
  uint64_t capacity = 0;   // the size of the file system
};

// The space of the file system that holds `folder` (or its nearest existing parent folder);
// nullopt when it cannot be read.
std::optional<FolderSpace> folderSpace(const std::string& folder);

// Free bytes written with the mask "####.###.###.###" over the byte count divided by 10^9:
// the first point is the decimal point and the nine decimals are grouped in threes by further
// points, so the text shows every byte: 52345678912 -> "52.345.678.912", 512 -> "0.000.000.512".
// The integer part (whole 10^9 bytes) has no leading zeros beyond a single 0 and grows past four
// digits when it must.
std::string freeSpaceText(uint64_t freeBytes);

// The free-space log line for `folder`: freeSpaceText of the free bytes of the file system that
// holds it (the nearest existing folder above it when it is missing; 0 when none can be asked),
// followed by " bytes".
std::string freeSpaceLine(const std::string& folder);

}  // namespace tarn
