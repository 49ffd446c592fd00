// How the encoder tool reads ffmpeg's messages and judges a finished output.
#include <gtest/gtest.h>

#include "ffmpeg_III/ffmpeg_messages.h"
#include "ffmpeg_III/output_check.h"

namespace tarn::tool {
namespace {

TEST(FfmpegMessagesTest, WriteErrorsAreFoundInTextCutAnywhere) {
  // A WebM whose trailer did not fit: ffmpeg exits with 0 after these lines.
  const std::string full =
      "Output #0, webm, to '/m/.a.x.part.webm':\n"
      "frame=   10 fps=0.0 q=23.0 size=       8kB time=00:00:00.33\r"
      "frame=   14 fps=0.0 q=23.0 Lsize=       8kB\r\n"
      "Error writing trailer of /m/.a.x.part.webm: No space left on device\n"
      "video:1kB audio:8kB subtitle:0kB other streams:0kB muxing overhead: unknown\n"
      "Error closing file /m/.a.x.part.webm: No space left on device";
  FfmpegMessages messages;
  for (size_t at = 0; at < full.size(); at += 7) messages.take(full.substr(at, 7));
  messages.finish();
  EXPECT_TRUE(messages.writeFailed());
  EXPECT_TRUE(messages.spaceRanOut());
  EXPECT_EQ(messages.reason(),
            "Error writing trailer of /m/.a.x.part.webm: No space left on device");
  EXPECT_EQ(messages.errorLines().size(), 2u);

  // An ffmpeg that refuses a setting: the specific line, without its "[... @ 0x...]" prefix,
  // before the closing "Conversion failed!".
  FfmpegMessages refused;
  refused.take(
      "[libx264 @ 0x55d3c1477100] width not divisible by 2 (65x32)\n"
      "Error initializing output stream 0:0 -- Error while opening encoder\n"
      "Conversion failed!\n");
  refused.finish();
  EXPECT_TRUE(refused.writeFailed());  // "Conversion failed!" is never a success
  EXPECT_FALSE(refused.spaceRanOut());
  EXPECT_EQ(refused.reason(),
            "Error initializing output stream 0:0 -- Error while opening encoder");

  FfmpegMessages missing;
  missing.take("/x/temp%06d.bmp: No such file or directory\n");
  missing.finish();
  EXPECT_FALSE(missing.writeFailed());
  EXPECT_EQ(missing.reason(), "/x/temp%06d.bmp: No such file or directory");

  FfmpegMessages quiet;
  quiet.take("Stream #0:0: Video: h264, yuv420p, 64x32\nvideo:2kB muxing overhead: unknown\n");
  quiet.finish();
  EXPECT_FALSE(quiet.writeFailed());
  EXPECT_EQ(quiet.reason(), "");
}

TEST(OutputCheckTest, FramesGivenAgainstFramesFound) {
  EXPECT_EQ(parseDurationSeconds("00:01:05.250"), 65.25);
  EXPECT_EQ(parseDurationSeconds("01:00"), 60);
  EXPECT_EQ(parseDurationSeconds("2.5"), 2.5);
  EXPECT_EQ(parseDurationSeconds("1:2:3:4"), std::nullopt);
  EXPECT_EQ(parseDurationSeconds("abc"), std::nullopt);
  EXPECT_EQ(parseRate("07.50"), 7.5);
  EXPECT_NEAR(*parseRate("30000/1001"), 29.97, 0.001);
  EXPECT_EQ(parseRate("0"), std::nullopt);

  // 90 frames at 29.97 fps with the movie's own duration, at the same rate or at 30 fps.
  EXPECT_EQ(expectedVideoFrames(90, 30000.0 / 1001, std::nullopt, 3.003), 90);
  EXPECT_EQ(expectedVideoFrames(90, 29.97, 30.0, 3.003), 90);
  EXPECT_EQ(expectedVideoFrames(12, 25, 30.0, 5.0), 14);  // 0.48 s at 30 fps
  EXPECT_EQ(expectedVideoFrames(12, 25, std::nullopt, 0.2), 5);
  EXPECT_EQ(expectedVideoFrames(12, 25, std::nullopt, 0.0), 0);
  EXPECT_EQ(expectedVideoFrames(0, 25, 30.0, 5.0), 0);

  // As a Theora and Vorbis file reads back: 6 packets over 0.47 s at 30 fps.
  const std::vector<StreamPackets> streams{{"video", "theora", 6, 30.0, 0.466667},
                                           {"audio", "vorbis", 30, 0.0, 0.6}};
  ASSERT_EQ(streams.size(), 2u);
  // Theora keeps no packet for a frame that repeats the last one: its length counts.
  EXPECT_EQ(videoFrames(streams[0]), 14);
  EXPECT_EQ(streams[1].packets, 30);

  ReadBack found{true, streams};
  Expectation expected{"the output movie", 14, true};
  EXPECT_EQ(whyIncomplete(found, expected), "");
  expected.videoFrames = 15;
  EXPECT_EQ(whyIncomplete(found, expected), "");  // within one frame
  // A still Theora scene counts short however complete it is: only too many frames tell.
  expected.videoFrames = 90;
  EXPECT_EQ(whyIncomplete(found, expected), "");
  found.streams[0].codec = "vp9";
  EXPECT_EQ(whyIncomplete(found, expected), "the output movie is incomplete: 6 of 90 frames");
  found.streams[0].codec = "theora";
  expected.videoFrames = 10;
  EXPECT_EQ(whyIncomplete(found, expected), "the output movie has 14 frames instead of 10");
  expected.videoFrames = 14;
  found.streams[1].packets = 0;
  EXPECT_EQ(whyIncomplete(found, expected), "the output movie has no sound");
  found.streams.pop_back();
  EXPECT_EQ(whyIncomplete(found, expected), "the output movie has no sound");
  found.streams[0].packets = 0;
  found.streams[0].seconds = -1;
  EXPECT_EQ(whyIncomplete(found, expected), "the output movie has no picture");
  found.readable = false;
  EXPECT_EQ(whyIncomplete(found, expected),
            "the output movie is not finished: it cannot be read back");
  EXPECT_EQ(whyIncomplete(ReadBack{true, {}}, Expectation{"the sound file", std::nullopt, true}),
            "the sound file has no sound");
  EXPECT_EQ(whyIncomplete(ReadBack{true, {}}, Expectation{}), "the output is empty");
}

}  // namespace
}  // namespace tarn::tool
