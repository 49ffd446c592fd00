#include "encoding/encode_progress.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "common/run_log.h"
#include "encoding/encoder_runs.h"
#include "support/recording_frontend.h"
#include "support/recording_tool.h"
#include "support/test_media.h"

namespace tarn {
namespace {

TEST(EncodeProgress, SquaresCycleIn236Passes) {
  std::array<int, 5> green;
  green.fill(20);
  for (int pass = 1; pass <= 47; ++pass) advanceSquares(green);
  EXPECT_EQ(green, (std::array<int, 5>{255, 20, 20, 20, 20}));
  advanceSquares(green);  // pass 48: the second square takes its first step
  EXPECT_EQ(green, (std::array<int, 5>{255, 25, 20, 20, 20}));
  for (int pass = 49; pass <= 235; ++pass) advanceSquares(green);
  EXPECT_EQ(green, (std::array<int, 5>{255, 255, 255, 255, 255}));
  advanceSquares(green);  // pass 236: all start over
  EXPECT_EQ(green, (std::array<int, 5>{20, 20, 20, 20, 20}));
}

TEST(EncodeProgress, ProcessingTimeText) {
  EXPECT_EQ(processingTimeText(0), "Processing time: 00:00:00");
  EXPECT_EQ(processingTimeText(59.5), "Processing time: 00:00:59");
  EXPECT_EQ(processingTimeText(60), "Processing time: 00:01:00");
  EXPECT_EQ(processingTimeText(187), "Processing time: 00:03:07");
  EXPECT_EQ(processingTimeText(3725), "Processing time: 01:02:05");
  EXPECT_EQ(processingTimeText(-3), "Processing time: 00:00:00");
}

// Keeps every state the encode window was shown.
class WindowRecordingFrontend : public test::RecordingFrontend {
 public:
  std::vector<ProgressWindowState> states;
  std::vector<ProgressWindowKind> kinds;
  std::unique_ptr<ProgressWindow> openProgressWindow(ProgressWindowKind kind) override {
    kinds.push_back(kind);
    struct Window : ProgressWindow {
      std::vector<ProgressWindowState>* states;
      void update(const ProgressWindowState& state) override { states->push_back(state); }
    };
    auto window = std::make_unique<Window>();
    window->states = &states;
    return window;
  }
};

TEST(EncodeProgress, RunsTheMainEncodeAndWaitsForIt) {
  test::ScratchDir program;
  test::installRecordingTool(program.path(), "sleep 0.3");
  RunLog log(program / "run.log");
  EncoderRuns runs;
  EncodeRequest request;
  request.exeFolder = program.path().string();
  request.tempStreamFolder = (program / "TEMP").string();
  request.outputPath = " " + (program / "out.mp4").string() + " ";
  request.durationText = "00:00:01.000";
  WindowRecordingFrontend frontend;
  showEncodeProgress(frontend, runs, request, log);

  EXPECT_EQ(runs.encoderRunning, 0);
  EXPECT_EQ(runs.encodeStarted, 0);
  ASSERT_EQ(frontend.kinds.size(), 1u);
  EXPECT_EQ(frontend.kinds[0], ProgressWindowKind::encode);
  ASSERT_GE(frontend.states.size(), 2u);
  EXPECT_EQ(frontend.states[0].squareGreen[0], 25);
  EXPECT_EQ(frontend.states[0].animationFrame, 0);
  EXPECT_EQ(frontend.states[1].animationFrame, 1);
  EXPECT_EQ(frontend.states[1].timeText.rfind("Processing time: 00:00:0", 0), 0u);

  const auto runsMade = test::recordedRuns(program.path());
  ASSERT_EQ(runsMade.size(), 1u);
  EXPECT_EQ(runsMade[0],
            (std::vector<std::string>{"-r", "30", "-i", request.tempStreamFolder + "/temp%06d.bmp",
                                      "-r", "30", "-t", "00:00:01.000", "-sameq", "-qscale", "15",
                                      "-f", "mp4", "-y", (program / "out.mp4").string()}));
  std::ifstream in(program / "run.log");
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_EQ(text.str().substr(0, 40), "ConvertRectFFMPEG aVideoEXT .mp4\r\nFFMPEG");
  EXPECT_EQ(runs.encoderOutputPath, request.outputPath);
}

TEST(EncodeProgress, AMissingToolOrUnknownContainerClosesTheWindowAtOnce) {
  test::ScratchDir program;  // no PLUG-IN folder
  RunLog log(program / "run.log");
  EncoderRuns runs;
  EncodeRequest request;
  request.exeFolder = program.path().string();
  request.outputPath = (program / "out.mp4").string();
  WindowRecordingFrontend frontend;
  showEncodeProgress(frontend, runs, request, log);
  EXPECT_EQ(frontend.kinds.size(), 1u);
  EXPECT_LE(frontend.states.size(), 3u);
  EXPECT_FALSE(std::filesystem::exists(program / "out.mp4"));

  test::installRecordingTool(program.path());
  request.outputPath = (program / "out.mkv").string();
  showEncodeProgress(frontend, runs, request, log);
  EXPECT_TRUE(test::recordedRuns(program.path()).empty());
  std::ifstream in(program / "run.log");
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_NE(text.str().find("ConvertRectFFMPEG aVideoEXT .mkv\r\nFFMPEG : \r\n"),
            std::string::npos);
}

TEST(EncodeProgress, ContainerConversionWindowRunsTheCopyCommand) {
  test::ScratchDir program;
  test::installRecordingTool(program.path(), "sleep 0.2");
  EncoderRuns runs;
  {
    std::lock_guard lock(runs.mutex);
    runs.encoderInputPath = " /v/pano input.mp4 ";
    runs.encoderOutputPath = (program / "TEMP" / "pano input.avi").string();
  }
  std::atomic<int32_t> streamState{0};
  WindowRecordingFrontend frontend;
  showConversionProgress(frontend, runs, program.path().string(), streamState);

  EXPECT_EQ(streamState, 1);
  EXPECT_EQ(runs.encoderRunning, 0);
  ASSERT_EQ(frontend.kinds.size(), 1u);
  EXPECT_EQ(frontend.kinds[0], ProgressWindowKind::conversion);
  EXPECT_GE(frontend.states.size(), 2u);
  const auto made = test::recordedRuns(program.path());
  ASSERT_EQ(made.size(), 1u);
  EXPECT_EQ(made[0], (std::vector<std::string>{"-i", "/v/pano input.mp4", "-sameq", "-ar", "44100",
                                               "-ac", "2", "-acodec", "pcm_s16le", "-y",
                                               (program / "TEMP" / "pano input.avi").string()}));
  const ToolCommand conversion = containerConversionCommand("/p", "a.mp4", " b.avi ");
  EXPECT_EQ(conversion.text,
            "/p/PLUG-IN/ffmpeg_III.exe -i \"a.mp4\" -sameq -ar 44100 -ac 2 -acodec pcm_s16le -y "
            "\"b.avi\"");
  // The text is for the log; the tool gets each path as one argument (padding blanks of a path
  // that names no file removed).
  EXPECT_EQ(conversion.arguments,
            (std::vector<std::string>{"/p/PLUG-IN/ffmpeg_III.exe", "-i", "a.mp4", "-sameq", "-ar",
                                      "44100", "-ac", "2", "-acodec", "pcm_s16le", "-y", "b.avi"}));
}

TEST(EncoderRuns, ToolStartFailuresAndTheAudioCommand) {
  EXPECT_EQ(runEncoderTool({}), -1);
  EXPECT_EQ(runEncoderTool({"/no/such/folder/PLUG-IN/ffmpeg_III.exe", "-i", "x"}), -1);

  // A program folder with blanks: the tool is started by its exact path.
  test::ScratchDir scratch;
  const auto program = scratch / "Program Files" / "Tarn Converter";
  test::installRecordingTool(program);
  const ToolCommand command =
      audioExtractionCommand(program.string(), "/v/pano input.mov", (program / "TEMP").string());
  EXPECT_EQ(command.text,
            program.string() +
                "/PLUG-IN/ffmpeg_III.exe -i \"/v/pano input.mov\" -f wav -ar 44100 -ac 2 "
                "-acodec pcm_s16le -y \"" +
                (program / "TEMP").string() + "/temp.wav\"");
  EXPECT_NE(runEncoderTool(command.arguments), -1);
  const auto made = test::recordedRuns(program);
  ASSERT_EQ(made.size(), 1u);
  EXPECT_EQ(made[0], (std::vector<std::string>{"-i", "/v/pano input.mov", "-f", "wav", "-ar",
                                               "44100", "-ac", "2", "-acodec", "pcm_s16le", "-y",
                                               (program / "TEMP").string() + "/temp.wav"}));
}

}  // namespace
}  // namespace tarn
