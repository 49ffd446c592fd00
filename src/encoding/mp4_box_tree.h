#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tarn {

// One box of an ISO base media (MP4, M4V) or QuickTime (MOV) file, held in memory. A container
// box keeps the bytes before its first child in `prefix` (a full box's version and flags, a
// sample entry's fixed fields) and its children in `children`; any other box keeps its whole
// payload in `prefix`. Sizes are worked out again when the box is written, so a changed child
// grows or shrinks every box around it.
struct Mp4Box {
  std::string type;  // four characters
  std::vector<uint8_t> prefix;
  std::vector<Mp4Box> children;
  // A few zero bytes after the last child (some QuickTime sample descriptions end that way).
  std::vector<uint8_t> trailer;
  bool expanded = false;   // children parsed (a container), or not (payload in `prefix`)
  bool largeSize = false;  // written with a 64-bit size field

  uint64_t size() const;
  void write(std::vector<uint8_t>& out) const;
  // Parses the payload bytes from `prefixSize` on as children. False (box unchanged) when they
  // are not a sequence of boxes.
  bool expand(size_t prefixSize);
  // The first child of that type, or null.
  Mp4Box* child(const std::string& childType);
  const Mp4Box* child(const std::string& childType) const;
};

// Limits of one parse: boxes nested deeper than kMaxBoxDepth, or more than kMaxBoxCount boxes, make
// the bytes count as malformed. Real movies nest about eight deep.
inline constexpr int kMaxBoxDepth = 32;
inline constexpr size_t kMaxBoxCount = 100'000;

// Parses one box (the whole of `data`) and, recursively, the plain containers inside it (moov,
// trak, mdia, minf, stbl, dinf, edts). Empty when the bytes are not a well-formed box or pass the
// limits above. Memory in proportion to `size`.
std::optional<Mp4Box> parseMp4Box(const uint8_t* data, size_t size);

// A box at the top level of a file: where it starts and how long it is.
struct Mp4TopBox {
  std::string type;
  uint64_t offset = 0;
  uint64_t size = 0;
};

// The top-level boxes of a file, read from their headers only. Empty (with `error`) when the
// file is not a sequence of boxes; a last box with size 0 runs to the end of the file.
std::optional<std::vector<Mp4TopBox>> listTopLevelBoxes(const std::string& path,
                                                        std::string* error);

// The handler type ("vide", "soun", ...) of a trak box, or empty.
std::string trackHandler(const Mp4Box& trak);

// The index among the children of moov of its first video trak, or -1.
int firstVideoTrack(const Mp4Box& moov);

// Adds `delta` to every chunk offset (stco, co64) in moov that is at or after `from`. False when
// an offset would no longer fit its 32-bit field.
bool shiftChunkOffsets(Mp4Box& moov, uint64_t from, int64_t delta);

}  // namespace tarn
