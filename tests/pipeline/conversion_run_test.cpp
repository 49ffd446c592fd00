#include "conversion/conversion_run.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "encoding/temp_cleanup.h"
#include "support/conversion_rig.h"
#include "support/recording_frontend.h"
#include "support/recording_tool.h"

namespace tarn {
namespace {
namespace fs = std::filesystem;

// The tool extracts the sound for real, records every run, and "encodes" by writing a few bytes
// to the output path (or nothing, with `writeOutput` false). As the real tool, an encode that
// follows the frames being written makes its movie only once told they are complete.
std::string toolScript(bool writeOutput) {
  std::string script =
      "case \"$*\" in *\"-f wav\"*) exec ffmpeg -nostdin -loglevel error \"$@\";; esac\n";
  if (writeOutput) {
    script +=
        "if [ \"$FFMPEG_III_FRAMES_PENDING\" = 1 ] && [ \"$(cat)\" != 1 ]; then exit 1; fi\n"
        "for last; do :; done; printf movie > \"$last\"\n";
  }
  return script;
}

std::vector<uint8_t> fileBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

bool rowIsBlack(const std::vector<uint8_t>& bmp, int32_t width, int32_t row) {
  const size_t start = 54 + static_cast<size_t>(row) * width * 4;
  return std::all_of(bmp.begin() + start, bmp.begin() + start + width * 4,
                     [](uint8_t b) { return b == 0; });
}

int countFrameFiles(const fs::path& folder) {
  int count = 0;
  for (const auto& entry : fs::directory_iterator(folder)) {
    if (entry.is_regular_file() && isFrameFileName(entry.path().filename().string())) ++count;
  }
  return count;
}

TEST(ConversionRun, FramesSoundAndTheExactEncodeCommand) {
  test::ConversionRig rig;
  test::installRecordingTool(rig.dir.path(), toolScript(false));
  ASSERT_TRUE(rig.openMovie(test::stripMovie(320, 80, 2)));
  test::RecordingFrontend frontend;
  const std::string output = (rig.dir / "out.mp4").string();
  std::ofstream(output) << "stale output of an earlier run";

  int framesSeen = 0;
  const auto checkFrames = [&] {
    framesSeen = countFrameFiles(rig.tempFolder());
    const auto first = fileBytes(rig.tempFolder() / "temp000000.bmp");
    ASSERT_EQ(first.size(), 54u + 320 * 160 * 4);
    EXPECT_EQ(first[0], 'B');
    EXPECT_EQ(first[22], 160);  // height Hc
    for (int32_t row : {0, 40, 119, 159}) EXPECT_TRUE(rowIsBlack(first, 320, row)) << row;
    for (int32_t row : {41, 80, 118}) EXPECT_FALSE(rowIsBlack(first, 320, row)) << row;
    EXPECT_GT(fs::file_size(rig.tempFolder() / "temp.wav"), 0u);
  };
  EXPECT_EQ(rig.convert(frontend, output, checkFrames), ConversionOutcome::notCreated);

  EXPECT_EQ(framesSeen, 50);
  EXPECT_EQ(rig.app.conversionRun.frameNumber, 50);
  // The tool "wrote" nothing: never a success, the earlier file stays as it was (it does not pass
  // for this run's output), another try is offered.
  EXPECT_EQ(fileBytes(output).size(), std::string("stale output of an earlier run").size());
  ASSERT_EQ(frontend.messages().size(), 1u);
  EXPECT_EQ(frontend.messages()[0].text,
            "Output movie was not created.\r\nno output file was written\r\nDo you want to save "
            "it with another compression value ?");
  EXPECT_EQ(frontend.messages()[0].caption, "Error Monitoring");
  EXPECT_EQ(frontend.messages()[0].icon, MessageIcon::error);
  EXPECT_EQ(frontend.messages()[0].buttons, MessageButtons::okCancel);

  const auto runs = test::recordedRuns(rig.dir.path());
  ASSERT_EQ(runs.size(), 2u);
  const std::string temp = rig.tempFolder().string();
  EXPECT_EQ(runs[0], (std::vector<std::string>{"-i", rig.app.frameSource.moviePath.get(), "-f",
                                               "wav", "-ar", "44100", "-ac", "2", "-acodec",
                                               "pcm_s16le", "-y", temp + "/temp.wav"}));
  EXPECT_EQ(runs[1], (std::vector<std::string>{"-r",     "25.00",
                                               "-i",     temp + "/temp%06d.bmp",
                                               "-i",     temp + "/temp.wav",
                                               "-ac",    "2",
                                               "-ar",    "44100",
                                               "-r",     "30",
                                               "-t",     "00:00:02.000",
                                               "-sameq", "-qscale",
                                               "15",     "-f",
                                               "mp4",    "-y",
                                               output}));

  // Cleanup: no frame or sound file is left, the flags are down.
  EXPECT_EQ(countFrameFiles(rig.tempFolder()), 0);
  EXPECT_FALSE(fs::exists(rig.tempFolder() / "temp.wav"));
  EXPECT_EQ(rig.app.frameSource.converting, 0);
  EXPECT_EQ(rig.app.frameSource.streamState, 0);
  EXPECT_EQ(frontend.operationCaption(), " Operation:");

  const std::string log = rig.log();
  for (const char* line :
       {"Set Stream to 0 position", "Set MovieDuration", "Checking 16x16", "LOGO PRESENT = 0",
        "OS_DIRECT_ACCESS = 1", "Begin Convert Process", "ConvertRectExport Begin",
        "ConvertRectFFMPEG aVideoEXT .mp4", "ConvertRectExport End", "ConvertRectExport 1",
        "ConvertRectExport 2", "ConvertRectExport 3", "Convert Movie End "}) {
    EXPECT_NE(log.find(std::string("\r\n") + line), std::string::npos) << line;
  }
}

TEST(ConversionRun, ReExportLoopAndAnOutputThatIsTheMovie) {
  test::ConversionRig rig;
  test::installRecordingTool(rig.dir.path(), toolScript(true));
  ASSERT_TRUE(rig.openMovie(test::stripMovie(320, 80, 1)));
  test::RecordingFrontend frontend;
  const std::string first = (rig.dir / "first.flv").string();
  const std::string second = (rig.dir / "second.avi").string();
  frontend.queueAnswer(MessageAnswer::ok);                                // success: once more
  frontend.queueReencodePath(" " + rig.app.frameSource.moviePath.get());  // the movie: refused
  frontend.queueAnswer(MessageAnswer::ok);                                // the refusal box
  frontend.queueReencodePath(second);
  frontend.queueAnswer(MessageAnswer::cancel);  // second success: done
  const auto movieBefore = fileBytes(rig.app.frameSource.moviePath.get());
  EXPECT_EQ(rig.convert(frontend, first), ConversionOutcome::converted);

  const auto messages = frontend.messages();
  ASSERT_EQ(messages.size(), 3u);
  EXPECT_EQ(messages[0].text,
            "Movie converted successfully.\r\nDo you want to save it with another compression "
            "value ?");
  EXPECT_EQ(messages[0].caption, "Successful termination");
  EXPECT_EQ(messages[1].text, "Incorrect name of output file");
  EXPECT_EQ(messages[2].caption, "Successful termination");
  const auto runs = test::recordedRuns(rig.dir.path());
  ASSERT_EQ(runs.size(), 3u);  // sound, first encode, second encode
  EXPECT_EQ(runs[1].back(), first);
  EXPECT_EQ(runs[2].back(), second);
  EXPECT_EQ(fileBytes(rig.app.frameSource.moviePath.get()), movieBefore);
  EXPECT_EQ(frontend.reencodeDialogPaths(),
            (std::vector<std::string>{first, " " + rig.app.frameSource.moviePath.get()}));
}

// Stops the run from the streaming thread once a few frames are through.
class StoppingFrontend : public test::RecordingFrontend {
 public:
  std::atomic<int32_t>* stopRequest = nullptr;
  std::atomic<int> frames{0};
  void drawFramePreview(const PreviewFrame& frame) override {
    RecordingFrontend::drawFramePreview(frame);
    if (frame.converting && ++frames == 3) *stopRequest = 1;
  }
};

TEST(ConversionRun, StopEndsTheRunWithoutExportAndCleansUp) {
  test::ConversionRig rig;
  test::installRecordingTool(rig.dir.path(), toolScript(true));
  ASSERT_TRUE(rig.openMovie(test::stripMovie(320, 80, 2)));
  StoppingFrontend frontend;
  frontend.stopRequest = &rig.app.conversionRun.conversionStopRequest;
  bool exported = false;
  EXPECT_EQ(rig.convert(frontend, (rig.dir / "out.webm").string(), [&] { exported = true; }),
            ConversionOutcome::stopped);
  EXPECT_FALSE(exported);
  EXPECT_TRUE(frontend.messages().empty());
  EXPECT_EQ(frontend.progressWindowsOpened(), 0);
  EXPECT_FALSE(fs::exists(rig.dir / "out.webm"));
  EXPECT_EQ(countFrameFiles(rig.tempFolder()), 0);
  EXPECT_EQ(rig.app.conversionRun.conversionStopRequest, 0);
  const std::string log = rig.log();
  EXPECT_EQ(log.find("ConvertRectExport Begin"), std::string::npos);
  EXPECT_NE(log.find("ConvertRectExport 3\r\n"), std::string::npos);
  EXPECT_NE(log.find("Convert Movie End "), std::string::npos);
}

TEST(ConversionRun, AnEncodeThatFailsIsNoSuccessAndSaysWhy) {
  test::ConversionRig rig;
  // Fails the way the tool does: its reason as its last error line, a non-zero status.
  test::installRecordingTool(
      rig.dir.path(),
      toolScript(false) + "echo 'ffmpeg_III: error: no space left in /videos' >&2\nexit 1\n");
  ASSERT_TRUE(rig.openMovie(test::stripMovie(320, 80, 1)));
  test::RecordingFrontend frontend;
  const fs::path output = rig.dir / "out.mp4";
  EXPECT_EQ(rig.convert(frontend, output.string()), ConversionOutcome::notCreated);
  EXPECT_FALSE(fs::exists(output));
  ASSERT_EQ(frontend.messages().size(), 1u);
  EXPECT_EQ(frontend.messages()[0].text.rfind(
                "Output movie was not created.\r\nno space left in /videos\r\n", 0),
            0u)
      << frontend.messages()[0].text;
}

// The encode starts while the sound is being extracted, and the frame stage makes only its first
// frames meanwhile. When the extraction makes no sound after all, that encode is given up and the
// movie is encoded without sound instead.
TEST(ConversionRun, AnEncodeStartedBeforeTheSoundIsRedoneWhenNoSoundIsMade) {
  test::ConversionRig rig;
  const fs::path pending = rig.dir / "pending.txt";
  const fs::path framesMeanwhile = rig.dir / "frames-during-extraction.txt";
  test::installRecordingTool(
      rig.dir.path(),
      "case \"$*\" in *\"-f wav\"*) sleep 0.5; ls '" + rig.tempFolder().string() +
          "' | grep -c 'bmp$' > '" + framesMeanwhile.string() +
          "'; exit 1;; esac\n"
          "echo \"${FFMPEG_III_SOUND_PENDING:-0}\" >> '" +
          pending.string() +
          "'\n"
          // An encode writes its movie once the converter says the frames are complete.
          "frames=$(cat); for last; do :; done\n"
          "[ \"$frames\" = 1 ] && printf movie > \"$last\"\n");
  ASSERT_TRUE(rig.openMovie(test::stripMovie(320, 80, 1)));
  test::RecordingFrontend frontend;
  const fs::path output = rig.dir / "out.mp4";
  EXPECT_EQ(rig.convert(frontend, output.string()), ConversionOutcome::converted);

  EXPECT_EQ(fileBytes(output).size(), std::string("movie").size());
  const auto runs = test::recordedRuns(rig.dir.path());
  ASSERT_EQ(runs.size(), 3u);  // sound, encode with sound, encode without
  const std::string wav = (rig.tempFolder() / "temp.wav").string();
  EXPECT_NE(std::find(runs[1].begin(), runs[1].end(), wav), runs[1].end());
  EXPECT_EQ(std::find(runs[2].begin(), runs[2].end(), wav), runs[2].end());
  std::ifstream said(pending);
  const std::string pendingFlags{std::istreambuf_iterator<char>(said), {}};
  EXPECT_EQ(pendingFlags, "1\n0\n");
  std::ifstream counted(framesMeanwhile);
  int frames = -1;
  counted >> frames;
  EXPECT_GE(frames, 0);
  EXPECT_LE(frames, 3);
}

TEST(ConversionRun, AFrameFileThatCannotBeWrittenEndsTheRun) {
  test::ConversionRig rig;
  test::installRecordingTool(rig.dir.path(), toolScript(true));
  ASSERT_TRUE(rig.openMovie(test::stripMovie(320, 80, 1)));
  // A folder where frame 3 belongs: its file cannot be written, as on a full disk.
  fs::create_directories(rig.tempFolder() / "temp000003.bmp");
  test::RecordingFrontend frontend;
  EXPECT_EQ(rig.convert(frontend, (rig.dir / "out.mov").string()), ConversionOutcome::failed);
  ASSERT_EQ(frontend.messages().size(), 1u);
  EXPECT_NE(frontend.messages()[0].text.find("A frame file could not be written"),
            std::string::npos);
  EXPECT_EQ(frontend.messages()[0].caption, "Error Monitoring");
  EXPECT_GE(rig.app.conversionRun.frameNumber, 3);  // the writer may be a frame behind
  EXPECT_EQ(frontend.progressWindowsOpened(), 0);
  EXPECT_FALSE(fs::exists(rig.dir / "out.mov"));
  EXPECT_EQ(countFrameFiles(rig.tempFolder()), 0);
}

TEST(ConversionRun, TemporaryFolderIsMadeOrTheRunRefusedBeforeDeletingAnything) {
  test::ConversionRig rig;
  test::installRecordingTool(rig.dir.path(), toolScript(true));
  ASSERT_TRUE(rig.openMovie(test::stripMovie(320, 80, 1)));
  const std::string output = (rig.dir / "out.ogv").string();
  std::ofstream(output) << "kept";

  // Under a plain file no folder can be made.
  std::ofstream(rig.dir / "plain-file") << "x";
  rig.app.settings.tempStreamFolder = (rig.dir / "plain-file" / "TEMP").string();
  test::RecordingFrontend refusing;
  EXPECT_EQ(rig.convert(refusing, output), ConversionOutcome::failed);
  ASSERT_EQ(refusing.messages().size(), 1u);
  EXPECT_NE(refusing.messages()[0].text.find("cannot be created"), std::string::npos);
  EXPECT_EQ(fileBytes(output).size(), 4u);

  // A folder that cannot hold even two frame files is refused before any is written.
  rig.app.settings.tempStreamFolder = (rig.dir / "new" / "TEMP").string();
  rig.app.conversionRun.tempFolderSpace = [](const std::string&) {
    return std::optional<FolderSpace>(FolderSpace{300000, 300000, 1000000});
  };
  test::RecordingFrontend full;
  EXPECT_EQ(rig.convert(full, output), ConversionOutcome::refused);
  ASSERT_EQ(full.messages().size(), 1u);
  EXPECT_NE(full.messages()[0].text.find("Not enough free space"), std::string::npos);
  EXPECT_EQ(fileBytes(output).size(), 4u);
  EXPECT_TRUE(fs::is_directory(rig.dir / "new" / "TEMP"));  // made at the start
  rig.app.conversionRun.tempFolderSpace = {};

  // Unknown frame count and frame duration: nothing divides by zero, the run converts.
  rig.app.frameSource.totalFrames = 0;
  rig.app.frameSource.timePerFrame = 0;
  test::RecordingFrontend unknown;
  EXPECT_EQ(rig.convert(unknown, output), ConversionOutcome::converted);
  EXPECT_EQ(unknown.progressStripWidth(), 0);
  const auto runs = test::recordedRuns(rig.dir.path());
  ASSERT_FALSE(runs.empty());
  EXPECT_EQ(runs.back()[0], "-r");
  EXPECT_EQ(runs.back()[1], "30");
}

}  // namespace
}  // namespace tarn
