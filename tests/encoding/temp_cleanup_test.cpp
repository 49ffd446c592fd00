#include "encoding/temp_cleanup.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "common/folder_lock.h"
#include "support/test_media.h"

namespace tarn {
namespace {
namespace fs = std::filesystem;

void touch(const fs::path& path) {
  std::ofstream(path) << "x";
}

std::set<std::string> namesIn(const fs::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    names.insert(entry.path().filename().string());
  }
  return names;
}

// A file nobody can delete, not even root: the file system's immutable flag. Unix has no
// read-only files in the Windows sense (deleting depends on the folder, and root may always
// write the folder), and a matching folder would be skipped rather than stop a pass.
class ImmutableFile {
 public:
  explicit ImmutableFile(const fs::path& path) : path_(path) { set_ = setFlag(true); }
  ~ImmutableFile() {
    if (set_) setFlag(false);
  }
  bool active() const { return set_; }

 private:
  bool setFlag(bool on) {
    const int descriptor = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) return false;
    int flags = 0;
    bool ok = ::ioctl(descriptor, FS_IOC_GETFLAGS, &flags) == 0;
    if (ok) {
      flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
      ok = ::ioctl(descriptor, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ::close(descriptor);
    return ok;
  }
  fs::path path_;
  bool set_ = false;
};

TEST(TempCleanup, AFolderAnotherRunHoldsIsLeftAlone) {
  test::ScratchDir dir;
  touch(dir / "temp000000.bmp");
  fs::create_symlink(dir / "elsewhere.bmp", dir / "temp000001.bmp");
  touch(dir / "elsewhere.bmp");
  const auto noWait = [](int) {};
  {
    const FolderLock held = FolderLock::tryLock(dir.path().string());
    ASSERT_TRUE(held.held());
    EXPECT_FALSE(deleteTempFilesIfFree(dir.path().string(), 0, {}, noWait));
    EXPECT_TRUE(fs::exists(dir / "temp000000.bmp"));
  }
  EXPECT_TRUE(deleteTempFilesIfFree(dir.path().string(), 0, {}, noWait));
  EXPECT_FALSE(fs::exists(dir / "temp000000.bmp"));
  // A link under a frame name is not the program's file: neither it nor its target goes.
  EXPECT_TRUE(fs::exists(fs::symlink_status(dir / "temp000001.bmp")));
  EXPECT_TRUE(fs::exists(dir / "elsewhere.bmp"));
}

TEST(TempCleanup, FrameFileNames) {
  EXPECT_TRUE(isFrameFileName("temp000000.bmp"));
  EXPECT_TRUE(isFrameFileName("temp1000000.bmp"));
  EXPECT_FALSE(isFrameFileName("temp00000.bmp"));
  EXPECT_FALSE(isFrameFileName("temp00000a.bmp"));
  EXPECT_FALSE(isFrameFileName("temp000000.BMP"));
  EXPECT_FALSE(isFrameFileName("xtemp000000.bmp"));
  EXPECT_FALSE(isFrameFileName("holiday.bmp"));
}

TEST(TempCleanup, EmptyOrMissingFolderOnlyPauses) {
  test::ScratchDir dir;
  std::vector<int> waits;
  const auto recordWait = [&waits](int ms) { waits.push_back(ms); };
  deleteTempFiles(dir.path().string(), 0, {}, recordWait);
  deleteTempFiles((dir / "missing").string(), 0, {}, recordWait);
  deleteTempFiles("", 0, {}, recordWait);
  EXPECT_EQ(waits, (std::vector<int>{500, 500, 500}));
  EXPECT_TRUE(namesIn(dir.path()).empty());
}

TEST(TempCleanup, DeletesOnlyTheProgramsOwnWorkingFiles) {
  test::ScratchDir dir;
  const std::set<std::string> own = {"temp000000.bmp", "temp000001.bmp", "temp1234567.bmp",
                                     "temp.wav"};
  const std::set<std::string> foreign = {"holiday.avi",    "photo.bmp",       "temp12.bmp",
                                         "tempABCDEF.bmp", "music.wav",       "notes.txt",
                                         "Temp.wav",       ".temp000005.bmp", "temp000009.bmp.txt"};
  for (const auto& name : own) touch(dir / name);
  for (const auto& name : foreign) touch(dir / name);
  touch(dir / "copy-of-movie.avi");
  fs::create_directory(dir / "temp000002.bmp");  // a folder of that name is skipped, not entered
  touch(dir / "temp000002.bmp" / "temp000003.bmp");
  const OwnAviCopies copies{{"copy-of-movie.avi"}};

  std::set<std::string> atPause;
  deleteTempFiles(dir.path().string(), 1, copies, [&](int) { atPause = namesIn(dir.path()); });
  EXPECT_FALSE(atPause.count("temp000000.bmp"));
  EXPECT_TRUE(atPause.count("temp.wav")) << "the sound goes after the second frame pass";

  std::set<std::string> expected = foreign;
  expected.insert("copy-of-movie.avi");  // kept during a conversion
  expected.insert("temp000002.bmp");
  EXPECT_EQ(namesIn(dir.path()), expected);
  EXPECT_TRUE(fs::exists(dir / "temp000002.bmp" / "temp000003.bmp"));

  deleteTempFiles(dir.path().string(), 0, copies, [](int) {});
  expected.erase("copy-of-movie.avi");  // removed at exit
  EXPECT_EQ(namesIn(dir.path()), expected);
}

TEST(TempCleanup, APassEndsAtTheFirstFileThatCannotBeDeleted) {
  test::ScratchDir dir;
  for (int i = 0; i < 6; ++i) touch(dir / ("temp00000" + std::to_string(i) + ".bmp"));
  touch(dir / "temp.wav");
  std::vector<std::string> order;
  for (const auto& entry : fs::directory_iterator(dir.path())) {
    const std::string name = entry.path().filename().string();
    if (name != "temp.wav") order.push_back(name);
  }
  ASSERT_EQ(order.size(), 6u);
  const size_t stuckIndex = 2;
  ImmutableFile stuck(dir / order[stuckIndex]);
  if (!stuck.active()) {
    GTEST_SKIP() << "this file system or user cannot set the immutable flag";
  }

  std::set<std::string> expected(order.begin() + stuckIndex, order.end());
  std::set<std::string> atPause;
  deleteTempFiles(dir.path().string(), 0, {}, [&](int) { atPause = namesIn(dir.path()); });
  std::set<std::string> expectedAtPause = expected;
  expectedAtPause.insert("temp.wav");
  EXPECT_EQ(atPause, expectedAtPause);
  // The second pass stops at it again; the sound file is still deleted.
  EXPECT_EQ(namesIn(dir.path()), expected);
}

}  // namespace
}  // namespace tarn
