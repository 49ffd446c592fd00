// How a conversion started from the window ends early: Stop pressed, the window closed; and the
// playback's own end.
#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "gui/main_window.h"
#include "gui/widgets.h"
#include "gui_harness.h"
#include "support/sound_movies.h"

namespace tarn::test {
namespace {

using namespace std::chrono_literals;

// Twenty seconds of a strip with sound: a conversion of it is still writing frames when stopped.
std::filesystem::path longMovie() {
  return generatedMedia(
      "gui_long_strip.mp4",
      "-f lavfi -i testsrc2=size=320x80:rate=25 -f lavfi -i sine=frequency=440:sample_rate=44100 "
      "-t 20 -c:v libx264 -pix_fmt yuv420p -c:a aac -shortest");
}

// Where `line` first stands in the log, or npos.
size_t at(const std::string& log, const std::string& line) {
  return log.find(line + "\r\n");
}

bool anyMessageStartsWith(const DialogAnswers& answers, const std::string& start) {
  for (const std::string& message : answers.messages()) {
    if (message.rfind(start, 0) == 0) return true;
  }
  return false;
}

// The end steps of a run that ended without an export, in their order.
void expectEndStepsWithoutExport(const std::string& log) {
  EXPECT_EQ(log.find("ConvertRectExport Begin"), std::string::npos);
  const size_t one = at(log, "ConvertRectExport 1");
  const size_t two = at(log, "ConvertRectExport 2");
  const size_t three = at(log, "ConvertRectExport 3");
  const size_t end = log.find("Convert Movie End ");
  ASSERT_NE(one, std::string::npos) << log;
  ASSERT_NE(two, std::string::npos);
  ASSERT_NE(three, std::string::npos);
  ASSERT_NE(end, std::string::npos);
  EXPECT_LT(one, two);
  EXPECT_LT(two, three);
  EXPECT_LT(three, end);
}

TEST(RunEndTest, StopDuringAConversionEndsItWithoutExportAndLeavesTheWindowUsable) {
  const auto movie = longMovie();
  ASSERT_FALSE(movie.empty());
  ProgramFolder folder;
  DialogAnswers answers;
  const std::filesystem::path output = folder.path() / "stopped.mp4";
  RunningProgram running(folder);
  MainWindow* window = running.window;
  Application& app = running.program->app();
  loadAndPlay(running, movie, "320x80");

  // Stop is clicked while frames are being written.
  PictureButton* stop = window->pictureButton(command::stop);
  int32_t framesAtStop = -1;
  WhenReady pressStop(
      [&] {
        return app.frameSource.converting.load() == 1 && app.conversionRun.frameNumber.load() >= 10;
      },
      [&] {
        framesAtStop = app.conversionRun.frameNumber.load();
        wxMouseEvent click(wxEVT_LEFT_UP);
        stop->GetEventHandler()->ProcessEvent(click);
      });
  running.choosers->files.push_back(output.string());
  window->runCommand(command::convert);

  ASSERT_TRUE(pressStop.fired());
  EXPECT_LT(app.conversionRun.frameNumber.load(), 500);  // not all twenty seconds
  EXPECT_GE(app.conversionRun.frameNumber.load(), framesAtStop);
  // No export, no success message; the end steps ran.
  EXPECT_FALSE(anyMessageStartsWith(answers, "Movie converted successfully."));
  EXPECT_FALSE(std::filesystem::exists(output));
  expectEndStepsWithoutExport(folder.log());
  EXPECT_TRUE(tempStreamFiles(app.settings.tempStreamFolder).empty());
  EXPECT_TRUE(pumpUntil([] { return childProcesses().empty(); }, 10s));
  EXPECT_EQ(app.frameSource.converting.load(), 0);
  EXPECT_EQ(app.conversionRun.conversionStopRequest.load(), 0);
  EXPECT_TRUE(window->controlsEnabled());
  EXPECT_TRUE(window->pictureButton(command::convert)->IsEnabled());
  EXPECT_EQ(window->caption(207)->text(), " Operation:");
  EXPECT_EQ(window->infoLabel(InfoLabel::operation)->text(), "");

  // The run closed the movie; the window loads it again, plays and pauses it.
  ASSERT_TRUE(pumpUntil([&] { return app.frameSource.sourceActive.load() == 0; }));
  loadAndPlay(running, movie, "320x80");
  EXPECT_TRUE(pumpUntil([&] { return window->preview()->showsPicture(); }));
  window->runCommand(command::playPause);
  EXPECT_EQ(app.frameSource.previewPaused.load(), 1);
  EXPECT_TRUE(running.closeConfirmed(answers));
}

TEST(RunEndTest, ClosingTheWindowDuringAConversionRunsTheExitSequenceAndLeavesNothingRunning) {
  const auto movie = longMovie();
  ASSERT_FALSE(movie.empty());
  ProgramFolder folder;
  const std::filesystem::path output = folder.path() / "closed.mp4";
  std::filesystem::path tempFolder;
  const int threadsBefore = ownThreadCount();
  {
    DialogAnswers answers;
    RunningProgram running(folder);
    MainWindow* window = running.window;
    Application& app = running.program->app();
    tempFolder = app.settings.tempStreamFolder;
    loadAndPlay(running, movie, "320x80");

    // The close box while frames are being written; "Are you sure?" is answered with OK.
    answers.queue(wxID_OK);
    WhenReady closeWindow(
        [&] {
          return app.frameSource.converting.load() == 1 &&
                 app.conversionRun.frameNumber.load() >= 10;
        },
        [&] { window->Close(); });
    running.choosers->files.push_back(output.string());
    window->runCommand(command::convert);

    ASSERT_TRUE(closeWindow.fired());
    // The window ends once the conversion below the close request has returned.
    EXPECT_TRUE(pumpUntil([&] { return running.program->window() == nullptr; }));
    ASSERT_FALSE(answers.asked().empty());
    EXPECT_EQ(answers.asked().front().title, "Exit IDE");
    EXPECT_EQ(answers.asked().front().message, "Are you sure?");
    EXPECT_FALSE(anyMessageStartsWith(answers, "Movie converted successfully."));
    running.program->finish();
  }

  const std::string log = folder.log();
  const size_t exit = at(log, "EXIT");
  const size_t exit2 = at(log, "EXIT2");
  const size_t exit3 = at(log, "EXIT3");
  ASSERT_NE(exit, std::string::npos) << log;
  ASSERT_NE(exit2, std::string::npos);
  ASSERT_NE(exit3, std::string::npos);
  EXPECT_LT(exit, exit2);
  EXPECT_LT(exit2, exit3);
  expectEndStepsWithoutExport(log);
  EXPECT_NE(at(log, "File exit Final"), std::string::npos);
  // A movie was opened and auto-save is on: the settings were written.
  EXPECT_TRUE(std::filesystem::exists(folder.path() / "TarnConverter.ini"));
  EXPECT_FALSE(std::filesystem::exists(output));
  EXPECT_TRUE(tempStreamFiles(tempFolder).empty());
  // Nothing of the program runs on: no encoder tool or ffmpeg child, no thread of its own.
  EXPECT_TRUE(pumpUntil([] { return childProcesses().empty(); }, 10s));
  EXPECT_TRUE(pumpUntil([&] { return ownThreadCount() <= threadsBefore; }, 10s))
      << ownThreadCount() << " threads, " << threadsBefore << " before";
}

TEST(RunEndTest, PlayPauseAtTheEndRewindsAndPlaysAgainWithTheMoviesSound) {
  ASSERT_FALSE(toneMovie().empty());
  // SDL's dummy driver: an audio device that plays into nothing, so the movie's sound is fed.
  ScopedEnvironment driver("SDL_AUDIODRIVER", "dummy");
  ProgramFolder folder;
  DialogAnswers answers;
  RunningProgram running(folder);
  MainWindow* window = running.window;
  Application& app = running.program->app();
  EXPECT_NE(app.movieSound, nullptr);
  loadAndPlay(running, toneMovie(), "64x32");
  const int64_t duration = app.frameSource.durationTicks;
  ASSERT_GT(duration, 0);

  for (int round = 0; round < 2; ++round) {
    // The playback reaches the end and stays there, the strip full.
    ASSERT_TRUE(pumpUntil([&] {
      return app.frameSource.positionTicks.load() == duration &&
             window->progressStrip()->GetSize().GetWidth() == 1012;
    })) << round;
    // The first press pauses; the second one rewinds, resets the strip and plays.
    window->runCommand(command::playPause);
    EXPECT_EQ(app.frameSource.previewPaused.load(), 1);
    window->runCommand(command::playPause);
    EXPECT_EQ(app.frameSource.previewPaused.load(), 0);
    EXPECT_LT(app.frameSource.positionTicks.load(), duration);
    EXPECT_EQ(window->progressStrip()->GetSize().GetWidth(), 1);
    ASSERT_TRUE(pumpUntil([&] {
      const int64_t position = app.frameSource.positionTicks.load();
      return position > 0 && position < duration;
    })) << round;
  }
  EXPECT_TRUE(running.closeConfirmed(answers));
}

// The toolkit's own movie chooser, answered the way a user does: the path typed, then Return.
TEST(RunEndTest, TheToolkitMovieChooserOpensTheTypedPath) {
  const std::filesystem::path movie = lateToneMovie();
  ASSERT_FALSE(movie.empty());
  ProgramFolder folder;
  RunningProgram running(folder, false, true);
  const std::string path = movie.string();
  int typed = -1;
  std::thread user([&] {
    // Waits for the chooser, types into it, and cancels it if it did not close, so that a fault
    // fails the test instead of hanging it.
    typed = runShell(
        "for i in $(seq 150); do id=$(xdotool search --name '^Load Video$' | head -1); "
        "[ -n \"$id\" ] && break; sleep 0.1; done; [ -n \"$id\" ] || exit 3; sleep 0.8; "
        "xdotool windowfocus --sync \"$id\" && xdotool key ctrl+a && "
        "xdotool type --delay 15 '" +
        path +
        "' && sleep 0.3 && xdotool key Return || exit 4; "
        "for i in $(seq 50); do xdotool search --name '^Load Video$' >/dev/null || exit 0; "
        "sleep 0.1; done; xdotool windowfocus \"$id\"; xdotool key Escape; exit 5");
  });
  running.window->runCommand(command::load);
  user.join();
  EXPECT_EQ(typed, 0);
  Application& app = running.program->app();
  EXPECT_TRUE(pumpUntil([&] {
    return running.window->infoLabel(InfoLabel::frameSize)->text() == "64x32" &&
           app.frameSource.currentGraph() != nullptr;
  }));
  EXPECT_EQ(app.frameSource.moviePath.get(), path);
  EXPECT_EQ(app.settings.movieFolder, movie.parent_path().string());

  DialogAnswers answers;
  EXPECT_TRUE(running.closeConfirmed(answers));
}

}  // namespace
}  // namespace tarn::test
