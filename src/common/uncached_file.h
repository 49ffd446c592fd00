#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace tarn {

// Bytes that a read buffer always holds beyond the file's data.
inline constexpr size_t kReadSlack = 64;

// Whole-file reads and writes that bypass the page cache (O_DIRECT) where the file system
// allows it. Frame files are written once and read once or twice, gigabytes of them per run:
// through the cache they would push everything else out of it, and filling fresh cache pages
// costs far more than the transfer itself on virtual machines.

// Block alignment that direct transfers need of memory, offsets and lengths.
inline constexpr size_t kDirectAlignment = 4096;

// A heap buffer aligned for direct transfers, its size rounded up to whole blocks.
class AlignedBuffer {
 public:
  AlignedBuffer() = default;
  // Empty when the memory cannot be had.
  explicit AlignedBuffer(size_t size);
  uint8_t* data() { return data_.get(); }
  const uint8_t* data() const { return data_.get(); }
  size_t size() const { return size_; }  // usable bytes, a multiple of kDirectAlignment

 private:
  struct Free {
    void operator()(uint8_t* data) const;
  };
  std::unique_ptr<uint8_t, Free> data_;
  size_t size_ = 0;
};

// A range of bytes of a file, [begin, end).
struct ByteRange {
  size_t begin = 0;
  size_t end = 0;
  bool operator==(const ByteRange&) const = default;
};

// The parts of [0, size) outside `ranges` (sorted, not overlapping).
std::vector<ByteRange> rangesOutside(std::span<const ByteRange> ranges, size_t size);

// Creates `path` new (an entry already of that name, a link included, is removed from its folder,
// never written through) and writes the first `size` bytes of `buffer` into it, the whole
// blocks directly and the last partial block through the cache. Falls back to an ordinary write
// where direct transfers are refused (tmpfs, some network file systems). Returns 0, or the errno
// of the failure (a full disk is also reported when the file is closed).
//
// `zeros` (ascending, not overlapping, each starting on a block boundary and ending on one or at
// `size`) are ranges the caller knows to hold only zero bytes: they are not written but left as
// holes, which read back as zeros and take neither disk space nor transfer time.
int writeFileUncached(const std::string& path, const AlignedBuffer& buffer, size_t size,
                      std::span<const ByteRange> zeros = {});

struct UncachedRead {
  int error = 0;    // errno of a failure, 0 on success
  size_t size = 0;  // bytes read: the whole file
};

// Reads the whole of `path` into `buffer` (grown as needed), directly where allowed. A file
// larger than `limit` is not read (error EFBIG).
//
// With `holes`, only the file's data is read: its holes are found with SEEK_DATA and SEEK_HOLE
// and their bytes in `buffer` set to zero, unless `holes` already lists exactly those ranges
// from the last read into the same buffer (their bytes are still zero then). On return `holes`
// lists the file's holes (block-aligned ranges below the file's size; empty where the file
// system does not tell them, or after a failure).
UncachedRead readFileUncached(const std::string& path, AlignedBuffer& buffer, size_t limit,
                              std::vector<ByteRange>* holes = nullptr);

}  // namespace tarn
