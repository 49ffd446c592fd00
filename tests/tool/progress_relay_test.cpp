#include "ffmpeg_III/progress_relay.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <sstream>
#include <vector>

#include "encoding/encoded_frames.h"
#include "ffmpeg_III/report_lines.h"

namespace tarn::tool {
namespace {

TEST(ProgressRelay, FfmpegReportsBecomeLinesTheConverterReads) {
  std::vector<std::string> said;
  ProgressRelay relay(250, [&](const std::string& line) { said.push_back(line); });
  // Pieces split anywhere, as a pipe delivers them.
  relay.take("frame=0\nfps=0.00\nprogress=con");
  relay.take("tinue\nframe=120\nfps=45.2\nout_time=00:00:04.0\r\nprogress=continue\n");
  relay.take("frame=248\nfps=50\nprogress=end\n");
  ASSERT_EQ(said.size(), 3u);
  EXPECT_EQ(said[0], "encoded 0 of 250 frames");
  EXPECT_EQ(said[1], "encoded 120 of 250 frames (45.20 fps)");
  EXPECT_EQ(said[2], "encoded 248 of 248 frames (50.00 fps)");  // the end gives the whole count

  const auto parsed = parseEncodedFramesLine("ffmpeg_III: " + said[1]);
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->frames, 120);
  EXPECT_EQ(parsed->total, 250);
  EXPECT_DOUBLE_EQ(parsed->framesPerSecond, 45.2);
  const auto bare = parseEncodedFramesLine("ffmpeg_III: encoded 7 frames");
  ASSERT_TRUE(bare);
  EXPECT_EQ(bare->total, 0);
  EXPECT_FALSE(parseEncodedFramesLine("ffmpeg_III: encoded frames"));
  EXPECT_FALSE(parseEncodedFramesLine("frame=  120 fps= 45 q=28.0"));
}

// ffmpeg writes "[mp4 @ 0x...] " and its message in two pieces; a progress line said in between
// must still start a line, or the converter misses the last count.
TEST(ProgressRelay, ToolLinesStartALineWhateverFfmpegWroteBefore) {
  std::FILE* capture = std::tmpfile();
  ASSERT_NE(capture, nullptr);
  std::fflush(stderr);
  const int saved = ::dup(STDERR_FILENO);
  ::dup2(::fileno(capture), STDERR_FILENO);
  ReportLines lines;
  lines.passOn("frame=  105 fps= 47 q=24.0\r");
  lines.say("encoded 105 of 120 frames");
  lines.passOn("[mp4 @ 0x5629bb272980] ");
  lines.say("encoded 120 of 120 frames");
  lines.passOn("Starting second pass: moving the moov atom to the beginning of the file\n");
  ::dup2(saved, STDERR_FILENO);
  ::close(saved);

  std::rewind(capture);
  std::string text;
  for (int c = std::fgetc(capture); c != EOF; c = std::fgetc(capture)) text += static_cast<char>(c);
  std::fclose(capture);
  std::vector<int64_t> counts;
  std::istringstream pieces(text);
  for (std::string line; std::getline(pieces, line);) {
    std::istringstream parts(line);
    for (std::string part; std::getline(parts, part, '\r');) {
      if (const auto encoded = parseEncodedFramesLine(part)) counts.push_back(encoded->frames);
    }
  }
  EXPECT_EQ(counts, (std::vector<int64_t>{105, 120})) << text;
}

TEST(ProgressRelay, ExpectedFramesFollowDurationAndOutputRate) {
  LegacyCommand command;
  command.inputs.push_back({"temp%06d.bmp", "25.00"});
  EXPECT_FALSE(expectedOutputFrames(command));  // no duration
  command.output.duration = "00:00:04.000";
  EXPECT_EQ(expectedOutputFrames(command), 100);
  command.output.rate = "30";
  EXPECT_EQ(expectedOutputFrames(command), 120);
  command.output.duration = "00:01:05.250";
  EXPECT_EQ(expectedOutputFrames(command), 1958);
  command.output.duration = "garbled";
  EXPECT_FALSE(expectedOutputFrames(command));
}

}  // namespace
}  // namespace tarn::tool
