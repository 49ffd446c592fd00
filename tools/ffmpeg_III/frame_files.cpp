#include "ffmpeg_III/frame_files.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace tarn::tool {
namespace {

uint32_t le32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

uint16_t le16(const unsigned char* p) {
  return static_cast<uint16_t>(p[0] | p[1] << 8);
}

FrameHeaderCheck rejected(std::string why) {
  return FrameHeaderCheck{std::nullopt, std::move(why)};
}

// Where the pattern's number directive starts and ends, and its minimum width.
struct Directive {
  size_t begin = std::string::npos;
  size_t end = 0;
  int width = 0;
};

Directive findDirective(const std::string& pattern) {
  for (size_t i = 0; i + 1 < pattern.size(); ++i) {
    if (pattern[i] != '%') continue;
    if (pattern[i + 1] == '%') {
      ++i;
      continue;
    }
    size_t j = i + 1;
    int width = 0;
    while (j < pattern.size() && pattern[j] >= '0' && pattern[j] <= '9') {
      width = width * 10 + (pattern[j] - '0');
      if (width > 32) return {};
      ++j;
    }
    if (j < pattern.size() && pattern[j] == 'd') return Directive{i, j + 1, width};
    return {};
  }
  return {};
}

std::string unescapePercents(const std::string& text) {
  std::string result;
  for (size_t i = 0; i < text.size(); ++i) {
    result += text[i];
    if (text[i] == '%' && i + 1 < text.size() && text[i + 1] == '%') ++i;
  }
  return result;
}

}  // namespace

std::vector<RowRange> rowsInHoles(std::span<const ByteRange> holes, FrameFormat format) {
  std::vector<RowRange> rows;
  const size_t rowBytes = static_cast<size_t>(format.width) * 4;
  if (rowBytes == 0) return rows;
  for (const ByteRange& hole : holes) {
    if (hole.end <= kFrameHeaderSize) continue;
    const size_t begin = std::max(hole.begin, kFrameHeaderSize) - kFrameHeaderSize;
    const size_t end = hole.end - kFrameHeaderSize;
    const size_t first = (begin + rowBytes - 1) / rowBytes;
    const size_t last = std::min(end / rowBytes, static_cast<size_t>(format.height));
    if (first < last) rows.push_back({static_cast<int>(first), static_cast<int>(last)});
  }
  return rows;
}

FrameHeaderCheck checkFrameHeader(const unsigned char* header, size_t headerSize,
                                  uint64_t fileSize) {
  if (headerSize < kFrameHeaderSize) return rejected("shorter than a BMP header");
  if (header[0] != 'B' || header[1] != 'M') return rejected("not a BMP file");
  if (le32(header + 10) != kFrameHeaderSize || le32(header + 14) != 40) {
    return rejected("not a 54-byte BMP header");
  }
  const auto width = static_cast<int32_t>(le32(header + 18));
  const auto height = static_cast<int32_t>(le32(header + 22));
  if (le16(header + 26) != 1 || le16(header + 28) != 32 || le32(header + 30) != 0) {
    return rejected("not an uncompressed 32-bit BMP");
  }
  // Ours are bottom-up (positive height); the size bound keeps W x H x 4 far from overflow.
  if (width <= 0 || height <= 0 || width > 32768 || height > 32768) {
    return rejected("frame size " + std::to_string(width) + "x" + std::to_string(height) +
                    " is not supported");
  }
  const FrameFormat format{width, height};
  if (fileSize < kFrameHeaderSize + format.pixelBytes()) return rejected("truncated pixel data");
  return FrameHeaderCheck{format, {}};
}

FrameHeaderCheck readFrameHeader(const std::string& path) {
  std::error_code error;
  const auto size = std::filesystem::file_size(path, error);
  if (error) return rejected("cannot read " + path);
  std::ifstream in(path, std::ios::binary);
  unsigned char header[kFrameHeaderSize];
  if (!in.read(reinterpret_cast<char*>(header), sizeof header)) {
    return rejected("shorter than a BMP header");
  }
  return checkFrameHeader(header, sizeof header, size);
}

bool isFramePattern(const std::string& path) {
  return findDirective(path).begin != std::string::npos;
}

std::string frameFileName(const std::string& pattern, int64_t number) {
  const Directive directive = findDirective(pattern);
  if (directive.begin == std::string::npos) return unescapePercents(pattern);
  char digits[64];
  std::snprintf(digits, sizeof digits, "%0*lld", directive.width, static_cast<long long>(number));
  return unescapePercents(pattern.substr(0, directive.begin)) + digits +
         unescapePercents(pattern.substr(directive.end));
}

std::optional<FrameSequence> findFrameSequence(const std::string& pattern, std::string* error) {
  for (int64_t number = 0; number <= 4; ++number) {
    const std::string name = frameFileName(pattern, number);
    std::error_code ignored;
    if (!std::filesystem::is_regular_file(name, ignored)) continue;
    const FrameHeaderCheck check = readFrameHeader(name);
    if (!check.format) {
      if (error) *error = name + ": " + check.error;
      return std::nullopt;
    }
    return FrameSequence{pattern, number, *check.format};
  }
  if (error) *error = "no frame file " + frameFileName(pattern, 0);
  return std::nullopt;
}

int64_t countSequenceFiles(const std::string& pattern) {
  const auto exists = [&pattern](int64_t number) {
    std::error_code ignored;
    return std::filesystem::is_regular_file(frameFileName(pattern, number), ignored);
  };
  int64_t first = 0;
  while (first <= 4 && !exists(first)) ++first;
  if (first > 4) return 0;
  int64_t next = first;
  while (exists(next)) ++next;
  return next - first;
}

}  // namespace tarn::tool
