#include "conversion/frame_files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "support/test_media.h"

namespace tarn {
namespace {

uint32_t readLittleEndian(const uint8_t* bytes, int width) {
  uint32_t value = 0;
  for (int i = 0; i < width; ++i) value |= static_cast<uint32_t>(bytes[i]) << (8 * i);
  return value;
}

TEST(FrameFiles, NamesHaveSixDigitsThenSeven) {
  EXPECT_EQ(frameFileName(0), "temp000000.bmp");
  EXPECT_EQ(frameFileName(1234), "temp001234.bmp");
  EXPECT_EQ(frameFileName(999999), "temp999999.bmp");
  EXPECT_EQ(frameFileName(1000000), "temp1000000.bmp");
  EXPECT_EQ(frameFilePath("/data/TEMP", 7), "/data/TEMP/temp000007.bmp");
}

TEST(FrameFiles, HeadersByteForByte) {
  const FrameFileHeaders headers = makeFrameFileHeaders(1920, 960);
  const std::vector<uint8_t> expectedFile = {'B', 'M', 0x36, 0x80, 0x70, 0x00, 0,
                                             0,   0,   0,    54,   0,    0,    0};
  EXPECT_EQ(std::vector<uint8_t>(headers.fileHeader.begin(), headers.fileHeader.end()),
            expectedFile);
  EXPECT_EQ(readLittleEndian(&headers.fileHeader[2], 4), 7372854u);

  std::vector<uint8_t> expectedInfo(40, 0);
  expectedInfo[0] = 40;
  expectedInfo[4] = 0x80;  // 1920
  expectedInfo[5] = 0x07;
  expectedInfo[8] = 0xC0;  // 960
  expectedInfo[9] = 0x03;
  expectedInfo[12] = 1;
  expectedInfo[14] = 32;
  EXPECT_EQ(std::vector<uint8_t>(headers.infoHeader.begin(), headers.infoHeader.end()),
            expectedInfo);
}

TEST(FrameFiles, WritesHeadersAndCanvasAndReportsFailures) {
  test::ScratchDir dir;
  constexpr int32_t kWidth = 1920;
  constexpr int32_t kCanvasHeight = 960;  // a 1920 x 480 input
  std::vector<uint8_t> canvas(static_cast<size_t>(kWidth) * kCanvasHeight * 4);
  for (size_t i = 0; i < canvas.size(); ++i) canvas[i] = static_cast<uint8_t>(i * 7);
  const FrameFileHeaders headers = makeFrameFileHeaders(kWidth, kCanvasHeight);

  const FrameFileResult result =
      writeFrameFile(dir.path().string(), 41, headers, canvas.data(), canvas.size());
  ASSERT_TRUE(result.ok) << result.errorText;
  const auto path = dir / "temp000041.bmp";
  EXPECT_EQ(std::filesystem::file_size(path), 7372854u);
  std::ifstream in(path, std::ios::binary);
  const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                   std::istreambuf_iterator<char>());
  ASSERT_EQ(bytes.size(), 7372854u);
  EXPECT_EQ(readLittleEndian(&bytes[2], 4), 7372854u);
  EXPECT_TRUE(std::equal(headers.infoHeader.begin(), headers.infoHeader.end(), bytes.begin() + 14));
  EXPECT_TRUE(std::equal(canvas.begin(), canvas.end(), bytes.begin() + 54));

  // Rewriting a number replaces the old file instead of leaving a longer tail behind.
  const FrameFileHeaders small = makeFrameFileHeaders(2, 1);
  const uint8_t tiny[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  ASSERT_TRUE(writeFrameFile(dir.path().string(), 41, small, tiny, sizeof tiny).ok);
  EXPECT_EQ(std::filesystem::file_size(path), 62u);

  const FrameFileResult missing =
      writeFrameFile((dir / "no-such-folder").string(), 0, small, tiny, sizeof tiny);
  EXPECT_FALSE(missing.ok);
  EXPECT_NE(missing.errorText.find("temp000000.bmp"), std::string::npos);
  EXPECT_NE(missing.errorText.find("No such file"), std::string::npos);
}

TEST(FrameFiles, ALinkUnderAFrameNameIsReplacedNotWrittenThrough) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full on this system";
  test::ScratchDir dir;
  std::error_code error;
  std::filesystem::create_symlink("/dev/full", dir / "temp000003.bmp", error);
  ASSERT_FALSE(error) << error.message();
  const FrameFileHeaders headers = makeFrameFileHeaders(2, 1);
  const uint8_t canvas[8] = {};
  const FrameFileResult result =
      writeFrameFile(dir.path().string(), 3, headers, canvas, sizeof canvas);
  EXPECT_TRUE(result.ok) << result.errorText;
  EXPECT_TRUE(
      std::filesystem::is_regular_file(std::filesystem::symlink_status(dir / "temp000003.bmp")));
  EXPECT_TRUE(std::filesystem::is_character_file("/dev/full"));
}

}  // namespace
}  // namespace tarn
