#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <thread>

#include "conversion/logo_picture.h"
#include "support/conversion_rig.h"
#include "support/recording_frontend.h"

namespace tarn {
namespace {
namespace fs = std::filesystem;

struct ContainerCase {
  const char* extension;
  int frames;  // the five containers without a codec piece are written at 30 frames per second
};

void PrintTo(const ContainerCase& container, std::ostream* out) {
  *out << container.extension;
}

class RealContainers : public ::testing::TestWithParam<ContainerCase> {};

TEST_P(RealContainers, ConvertedMovieHasTheCanvasSizeFramesAndSound) {
  test::ConversionRig rig;
  rig.useRealEncoderTool();
  ASSERT_TRUE(rig.openMovie(test::stripMovie(320, 80, 1)));
  test::RecordingFrontend frontend;
  const fs::path output = rig.dir / (std::string("out") + GetParam().extension);
  ASSERT_EQ(rig.convert(frontend, output.string()), ConversionOutcome::converted) << rig.log();
  ASSERT_EQ(frontend.messages().size(), 1u);
  EXPECT_EQ(frontend.messages()[0].caption, "Successful termination");
  EXPECT_EQ(test::probeField(output, "v", "width"), "320");
  EXPECT_EQ(test::probeField(output, "v", "height"), "160");
  const int frames = std::atoi(test::probeField(output, "v", "nb_read_frames").c_str());
  EXPECT_NEAR(frames, GetParam().frames, 1);
  EXPECT_FALSE(test::probeField(output, "a", "codec_name").empty());
  // The tool's word on the 360 marking reaches the run log.
  EXPECT_NE(rig.log().find("\r\nspherical metadata "), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(AllEight, RealContainers,
                         ::testing::Values(ContainerCase{".flv", 25}, ContainerCase{".avi", 25},
                                           ContainerCase{".mov", 25}, ContainerCase{".mp4", 30},
                                           ContainerCase{".m4v", 30}, ContainerCase{".ogg", 30},
                                           ContainerCase{".ogv", 30}, ContainerCase{".webm", 30}),
                         [](const auto& info) { return std::string(info.param.extension + 1); });

// A silent movie converts too; a logo fills both bands (here: a resized MP4 with a logo).
TEST(RealContainersWithLogo, SilentMovieWithLogoAndResize) {
  test::ConversionRig rig;
  rig.useRealEncoderTool();
  ASSERT_TRUE(rig.openMovie(test::stripMovie(320, 80, 1, false)));
  test::RecordingFrontend frontend;
  const fs::path logo = test::generatedMedia("logo-960x100.jpg",
                                             "-f lavfi -i color=c=0xc08040:s=960x100 -frames:v 1");
  ASSERT_TRUE(acceptLogo(rig.app.logo, frontend, logo));
  rig.app.outputOptions.resizeIndex = 5;
  const fs::path output = rig.dir / "out.mp4";
  std::vector<uint8_t> firstFrame;
  ASSERT_EQ(rig.convert(frontend, output.string(),
                        [&] {
                          std::ifstream in(rig.tempFolder() / "temp000000.bmp", std::ios::binary);
                          firstFrame.assign(std::istreambuf_iterator<char>(in), {});
                        }),
            ConversionOutcome::converted);
  // 960x100 over 320 columns: B = round(100 / 3) = 33; nadir rows 0..31, zenith 129..159.
  ASSERT_EQ(firstFrame.size(), 54u + 320 * 160 * 4);
  const auto pixel = [&](int32_t row, int32_t column) {
    return &firstFrame[54 + (static_cast<size_t>(row) * 320 + column) * 4];
  };
  for (int32_t row : {1, 16, 31, 130, 145, 158}) {
    EXPECT_NEAR(pixel(row, 160)[0], 0x40, 12) << row;  // blue
    EXPECT_NEAR(pixel(row, 160)[2], 0xc0, 12) << row;  // red
  }
  for (int32_t row : {32, 40, 119, 127, 128}) EXPECT_EQ(pixel(row, 160)[2], 0) << row;
  EXPECT_EQ(test::probeField(output, "v", "width"), "160");
  EXPECT_EQ(test::probeField(output, "v", "height"), "80");
  EXPECT_TRUE(test::probeField(output, "a", "codec_name").empty());
}

}  // namespace
}  // namespace tarn

namespace tarn {
namespace {

// The most ordinary use: the preview plays the movie to its end, then it is converted. The end of
// that playback must not end the conversion, which gets every frame, and so does a re-export.
TEST(RealContainersAfterPlayback, EveryFrameAfterThePreviewReachedTheEnd) {
  test::ConversionRig rig;
  rig.useRealEncoderTool();
  const std::filesystem::path movie = test::stripMovie(320, 80, 1);
  ASSERT_TRUE(rig.openMovie(movie));
  const std::shared_ptr<DecodeGraph> graph = rig.app.frameSource.currentGraph();
  graph->run();  // real-time playback without a callback
  while (graph->positionTicks() < graph->durationTicks()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(100));  // its end event is waiting now
  // The Convert command stops the playback and rewinds before the run.
  graph->stop();
  graph->seek(0);

  test::RecordingFrontend frontend;
  const std::filesystem::path first = rig.dir / "first.mov";
  const std::filesystem::path second = rig.dir / "second.avi";
  frontend.queueAnswer(MessageAnswer::ok);
  frontend.queueReencodePath(second.string());
  frontend.queueAnswer(MessageAnswer::cancel);
  ASSERT_EQ(rig.convert(frontend, first.string()), ConversionOutcome::converted) << rig.log();
  EXPECT_EQ(test::decodedFrames(first), test::decodedFrames(movie));
  EXPECT_EQ(test::decodedFrames(second), test::decodedFrames(movie));
  EXPECT_EQ(test::probeField(second, "a", "codec_type"), "audio");
}

}  // namespace
}  // namespace tarn
