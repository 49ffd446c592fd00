#include "common/uncached_file.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "support/test_media.h"

namespace tarn {
namespace {
namespace fs = std::filesystem;

std::string fileText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

AlignedBuffer patterned(size_t size) {
  AlignedBuffer buffer(size);
  for (size_t i = 0; i < buffer.size(); ++i) buffer.data()[i] = static_cast<uint8_t>(i * 7 + 3);
  return buffer;
}

// Whole blocks, a partial last block, and files smaller than a block: every byte arrives, in both
// directions, and a shorter file replaces a longer one completely.
void expectRoundTrips(const fs::path& folder) {
  const fs::path path = folder / "frame.bin";
  for (const size_t size : {size_t{0}, size_t{1}, size_t{54}, kDirectAlignment - 1,
                            kDirectAlignment, kDirectAlignment + 1, 3 * kDirectAlignment + 54}) {
    SCOPED_TRACE(size);
    const AlignedBuffer written = patterned(size);
    ASSERT_EQ(writeFileUncached(path, written, size), 0);
    ASSERT_EQ(fs::file_size(path), size);
    const std::string text = fileText(path);
    EXPECT_TRUE(std::equal(text.begin(), text.end(), written.data(),
                           [](char a, uint8_t b) { return static_cast<uint8_t>(a) == b; }));
    AlignedBuffer read;
    const UncachedRead result = readFileUncached(path, read, 1 << 20);
    ASSERT_EQ(result.error, 0);
    ASSERT_EQ(result.size, size);
    if (size > 0) {
      EXPECT_EQ(std::memcmp(read.data(), written.data(), size), 0);
    }
  }
}

TEST(UncachedFile, RoundTripsOfEverySizeOnDisk) {
  test::ScratchDir dir;
  expectRoundTrips(dir.path());
}

// Runs `check` in a folder of its own on tmpfs, which refuses direct transfers on most kernels.
template <typename Check>
void onTmpfs(Check check) {
  if (!fs::is_directory("/dev/shm")) GTEST_SKIP() << "no /dev/shm";
  const fs::path folder = fs::path("/dev/shm") / ("tarn-uncached-" + std::to_string(::getpid()));
  fs::create_directories(folder);
  check(folder);
  fs::remove_all(folder);
}

TEST(UncachedFile, FileSystemsWithoutDirectTransfersFallBack) {
  onTmpfs(expectRoundTrips);
}

// A frame file with black bands: zero ranges left as holes read back as zeros, whether the file
// ends in a hole or in data, on disk and where direct transfers fall back (tmpfs). A buffer read
// into again keeps no bytes of an earlier file in this file's holes.
void expectSparseRoundTrips(const fs::path& folder) {
  const fs::path path = folder / "sparse.bin";
  constexpr size_t kBlock = kDirectAlignment;
  const size_t size = 6 * kBlock + 54;
  AlignedBuffer written = patterned(size);
  const std::vector<ByteRange> zeros = {{kBlock, 3 * kBlock}, {5 * kBlock, size}};
  for (const ByteRange& zero : zeros)
    std::memset(written.data() + zero.begin, 0, zero.end - zero.begin);
  AlignedBuffer read = patterned(size + kDirectAlignment);  // bytes of an "earlier file"
  std::vector<ByteRange> holes;
  for (const auto& layout : {zeros, zeros, std::vector<ByteRange>{{kBlock, 3 * kBlock}}, zeros}) {
    ASSERT_EQ(writeFileUncached(path, written, size, layout), 0);
    ASSERT_EQ(fs::file_size(path), size);
    const UncachedRead result = readFileUncached(path, read, 1 << 20, &holes);
    ASSERT_EQ(result.error, 0);
    ASSERT_EQ(result.size, size);
    EXPECT_EQ(std::memcmp(read.data(), written.data(), size), 0);
    for (const ByteRange& hole : holes) {
      EXPECT_EQ(hole.begin % kBlock, 0u);
      EXPECT_LE(hole.end, size);
    }
  }
  // The same file read whole, as before.
  AlignedBuffer whole;
  ASSERT_EQ(readFileUncached(path, whole, 1 << 20).error, 0);
  EXPECT_EQ(std::memcmp(whole.data(), written.data(), size), 0);
}

TEST(UncachedFile, ZeroRangesBecomeHolesThatReadAsZeros) {
  test::ScratchDir dir;
  expectSparseRoundTrips(dir.path());
  // Where the file system keeps holes, they take no space and the reader finds them.
  const fs::path path = dir / "holes.bin";
  const size_t size = 64 * kDirectAlignment;
  AlignedBuffer buffer(size);
  std::memset(buffer.data(), 0, size);
  buffer.data()[0] = 1;
  const ByteRange zeros[] = {{kDirectAlignment, size}};
  ASSERT_EQ(writeFileUncached(path, buffer, size, zeros), 0);
  struct stat info {};
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  if (static_cast<size_t>(info.st_blocks) * 512 >= size)
    GTEST_SKIP() << "no holes on this file system";
  AlignedBuffer read;
  std::vector<ByteRange> holes;
  ASSERT_EQ(readFileUncached(path, read, size, &holes).error, 0);
  ASSERT_EQ(holes.size(), 1u);
  EXPECT_EQ(holes[0].begin, kDirectAlignment);
  EXPECT_EQ(holes[0].end, size);
}

TEST(UncachedFile, ZeroRangesWhereDirectTransfersFallBack) {
  onTmpfs(expectSparseRoundTrips);
}

TEST(UncachedFile, WritesReplaceLinksAndFilesAndNeverWriteThroughThem) {
  test::ScratchDir dir;
  const AlignedBuffer buffer = patterned(5000);
  std::ofstream(dir / "target") << "keep";
  fs::create_symlink(dir / "target", dir / "link.bmp");
  fs::create_symlink(dir / "nowhere", dir / "dangling.bmp");
  std::ofstream(dir / "old.bmp") << std::string(9000, 'x');
  for (const char* name : {"link.bmp", "dangling.bmp", "old.bmp"}) {
    ASSERT_EQ(writeFileUncached((dir / name).string(), buffer, 5000), 0) << name;
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(dir / name))) << name;
    EXPECT_EQ(fs::file_size(dir / name), 5000u) << name;
  }
  std::ifstream in(dir / "target");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "keep");
  EXPECT_FALSE(fs::exists(dir / "nowhere"));
}

TEST(UncachedFile, FailuresAreReported) {
  test::ScratchDir dir;
  const AlignedBuffer buffer = patterned(100);
  EXPECT_EQ(writeFileUncached((dir / "missing" / "f.bin").string(), buffer, 100), ENOENT);
  EXPECT_EQ(writeFileUncached((dir / "f.bin").string(), buffer, buffer.size() + 1), EINVAL);
  AlignedBuffer read;
  EXPECT_EQ(readFileUncached((dir / "none.bin").string(), read, 1000).error, ENOENT);
  ASSERT_EQ(writeFileUncached((dir / "f.bin").string(), buffer, 100), 0);
  EXPECT_EQ(readFileUncached((dir / "f.bin").string(), read, 99).error, EFBIG);
}

}  // namespace
}  // namespace tarn
