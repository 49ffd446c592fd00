#include "common/uncached_file.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

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

int writeCached(const std::string& path, const uint8_t* data, size_t size) {
  Descriptor file(createNew(path, 0));
  if (file.get() < 0) return errno;
  if (!writeAll(file.get(), data, size)) return errno;
  return file.close() == 0 ? 0 : errno;
}

}  // namespace

AlignedBuffer::AlignedBuffer(size_t size) {
  // Frame images of megabytes go on huge pages where the system has them: a direct transfer pins
  // every page of its buffer, and the conversions that read them walk fewer page tables.
  constexpr size_t kHugePage = size_t{2} << 20;
  const size_t rounded = roundUpToBlocks(size == 0 ? 1 : size);
  if (rounded >= kHugePage) {
    const size_t whole = (rounded + kHugePage - 1) / kHugePage * kHugePage;
    data_.reset(static_cast<uint8_t*>(std::aligned_alloc(kHugePage, whole)));
    if (data_) ::madvise(data_.get(), whole, MADV_HUGEPAGE);  // a hint: failure changes nothing
  } else {
    data_.reset(static_cast<uint8_t*>(std::aligned_alloc(kDirectAlignment, rounded)));
  }
  size_ = data_ ? rounded : 0;
}

void AlignedBuffer::Free::operator()(uint8_t* data) const {
  std::free(data);
}

int writeFileUncached(const std::string& path, const AlignedBuffer& buffer, size_t size) {
  if (size > buffer.size()) return EINVAL;
  Descriptor file(createNew(path, O_DIRECT));
  if (file.get() < 0) {
    return errno == EINVAL ? writeCached(path, buffer.data(), size) : errno;
  }
  const size_t direct = wholeBlocks(size);
  if (!writeAll(file.get(), buffer.data(), direct)) {
    if (errno != EINVAL) return errno;
    // Direct transfers refused after all (alignment rules of this file system): write normally.
    file.close();
    ::unlink(path.c_str());
    return writeCached(path, buffer.data(), size);
  }
  if (direct < size) {
    const int flags = ::fcntl(file.get(), F_GETFL);
    if (flags < 0 || ::fcntl(file.get(), F_SETFL, flags & ~O_DIRECT) != 0) return errno;
    if (!writeAll(file.get(), buffer.data() + direct, size - direct)) return errno;
  }
  return file.close() == 0 ? 0 : errno;
}

UncachedRead readFileUncached(const std::string& path, AlignedBuffer& buffer, size_t limit) {
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
  if (buffer.size() < allocated) {
    buffer = AlignedBuffer(allocated);
    if (buffer.size() < allocated) return {ENOMEM, 0};
  }
  ssize_t count = readUpTo(file.get(), buffer.data(), wanted);
  if (count < 0 && errno == EINVAL && direct) {
    const int flags = ::fcntl(file.get(), F_GETFL);
    if (flags < 0 || ::fcntl(file.get(), F_SETFL, flags & ~O_DIRECT) != 0) return {errno, 0};
    if (::lseek(file.get(), 0, SEEK_SET) != 0) return {errno, 0};
    count = readUpTo(file.get(), buffer.data(), wanted);
  }
  if (count < 0) return {errno, 0};
  return {0, static_cast<size_t>(count)};
}

}  // namespace tarn
