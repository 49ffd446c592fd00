#include <gtest/gtest.h>
#include <wx/choice.h>
#include <wx/textctrl.h>

#include <filesystem>

#include "gui/dialogs.h"
#include "gui/main_window.h"
#include "gui/widgets.h"
#include "gui/wx_frontend.h"
#include "gui_harness.h"

namespace tarn::test {
namespace {

using namespace std::chrono_literals;

std::string videoSize(const std::filesystem::path& movie) {
  std::string output;
  runShell("ffprobe -v error -select_streams v:0 -show_entries stream=width,height -of csv=p=0 '" +
               movie.string() + "'",
           &output);
  // "width,height" and possibly more fields (side data) after them: keep the first two.
  const size_t first = output.find(',');
  const size_t second =
      first == std::string::npos ? first : output.find_first_of(",\r\n", first + 1);
  return output.substr(0, second);
}

size_t count(const std::string& text, const std::string& part) {
  size_t found = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++found;
  return found;
}

// The whole road through the window: load a movie, add a logo, convert it, encode it once more
// with other settings from the re-encode dialog, exit.
TEST(ConversionFlowTest, LoadLogoConvertReencodeAndExit) {
  const std::filesystem::path movie = generatedMedia(
      "gui_strip.mp4",
      "-f lavfi -i testsrc2=size=320x80:rate=25 -f lavfi -i sine=frequency=440:sample_rate=44100 "
      "-t 1 -c:v libx264 -pix_fmt yuv420p -c:a aac -shortest");
  const std::filesystem::path logo =
      generatedMedia("gui_logo.jpg", "-f lavfi -i color=c=orange:size=600x60 -frames:v 1");
  ASSERT_FALSE(movie.empty());
  ASSERT_FALSE(logo.empty());
  ProgramFolder folder;
  DialogAnswers answers;
  const std::filesystem::path output = folder.path() / "converted.mp4";
  const std::filesystem::path again = folder.path() / "again.webm";
  {
    RunningProgram running(folder);
    MainWindow* window = running.window;
    Application& app = running.program->app();

    running.choosers->files.push_back(movie.string());
    window->runCommand(command::load);
    ASSERT_TRUE(pumpUntil([&] {
      return window->infoLabel(InfoLabel::frameSize)->text() == "320x80" &&
             app.frameSource.currentGraph() != nullptr;
    }));
    EXPECT_EQ(running.choosers->fileRequests.back().title, "Load Video");
    EXPECT_EQ(app.settings.movieFolder, movie.parent_path().string());
    EXPECT_FALSE(app.frameSource.probeText.empty());
    // Playing: the preview shows frames.
    EXPECT_TRUE(pumpUntil([&] { return window->preview()->showsPicture(); }));

    running.choosers->files.push_back(logo.string());
    window->runCommand(command::addLogo);
    ASSERT_TRUE(pumpUntil(
        [&] { return window->logoStatus()->text() == "Logo present, spherical format"; }));
    EXPECT_EQ(window->logoStatus()->textColour(), wxColour(0, 255, 0));
    EXPECT_EQ(app.logoFolder, logo.parent_path().string());

    // The success question: OK opens the re-encode dialog, which picks the smallest quality,
    // half size and another file; the second question is answered with Cancel.
    answers.queue(wxID_OK);
    answers.queue(wxID_CANCEL);
    int reencodeDialogs = 0;
    answers.onDialog([&](wxDialog* shown) -> int {
      auto* dialog = dynamic_cast<ReencodeDialog*>(shown);
      if (!dialog) return wxID_CANCEL;
      ++reencodeDialogs;
      EXPECT_EQ(dialog->pathEdit()->GetValue(), output.string());
      dialog->chooseQuality(21);
      dialog->chooseResize(5);
      running.choosers->files.push_back(again.string());
      dialog->selectFilePath();
      dialog->pressSave();
      return 2002;
    });
    running.choosers->files.push_back(output.string());
    window->runCommand(command::convert);

    EXPECT_EQ(reencodeDialogs, 1);
    EXPECT_EQ(running.choosers->fileRequests[2].title, "Save Rectangular Video");
    EXPECT_EQ(running.choosers->fileRequests[2].initialName, "gui_strip_Unwrapped");
    const std::vector<std::string> messages = answers.messages();
    EXPECT_EQ(count(folder.log(), "ConvertRectExport Begin"), 2u);
    ASSERT_GE(messages.size(), 2u);
    EXPECT_EQ(messages[0],
              "Movie converted successfully.\r\nDo you want to save it with another compression "
              "value ?");
    EXPECT_EQ(videoSize(output), "320,160");
    EXPECT_EQ(videoSize(again), "160,80");
    expectWholeMovie(movie, output);
    expectWholeMovie(movie, again);
    EXPECT_EQ(window->qualityList()->GetStringSelection(), "21:Min size");
    EXPECT_TRUE(window->isChecked(875));
    EXPECT_TRUE(window->controlsEnabled());
    EXPECT_EQ(window->caption(207)->text(), " Operation:");

    EXPECT_TRUE(running.closeConfirmed(answers));
  }
  // A movie was opened and auto-save is on: the settings were written at exit.
  EXPECT_TRUE(std::filesystem::exists(folder.path() / "TarnConverter.ini"));
  const std::string log = folder.log();
  EXPECT_NE(log.find("Main Form Created Ok"), std::string::npos);
  EXPECT_NE(log.find("EXIT3"), std::string::npos);
}

}  // namespace
}  // namespace tarn::test
