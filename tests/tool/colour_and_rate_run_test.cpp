// What players read from the tool's outputs besides the pictures: colour labels, exact NTSC
// rates and default tracks, read back with ffprobe.
#include <gtest/gtest.h>

#include "support/test_media.h"
#include "tool/tool_run_support.h"

namespace tarn::test {
namespace {

namespace fs = std::filesystem;

// ffprobe's values for the first stream of `type`, "key=value" joined by commas.
std::string streamEntries(const fs::path& file, const std::string& type,
                          const std::string& entries) {
  std::string text;
  runShell("ffprobe -v error -select_streams " + type + ":0 -show_entries " + entries +
               " -of default=nw=1 '" + file.string() + "'",
           &text);
  std::string joinedText;
  for (const char c : text) joinedText += c == '\n' ? ',' : c;
  return joinedText;
}

class ColourAndRateRun : public ::testing::Test {
 protected:
  void SetUp() override {
    writeFrameFiles(scratch_.path(), 64, 32, 12);
    writeSoundFile(scratch_.path(), 0.6);
  }
  fs::path encode(const std::string& rate, const std::string& tail, const std::string& name) {
    const auto run =
        runTool(mainEncodeArguments(scratch_.path(), rate, true, tail, scratch_ / name));
    EXPECT_EQ(run.status, 0) << run.errorText;
    return scratch_ / name;
  }
  ScratchDir scratch_;
};

TEST_F(ColourAndRateRun, EveryContainerSaysItsColoursAndKeepsNtscRatesExact) {
  struct Case {
    std::string rate, tail, name, colours, frameRate;
  };
  const std::string bt709 =
      "color_range=tv,color_space=bt709,color_transfer=bt709,color_primaries=bt709,";
  const Case cases[] = {
      {"29.97", " -vcodec libx264 -acodec mp3  -t 00:00:00.400 -crf 22 -qscale 15 -f flv ", "a.flv",
       bt709, "30000/1001"},
      {"29.97", " -vcodec libx264 -acodec mp3  -t 00:00:00.400 -crf 22 -qscale 15 -f mov ", "a.mov",
       bt709, "30000/1001"},
      {"29.97", " -vcodec libx264 -acodec pcm_s16le  -t 00:00:00.400 -crf 22 -f avi ", "a.avi",
       bt709, "30000/1001"},
      {"23.98", " -vcodec libx264 -acodec mp3  -t 00:00:00.400 -crf 22 -f mov ", "b.mov", bt709,
       "24000/1001"},
      {"59.94", " -vcodec libx264 -acodec pcm_s16le  -t 00:00:00.150 -crf 22 -f avi ", "b.avi",
       bt709, "60000/1001"},
      {"29.97", " -r 30  -t 00:00:00.400 -sameq -qscale 15 -f mp4 ", "a.mp4", bt709, "30/1"},
      {"29.97", " -r 30  -t 00:00:00.400 -qscale 5 -f m4v ", "a.m4v", bt709, "30/1"},
      {"29.97", " -r 30  -t 00:00:00.400 -qscale 5 -f webm ", "a.webm", bt709, "30/1"},
      // Theora's header knows BT.601 (470BG) and nothing of range: limited is its default.
      {"29.97", " -r 30  -t 00:00:00.400 -qscale 5 -f ogg ", "a.ogv",
       "color_range=unknown,color_space=bt470bg,color_transfer=bt709,color_primaries=bt470bg,",
       "30/1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path output = encode(c.rate, c.tail, c.name);
    EXPECT_EQ(
        streamEntries(output, "v", "stream=color_range,color_space,color_transfer,color_primaries"),
        c.colours);
    EXPECT_EQ(streamEntries(output, "v", "stream=r_frame_rate"),
              "r_frame_rate=" + c.frameRate + ",");
    if (c.name != "a.flv") {
      // FLV keeps millisecond times, so only its declared rate is exact.
      EXPECT_EQ(streamEntries(output, "v", "stream=avg_frame_rate"),
                "avg_frame_rate=" + c.frameRate + ",");
    }
  }
}

TEST_F(ColourAndRateRun, WebmTracksPlayByDefault) {
  // 64x32 frames are 2:1: the movie is remuxed for its 360 metadata, which must keep the flags.
  const auto run = runTool(mainEncodeArguments(scratch_.path(), "25.00", true,
                                               " -r 30  -t 00:00:00.400 -qscale 5 -f webm ",
                                               scratch_ / "a.webm"));
  ASSERT_EQ(run.status, 0) << run.errorText;
  EXPECT_NE(run.errorText.find("spherical metadata written"), std::string::npos);
  EXPECT_EQ(streamEntries(scratch_ / "a.webm", "v", "stream_disposition=default"),
            "DISPOSITION:default=1,");
  EXPECT_EQ(streamEntries(scratch_ / "a.webm", "a", "stream_disposition=default"),
            "DISPOSITION:default=1,");
}

}  // namespace
}  // namespace tarn::test
