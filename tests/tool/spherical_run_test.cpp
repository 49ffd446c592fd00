// The encoder tool tags its 2:1 outputs as equirectangular 360 movies where the container can
// carry it.
#include <gtest/gtest.h>

#include "encoding/spherical_metadata.h"
#include "ffmpeg_III/spherical_step.h"
#include "support/test_media.h"
#include "tool/tool_run_support.h"

namespace tarn::test {
namespace {

namespace fs = std::filesystem;

const std::string kTagged = "ffmpeg_III: spherical metadata written: equirectangular";

struct Case {
  std::string tail;
  std::string output;
  bool boxes;  // MP4 family: both box forms; otherwise the Matroska projection
};

TEST(EncoderToolSpherical, TwoToOneAllowsTheCanvasRounding) {
  using tool::FrameFormat;
  using tool::isTwoToOne;
  EXPECT_TRUE(isTwoToOne(FrameFormat{1920, 960}));
  EXPECT_TRUE(isTwoToOne(FrameFormat{1001, 500}));  // the canvas rule's even height
  EXPECT_TRUE(isTwoToOne(FrameFormat{1002, 500}));
  EXPECT_TRUE(isTwoToOne(FrameFormat{1003, 502}));
  EXPECT_FALSE(isTwoToOne(FrameFormat{64, 48}));
  EXPECT_FALSE(isTwoToOne(FrameFormat{1920, 1080}));
  EXPECT_FALSE(isTwoToOne(FrameFormat{1920, 0}));
}

TEST(EncoderToolSpherical, TaggedContainersCarryBothForms) {
  const ScratchDir dir;
  writeFrameFiles(dir.path(), 64, 32, 10);
  writeSoundFile(dir.path(), 0.5);
  const Case cases[] = {
      {" -r 30  -t 00:00:00.400 -sameq -qscale 15 -f mp4 ", "a.mp4", true},
      {" -r 30  -t 00:00:00.400 -qscale 4 -f m4v ", "a.m4v", true},
      {" -vcodec libx264 -acodec mp3  -t 00:00:00.400 -crf 22 -qscale 15 -f mov ", "a.mov", true},
      {" -r 30  -t 00:00:00.400 -sameq -qscale 15 -f webm ", "a.webm", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.output);
    const fs::path output = dir / c.output;
    const auto run = runTool(mainEncodeArguments(dir.path(), "25.00", true, c.tail, output));
    ASSERT_EQ(run.status, 0) << run.errorText;
    EXPECT_NE(run.errorText.find(kTagged), std::string::npos) << run.errorText;
    const std::string streams = showStreams(output);
    EXPECT_NE(streams.find("side_data_type=Spherical Mapping"), std::string::npos);
    EXPECT_NE(streams.find("projection=equirectangular"), std::string::npos);
    const SphericalReport report = readSphericalMetadata(output.string());
    EXPECT_TRUE(report.equirectangular()) << describeSpherical(report);
    EXPECT_EQ(report.boxFile, c.boxes);
    if (c.boxes) {
      EXPECT_EQ(report.v1Location, "moov/trak[0]/uuid");
      EXPECT_EQ(report.sv3dLocation, "moov/trak[0]/mdia/minf/stbl/stsd/avc1/sv3d");
      EXPECT_EQ(report.st3dLocation, "moov/trak[0]/mdia/minf/stbl/stsd/avc1/st3d");
    }
    // Still the whole movie, with its sound.
    const ProbeInfo info = probeFile(output);
    ASSERT_NE(info.stream("video"), nullptr);
    EXPECT_NE(info.stream("audio"), nullptr);
    EXPECT_EQ(decodedFrames(output), c.output == "a.mov" ? 10 : 12);
    EXPECT_EQ(runShell("ffmpeg -v error -nostdin -i '" + output.string() + "' -f null - 2>&1"), 0);
  }
}

TEST(EncoderToolSpherical, OtherContainersAndOtherShapesCarryNothing) {
  const ScratchDir dir;
  writeFrameFiles(dir.path(), 64, 32, 6);
  const Case cases[] = {
      {" -vcodec libx264 -acodec mp3  -t 00:00:00.240 -crf 22 -qscale 15 -f flv ", "a.flv", false},
      {" -vcodec libx264 -acodec pcm_s16le  -t 00:00:00.240 -crf 22 -qscale 15 -f avi ", "a.avi",
       false},
      {" -r 30  -t 00:00:00.240 -sameq -qscale 15 -f ogg ", "a.ogg", false},
      {" -r 30  -t 00:00:00.240 -sameq -qscale 15 -f ogg ", "a.ogv", false},
  };
  const std::string names[] = {"FLV", "AVI", "OGG/OGV", "OGG/OGV"};
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].output);
    const fs::path output = dir / cases[i].output;
    const auto run =
        runTool(mainEncodeArguments(dir.path(), "25.00", false, cases[i].tail, output));
    ASSERT_EQ(run.status, 0) << run.errorText;
    EXPECT_NE(run.errorText.find("ffmpeg_III: spherical metadata not written: " + names[i] +
                                 " cannot carry it\n"),
              std::string::npos)
        << run.errorText;
    EXPECT_EQ(showStreams(output).find("Spherical"), std::string::npos);
    EXPECT_EQ(runShell("ffmpeg -v error -nostdin -i '" + output.string() + "' -f null - 2>&1"), 0);
  }

  // Frames that are not 2:1 are not tagged, whatever the container.
  const ScratchDir square;
  writeFrameFiles(square.path(), 64, 48, 6);
  const fs::path output = square / "square.mp4";
  const auto run = runTool(mainEncodeArguments(
      square.path(), "25.00", false, " -r 30  -t 00:00:00.240 -qscale 9 -f mp4 ", output));
  ASSERT_EQ(run.status, 0) << run.errorText;
  EXPECT_NE(run.errorText.find("ffmpeg_III: spherical metadata not written: frames 64x48 are not "
                               "2:1\n"),
            std::string::npos);
  const SphericalReport report = readSphericalMetadata(output.string());
  EXPECT_TRUE(report.readable);
  EXPECT_FALSE(report.v1Present || report.sv3dPresent || report.st3dPresent);
  EXPECT_EQ(report.sideDataProjection, "");
}

}  // namespace
}  // namespace tarn::test
