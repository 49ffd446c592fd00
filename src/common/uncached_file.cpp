#include "common/uncached_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "common/huge_pages.h"
#include "common/write_all.h"

namespace tarn {
namespace {

size_t wholeBlocks(size_t size) {
  return size / kDirectAlignment * kDirectAlignment;
}

size_t roundUpToBlocks(size_t size) {
  return wholeBlocks(size + kDirectAlignment - 1);
}

// Reads up to `size` bytes until the end of the file; returns the count, or -1 with errno.
ssize_t readUpTo(int fd, uint8_t* data, size_t size) {
  size_t done = 0;
  while (done < size) {
    const ssize_t count = ::read(fd, data + done, size - done);
    if (count < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (count == 0) break;
    done += static_cast<size_t>(count);
  }
  return static_cast<ssize_t>(done);
}

class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }
  // Closes now, reporting the result (some file systems tell of a full disk only here).
  int close() {
    const int result = ::close(fd_);
    fd_ = -1;
    return result;
  }

 private:
  int fd_;
};

// Creates `path` as a new file: an entry already of that name (an old file, a link to anywhere)
// is removed as an entry of its folder and never written through.
int createNew(const std::string& path, int extraFlags) {
  const int flags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | extraFlags;
  int fd = ::open(path.c_str(), flags, 0644);
  if (fd < 0 && errno == EEXIST && ::unlink(path.c_str()) == 0)
    fd = ::open(path.c_str(), flags, 0644);
  return fd;
}

// Writes bytes [begin, end) of `data` at the same place in the file.
bool writeAt(int fd, const uint8_t* data, size_t begin, size_t end) {
  if (begin == end) return true;
  if (::lseek(fd, static_cast<off_t>(begin), SEEK_SET) < 0) return false;
  return writeAll(fd, data + begin, end - begin);
}

bool clearDirect(int fd) {
  const int flags = ::fcntl(fd, F_GETFL);
  return flags >= 0 && ::fcntl(fd, F_SETFL, flags & ~O_DIRECT) == 0;
}

// Writes `ranges` of `data`; with `direct`, each range's whole blocks go directly and a partial
// last block through the cache. Returns 0 or the errno.
int writeRanges(int fd, const uint8_t* data, size_t size, const std::vector<ByteRange>& ranges,
                bool direct) {
  for (const ByteRange& range : ranges) {
    const size_t directEnd =
        direct ? range.begin + wholeBlocks(range.end - range.begin) : range.begin;
    if (!writeAt(fd, data, range.begin, directEnd)) return errno;
    if (directEnd < range.end) {
      if (direct && !clearDirect(fd)) return errno;
      direct = false;
      if (!writeAt(fd, data, directEnd, range.end)) return errno;
    }
  }
  // A file that ends in a hole still gets its whole length.
  if ((ranges.empty() || ranges.back().end < size) &&
      ::ftruncate(fd, static_cast<off_t>(size)) != 0)
    return errno;
  return 0;
}

int writeCached(const std::string& path, const uint8_t* data, size_t size,
                const std::vector<ByteRange>& ranges) {
  Descriptor file(createNew(path, 0));
  if (file.get() < 0) return errno;
  if (const int error = writeRanges(file.get(), data, size, ranges, false); error != 0)
    return error;
  return file.close() == 0 ? 0 : errno;
}

// The file's data, found with SEEK_DATA and SEEK_HOLE and widened to whole blocks; the whole
// file where the file system does not tell.
std::vector<ByteRange> findData(int fd, size_t size) {
  const std::vector<ByteRange> whole{{0, roundUpToBlocks(size)}};
  std::vector<ByteRange> data;
  off_t at = 0;
  while (static_cast<size_t>(at) < size) {
    const off_t begin = ::lseek(fd, at, SEEK_DATA);
    if (begin < 0) {
      if (errno == ENXIO) break;  // a hole up to the end
      return whole;
    }
    const off_t end = ::lseek(fd, begin, SEEK_HOLE);
    if (end <= begin) return whole;
    const ByteRange range{wholeBlocks(static_cast<size_t>(begin)),
                          roundUpToBlocks(std::min(static_cast<size_t>(end), size))};
    if (!data.empty() && range.begin <= data.back().end) {
      data.back().end = std::max(data.back().end, range.end);
    } else {
      data.push_back(range);
    }
    at = end;
  }
  return data;
}

}  // namespace

std::vector<ByteRange> rangesOutside(std::span<const ByteRange> ranges, size_t size) {
  std::vector<ByteRange> outside;
  size_t at = 0;
  for (const ByteRange& range : ranges) {
    const size_t begin = std::min(range.begin, size);
    if (begin > at) outside.push_back({at, begin});
    at = std::max(at, std::min(range.end, size));
  }
  if (at < size) outside.push_back({at, size});
  return outside;
}

AlignedBuffer::AlignedBuffer(size_t size) {
  // Frame images of megabytes go on huge pages where the system has them: a direct transfer pins
  // every page of its buffer, and the conversions that read them walk fewer page tables.
  const size_t rounded = roundUpToBlocks(size == 0 ? 1 : size);
  if (rounded >= kHugePageBytes) {
    data_.reset(static_cast<uint8_t*>(allocateOnHugePages(rounded)));
  } else {
    data_.reset(static_cast<uint8_t*>(std::aligned_alloc(kDirectAlignment, rounded)));
  }
  size_ = data_ ? rounded : 0;
}

void AlignedBuffer::Free::operator()(uint8_t* data) const {
  std::free(data);
}

int writeFileUncached(const std::string& path, const AlignedBuffer& buffer, size_t size,
                      std::span<const ByteRange> zeros) {
  if (size > buffer.size()) return EINVAL;
  const std::vector<ByteRange> ranges = rangesOutside(zeros, size);
  Descriptor file(createNew(path, O_DIRECT));
  if (file.get() < 0) {
    return errno == EINVAL ? writeCached(path, buffer.data(), size, ranges) : errno;
  }
  if (const int error = writeRanges(file.get(), buffer.data(), size, ranges, true); error != 0) {
    if (error != EINVAL) return error;
    // Direct transfers refused after all (alignment rules of this file system): write normally.
    file.close();
    ::unlink(path.c_str());
    return writeCached(path, buffer.data(), size, ranges);
  }
  return file.close() == 0 ? 0 : errno;
}

UncachedRead readFileUncached(const std::string& path, AlignedBuffer& buffer, size_t limit,
                              std::vector<ByteRange>* holes) {
  const std::vector<ByteRange> zeroBefore = holes ? std::move(*holes) : std::vector<ByteRange>();
  if (holes) holes->clear();
  bool direct = true;
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_DIRECT);
  if (fd < 0 && errno == EINVAL) {
    direct = false;
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  }
  if (fd < 0) return {errno, 0};
  Descriptor file(fd);
  struct stat info {};
  if (::fstat(file.get(), &info) != 0) return {errno, 0};
  const auto size = static_cast<size_t>(info.st_size);
  if (size > limit) return {EFBIG, 0};
  // Whole blocks are asked for: a direct read must not be cut to the file's length.
  const size_t wanted = roundUpToBlocks(size);
  // Readers may run a little past the data (swscale's vector loops read whole vectors).
  const size_t allocated = wanted + kReadSlack;
  bool zerosKept = true;
  if (buffer.size() < allocated) {
    buffer = AlignedBuffer(allocated);
    if (buffer.size() < allocated) return {ENOMEM, 0};
    zerosKept = false;
  }
  const std::vector<ByteRange> data =
      holes ? findData(file.get(), size) : std::vector<ByteRange>{{0, wanted}};
  size_t fileEnd = size;
  for (const ByteRange& range : data) {
    if (::lseek(file.get(), static_cast<off_t>(range.begin), SEEK_SET) < 0) return {errno, 0};
    ssize_t count = readUpTo(file.get(), buffer.data() + range.begin, range.end - range.begin);
    if (count < 0 && errno == EINVAL && direct) {
      if (!clearDirect(file.get())) return {errno, 0};
      direct = false;
      if (::lseek(file.get(), static_cast<off_t>(range.begin), SEEK_SET) < 0) return {errno, 0};
      count = readUpTo(file.get(), buffer.data() + range.begin, range.end - range.begin);
    }
    if (count < 0) return {errno, 0};
    // A file cut short since it was looked at ends where its data ended.
    if (range.begin + static_cast<size_t>(count) < std::min(range.end, size)) {
      fileEnd = range.begin + static_cast<size_t>(count);
      break;
    }
  }
  if (!holes) return {0, fileEnd};
  std::vector<ByteRange> found = rangesOutside(data, fileEnd);
  if (!zerosKept || found != zeroBefore) {
    for (const ByteRange& hole : found)
      std::memset(buffer.data() + hole.begin, 0, hole.end - hole.begin);
  }
  *holes = std::move(found);
  return {0, fileEnd};
}

}  // namespace tarn
