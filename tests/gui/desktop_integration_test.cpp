// The window program as the desktop uses it: a movie given at start-up ("Open With"), files
// dropped onto the window, the user's own folders when the program folder is not the user's, and
// the notice of long runs.
#include <gtest/gtest.h>
#include <unistd.h>
#include <wx/dnd.h>
#include <wx/panel.h>

#include <filesystem>
#include <fstream>

#include "gui/file_drop.h"
#include "gui/main_window.h"
#include "gui/run_notice.h"
#include "gui/widgets.h"
#include "gui_harness.h"

namespace tarn::test {
namespace {
namespace fs = std::filesystem;
using namespace std::chrono_literals;

fs::path stripMovie() {
  return generatedMedia(
      "gui_strip.mp4",
      "-f lavfi -i testsrc2=size=320x80:rate=25 -f lavfi -i sine=frequency=440:sample_rate=44100 "
      "-t 1 -c:v libx264 -pix_fmt yuv420p -c:a aac -shortest");
}

fs::path wideMovie() {
  return generatedMedia("gui_wide_strip.mkv",
                        "-f lavfi -i testsrc2=size=480x120:rate=25 -t 1 -c:v libx264 "
                        "-pix_fmt yuv420p");
}

fs::path logoPicture() {
  return generatedMedia("gui_logo.jpg", "-f lavfi -i color=c=orange:size=600x60 -frames:v 1");
}

// What the desktop hands over on a drop, straight to the drop target's own handler (a drop
// through the X server's drag-and-drop protocol cannot be made without a second client).
bool drop(wxWindow* target, const std::vector<fs::path>& files) {
  auto* fileDrop = dynamic_cast<FileDrop*>(target->GetDropTarget());
  if (!fileDrop) {
    ADD_FAILURE() << "no file drop target";
    return false;
  }
  wxArrayString names;
  for (const fs::path& file : files) names.Add(wxString::FromUTF8(file.string()));
  return fileDrop->OnDropFiles(10, 10, names);
}

bool showsMovie(RunningProgram& running, const std::string& frameSize) {
  return pumpUntil([&] {
    return running.window->infoLabel(InfoLabel::frameSize)->text() == frameSize &&
           running.program->app().frameSource.currentGraph() != nullptr;
  });
}

std::string fileText(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

TEST(DesktopIntegrationTest, OpensTheMovieGivenAtStartAndTakesDroppedMoviesAndLogos) {
  const fs::path movie = stripMovie();
  const fs::path wide = wideMovie();
  const fs::path logo = logoPicture();
  ASSERT_FALSE(movie.empty() || wide.empty() || logo.empty());
  ProgramFolder folder;
  DialogAnswers answers;
  RunningProgram running(folder,
                         [&](ProgramOptions& options) { options.openAtStart = movie.string(); });
  MainWindow* window = running.window;
  Application& app = running.program->app();

  // Opened as Load Movie opens a chosen one, without a chooser.
  ASSERT_TRUE(showsMovie(running, "320x80"));
  EXPECT_TRUE(running.choosers->fileRequests.empty());
  EXPECT_EQ(app.frameSource.moviePath, movie.string());
  EXPECT_EQ(app.settings.movieFolder, movie.parent_path().string());
  EXPECT_NE(std::string(app.frameSource.probeText).find(" Video file: gui_strip.mp4"),
            std::string::npos);
  EXPECT_NE(folder.log().find("Render file: " + movie.string()), std::string::npos);

  // Files the movie chooser would not offer are refused and change nothing.
  EXPECT_FALSE(drop(window->clientArea(), {logo}));
  EXPECT_FALSE(drop(window->clientArea(), {movie.parent_path()}));
  EXPECT_FALSE(drop(window->clientArea(), {folder.path() / "missing.mp4"}));
  EXPECT_FALSE(drop(window->clientArea(), {movie, wide}));
  pumpFor(200ms);
  EXPECT_EQ(app.frameSource.moviePath, movie.string());

  // A movie dropped onto the window replaces the open one.
  EXPECT_TRUE(drop(window->clientArea(), {wide}));
  ASSERT_TRUE(showsMovie(running, "480x120"));
  EXPECT_EQ(app.frameSource.moviePath, wide.string());

  // The logo area takes pictures, not movies.
  EXPECT_FALSE(drop(window->logoPreview(), {movie}));
  EXPECT_EQ(window->logoStatus()->text(), "Logo not present, cylindrical format");
  EXPECT_TRUE(drop(window->logoPreview(), {logo}));
  ASSERT_TRUE(
      pumpUntil([&] { return window->logoStatus()->text() == "Logo present, spherical format"; }));
  EXPECT_EQ(app.logoFolder, logo.parent_path().string());
  EXPECT_TRUE(answers.messages().empty());
  EXPECT_TRUE(running.closeConfirmed(answers));
}

// An installed program: the program folder is not the user's, so the settings, the run log, the
// temporary stream folder and the probe report live in the user's folders, and nothing is
// written beside the executable.
TEST(DesktopIntegrationTest, KeepsItsFilesInTheUserFoldersWhenTheProgramFolderIsNotWritable) {
  const fs::path movie = stripMovie();
  ASSERT_FALSE(movie.empty());
  ProgramFolder folder;
  ScratchDir home;
  const UserFolders user{home / "config/tarn-converter", home / "state/tarn-converter",
                         home / "cache/tarn-converter"};
  ScopedEnvironment config("XDG_CONFIG_HOME", (home / "config").string());
  ScopedEnvironment state("XDG_STATE_HOME", (home / "state").string());
  ScopedEnvironment cache("XDG_CACHE_HOME", (home / "cache").string());
  fs::permissions(folder.path(), fs::perms::owner_write | fs::perms::group_write,
                  fs::perm_options::remove);
  // Root writes everywhere: there the layout is given, elsewhere the program finds it itself.
  const bool root = ::geteuid() == 0;
  const auto layout = [&](ProgramOptions& options) {
    if (root) options.paths = WorkingPaths::forUserFolders(folder.path(), user);
  };
  DialogAnswers answers;
  {
    RunningProgram running(folder, layout);
    MainWindow* window = running.window;
    EXPECT_EQ(running.program->app().paths.settingsPath, user.config / "TarnConverter.ini");
    EXPECT_EQ(window->folderLabel()->text(), (user.cache / "TEMP").string());
    EXPECT_TRUE(fs::is_directory(user.cache / "TEMP"));
    EXPECT_NE(fileText(user.state / "TarnConverter.log").find("Main Form Created Ok"),
              std::string::npos);

    ASSERT_TRUE(window->openMovieFile(movie.string()));
    ASSERT_TRUE(showsMovie(running, "320x80"));
    window->runCommand(command::fileInformation);
    ASSERT_FALSE(answers.asked().empty());
    EXPECT_EQ(answers.asked().back().title, "Video file information");
    const std::string description = answers.asked().back().message;
    EXPECT_EQ(description.rfind(" Video file: gui_strip.mp4\r\n", 0), 0u) << description;
    EXPECT_NE(description.find("stream #0:0"), std::string::npos) << description;
    EXPECT_NE(description.find("duration:"), std::string::npos) << description;

    window->runCommand(command::bitRateBase + 3);
    window->runCommand(command::codecModeBase + 5);
    window->runCommand(command::saveParameters);
    EXPECT_NE(fileText(user.config / "TarnConverter.ini").find("<BITRATE>3</BITRATE>"),
              std::string::npos);
    window->runCommand(command::bitRateBase + 1);  // not saved: the file keeps 3
    running.program->app().settings.autoSave = 0;
    EXPECT_TRUE(running.closeConfirmed(answers));
  }
  {
    RunningProgram again(folder, layout);
    EXPECT_TRUE(again.window->isChecked(command::bitRateBase + 3));
    EXPECT_TRUE(again.window->isChecked(command::codecModeBase + 5));
    EXPECT_TRUE(again.closeConfirmed(answers));
  }
  std::vector<std::string> beside;
  for (const auto& entry : fs::directory_iterator(folder.path())) {
    beside.push_back(entry.path().filename().string());
  }
  EXPECT_EQ(beside, std::vector<std::string>{"PLUG-IN"});
  EXPECT_FALSE(fs::exists(user.cache / "metrixVideoQuillon.txt"));
  fs::permissions(folder.path(), fs::perms::owner_write, fs::perm_options::add);
}

// A log or settings file that cannot be written is said once, not dropped in silence.
TEST(DesktopIntegrationTest, ReportsALogAndSettingsFileThatCannotBeWritten) {
  ProgramFolder folder;
  ScratchDir home;
  std::ofstream(home / "blocked") << "a file where a folder should be";
  const UserFolders user{home / "blocked/config", home / "blocked/state", home / "cache"};
  DialogAnswers answers;
  RunningProgram running(folder, [&](ProgramOptions& options) {
    options.paths = WorkingPaths::forUserFolders(folder.path(), user);
  });
  pumpFor(300ms);
  std::vector<std::string> messages = answers.messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].rfind("The run log cannot be written:\r\n" +
                                  (user.state / "TarnConverter.log").string() + "\r\n",
                              0),
            0u)
      << messages[0];

  running.program->app().frameSource.streamState = 1;  // Save parameters needs an open movie
  running.window->runCommand(command::saveParameters);
  running.program->app().frameSource.streamState = 0;
  pumpFor(300ms);
  messages = answers.messages();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[1].rfind("The settings cannot be saved:\r\n" +
                                  (user.config / "TarnConverter.ini").string() + "\r\n",
                              0),
            0u)
      << messages[1];
  EXPECT_EQ(answers.asked().back().title, "Error");
  running.program->app().settings.autoSave = 0;
  EXPECT_TRUE(running.closeConfirmed(answers));
}

TEST(DesktopIntegrationTest, NotifiesOnlyOfLongRunsThatEndWhileTheWindowIsNotActive) {
  std::chrono::steady_clock::time_point now{};
  std::vector<std::pair<std::string, std::string>> sent;
  RunNotice notice(
      [&] { return now; },
      [&](const std::string& title, const std::string& body) { sent.emplace_back(title, body); });
  const std::string ended = "Movie converted successfully.\r\nAgain?";

  EXPECT_FALSE(notice.messageShown("Exit IDE", "Are you sure?", false));  // no run timed
  notice.started();
  now += 29s;
  EXPECT_FALSE(notice.messageShown("Successful termination", ended, false));  // short run
  notice.started();
  now += 31s;
  EXPECT_FALSE(notice.messageShown("Successful termination", ended, true));  // user is there
  notice.started();
  now += 20s;
  notice.started();  // the export's encode within the same run keeps the run's start
  now += 20s;
  EXPECT_TRUE(notice.messageShown("Successful termination", ended, false));
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].first, "Successful termination");
  EXPECT_EQ(sent[0].second, "Movie converted successfully.\nAgain?");
  // The timing ends with the box, and with the command of a stopped run.
  now += 60s;
  EXPECT_FALSE(notice.messageShown("Successful termination", ended, false));
  notice.started();
  notice.finished();
  now += 60s;
  EXPECT_FALSE(notice.messageShown("Exit IDE", "Are you sure?", false));
  EXPECT_EQ(sent.size(), 1u);
}

}  // namespace
}  // namespace tarn::test
