// Real runs of the built encoder tool with the system ffmpeg, checked with ffprobe.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>

#include "support/test_media.h"
#include "tool/tool_run_support.h"

namespace tarn::test {
namespace {

namespace fs = std::filesystem;

double rateOf(const std::string& fraction) {
  const auto slash = fraction.find('/');
  if (slash == std::string::npos) return std::stod(fraction);
  return std::stod(fraction.substr(0, slash)) / std::stod(fraction.substr(slash + 1));
}

struct Expected {
  std::string formatName;  // a word of ffprobe's format_name
  std::string video;
  int width = 64;
  int height = 32;
  double rate = 25;
  double seconds = 0.48;
  std::string audio;  // empty: no sound stream
  std::string sampleRate = "44100";
  std::string channels = "2";
};

void expectOutput(const fs::path& output, const Expected& expected) {
  SCOPED_TRACE(output.filename().string());
  ASSERT_TRUE(fs::exists(output));
  const ProbeInfo info = probeFile(output);
  EXPECT_NE(info.format.at("format_name").find(expected.formatName), std::string::npos)
      << info.format.at("format_name");
  const auto* video = info.stream("video");
  ASSERT_NE(video, nullptr);
  EXPECT_EQ(video->at("codec_name"), expected.video);
  EXPECT_EQ(video->at("pix_fmt"), "yuv420p");
  EXPECT_EQ(video->at("width"), std::to_string(expected.width));
  EXPECT_EQ(video->at("height"), std::to_string(expected.height));
  const double rate = rateOf(video->at("r_frame_rate"));
  EXPECT_NEAR(rate, expected.rate, 0.01);
  // AVI keeps no frame times, Theora leaves repeated frames out: either measure can fall short.
  const double seconds =
      std::max(info.videoEndSeconds, std::stod(video->at("nb_read_frames")) / rate);
  EXPECT_LE(std::abs(seconds - expected.seconds), 1.0 / rate + 1e-6) << seconds << " s";
  const auto* audio = info.stream("audio");
  if (expected.audio.empty()) {
    EXPECT_EQ(audio, nullptr);
    return;
  }
  ASSERT_NE(audio, nullptr);
  EXPECT_EQ(audio->at("codec_name"), expected.audio);
  EXPECT_EQ(audio->at("sample_rate"), expected.sampleRate);
  EXPECT_EQ(audio->at("channels"), expected.channels);
}

class EncoderToolRun : public ::testing::Test {
 protected:
  void SetUp() override {
    writeFrameFiles(scratch_.path(), 64, 32, 12);
    writeSoundFile(scratch_.path(), 0.6);
  }
  ToolRun encode(const std::string& tail, const std::string& outputName, bool withSound = true,
                 const std::string& audioOptions = "-ac 2 -ar 44100") {
    const auto run = runTool(mainEncodeArguments(scratch_.path(), "25.00", withSound, tail,
                                                 scratch_ / outputName, audioOptions));
    EXPECT_EQ(run.status, 0) << run.errorText;
    return run;
  }
  ScratchDir scratch_;
};

const std::string kFast =
    " -threads 0 -coder 0 -flags +loop -cmp +chroma -partitions "
    "-parti8x8+parti4x4+partp8x8-partp4x4-partb8x8  -subq 3 -me_range 16  -g 250 -keyint_min 25 "
    "-sc_threshold 40 -i_qfactor 0.71 -b_strategy 1 -qcomp 0.6 -qmin 10 -qmax 51 -qdiff 4 ";

TEST_F(EncoderToolRun, H264ContainersWithChosenCodecs) {
  const auto run = encode(" -vcodec libx264 -acodec mp3  -t 00:00:00.480 -b 500k " + kFast +
                              " -s 32x16  -crf 22 -qscale 15 -f flv ",
                          "a.flv");
  // The ffmpeg command is one line of standard error.
  EXPECT_NE(run.errorText.find("ffmpeg_III: running: ffmpeg -hide_banner"), std::string::npos);
  EXPECT_NE(run.errorText.find("ffmpeg_III: frames read: 12\n"), std::string::npos);
  expectOutput(scratch_ / "a.flv", {"flv", "h264", 32, 16, 25, 0.48, "mp3"});

  encode(" -vcodec libx264 -acodec mp3  -t 00:00:00.480 -crf 31 -f mov ", "a.mov");
  expectOutput(scratch_ / "a.mov", {"mov", "h264", 64, 32, 25, 0.48, "mp3"});

  encode(" -vcodec libx264 -acodec pcm_s16le  -t 00:00:00.480 -crf 22 -qscale 15 -f avi ", "a.avi",
         true, "-ac 1 -ar 22050");
  expectOutput(scratch_ / "a.avi", {"avi", "h264", 64, 32, 25, 0.48, "pcm_s16le", "22050", "1"});
}

TEST_F(EncoderToolRun, ContainersWithoutCodecsGetPlayableOnes) {
  // "Default" quality (-sameq) used to be refused; "-f m4v" wrote a bare stream without sound.
  encode(" -r 30  -t 00:00:00.480 -sameq -qscale 15 -f mp4 ", "a.mp4", true, "-ac 1 -ar 48000");
  expectOutput(scratch_ / "a.mp4", {"mp4", "h264", 64, 32, 30, 0.48, "aac", "48000", "1"});

  encode(" -r 30  -t 00:00:00.480 -qscale 5 -f m4v ", "a.m4v");
  expectOutput(scratch_ / "a.m4v", {"mp4", "h264", 64, 32, 30, 0.48, "aac"});

  encode(" -r 30  -t 00:00:00.480 -sameq -qscale 15 -f ogg ", "a.ogv", true, "-ac 2 -ar 22050");
  expectOutput(scratch_ / "a.ogv", {"ogg", "theora", 64, 32, 30, 0.48, "vorbis", "22050"});

  // WebM's sound encoder runs at 48 kHz only.
  encode(" -r 30  -t 00:00:00.480 -qscale 21 -f webm ", "a.webm");
  expectOutput(scratch_ / "a.webm", {"webm", "vp9", 64, 32, 30, 0.48, "opus", "48000"});
}

TEST_F(EncoderToolRun, WithoutSoundFileTheMovieHasNoSound) {
  encode(" -r 30  -t 00:00:00.480 -qscale 10 -f ogg ", "a.ogg", false);
  expectOutput(scratch_ / "a.ogg", {"ogg", "theora", 64, 32, 30, 0.48, ""});
}

TEST_F(EncoderToolRun, OddFrameSizeIsMadeEven) {
  const ScratchDir odd;
  writeFrameFiles(odd.path(), 65, 33, 5);
  const auto run = runTool(mainEncodeArguments(odd.path(), "25.00", false,
                                               " -r 30  -t 00:00:00.200 -sameq -qscale 15 -f mp4 ",
                                               odd / "odd.mp4"));
  EXPECT_EQ(run.status, 0) << run.errorText;
  expectOutput(odd / "odd.mp4", {"mp4", "h264", 66, 34, 30, 0.2, ""});
}

TEST_F(EncoderToolRun, DurationCutsTheFramesAndTheSequenceEndsAtAGap) {
  // A gap after frame 11: frames 13.. are not read, as ffmpeg's own reader does.
  writeFrameFiles(scratch_.path(), 64, 32, 3, 13);
  encode(" -vcodec libx264 -acodec mp3  -t 00:00:00.200 -crf 22 -qscale 15 -f mov ", "short.mov");
  expectOutput(scratch_ / "short.mov", {"mov", "h264", 64, 32, 25, 0.2, "mp3"});
  const auto run =
      encode(" -vcodec libx264 -acodec mp3  -t 00:00:05.000 -crf 22 -f flv ", "all.flv", false);
  EXPECT_NE(run.errorText.find("ffmpeg_III: frames read: 12\n"), std::string::npos);
  expectOutput(scratch_ / "all.flv", {"flv", "h264", 64, 32, 25, 0.48, ""});
}

TEST_F(EncoderToolRun, ABrokenFrameEndsTheSequenceThere) {
  fs::resize_file(scratch_ / "temp000008.bmp", 100);
  const auto run = encode(" -r 30  -t 00:00:05.000 -qscale 8 -f mp4 ", "broken.mp4", false);
  EXPECT_NE(run.errorText.find("frames read: 8 (stopped: "), std::string::npos) << run.errorText;
  EXPECT_NE(run.errorText.find("temp000008.bmp: truncated pixel data"), std::string::npos);
  expectOutput(scratch_ / "broken.mp4", {"mp4", "h264", 64, 32, 30, 8 / 25.0, ""});
}

TEST_F(EncoderToolRun, FramesThatAreNotOursAreLeftToFfmpeg) {
  const ScratchDir other;
  ASSERT_EQ(runShell("ffmpeg -hide_banner -loglevel error -nostdin -f lavfi -i "
                     "testsrc2=size=64x32:rate=25 -frames:v 5 -pix_fmt bgr24 -start_number 0 '" +
                     (other / "temp%06d.bmp").string() + "'"),
            0);
  const auto run = runTool(mainEncodeArguments(other.path(), "25.00", false,
                                               " -vcodec libx264 -acodec mp3  -t 00:00:00.200 "
                                               "-crf 22 -qscale 15 -f flv ",
                                               other / "o.flv"));
  EXPECT_EQ(run.status, 0) << run.errorText;
  EXPECT_NE(
      run.errorText.find("ffmpeg reads the frame files itself (" +
                         (other / "temp000000.bmp").string() + ": not an uncompressed 32-bit BMP)"),
      std::string::npos)
      << run.errorText;
  expectOutput(other / "o.flv", {"flv", "h264", 64, 32, 25, 0.2, ""});
}

TEST(EncoderToolCommands, ProbeAudioExtractionAndConversionBehaveAsFfmpeg) {
  const fs::path movie = generatedMedia(
      "tool-probe.mov",
      "-f lavfi -i testsrc2=size=64x32:rate=25 -f lavfi -i sine=frequency=300 -t 0.4 -c:v "
      "libx264 -pix_fmt yuv420p -c:a aac -shortest");
  ASSERT_FALSE(movie.empty());
  const auto probe = runTool({"-i", movie.string()});
  EXPECT_EQ(probe.status, 1);  // ffmpeg wants an output file; the description is there
  EXPECT_NE(probe.errorText.find("  Duration: 00:00:00.4"), std::string::npos) << probe.errorText;
  EXPECT_NE(probe.errorText.find("Stream #0:0"), std::string::npos);
  EXPECT_NE(probe.errorText.find("25 fps, 25 tbr"), std::string::npos);

  const ScratchDir temp;
  const auto audio = runTool({"-i", movie.string(), "-f", "wav", "-ar", "44100", "-ac", "2",
                              "-acodec", "pcm_s16le", "-y", (temp / "temp.wav").string()});
  EXPECT_EQ(audio.status, 0) << audio.errorText;
  const ProbeInfo wav = probeFile(temp / "temp.wav", false);
  ASSERT_EQ(wav.streams.size(), 1u);
  EXPECT_EQ(wav.streams[0].at("codec_name"), "pcm_s16le");
  EXPECT_EQ(wav.streams[0].at("sample_rate"), "44100");
  EXPECT_EQ(wav.streams[0].at("channels"), "2");

  const auto avi = runTool({"-i", movie.string(), "-sameq", "-ar", "44100", "-ac", "2", "-acodec",
                            "pcm_s16le", "-y", (temp / "input.avi").string()});
  EXPECT_EQ(avi.status, 0) << avi.errorText;
  expectOutput(temp / "input.avi", {"avi", "h264", 64, 32, 25, 0.4, "pcm_s16le"});
}

}  // namespace
}  // namespace tarn::test
