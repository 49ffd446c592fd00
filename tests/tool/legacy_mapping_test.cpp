#include <gtest/gtest.h>

#include <algorithm>

#include "common/process.h"
#include "ffmpeg_III/ffmpeg_plan.h"
#include "ffmpeg_III/legacy_command.h"
#include "ffmpeg_III/ntsc_rate.h"
#include "support/command_line_split.h"

namespace tarn::tool {
namespace {

using Args = std::vector<std::string>;

// The converter's command line as it is started: split by the Windows rules, program dropped.
LegacyCommand parsed(const std::string& line) {
  Args args = splitCommandLine(line);
  args.erase(args.begin());
  auto result = parseLegacyCommand(args);
  EXPECT_TRUE(result.command) << result.error;
  return result.command.value_or(LegacyCommand{});
}

// Arguments joined by single blanks (none of the compared ones holds a blank).
std::string joined(const Args& args) {
  std::string line;
  for (const auto& arg : args) line += (line.empty() ? "" : " ") + arg;
  return line;
}

const FrameSequence kFrames1920{"/t/TEMP/temp%06d.bmp", 0, {1920, 960}};

const char* kFlvExample =
    R"("/c/PLUG-IN/ffmpeg_III.exe"  -r 29.97 -i "/t/TEMP/temp%06d.bmp" -i "/t/TEMP/temp.wav" -ac 2  -ar 44100  -vcodec libx264 -acodec mp3  -t 00:01:05.250 -b 1500k  -threads 0 -coder 0 -flags +loop -cmp +chroma -partitions -parti8x8+parti4x4+partp8x8-partp4x4-partb8x8  -subq 3 -me_range 16  -g 250 -keyint_min 25 -sc_threshold 40 -i_qfactor 0.71 -b_strategy 1 -qcomp 0.6 -qmin 10 -qmax 51 -qdiff 4  -s 1712x848  -crf 22 -qscale 15 -f flv  -y "/v/result.flv")";

const char* kMp4Example =
    R"("/c/PLUG-IN/ffmpeg_III.exe"  -r 30 -i "/t/TEMP/temp%06d.bmp" -i "/t/TEMP/temp.wav" -ac 1  -ar 48000  -r 30  -t 00:01:05.250 -qscale 5 -f mp4  -y "/v/result.mp4")";

std::string mainEncode(const std::string& options, const std::string& output) {
  return R"("/c/PLUG-IN/ffmpeg_III.exe"  -r 25.00 -i "/t/TEMP/temp%06d.bmp" -i "/t/TEMP/temp.wav" -ac 2  -ar 44100 )" +
         options + R"(  -y ")" + output + R"(")";
}

TEST(LegacyCommand, ReadsTheEncoderCommandLine) {
  const LegacyCommand command = parsed(kFlvExample);
  ASSERT_EQ(command.inputs.size(), 2u);
  EXPECT_EQ(command.inputs[0].path, "/t/TEMP/temp%06d.bmp");
  EXPECT_EQ(command.inputs[0].rate, "29.97");
  EXPECT_EQ(command.inputs[1].path, "/t/TEMP/temp.wav");
  EXPECT_FALSE(command.inputs[1].rate);
  EXPECT_EQ(command.output.duration, "00:01:05.250");
  EXPECT_EQ(command.output.bitRate, "1500k");
  EXPECT_EQ(command.output.size, "1712x848");
  EXPECT_EQ(command.output.crf, "22");
  EXPECT_EQ(command.output.qscale, "15");
  EXPECT_EQ(command.output.format, "flv");
  EXPECT_FALSE(command.output.rate);
  EXPECT_TRUE(command.overwrite);
  EXPECT_EQ(command.outputPath, "/v/result.flv");
  // A value that begins with a dash stays the option's value.
  ASSERT_EQ(command.output.encoderTuning.size(), 16u);
  EXPECT_EQ(command.output.encoderTuning[4].first, "partitions");
  EXPECT_EQ(command.output.encoderTuning[4].second,
            "-parti8x8+parti4x4+partp8x8-partp4x4-partb8x8");

  // "-r" after the inputs is the output's rate.
  const LegacyCommand mp4 = parsed(kMp4Example);
  EXPECT_EQ(mp4.inputs[0].rate, "30");
  EXPECT_EQ(mp4.output.rate, "30");
}

TEST(LegacyCommand, RefusesWhatItCannotRead) {
  EXPECT_FALSE(parseLegacyCommand({}).command);
  EXPECT_FALSE(parseLegacyCommand({"-i"}).command);
  EXPECT_FALSE(parseLegacyCommand({"-i", "a.mov", "-vframes", "3", "out.mp4"}).command);
  EXPECT_FALSE(parseLegacyCommand({"-i", "a.mov", "b.mp4", "c.mp4"}).command);
  EXPECT_FALSE(parseLegacyCommand({"-y", "out.mp4"}).command);
}

TEST(FfmpegPlan, FirstWorkedExampleFeedsRawFrames) {
  const FfmpegPlan plan = planFfmpegRun(parsed(kFlvExample), kFrames1920);
  EXPECT_EQ(plan.kind, RunKind::MainEncode);
  ASSERT_TRUE(plan.rawFrames);
  EXPECT_EQ(joined(plan.arguments),
            "-hide_banner -nostdin -y -f rawvideo -pix_fmt yuv420p -video_size 1712x848 "
            "-framerate 30000/1001 -i - -i /t/TEMP/temp.wav -t 00:01:05.250 -pix_fmt yuv420p "
            "-color_primaries bt709 -color_trc bt709 -colorspace bt709 -color_range tv "
            "-c:v libx264 -preset veryfast -crf 22 -maxrate 1500k -bufsize 3000k "
            "-x264-params cabac=0:keyint=250:min-keyint=25:scenecut=40:ipratio=1.41:b-adapt=1:"
            "qcomp=0.6:qpmin=10:qpmax=51:qpstep=4 -c:a libmp3lame -ac 2 -ar 44100 -f flv "
            "/v/result.flv");
}

TEST(FfmpegPlan, SecondWorkedExampleWritesMp4WithQualityAsCrf) {
  const FfmpegPlan plan = planFfmpegRun(parsed(kMp4Example), kFrames1920);
  EXPECT_EQ(joined(plan.arguments),
            "-hide_banner -nostdin -y -f rawvideo -pix_fmt yuv420p -video_size 1920x960 "
            "-framerate 30 -i - -i /t/TEMP/temp.wav -t 00:01:05.250 -r 30 -fps_mode cfr "
            "-pix_fmt yuv420p -color_primaries bt709 -color_trc bt709 -colorspace bt709 "
            "-color_range tv -c:v libx264 -preset medium -crf 15 -c:a aac -ac 1 -ar 48000 "
            "-movflags +faststart -f mp4 /v/result.mp4");
}

TEST(FfmpegPlan, WithoutReadableFramesFfmpegReadsThePattern) {
  const FfmpegPlan plan = planFfmpegRun(parsed(kMp4Example), std::nullopt);
  EXPECT_FALSE(plan.rawFrames);
  EXPECT_EQ(joined(Args(plan.arguments.begin(), plan.arguments.begin() + 7)),
            "-hide_banner -nostdin -y -framerate 30 -i /t/TEMP/temp%06d.bmp");
  // Unknown size: the scale keeps both sides even.
  const auto vf = std::find(plan.arguments.begin(), plan.arguments.end(), "-vf");
  ASSERT_NE(vf, plan.arguments.end());
  EXPECT_EQ(*(vf + 1),
            "scale=trunc((iw+1)/2)*2:trunc((ih+1)/2)*2:out_color_matrix=bt709:out_range=tv");
}

// The value that follows the last `option` in the plan's arguments.
std::string valueOf(const FfmpegPlan& plan, const std::string& option) {
  const auto& args = plan.arguments;
  for (size_t i = args.size() - 1; i-- > 0;) {
    if (args[i] == option) return args[i + 1];
  }
  return "(none)";
}

TEST(FfmpegPlan, ContainersGetPlayableCodecs) {
  struct Case {
    std::string tail, output, muxer, video, audio, rate;
  };
  const Case cases[] = {
      {" -vcodec libx264 -acodec mp3  -t 00:00:01.000 -crf 22 -qscale 15 -f flv ", "/v/a.flv",
       "flv", "libx264", "libmp3lame", "44100"},
      {" -vcodec libx264 -acodec mp3  -t 00:00:01.000 -crf 22 -qscale 15 -f mov ", "/v/a.mov",
       "mov", "libx264", "libmp3lame", "44100"},
      {" -vcodec libx264 -acodec pcm_s16le  -t 00:00:01.000 -crf 22 -qscale 15 -f avi ", "/v/a.avi",
       "avi", "libx264", "pcm_s16le", "44100"},
      {" -r 30  -t 00:00:01.000 -sameq -qscale 15 -f m4v ", "/v/a.m4v", "ipod", "libx264", "aac",
       "44100"},
      {" -r 30  -t 00:00:01.000 -sameq -qscale 15 -f ogg ", "/v/a.ogv", "ogg", "libtheora",
       "libvorbis", "44100"},
      {" -r 30  -t 00:00:01.000 -sameq -qscale 15 -f webm ", "/v/a.webm", "webm", "libvpx-vp9",
       "libopus", "48000"},
  };
  for (const Case& c : cases) {
    const FfmpegPlan plan = planFfmpegRun(parsed(mainEncode(c.tail, c.output)), kFrames1920);
    SCOPED_TRACE(c.output);
    EXPECT_EQ(valueOf(plan, "-f"), c.muxer);
    EXPECT_EQ(valueOf(plan, "-c:v"), c.video);
    EXPECT_EQ(valueOf(plan, "-c:a"), c.audio);
    EXPECT_EQ(valueOf(plan, "-ar"), c.rate);
    EXPECT_EQ(plan.arguments.back(), c.output);
    EXPECT_EQ(std::count(plan.arguments.begin(), plan.arguments.end(), "yuv420p"), 2);
    EXPECT_EQ(std::count(plan.arguments.begin(), plan.arguments.end(), "-sameq"), 0);
  }
}

TEST(FfmpegPlan, QualityListMapsMonotonically) {
  int previousCrf = -1;
  int previousVp9 = -1;
  double previousTheora = 11;
  for (int quality = 1; quality <= 21; ++quality) {
    const std::string q = std::to_string(quality);
    const auto mp4 = planFfmpegRun(
        parsed(mainEncode(" -r 30  -t 00:00:01.000 -qscale " + q + " -f mp4 ", "/v/a.mp4")),
        kFrames1920);
    const auto flv =
        planFfmpegRun(parsed(mainEncode(" -vcodec libx264 -acodec mp3  -t 00:00:01.000 -crf " +
                                            std::to_string(quality + 10) + " -f flv ",
                                        "/v/a.flv")),
                      kFrames1920);
    const auto webm = planFfmpegRun(
        parsed(mainEncode(" -r 30  -t 00:00:01.000 -qscale " + q + " -f webm ", "/v/a.webm")),
        kFrames1920);
    const auto ogg = planFfmpegRun(
        parsed(mainEncode(" -r 30  -t 00:00:01.000 -qscale " + q + " -f ogg ", "/v/a.ogg")),
        kFrames1920);
    const int crf = std::stoi(valueOf(mp4, "-crf"));
    EXPECT_EQ(valueOf(flv, "-crf"), valueOf(mp4, "-crf")) << "quality " << quality;
    EXPECT_GT(crf, previousCrf);
    const int vp9 = std::stoi(valueOf(webm, "-crf"));
    EXPECT_GT(vp9, previousVp9);
    EXPECT_EQ(valueOf(webm, "-b:v"), "0");
    const double theora = std::stod(valueOf(ogg, "-q:v"));
    EXPECT_LT(theora, previousTheora);
    previousCrf = crf;
    previousVp9 = vp9;
    previousTheora = theora;
  }
  EXPECT_EQ(previousCrf, 31);
  EXPECT_EQ(previousTheora, 0);
}

TEST(FfmpegPlan, CodecModesMapToPresetsInOrderOfSpeed) {
  const std::string second =
      " -g 250 -keyint_min 25 -sc_threshold 40 -i_qfactor 0.71 -b_strategy 1 -qcomp 0.6 -qmin 10 "
      "-qmax 51 -qdiff 4 ";
  const std::string max =
      " -threads 0 -coder 1 -flags +loop -cmp +chroma -partitions "
      "+parti8x8+parti4x4+partp8x8+partp4x4-partb8x8  -subq 8 ";
  const std::string modes[] = {
      "",
      " -threads 0 -coder 0 -flags +loop -cmp +chroma -partitions "
      "-parti8x8-parti4x4-partp8x8-partp4x4-partb8x8  -subq 0 -me_range 16 " +
          second,
      " -threads 0 -coder 0 -flags +loop -cmp +chroma -partitions "
      "-parti8x8+parti4x4+partp8x8-partp4x4-partb8x8  -subq 3 -me_range 16 " +
          second,
      " -threads 0 -coder 1 -flags +loop -cmp +chroma -partitions "
      "-parti8x8+parti4x4+partp8x8+partp4x4-partb8x8  -subq 5 -me_range 16 " +
          second,
      max + " -me_range 16" + second + "-refs 16 ",
      max + " -me_range 16" + second + "-refs 4 ",
  };
  const std::string presets[] = {"medium", "ultrafast", "veryfast", "medium", "slow", "slower"};
  const std::string cpuUsed[] = {"4", "8", "6", "4", "2", "1"};
  for (int mode = 0; mode < 6; ++mode) {
    SCOPED_TRACE(mode);
    const auto avi = planFfmpegRun(
        parsed(mainEncode(" -vcodec libx264 -acodec pcm_s16le  -t 00:00:01.000 -b 700k " +
                              modes[mode] + " -crf 22 -qscale 15 -f avi ",
                          "/v/a.avi")),
        kFrames1920);
    EXPECT_EQ(valueOf(avi, "-preset"), presets[mode]);
    EXPECT_EQ(valueOf(avi, "-maxrate"), "700k");
    EXPECT_EQ(valueOf(avi, "-bufsize"), "1400k");
    const auto webm =
        planFfmpegRun(parsed(mainEncode(" -r 30  -t 00:00:01.000 -b 700k " + modes[mode] +
                                            " -sameq -qscale 15 -f webm ",
                                        "/v/a.webm")),
                      kFrames1920);
    EXPECT_EQ(valueOf(webm, "-cpu-used"), cpuUsed[mode]);
    EXPECT_EQ(valueOf(webm, "-b:v"), "700k");
  }
}

TEST(FfmpegPlan, OddFrameSidesAreScaledOnePixelUp) {
  const FrameSequence odd{"/t/temp%06d.bmp", 0, {1001, 500}};
  const auto plan = planFfmpegRun(
      parsed(mainEncode(" -r 30  -t 00:00:01.000 -sameq -qscale 15 -f mp4 ", "/v/a.mp4")), odd);
  // The tool scales the frames as it reads them; ffmpeg gets the even size.
  EXPECT_EQ(plan.rawPictureSize, (FrameFormat{1002, 500}));
  EXPECT_EQ(valueOf(plan, "-video_size"), "1002x500");
  EXPECT_EQ(valueOf(plan, "-vf"), "(none)");
  // Without readable frames ffmpeg scales to even sides.
  const auto direct = planFfmpegRun(
      parsed(mainEncode(" -r 30  -t 00:00:01.000 -sameq -qscale 15 -f mp4 ", "/v/a.mp4")),
      std::nullopt);
  EXPECT_EQ(valueOf(direct, "-vf"),
            "scale=trunc((iw+1)/2)*2:trunc((ih+1)/2)*2:out_color_matrix=bt709:out_range=tv");
  EXPECT_EQ(encodedFrameSize({}, FrameFormat{65, 33}), (FrameFormat{66, 34}));
  LegacyOutputOptions resized;
  resized.size = "1711x849";
  EXPECT_EQ(encodedFrameSize(resized, FrameFormat{1920, 960}), (FrameFormat{1712, 850}));
}

TEST(FfmpegPlan, FileNamesNeverNameAProtocol) {
  const auto probe = planFfmpegRun(parsed(R"(t -i "concat:/etc/passwd|/etc/hosts")"), std::nullopt);
  EXPECT_EQ(joined(probe.arguments), "-hide_banner -i file:concat:/etc/passwd|/etc/hosts");
  const auto audio = planFfmpegRun(
      parsed(R"(t -i "http:x.mov" -f wav -ar 44100 -ac 2 -acodec pcm_s16le -y "/t/temp.wav")"),
      std::nullopt);
  EXPECT_EQ(valueOf(audio, "-i"), "file:http:x.mov");
  EXPECT_EQ(audio.arguments.back(), "/t/temp.wav");
}

TEST(FfmpegPlan, ZeroPaddedRateAndDefaultRate) {
  EXPECT_EQ(inputFrameRate(LegacyInput{"x", std::string("07.50")}), "7.50");
  EXPECT_EQ(inputFrameRate(LegacyInput{"x", std::string("29.97")}), "30000/1001");
  EXPECT_EQ(inputFrameRate(LegacyInput{"x", std::string("00.50")}), "0.50");
  EXPECT_EQ(inputFrameRate(LegacyInput{"x", std::nullopt}), "25");
}

TEST(FfmpegPlan, NtscRatesAreExactFractions) {
  // The converter writes the NTSC family rounded to two decimals.
  EXPECT_EQ(exactFrameRate("23.98"), "24000/1001");
  EXPECT_EQ(exactFrameRate("23.976"), "24000/1001");
  EXPECT_EQ(exactFrameRate("29.97"), "30000/1001");
  EXPECT_EQ(exactFrameRate("59.94"), "60000/1001");
  EXPECT_EQ(exactFrameRate("14.99"), "15000/1001");
  EXPECT_EQ(exactFrameRate("47.95"), "48000/1001");
  EXPECT_EQ(exactFrameRate("119.88"), "120000/1001");
  // Whole and other rates stay as written.
  for (const char* rate : {"30", "30.00", "25", "25.00", "24", "29.9", "29.96", "7.50", "0.50",
                           "12.5", "50", "abc", "", "-29.97"}) {
    EXPECT_EQ(exactFrameRate(rate), rate);
  }
  // Before the frames and after the inputs alike, and in a container conversion.
  const auto flv = planFfmpegRun(parsed(kFlvExample), kFrames1920);
  EXPECT_EQ(valueOf(flv, "-framerate"), "30000/1001");
  const auto mp4 = planFfmpegRun(
      parsed(
          R"("/c/PLUG-IN/ffmpeg_III.exe"  -r 59.94 -i "/t/temp%06d.bmp" -r 23.98  -t 00:00:01.000 -qscale 5 -f mp4  -y "/v/a.mp4")"),
      kFrames1920);
  EXPECT_EQ(valueOf(mp4, "-framerate"), "60000/1001");
  EXPECT_EQ(valueOf(mp4, "-r"), "24000/1001");
  const auto copy = planFfmpegRun(
      parsed(R"(t -r 29.97 -i "/v/in.mp4" -sameq -ar 44100 -ac 2 -acodec pcm_s16le -y "/v/a.avi")"),
      std::nullopt);
  EXPECT_EQ(valueOf(copy, "-r"), "30000/1001");
}

TEST(FfmpegPlan, ColoursAreBt709AndSaidWhereTheCodecCan) {
  const std::string bt709 =
      "-color_primaries bt709 -color_trc bt709 -colorspace bt709 -color_range tv";
  const auto tagsOf = [](const FfmpegPlan& plan) {
    const auto& args = plan.arguments;
    const auto first = std::find(args.begin(), args.end(), "-color_primaries");
    if (first == args.end()) return std::string("(none)");
    return joined(Args(first, first + 8));
  };
  for (const char* tail :
       {" -vcodec libx264 -acodec mp3  -t 00:00:01.000 -crf 22 -f flv ",
        " -vcodec libx264 -acodec mp3  -t 00:00:01.000 -crf 22 -f mov ",
        " -vcodec libx264 -acodec pcm_s16le  -t 00:00:01.000 -crf 22 -f avi ",
        " -r 30  -t 00:00:01.000 -qscale 5 -f mp4 ", " -r 30  -t 00:00:01.000 -qscale 5 -f m4v ",
        " -r 30  -t 00:00:01.000 -qscale 5 -f webm "}) {
    SCOPED_TRACE(tail);
    const auto raw = planFfmpegRun(parsed(mainEncode(tail, "/v/out")), kFrames1920);
    EXPECT_EQ(tagsOf(raw), bt709);
    EXPECT_EQ(valueOf(raw, "-vf"), "(none)") << "the tool's own pictures are BT.709 already";
    const auto direct = planFfmpegRun(parsed(mainEncode(tail, "/v/out")), std::nullopt);
    EXPECT_EQ(tagsOf(direct), bt709);
    EXPECT_NE(valueOf(direct, "-vf").find(":out_color_matrix=bt709:out_range=tv"),
              std::string::npos);
  }
  // Theora's header names BT.601 (470BG) but not BT.709: its pictures become BT.601.
  const std::string ogg = " -r 30  -t 00:00:01.000 -qscale 5 -f ogg ";
  const auto raw = planFfmpegRun(parsed(mainEncode(ogg, "/v/a.ogv")), kFrames1920);
  EXPECT_EQ(tagsOf(raw),
            "-color_primaries bt470bg -color_trc bt709 -colorspace bt470bg -color_range tv");
  EXPECT_EQ(valueOf(raw, "-vf"),
            "colorspace=iall=bt709:irange=tv:all=bt709:range=tv:space=bt470bg");
  const auto direct = planFfmpegRun(parsed(mainEncode(ogg, "/v/a.ogv")), std::nullopt);
  EXPECT_NE(valueOf(direct, "-vf").find(":out_color_matrix=bt601:out_range=tv"), std::string::npos);
  // A container conversion keeps the input's own colours and labels (ffmpeg carries them).
  const auto copy = planFfmpegRun(
      parsed(R"(t -i "/v/in.mp4" -sameq -ar 44100 -ac 2 -acodec pcm_s16le -y "/v/a.avi")"),
      std::nullopt);
  EXPECT_EQ(tagsOf(copy), "(none)");
}

TEST(FfmpegPlan, ProbeAudioExtractionAndContainerConversion) {
  const auto probe =
      planFfmpegRun(parsed(R"("/c/PLUG-IN/ffmpeg_III.exe" -i "/v/pano input.mov")"), std::nullopt);
  EXPECT_EQ(probe.kind, RunKind::Probe);
  EXPECT_EQ(probe.arguments, (Args{"-hide_banner", "-i", "/v/pano input.mov"}));

  const auto audio = planFfmpegRun(
      parsed(
          R"(/c/PLUG-IN/ffmpeg_III.exe -i "/v/pano input.mov" -f wav -ar 44100 -ac 2 -acodec pcm_s16le -y "/t/TEMP/temp.wav")"),
      std::nullopt);
  EXPECT_EQ(audio.kind, RunKind::Transcode);
  EXPECT_EQ(audio.arguments,
            (Args{"-hide_banner", "-nostdin", "-y", "-i", "/v/pano input.mov", "-vn", "-c:a",
                  "pcm_s16le", "-ac", "2", "-ar", "44100", "-f", "wav", "/t/TEMP/temp.wav"}));

  const auto avi = planFfmpegRun(
      parsed(
          R"(/c/PLUG-IN/ffmpeg_III.exe -i "/v/input.mp4" -sameq -ar 44100 -ac 2 -acodec pcm_s16le -y "/t/TEMP/input.avi")"),
      std::nullopt);
  EXPECT_EQ(
      joined(avi.arguments),
      "-hide_banner -nostdin -y -i /v/input.mp4 -vf scale=trunc((iw+1)/2)*2:trunc((ih+1)/2)*2 "
      "-pix_fmt yuv420p -c:v libx264 -preset medium -crf 18 -c:a pcm_s16le -ac 2 -ar 44100 "
      "-f avi /t/TEMP/input.avi");
  // PCM does not fit an MP4: the container's own sound codec stands in.
  const auto mp4 = planFfmpegRun(
      parsed(
          R"(/c/PLUG-IN/ffmpeg_III.exe -i "/v/input.mov" -sameq -ar 44100 -ac 2 -acodec pcm_s16le -y "/t/TEMP/input.MP4")"),
      std::nullopt);
  EXPECT_EQ(valueOf(mp4, "-c:a"), "aac");
  EXPECT_EQ(valueOf(mp4, "-f"), "mp4");
}

}  // namespace
}  // namespace tarn::tool
