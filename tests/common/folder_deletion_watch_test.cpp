#include "common/folder_deletion_watch.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "support/test_media.h"

namespace tarn {
namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

// A writer waiting for room sleeps in these waits: each must end on the deletion it waits for
// (also one that came before the wait), on an interrupt from another thread, and otherwise only
// at its limit. The limits are far longer than any of the events take, so an end by the limit
// shows as a wait of about a minute.
TEST(FolderDeletionWatch, WaitsEndOnDeletionsInterruptsOrTheirLimit) {
  test::ScratchDir dir;
  const fs::path file = dir.path() / "temp000000.bmp";
  std::ofstream(file) << "frame";
  std::ofstream(dir.path() / "temp000001.bmp") << "frame";
  FolderDeletionWatch watch(dir.path().string());
  ASSERT_TRUE(watch.watching());
  const auto endsWithin = [&](milliseconds limit, auto&& during) {
    const auto start = Clock::now();
    std::thread other(during);
    watch.waitForDeletion(limit);
    other.join();
    return Clock::now() - start;
  };
  const milliseconds minute(60'000);

  EXPECT_LT(endsWithin(minute,
                       [&] {
                         std::this_thread::sleep_for(milliseconds(100));
                         fs::remove(file);
                       }),
            minute / 2);
  fs::rename(dir.path() / "temp000001.bmp", dir.path() / "elsewhere.bmp");  // before the wait
  EXPECT_LT(endsWithin(minute, [] {}), minute / 2);
  EXPECT_LT(endsWithin(minute,
                       [&] {
                         std::this_thread::sleep_for(milliseconds(100));
                         watch.interrupt();
                       }),
            minute / 2);
  // Nothing happens: the wait lasts its limit. A new file is no deletion.
  EXPECT_GE(endsWithin(milliseconds(200), [&] { std::ofstream(dir.path() / "new.bmp") << "x"; }),
            milliseconds(200));
}

// Without a folder to watch, every wait lasts its limit, so that a caller polls at that pace.
TEST(FolderDeletionWatch, WithoutAWatchEveryWaitLastsItsLimit) {
  FolderDeletionWatch watch("/nonexistent-folder-of-tarn-tests");
  EXPECT_FALSE(watch.watching());
  watch.interrupt();
  const auto start = Clock::now();
  watch.waitForDeletion(milliseconds(50));
  EXPECT_GE(Clock::now() - start, milliseconds(50));
}

}  // namespace
}  // namespace tarn
