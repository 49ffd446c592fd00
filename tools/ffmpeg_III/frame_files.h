#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "common/uncached_file.h"
#include "ffmpeg_III/bgr0_to_i420.h"

namespace tarn::tool {

// The converter's frame files: a 54-byte BMP header, then W x H pixels of 4 bytes (blue, green,
// red, unused), bottom row first, no row padding.
inline constexpr size_t kFrameHeaderSize = 54;

struct FrameFormat {
  int32_t width = 0;
  int32_t height = 0;
  size_t pixelBytes() const { return static_cast<size_t>(width) * static_cast<size_t>(height) * 4; }
  bool operator==(const FrameFormat&) const = default;
};

// The stored rows (0 is the bottom row) of a frame file of `format` that lie wholly inside the
// file's `holes`: all zero bytes, as holes read.
std::vector<RowRange> rowsInHoles(std::span<const ByteRange> holes, FrameFormat format);

struct FrameHeaderCheck {
  std::optional<FrameFormat> format;
  std::string error;  // why the file is not one of ours, when `format` is empty
};

// Checks the header against the layout above; `fileSize` is the whole file's size.
FrameHeaderCheck checkFrameHeader(const unsigned char* header, size_t headerSize,
                                  uint64_t fileSize);
FrameHeaderCheck readFrameHeader(const std::string& path);

// True when `path` names a numbered sequence ("...%06d.bmp", "%d").
bool isFramePattern(const std::string& path);
// The file name of frame `number`; the pattern's "%%" stands for "%".
std::string frameFileName(const std::string& pattern, int64_t number);

// A numbered sequence of our frame files, as found on disk.
struct FrameSequence {
  std::string pattern;
  int64_t firstNumber = 0;
  FrameFormat format;
};

// Finds the first frame (numbers 0 to 4, as ffmpeg's image sequence reader does) and reads its
// header. Empty when there is none or it is not one of our frame files (`error` says why).
std::optional<FrameSequence> findFrameSequence(const std::string& pattern, std::string* error);

// The number of files of a numbered sequence of any kind, counted as ffmpeg's image sequence
// reader reads them: from the first of the numbers 0 to 4 that exists up to the first gap.
int64_t countSequenceFiles(const std::string& pattern);

}  // namespace tarn::tool
