#include <gtest/gtest.h>
#include <wx/choice.h>
#include <wx/textctrl.h>

#include <thread>

#include "gui/dialogs.h"
#include "gui/main_window.h"
#include "gui/preview_feed.h"
#include "gui/widgets.h"
#include "gui/wx_frontend.h"
#include "gui_harness.h"
#include "resources/resources.h"
#include "resources/tick_wave.h"

namespace tarn::test {
namespace {

using namespace std::chrono_literals;

uint32_t bgr(uint8_t red, uint8_t green, uint8_t blue) {
  return static_cast<uint32_t>(blue) | (static_cast<uint32_t>(green) << 8) |
         (static_cast<uint32_t>(red) << 16);
}

TEST(PreviewStretchTest, KeepsFlatColoursExactAndTurnsTheBottomRowFirstPictureUpright) {
  // 4 x 2 source, bottom row (first in memory) red, top row blue, enlarged and shrunk.
  std::vector<uint32_t> source = {bgr(255, 0, 0), bgr(255, 0, 0), bgr(255, 0, 0), bgr(255, 0, 0),
                                  bgr(0, 0, 255), bgr(0, 0, 255), bgr(0, 0, 255), bgr(0, 0, 255)};
  for (const auto& [width, height] : {std::pair{12, 8}, std::pair{3, 2}, std::pair{1014, 200}}) {
    std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3, 7);
    stretchToRgb(source.data(), 4, 2, rgb.data(), width, height);
    // Top output row: blue; bottom output row: red; every channel exact.
    EXPECT_EQ(rgb[0], 0) << width;
    EXPECT_EQ(rgb[2], 255) << width;
    const size_t last = (static_cast<size_t>(height) - 1) * width * 3;
    EXPECT_EQ(rgb[last], 255) << width;
    EXPECT_EQ(rgb[last + 2], 0) << width;
    for (int x = 0; x < width; ++x) EXPECT_EQ(rgb[static_cast<size_t>(x) * 3 + 2], 255);
  }
}

TEST(PreviewStretchTest, ShrinkingAveragesInsteadOfPickingSamples) {
  // A one-pixel checkerboard of black and white shrunk four times becomes an even grey, where
  // picking single samples would give black or white.
  const int width = 64, height = 16;
  std::vector<uint32_t> source(static_cast<size_t>(width) * height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      source[static_cast<size_t>(y) * width + x] = ((x + y) % 2) ? bgr(255, 255, 255) : 0;
  std::vector<uint8_t> rgb(16 * 4 * 3);
  stretchToRgb(source.data(), width, height, rgb.data(), 16, 4);
  for (uint8_t value : rgb) {
    EXPECT_GT(value, 100);
    EXPECT_LT(value, 155);
  }
}

TEST(PreviewFeedTest, ProducersNeverWaitAndTheWindowGetsTheNewestPicture) {
  PreviewFeed feed(8, 4);
  std::vector<uint32_t> pixels(4 * 2, bgr(10, 20, 30));
  PreviewFrame frame{pixels.data(), 4, 2, false, {}};
  EXPECT_TRUE(feed.putFrame(frame));  // first: the window must be told
  EXPECT_FALSE(feed.putTitle());      // already told: the newest one will be taken
  const PreviewPicture* taken = feed.take();
  ASSERT_NE(taken, nullptr);
  EXPECT_EQ(taken->kind, PreviewPicture::Kind::title);
  EXPECT_EQ(feed.take(), nullptr);  // nothing new

  // Many frames from two threads at once: each put returns without waiting for a take, and the
  // hand-overs asked for never run ahead of the takes by more than one.
  std::atomic<int> scheduled{0};
  std::atomic<int> producersDone{0};
  auto produce = [&](uint8_t shade) {
    std::vector<uint32_t> own(4 * 2, bgr(shade, shade, shade));
    PreviewFrame mine{own.data(), 4, 2, true, {"a", "b", "c", "d"}};
    for (int i = 0; i < 500; ++i) scheduled += feed.putFrame(mine) ? 1 : 0;
    producersDone += 1;
  };
  std::thread first(produce, 50);
  std::thread second(produce, 200);
  int takeCalls = 0;
  bool ahead = false;
  while (producersDone.load() < 2) {
    feed.take();
    ++takeCalls;
    ahead = ahead || scheduled.load() > takeCalls + 1;
  }
  first.join();
  second.join();
  EXPECT_FALSE(ahead);
  const PreviewPicture* last = feed.take();
  if (last) {
    EXPECT_TRUE(last->converting);
    EXPECT_EQ(last->progressLines[3], "d");
    EXPECT_TRUE(last->rgb[0] == 50 || last->rgb[0] == 200);
  }
}

TEST(ResourcesTest, EveryNamedPictureExistsInItsSize) {
  DialogAnswers answers;
  const auto resources = Resources::draw();
  for (const char* name : {"b_load", "b_pause", "b_convert", "b_save", "b_stopt", "b_logo"}) {
    for (int state = 1; state <= 3; ++state) {
      const std::string full = name + std::to_string(state);
      ASSERT_TRUE(resources->hasBitmap(full)) << full;
      EXPECT_EQ(resources->bitmap(full).GetSize(), wxSize(195, 24)) << full;
    }
  }
  for (int state = 1; state <= 3; ++state) {
    EXPECT_EQ(resources->bitmap("help" + std::to_string(state)).GetSize(), wxSize(97, 24));
  }
  for (int frame = 1; frame <= 4; ++frame) {
    EXPECT_EQ(resources->bitmap("load" + std::to_string(frame)).GetSize(), wxSize(100, 100));
  }
  EXPECT_EQ(resources->bitmap("tomline").GetSize(), wxSize(50, 18));
  EXPECT_EQ(resources->bitmap("TITLE").GetSize(), wxSize(640, 154));
  EXPECT_EQ(resources->bitmap("patent").GetSize(), wxSize(244, 212));
  EXPECT_FALSE(resources->bitmap("nothing").IsOk());
  EXPECT_TRUE(resources->videoIcon(32).IsOk());
  EXPECT_TRUE(resources->autorCursor().IsOk());
  // The three states of a button differ, so hover and press are visible.
  const wxImage normal = resources->bitmap("b_load1").ConvertToImage();
  const wxImage pressed = resources->bitmap("b_load2").ConvertToImage();
  const wxImage hovered = resources->bitmap("b_load3").ConvertToImage();
  EXPECT_NE(normal.GetRed(100, 3), hovered.GetRed(100, 3));
  EXPECT_NE(normal.GetBlue(100, 3), pressed.GetBlue(100, 3));
}

TEST(ResourcesTest, TickIsAShortWellFormedWave) {
  const std::vector<uint8_t> wave = makeTickWave();
  ASSERT_GT(wave.size(), 44u);
  EXPECT_EQ(std::string(wave.begin(), wave.begin() + 4), "RIFF");
  EXPECT_EQ(std::string(wave.begin() + 8, wave.begin() + 12), "WAVE");
  const auto le32 = [&](size_t at) {
    return wave[at] | (wave[at + 1] << 8) | (wave[at + 2] << 16) | (wave[at + 3] << 24);
  };
  EXPECT_EQ(static_cast<size_t>(le32(4)), wave.size() - 8);
  EXPECT_EQ(static_cast<size_t>(le32(40)), wave.size() - 44);
  const int rate = le32(24);
  const double seconds = static_cast<double>(le32(40)) / (rate * 2);
  EXPECT_GT(seconds, 0.01);
  EXPECT_LT(seconds, 0.2);
}

TEST(ChoosersTest, RequestsCarryTheirTitlesFiltersAndNames) {
  const FileRequest movie = movieRequest("/clips");
  EXPECT_EQ(movie.title, "Load Video");
  EXPECT_EQ(movie.initialFolder, "/clips");
  ASSERT_EQ(movie.filters.size(), 16u);
  EXPECT_EQ(movie.filters[0].description, "All video files");
  EXPECT_EQ(movie.filters[5].description, "MPG video files (*.MPG, *.MPEG)");
  EXPECT_EQ(movie.filters[15].pattern, "*.m4v");

  const FileRequest output = outputRequest("/clips", "/clips/a b.mov");
  EXPECT_EQ(output.title, "Save Rectangular Video");
  EXPECT_EQ(output.initialName, "a b_Unwrapped");
  EXPECT_EQ(output.mode, FileRequest::Mode::save);
  ASSERT_EQ(output.filters.size(), 8u);
  EXPECT_EQ(output.filters[1].description, "Rectangular Video AVI 2.0 video files (*.AVI)");
  EXPECT_EQ(output.filters[7].pattern, "*.webm");
  EXPECT_EQ(unwrappedName("C:\\v\\pano.mp4"), "pano_Unwrapped");

  const FileRequest logo = logoRequest("/logos");
  EXPECT_TRUE(logo.multiple);
  EXPECT_EQ(logo.initialName, "*.jpg");
  EXPECT_EQ(logo.filters.size(), 1u);

  // The toolkit's filters tell case apart: both cases are offered, in the given order.
  EXPECT_EQ(wildcardFor({{"MPG", "*.mpg;*.mpeg"}, {"Logo", "*.jpg"}}),
            "MPG|*.mpg;*.mpeg;*.MPG;*.MPEG|Logo|*.jpg;*.JPG");
}

TEST(ReencodeDialogTest, ListsActOnTheMainWindowAtOnceEvenWhenCancelled) {
  ProgramFolder folder;
  DialogAnswers answers;
  RunningProgram running(folder);
  MainWindow* window = running.window;
  window->selectQuality(4);
  {
    ReencodeDialog dialog(window, running.program->resources(), "/out/movie.mp4",
                          window->reencodeLinks());
    EXPECT_EQ(dialog.GetTitle(), "Save a Video with another compression");
    EXPECT_EQ(dialog.GetClientSize(), wxSize(480, 112));
    EXPECT_EQ(dialog.pathEdit()->GetValue(), "/out/movie.mp4");
    EXPECT_EQ(dialog.qualityList()->GetSelection(), 4);
    EXPECT_EQ(dialog.qualityList()->GetCount(), 22u);
    EXPECT_EQ(dialog.resizeList()->GetSelection(), 0);

    dialog.chooseQuality(21);
    EXPECT_EQ(window->qualityList()->GetStringSelection(), "21:Min size");
    EXPECT_EQ(running.program->app().outputOptions.qualityValue, 21);
    dialog.chooseResize(5);
    EXPECT_TRUE(window->isChecked(875));
    EXPECT_FALSE(window->isChecked(870));
    EXPECT_EQ(running.program->app().outputOptions.resizeIndex, 5);

    // "  Select file path": the chooser starts in the edit box's folder; a cancelled chooser
    // leaves the box as it was.
    running.choosers->files.push_back("");
    dialog.selectFilePath();
    EXPECT_EQ(running.choosers->fileRequests.back().initialFolder, "/out");
    EXPECT_EQ(running.choosers->fileRequests.back().title, "Save Rectangular Video");
    EXPECT_EQ(dialog.pathEdit()->GetValue(), "/out/movie.mp4");
    dialog.pressCancel();
  }
  EXPECT_EQ(window->qualityList()->GetSelection(), 21);

  // A typed path is returned exactly as typed; a path without a folder starts the chooser in the
  // current folder.
  answers.onDialog([](wxDialog* shown) -> int {
    auto* dialog = dynamic_cast<ReencodeDialog*>(shown);
    if (!dialog) return wxID_CANCEL;
    dialog->pathEdit()->ChangeValue(" typed.webm ");
    dialog->selectFilePath();
    dialog->pressSave();
    return 2002;
  });
  EXPECT_EQ(running.program->frontend().showReencodeDialog("/out/movie.mp4"), " typed.webm ");
  EXPECT_EQ(running.choosers->fileRequests.back().initialFolder,
            std::filesystem::current_path().string());
}

TEST(ProgressWindowTest, ShowsSquaresPictureAndClockAndClosesWithItsHandle) {
  ProgramFolder folder;
  DialogAnswers answers;
  RunningProgram running(folder);
  auto handle = running.program->frontend().openProgressWindow(ProgressWindowKind::encode);
  ProgressDialog* dialog = nullptr;
  for (wxWindow* child : running.window->GetChildren()) {
    if (auto* found = dynamic_cast<ProgressDialog*>(child)) dialog = found;
  }
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(dialog->GetTitle(), "Output Movie Compression");
  EXPECT_TRUE(dialog->IsShown());
  EXPECT_FALSE(dialog->IsModal());
  EXPECT_EQ(dialog->square(0)->background(), wxColour(20, 50, 195));
  ProgressWindowState state;
  state.squareGreen = {255, 120, 20, 20, 20};
  state.animationFrame = 3;
  state.timeText = "Processing time: 00:03:07";
  handle->update(state);
  EXPECT_EQ(dialog->square(0)->background(), wxColour(20, 255, 195));
  EXPECT_EQ(dialog->square(1)->background(), wxColour(20, 120, 195));
  EXPECT_EQ(dialog->animationFrame(), 3);
  EXPECT_EQ(dialog->timeLabel()->text(), "Processing time: 00:03:07");
  EXPECT_EQ(dialog->timeLabel()->background(), wxColour(85, 85, 85));
  wxWeakRef<ProgressDialog> watch(dialog);
  handle.reset();
  EXPECT_TRUE(pumpUntil([&] { return !watch; }));

  auto conversion = running.program->frontend().openProgressWindow(ProgressWindowKind::conversion);
  for (wxWindow* child : running.window->GetChildren()) {
    if (auto* found = dynamic_cast<ProgressDialog*>(child)) dialog = found;
  }
  EXPECT_EQ(dialog->GetTitle(), "Movie Conversion");
  EXPECT_EQ(dialog->timeLabel()->background(), wxColour(119, 119, 119));
}

TEST(FrontendTest, WorkerChangesReachTheWindowThroughTheWindowThread) {
  ProgramFolder folder;
  DialogAnswers answers;
  RunningProgram running(folder);
  WxFrontend& frontend = running.program->frontend();
  MainWindow* window = running.window;
  std::vector<uint32_t> pixels(320 * 80, bgr(0, 200, 0));
  std::thread worker([&] {
    frontend.setInfoLabel(InfoLabel::frameSize, "320x80");
    frontend.setLogoStatus("Logo present, spherical format", {0, 255, 0}, {153, 153, 153});
    frontend.setProgressStrip(506, 12);
    for (int i = 0; i < 50; ++i) {
      PreviewFrame frame{pixels.data(),
                         320,
                         80,
                         true,
                         {" Estimated processing time = 00.00.00 ", " Time passed = 00.00.00 ",
                          " Lens uses = Quillon VB Lens", " Resize Mode = 90% "}};
      frontend.drawFramePreview(frame);
    }
    // A message box from a worker does not wait for an answer.
    EXPECT_EQ(frontend.showMessage("Bad Logo format.", "Logo Image Error", MessageIcon::error,
                                   MessageButtons::ok),
              MessageAnswer::ok);
  });
  worker.join();
  EXPECT_TRUE(pumpUntil([&] { return !answers.messages().empty(); }));
  pumpFor(50ms);
  EXPECT_EQ(window->infoLabel(InfoLabel::frameSize)->text(), "320x80");
  EXPECT_EQ(window->logoStatus()->text(), "Logo present, spherical format");
  EXPECT_EQ(window->logoStatus()->textColour(), wxColour(0, 255, 0));
  EXPECT_EQ(window->progressStrip()->GetSize(), wxSize(506, 12));
  EXPECT_GE(frontend.previewPicturesShown(), 1);
  EXPECT_LE(frontend.previewPicturesShown(), 50);
  EXPECT_TRUE(window->preview()->showsPicture());
  ASSERT_EQ(window->preview()->captions().size(), 4u);
  EXPECT_EQ(window->preview()->captions()[3].text, " Resize Mode = 90% ");
  EXPECT_EQ(window->preview()->captions()[3].position, wxPoint(10, 70));
  EXPECT_EQ(answers.messages(), std::vector<std::string>{"Bad Logo format."});

  frontend.drawPreviewTitle();
  EXPECT_FALSE(window->preview()->showsPicture());
  EXPECT_EQ(window->preview()->captions().front().text, "Transform Window");
}

TEST(HelpWindowTest, InstructionTextHasSevenLinesTheFourthEmpty) {
  const wxArrayString lines = wxSplit(HelpWindow::instructionText(), '\n', '\0');
  ASSERT_EQ(lines.size(), 7u);
  EXPECT_EQ(lines[0], " 1. Load any cylindrical video. Press the button [Load Movie]");
  EXPECT_TRUE(lines[3].empty());
  EXPECT_EQ(lines[6], " b) quality mode for output movie format");
}

}  // namespace
}  // namespace tarn::test
