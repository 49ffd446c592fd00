#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "ffmpeg_III/frame_pipe.h"
#include "support/test_media.h"

namespace tarn::tool {
namespace {

Picture pictureNumbered(size_t size, int number) {
  Picture picture(size);
  for (size_t i = 0; i < size; ++i) picture[i] = static_cast<unsigned char>(number * 31 + i % 251);
  return picture;
}

// Pictures go by reference, so a picture handed back and filled again before the reader got to it
// would change what the reader sees. Pictures smaller and larger than the pipe, a reader slower
// than the sender: every byte read must be what was sent, and nothing read twice or lost.
TEST(FramePipe, PicturesComeBackOnlyOnceReadAndArriveIntact) {
  int ends[2];
  ASSERT_EQ(::pipe2(ends, O_CLOEXEC), 0);
  std::vector<unsigned char> received;
  std::thread reader([&received, fd = ends[0]] {
    std::vector<unsigned char> chunk(48 * 1024);
    for (;;) {
      const ssize_t n = ::read(fd, chunk.data(), chunk.size());
      if (n <= 0) break;
      received.insert(received.end(), chunk.begin(), chunk.begin() + n);
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
  });

  // The largest is a picture of huge pages.
  const std::vector<size_t> sizes = {1000, 200 * 1024, 30 * 1024, 70 * 1024,
                                     5,    300 * 1024, 5 << 20};
  std::vector<unsigned char> expected;
  std::deque<Picture> spare;
  // The pictures still in the pipe when sending ends: kept alive until the reader is done.
  std::vector<Picture> unread;
  {
    FramePipe pipe(ends[1]);
    for (int number = 0; number < 40; ++number) {
      Picture picture;
      if (!spare.empty()) {
        picture = std::move(spare.front());
        spare.pop_front();
      }
      const Picture content = pictureNumbered(sizes[number % sizes.size()], number);
      picture.assign(content.begin(), content.end());
      expected.insert(expected.end(), content.begin(), content.end());
      ASSERT_TRUE(pipe.send(std::move(picture)));
      // A picture given back is spoiled at once: the reader must have finished with it.
      for (auto& read : pipe.takeRead()) {
        std::fill(read.begin(), read.end(), 0xEE);
        spare.push_back(std::move(read));
      }
    }
    unread = pipe.releaseUnread();
  }
  ::close(ends[1]);
  reader.join();
  ::close(ends[0]);
  ASSERT_EQ(received.size(), expected.size());
  EXPECT_TRUE(received == expected);
  EXPECT_FALSE(spare.empty());  // pictures did come back for reuse
}

TEST(FramePipe, ADescriptorThatIsNoPipeIsWrittenAndGivesPicturesBackAtOnce) {
  test::ScratchDir dir;
  const std::string path = (dir / "frames.yuv").string();
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
  ASSERT_GE(fd, 0);
  {
    FramePipe pipe(fd);
    ASSERT_TRUE(pipe.send(pictureNumbered(5000, 1)));
    ASSERT_TRUE(pipe.send(pictureNumbered(7000, 2)));
    EXPECT_EQ(pipe.takeRead().size(), 2u);
    EXPECT_TRUE(pipe.releaseUnread().empty());
  }
  ::close(fd);
  EXPECT_EQ(std::filesystem::file_size(path), 12000u);
}

}  // namespace
}  // namespace tarn::tool
