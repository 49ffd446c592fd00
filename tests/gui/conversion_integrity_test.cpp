// A conversion started from the window writes the whole movie, whatever the preview did before
// and whatever else is clicked while it runs.
#include <gtest/gtest.h>
#include <wx/button.h>

#include <filesystem>

#include "gui/dialogs.h"
#include "gui/main_window.h"
#include "gui/widgets.h"
#include "gui_harness.h"
#include "support/conversion_rig.h"

namespace tarn::test {
namespace {

using namespace std::chrono_literals;

size_t count(const std::string& text, const std::string& part) {
  size_t found = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++found;
  return found;
}

// The most ordinary use: the movie is loaded, its preview plays to the end, then Convert Movie,
// and once more with another compression.
TEST(ConversionIntegrityTest, AfterThePreviewReachedTheEndTheExportAndReexportHoldEveryFrame) {
  const std::filesystem::path movie = stripMovie(320, 80, 3);
  ASSERT_FALSE(movie.empty());
  ProgramFolder folder;
  DialogAnswers answers;
  const std::filesystem::path output = folder.path() / "whole.mp4";
  const std::filesystem::path again = folder.path() / "whole_again.mov";
  RunningProgram running(folder);
  MainWindow* window = running.window;
  Application& app = running.program->app();
  loadAndPlay(running, movie, "320x80");
  const int64_t duration = app.frameSource.durationTicks;
  ASSERT_GT(duration, 0);
  ASSERT_TRUE(pumpUntil([&] { return app.frameSource.positionTicks.load() == duration; }));
  pumpFor(300ms);  // the preview rests at its end

  // "Movie converted successfully.": OK, another file from the re-encode dialog; then Cancel.
  answers.queue(wxID_OK);
  answers.queue(wxID_CANCEL);
  answers.onDialog([&](wxDialog* shown) -> int {
    auto* dialog = dynamic_cast<ReencodeDialog*>(shown);
    if (!dialog) return wxID_CANCEL;
    running.choosers->files.push_back(again.string());
    dialog->selectFilePath();
    dialog->pressSave();
    return 2002;
  });
  running.choosers->files.push_back(output.string());
  window->runCommand(command::convert);

  EXPECT_EQ(count(folder.log(), "ConvertRectExport Begin"), 2u);
  ASSERT_FALSE(answers.messages().empty());
  EXPECT_EQ(answers.messages().front().rfind("Movie converted successfully.", 0), 0u)
      << answers.messages().front();
  expectWholeMovie(movie, output);
  expectWholeMovie(movie, again);
  EXPECT_TRUE(running.closeConfirmed(answers));
}

// Add Logo and "Set path for temporary Stream", by button and by command, while frames are being
// written: nothing is asked, nothing changes, and the run keeps its temporary folder to the end.
TEST(ConversionIntegrityTest, AddLogoAndTheTemporaryFolderDoNothingWhileAConversionRuns) {
  const std::filesystem::path movie = stripMovie(320, 80, 8);
  const std::filesystem::path logo =
      generatedMedia("gui_logo.jpg", "-f lavfi -i color=c=orange:size=600x60 -frames:v 1");
  ASSERT_FALSE(movie.empty());
  ASSERT_FALSE(logo.empty());
  ProgramFolder folder;
  DialogAnswers answers;
  answers.queue(wxID_CANCEL);  // no second compression
  const std::filesystem::path output = folder.path() / "guarded.mp4";
  const std::filesystem::path otherFolder = folder.path() / "elsewhere";
  std::filesystem::create_directory(otherFolder);
  RunningProgram running(folder);
  MainWindow* window = running.window;
  Application& app = running.program->app();
  const std::string tempFolder = app.settings.tempStreamFolder;
  loadAndPlay(running, movie, "320x80");
  const size_t requestsBefore = running.choosers->fileRequests.size();

  bool enabledDuringRun = true;
  std::vector<std::string> tempFilesDuringRun;
  WhenReady meddle(
      [&] {
        return app.frameSource.converting.load() == 1 && app.conversionRun.frameNumber.load() >= 5;
      },
      [&] {
        enabledDuringRun = window->pictureButton(command::addLogo)->IsEnabled() ||
                           window->folderButton()->IsEnabled() ||
                           window->isMenuEnabled(command::addLogo) ||
                           window->isMenuEnabled(command::tempFolder);
        // A click on each button, then each command as a menu choice reaching the handler.
        wxMouseEvent click(wxEVT_LEFT_UP);
        window->pictureButton(command::addLogo)->GetEventHandler()->ProcessEvent(click);
        wxCommandEvent press(wxEVT_BUTTON, command::tempFolder);
        press.SetEventObject(window->folderButton());
        window->folderButton()->GetEventHandler()->ProcessEvent(press);
        window->runCommand(command::addLogo);
        window->runCommand(command::tempFolder);
        tempFilesDuringRun = tempStreamFiles(tempFolder);
      });
  // What the choosers would answer if they were asked.
  running.choosers->files.push_back(output.string());
  running.choosers->files.push_back(logo.string());
  running.choosers->folders.push_back(otherFolder.string());
  window->runCommand(command::convert);

  ASSERT_TRUE(meddle.fired());
  EXPECT_FALSE(enabledDuringRun);
  EXPECT_FALSE(tempFilesDuringRun.empty());
  // Only the output chooser was shown; the logo and folder choosers never were.
  EXPECT_EQ(running.choosers->fileRequests.size(), requestsBefore + 1);
  EXPECT_TRUE(running.choosers->folderStarts.empty());
  EXPECT_EQ(app.settings.tempStreamFolder, tempFolder);
  EXPECT_EQ(window->folderLabel()->text(), tempFolder);
  EXPECT_EQ(window->logoStatus()->text(), "Logo not present, cylindrical format");
  EXPECT_EQ(folder.log().find("GetMultipleLogoFiles"), std::string::npos);
  // The run went through to its export with every frame, and cleaned its own folder.
  ASSERT_FALSE(answers.messages().empty());
  EXPECT_EQ(answers.messages().front().rfind("Movie converted successfully.", 0), 0u)
      << answers.messages().front();
  expectWholeMovie(movie, output);
  EXPECT_TRUE(tempStreamFiles(tempFolder).empty());
  EXPECT_TRUE(std::filesystem::is_empty(otherFolder));
  // Afterwards both act again.
  EXPECT_TRUE(window->pictureButton(command::addLogo)->IsEnabled());
  EXPECT_TRUE(window->folderButton()->IsEnabled());
  running.choosers->folders.push_back(otherFolder.string());
  window->runCommand(command::tempFolder);
  EXPECT_EQ(app.settings.tempStreamFolder, otherFolder.string());
  EXPECT_TRUE(running.closeConfirmed(answers));
}

}  // namespace
}  // namespace tarn::test
