#include "gui/main_window.h"

#include <wx/accel.h>
#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/dcbuffer.h>
#include <wx/menu.h>
#include <wx/panel.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>

#include "common/text.h"
#include "gui/choosers.h"
#include "gui/file_drop.h"
#include "gui/preview_feed.h"
#include "gui/sound_player.h"
#include "gui/widgets.h"
#include "resources/resources.h"
#include "shell/settings_file.h"

namespace tarn {
namespace {

const wxColour kWindowGrey(0x77, 0x77, 0x77);
const wxColour kGroupBack(0x33, 0x33, 0x33);
const wxColour kCaptionBack(0x88, 0x88, 0x88);
const wxColour kLogoGrey(0x99, 0x99, 0x99);

constexpr const char* kLogoAbsent = "Logo not present, cylindrical format";

struct GroupBox {
  int id;
  const char* text;
  wxRect rect;
};
const GroupBox kGroups[] = {
    {330, " Common controls ", wxRect(5, 230, 395, 200)},
    {332, " Input-Output controls: ", wxRect(623, 230, 395, 73)},
    {328, " Logo Image: ", wxRect(623, 295, 395, 85)},
};

struct ButtonSpec {
  int id;
  const char* bitmap;
  wxPoint position;
};
const ButtonSpec kButtons[] = {
    {command::load, "b_load", wxPoint(195, 278)},
    {command::playPause, "b_pause", wxPoint(195, 303)},
    {command::convert, "b_convert", wxPoint(195, 328)},
    {command::saveParameters, "b_save", wxPoint(195, 353)},
    {command::stop, "b_stopt", wxPoint(195, 378)},
    {command::addLogo, "b_logo", wxPoint(821, 395)},
    {command::help, "help", wxPoint(920, 425)},
};

// The commands that setControlsEnabled turns off and on again.
constexpr int kGatedMenuItems[] = {command::load,    command::saveParameters, command::tempFolder,
                                   command::convert, command::playPause,      command::addLogo};
constexpr int kGatedButtons[] = {command::load, command::saveParameters, command::convert,
                                 command::playPause};

struct OptionGroup {
  const char* title;
  int base;
  std::vector<const char*> items;
};

const OptionGroup& bitRateGroup() {
  static const OptionGroup group{"Set Compression Bit Rate",
                                 command::bitRateBase,
                                 {"  Auto", "  500k", "  700k", "  900k", " 1200k", " 1500k",
                                  " 2000k", " 3000k", " 4000k", " 5000k"}};
  return group;
}
const OptionGroup& codecModeGroup() {
  static const OptionGroup group{
      "Set Codec Mode",
      command::codecModeBase,
      {"  Auto", "  Ultra Fast", "  Fast", "  Medium", "  Max", "  Slower"}};
  return group;
}
const OptionGroup& resizeGroup() {
  static const OptionGroup group{"Resize the output video stream",
                                 command::resizeBase,
                                 {"  Natural size", "  Resize 90%", "  Resize 80%", "  Resize 70%",
                                  "  Resize 60%", "  Resize 50%"}};
  return group;
}
const OptionGroup& channelsGroup() {
  static const OptionGroup group{
      "Set audio channels", command::channelsBase, {"  Stereo", "  Mono"}};
  return group;
}
const OptionGroup& sampleRateGroup() {
  static const OptionGroup group{"Set audio sampling rate",
                                 command::sampleRateBase,
                                 {"  Auto", "  48000Hz", "  44100Hz", "  22050Hz", "  11025Hz"}};
  return group;
}

wxMenu* optionSubmenu(const OptionGroup& group) {
  auto* menu = new wxMenu;
  for (size_t i = 0; i < group.items.size(); ++i) {
    menu->AppendCheckItem(group.base + static_cast<int>(i), group.items[i]);
    if (i == 0) menu->AppendSeparator();
  }
  return menu;
}

std::string withoutTrailingSeparators(std::string path) {
  while (path.size() > 1 && (path.back() == '/' || path.back() == '\\')) path.pop_back();
  return path;
}

}  // namespace

MainWindow::MainWindow(WindowCore& core, MainWindowServices services)
    : wxFrame(nullptr, wxID_ANY, "Kestrova Tarn Video Converter  v1.0 Build 002.02",
              wxDefaultPosition, wxDefaultSize,
              wxCAPTION | wxSYSTEM_MENU | wxMINIMIZE_BOX | wxCLOSE_BOX),
      core_(core),
      services_(services),
      lastDialogFolder_(std::filesystem::current_path().string()) {
  SetFont(windowFont());
  SetIcons(services_.resources.videoIcons());
  SetBackgroundColour(kWindowGrey);
  SetForegroundColour(wxColour(0, 0, 0));
  buildMenus();
  SetClientSize(1024, 480);
  client_ = new wxPanel(this, wxID_ANY, wxPoint(0, 0), wxSize(1024, 480), wxBORDER_NONE);
  client_->SetFont(GetFont());
  client_->SetBackgroundColour(kWindowGrey);
  client_->SetBackgroundStyle(wxBG_STYLE_PAINT);
  client_->Bind(wxEVT_PAINT, [this](wxPaintEvent&) { paintBackground(); });
  buildControls();

  wxAcceleratorEntry keys[] = {
      wxAcceleratorEntry(wxACCEL_CTRL, 'L', command::load),
      wxAcceleratorEntry(wxACCEL_CTRL, 'C', command::convert),
      wxAcceleratorEntry(wxACCEL_CTRL, 'S', command::saveParameters),
      wxAcceleratorEntry(wxACCEL_NORMAL, WXK_F1, command::help),
  };
  SetAcceleratorTable(wxAcceleratorTable(static_cast<int>(std::size(keys)), keys));

  Bind(wxEVT_MENU, [this](wxCommandEvent& event) {
    // Keys of greyed menu items do nothing, as the menu itself does; clicks on enabled
    // picture buttons always reach the handler.
    const bool fromButton = dynamic_cast<PictureButton*>(event.GetEventObject()) != nullptr;
    if (!fromButton && !isMenuEnabled(event.GetId())) return;
    runCommand(event.GetId());
  });
  Bind(wxEVT_CLOSE_WINDOW, &MainWindow::onCloseRequest, this);
  // A movie dropped anywhere on the window opens; a picture dropped onto the logo area is the
  // logo. The logo area's own target takes the drops made over it.
  client_->SetDropTarget(
      new FileDrop([this](const std::string& path) { return openMovieFile(path); }));
  logoPreview_->SetDropTarget(
      new FileDrop([this](const std::string& path) { return takeLogoFile(path); }));
  CentreOnScreen();
}

MainWindow::~MainWindow() = default;

void MainWindow::buildMenus() {
  auto* file = new wxMenu;
  file->Append(command::load, "Load Doughnut Movie");
  file->Append(command::playPause, "Play/Pause Video");
  file->Append(command::convert, "Convert");
  file->AppendSeparator();
  file->Append(command::fileInformation, "File Information");
  file->AppendSeparator();
  file->Append(command::exit, "Exit");

  auto* option = new wxMenu;
  option->AppendCheckItem(command::autoSave, "Auto saving a parameters");
  option->Append(command::saveParameters, "Save parameters");
  option->Append(command::tempFolder, "Set path for temporary Stream");
  option->AppendSeparator();
  option->Append(command::addLogo, "Add Logo to video");
  option->AppendSeparator();
  option->AppendSubMenu(optionSubmenu(bitRateGroup()), bitRateGroup().title);
  option->AppendSubMenu(optionSubmenu(codecModeGroup()), codecModeGroup().title);
  option->AppendSeparator();
  option->AppendSubMenu(optionSubmenu(resizeGroup()), resizeGroup().title);
  option->AppendSeparator();
  option->AppendSubMenu(optionSubmenu(channelsGroup()), channelsGroup().title);
  option->AppendSubMenu(optionSubmenu(sampleRateGroup()), sampleRateGroup().title);

  auto* help = new wxMenu;
  help->Append(command::help, "Help");
  help->AppendSeparator();
  help->Append(command::webSite, "Kestrova Inc. Web Site");
  help->AppendSeparator();
  help->Append(command::about, "About");

  auto* bar = new wxMenuBar;
  bar->Append(file, "&File");
  bar->Append(option, "&Option");
  bar->Append(help, "&Help");
  SetMenuBar(bar);

  // The key texts beside the items; the keys themselves are bound by the accelerator table.
  showMenuKeyText(bar->FindItem(command::load), 'L', true, false);
  showMenuKeyText(bar->FindItem(command::convert), 'C', true, false);
  showMenuKeyText(bar->FindItem(command::exit), WXK_F4, false, true);
  showMenuKeyText(bar->FindItem(command::saveParameters), 'S', true, false);
  showMenuKeyText(bar->FindItem(command::help), WXK_F1, false, false);

  bar->Check(command::autoSave, core_.settings.autoSave != 0);
  refreshGroup(command::bitRateBase, 10, core_.settings.bitRateIndex);
  refreshGroup(command::codecModeBase, 6, core_.settings.codecModeIndex);
  refreshGroup(command::resizeBase, 6, core_.outputOptions.resizeIndex);
  refreshGroup(command::channelsBase, 2, core_.outputOptions.channelsIndex);
  refreshGroup(command::sampleRateBase, 5, core_.outputOptions.sampleRateIndex);
}

void MainWindow::buildControls() {
  const wxColour white(0xFF, 0xFF, 0xFF);
  const wxColour black(0, 0, 0);
  const wxColour valueText(0x77, 0x77, 0x77);
  new PaintedLabel(client_, wxID_ANY, "", wxRect(5, 208, 1014, 14), PaintedLabel::sunken,
                   wxColour(0x80, 0x80, 0x80), wxColour(0x80, 0x80, 0x80));
  progressStrip_ = new StretchedPicture(client_, wxID_ANY, wxRect(6, 208, 1, 12),
                                        services_.resources.bitmap("tomline"));
  preview_ = new DrawingSurface(client_, 2008, wxRect(5, 5, 1014, 200), wxColour(0x33, 0x33, 0x33));
  preview_->SetForegroundColour(white);

  const struct {
    int id;
    const char* text;
    int y;
  } captions[] = {{203, " Video file: ", 250}, {204, " Frame Size:", 268},
                  {205, " FPS rate:", 286},    {206, " Num of frames:", 304},
                  {207, " Operation:", 322},   {209, " Doughnut size:", 340},
                  {210, " Duration:", 358}};
  for (const auto& caption : captions) {
    captions_[caption.id] =
        new PaintedLabel(client_, caption.id, caption.text, wxRect(15, caption.y, 80, 17),
                         PaintedLabel::sunken, white, kCaptionBack);
  }
  autoSaveBox_ = new wxCheckBox(client_, command::autoSave, " Auto saving a parameters",
                                wxPoint(15, 376), wxSize(171, 18), wxBORDER_STATIC);
  autoSaveBox_->SetForegroundColour(wxColour(0xC0, 0xC0, 0xC0));
  autoSaveBox_->SetBackgroundColour(black);
  autoSaveBox_->SetValue(core_.settings.autoSave != 0);
  autoSaveBox_->Bind(wxEVT_CHECKBOX, [this](wxCommandEvent&) { runCommand(command::autoSave); });
  captions_[214] = new PaintedLabel(client_, 214, " Output quality", wxRect(15, 397, 80, 18),
                                    PaintedLabel::sunken, white, kCaptionBack);

  static constexpr int hoverSlots = 7;
  static_assert(std::size(kButtons) == hoverSlots);
  for (const ButtonSpec& entry : kButtons) {
    const std::string name = entry.bitmap;
    const std::array<wxBitmap, 3> bitmaps = {services_.resources.bitmap(name + "1"),
                                             services_.resources.bitmap(name + "2"),
                                             services_.resources.bitmap(name + "3")};
    auto* button = new PictureButton(client_, entry.id, entry.position, bitmaps);
    button->SetCursor(services_.resources.autorCursor());
    button->onHover([this, id = entry.id](bool inside) { hover(id, inside); });
    buttons_[entry.id] = button;
  }

  const struct {
    InfoLabel label;
    int id;
    int y;
    int width;
    int style;
  } values[] = {
      {InfoLabel::videoFile, 303, 250, 295, PaintedLabel::sunken | PaintedLabel::middleEllipsis},
      {InfoLabel::frameSize, 304, 268, 90, PaintedLabel::sunken | PaintedLabel::centred},
      {InfoLabel::fpsRate, 305, 286, 90, PaintedLabel::sunken | PaintedLabel::centred},
      {InfoLabel::numFrames, 306, 304, 90, PaintedLabel::sunken | PaintedLabel::centred},
      {InfoLabel::operation, 307, 322, 90, PaintedLabel::sunken | PaintedLabel::centred},
      {InfoLabel::doughnutSize, 309, 340, 90, PaintedLabel::sunken | PaintedLabel::centred},
      {InfoLabel::duration, 409, 358, 90, PaintedLabel::sunken | PaintedLabel::centred},
  };
  for (const auto& value : values) {
    values_[value.label] = new PaintedLabel(
        client_, value.id, "", wxRect(96, value.y, value.width, 17), value.style, valueText, black);
  }

  qualityList_ = new wxChoice(client_, 213, wxPoint(96, 395), wxSize(90, -1), qualityItems());
  qualityList_->SetForegroundColour(white);
  qualityList_->SetBackgroundColour(black);
  qualityList_->SetSelection(0);
  qualityList_->SetToolTip("Set Output Compression/Quality");
  qualityList_->Bind(wxEVT_CHOICE,
                     [this](wxCommandEvent& event) { selectQuality(event.GetSelection()); });

  folderButton_ = new wxButton(client_, command::tempFolder, "Set path for temporary Stream",
                               wxPoint(633, 250), wxSize(150, 17), wxBU_EXACTFIT);
  makeFlatButton(folderButton_);
  folderButton_->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { runCommand(command::tempFolder); });
  folderLabel_ = new PaintedLabel(client_, 112, wxString::FromUTF8(core_.settings.tempStreamFolder),
                                  wxRect(633, 270, 375, 17),
                                  PaintedLabel::sunken | PaintedLabel::middleEllipsis,
                                  wxColour(0, 0, 0x9F), wxColour(0xC0, 0xC0, 0xC0));
  logoStatus_ = new PaintedLabel(client_, wxID_ANY, kLogoAbsent, wxRect(785, 250, 223, 17),
                                 PaintedLabel::centred, black, kLogoGrey);
  logoPreview_ =
      new DrawingSurface(client_, 2009, wxRect(633, 317, 375, 52), wxColour(0x33, 0x33, 0x33));

  // The idle preview shows its title from the start.
  PreviewPicture title;
  showPreview(title);
}

void MainWindow::paintBackground() {
  wxAutoBufferedPaintDC dc(client_);
  dc.SetBackground(wxBrush(kWindowGrey));
  dc.Clear();
  dc.SetFont(GetFont());
  // The group boxes: dark panels with an etched frame and their title over its top line.
  for (const GroupBox& group : kGroups) {
    dc.SetPen(*wxTRANSPARENT_PEN);
    dc.SetBrush(wxBrush(kGroupBack));
    dc.DrawRectangle(group.rect);
    wxCoord textWidth = 0, textHeight = 0;
    dc.GetTextExtent(group.text, &textWidth, &textHeight);
    const int top = group.rect.y + textHeight / 2;
    wxRect frame(group.rect.x, top, group.rect.width - 1, group.rect.GetBottom() - top);
    dc.SetBrush(*wxTRANSPARENT_BRUSH);
    dc.SetPen(wxPen(wxColour(0x1C, 0x1C, 0x1C)));
    dc.DrawRectangle(frame);
    dc.SetPen(wxPen(wxColour(0x5A, 0x5A, 0x5A)));
    dc.DrawRectangle(frame.x + 1, frame.y + 1, frame.width, frame.height);
    dc.SetPen(*wxTRANSPARENT_PEN);
    dc.SetBrush(wxBrush(kGroupBack));
    dc.DrawRectangle(group.rect.x + 8, group.rect.y, textWidth, textHeight);
    dc.SetTextForeground(*wxWHITE);
    dc.DrawText(group.text, group.rect.x + 8, group.rect.y);
  }
}

void MainWindow::refreshGroup(int base, int count, int index) {
  wxMenuBar* bar = GetMenuBar();
  for (int id = base; id < base + count; ++id) bar->Check(id, id == base + index);
}

bool MainWindow::isChecked(int id) const {
  const wxMenuItem* item = GetMenuBar()->FindItem(id);
  return item && item->IsCheckable() && item->IsChecked();
}

bool MainWindow::isMenuEnabled(int id) const {
  const wxMenuItem* item = GetMenuBar()->FindItem(id);
  return !item || item->IsEnabled();
}

PaintedLabel* MainWindow::infoLabel(InfoLabel label) const {
  const auto found = values_.find(label);
  return found == values_.end() ? nullptr : found->second;
}

PaintedLabel* MainWindow::caption(int id) const {
  const auto found = captions_.find(id);
  return found == captions_.end() ? nullptr : found->second;
}

PictureButton* MainWindow::pictureButton(int id) const {
  const auto found = buttons_.find(id);
  return found == buttons_.end() ? nullptr : found->second;
}

// --- feedback ---------------------------------------------------------------------------------

void MainWindow::playTick() {
  services_.sound.play(services_.resources.tickWave());
}

void MainWindow::hover(int id, bool inside) {
  for (auto& [buttonId, button] : buttons_) {
    if (buttonId == id && inside) {
      button->showState(3);
    } else if (button->state() == 3) {
      button->showState(1);
    }
  }
}

void MainWindow::press(int id, int waitMilliseconds, bool unpauseAfterTick) {
  PictureButton* button = pictureButton(id);
  if (button) {
    button->showState(2);
    button->Update();
  }
  playTick();
  if (unpauseAfterTick) core_.frameSource.previewPaused.store(0);
  wxMilliSleep(static_cast<unsigned long>(waitMilliseconds));
  if (button) button->showState(1);
}

void MainWindow::setControlsEnabled(bool enabled) {
  controlsEnabled_ = enabled;
  for (int id : kGatedButtons) pictureButton(id)->Enable(enabled);
  for (int id : kGatedMenuItems) GetMenuBar()->Enable(id, enabled);
  // Neither command acts during a conversion: their buttons say so too.
  pictureButton(command::addLogo)->Enable(enabled);
  folderButton_->Enable(enabled);
}

bool MainWindow::conversionUnderWay() const {
  return !controlsEnabled_ || core_.converting.load() != 0;
}

// --- command handler --------------------------------------------------------------------------

void MainWindow::runCommand(int id) {
  ++commandDepth_;
  switch (id) {
    case command::load:
      loadMovie();
      break;
    case command::playPause:
      playPause();
      break;
    case command::saveParameters:
      saveParameters();
      break;
    case command::about:
      showAboutWindow();
      break;
    case command::convert:
      convert();
      break;
    case command::stop:
      stop();
      break;
    case command::exit:
      exitCommand();
      break;
    case command::help:
      showHelpWindow();
      break;
    case command::tempFolder:
      setTempFolder();
      break;
    case command::addLogo:
      addLogo();
      break;
    case command::fileInformation:
      fileInformation();
      break;
    case command::autoSave:
      toggleAutoSave();
      break;
    case command::webSite:
      playTick();
      openAddress(MakerTexts::webSite);
      break;
    default:
      if (id >= command::bitRateBase && id < command::bitRateBase + 10) {
        core_.settings.bitRateIndex = id - command::bitRateBase;
        refreshGroup(command::bitRateBase, 10, core_.settings.bitRateIndex);
      } else if (id >= command::codecModeBase && id < command::codecModeBase + 6) {
        core_.settings.codecModeIndex = id - command::codecModeBase;
        refreshGroup(command::codecModeBase, 6, core_.settings.codecModeIndex);
      } else if (id >= command::resizeBase && id < command::resizeBase + 6) {
        chooseResize(id - command::resizeBase);
      } else if (id >= command::channelsBase && id < command::channelsBase + 2) {
        core_.outputOptions.channelsIndex = id - command::channelsBase;
        refreshGroup(command::channelsBase, 2, core_.outputOptions.channelsIndex);
      } else if (id >= command::sampleRateBase && id < command::sampleRateBase + 5) {
        core_.outputOptions.sampleRateIndex = id - command::sampleRateBase;
        refreshGroup(command::sampleRateBase, 5, core_.outputOptions.sampleRateIndex);
      }
      break;
  }
  --commandDepth_;
  if (commandDepth_ == 0 && destroyPending_) {
    destroyPending_ = false;
    endWindow();
  }
}

void MainWindow::chooseResize(int index) {
  core_.outputOptions.resizeIndex = index;
  refreshGroup(command::resizeBase, 6, index);
}

int MainWindow::qualityIndex() const {
  return qualityList_->GetSelection();
}

void MainWindow::selectQuality(int index) {
  if (index < 0 || index >= static_cast<int>(qualityList_->GetCount())) return;
  qualityList_->SetSelection(index);
  core_.outputOptions.qualityValue = index;  // the item's leading number is its position
}

void MainWindow::loadMovie() {
  FrameSourceState& source = core_.frameSource;
  press(command::load, 300, true);
  source.streamState.store(0);  // ends the playback loop of a movie already open
  services_.frontend.yield(10);

  // The movie chooser runs here, on the window thread, as the toolkit's dialogs must.
  if (source.movieChooserBusy.load() == 1) return;
  if (core_.stopGraphBeforeMovieChooser) core_.stopGraphBeforeMovieChooser();
  source.movieChooserBusy.store(1);
  if (core_.clearMovieInfo) core_.clearMovieInfo();
  const std::string path =
      services_.choosers.chooseFile(this, movieRequest(core_.settings.movieFolder));
  source.movieChooserBusy.store(0);
  startMovieLoad(path);
}

bool MainWindow::openMovieFile(const std::string& path) {
  FrameSourceState& source = core_.frameSource;
  // Load is greyed during a conversion; its chooser would be busy while its dialog is up.
  if (!controlsEnabled_ || closing_ || source.movieChooserBusy.load() == 1) return false;
  if (!offeredBy(movieRequest(core_.settings.movieFolder), path)) return false;
  source.previewPaused.store(0);
  source.streamState.store(0);  // ends the playback loop of a movie already open
  services_.frontend.yield(10);
  if (core_.stopGraphBeforeMovieChooser) core_.stopGraphBeforeMovieChooser();
  if (core_.clearMovieInfo) core_.clearMovieInfo();
  startMovieLoad(path);
  return true;
}

// The Load command from its choice on: `path` is the chosen movie, or "" when cancelled.
void MainWindow::startMovieLoad(const std::string& path) {
  Update();
  services_.frontend.yield(10);
  services_.frontend.drawPreviewTitle();
  const bool chosen = !trimBlanks(path).empty();
  if (chosen) {
    lastDialogFolder_ = folderOf(path);
    core_.settings.movieFolder = lastDialogFolder_;
  }

  // The movie-load thread probes and opens the movie and stays in its playback loop until the
  // movie is closed. It first lets the previous one finish, so that two frame sources never
  // touch the frame buffers at once; the window thread never waits for either.
  auto previousDone = movieThreadDone_;
  auto done = std::make_shared<std::atomic<int32_t>>(0);
  movieThreadDone_ = done;
  workers_.start([this, path, chosen, previousDone, done] {
    while (previousDone && previousDone->load() == 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    core_.frameSource.streamState.store(1);
    if (chosen && core_.loadChosenMovie) core_.loadChosenMovie(path);
    if (core_.endMovieChoice) {
      core_.endMovieChoice();
    } else {
      core_.frameSource.streamState.store(0);
    }
    done->store(1);
  });
}

void MainWindow::playPause() {
  FrameSourceState& source = core_.frameSource;
  auto graph = source.currentGraph();
  if (source.streamState.load() == 0 || !graph) return;
  press(command::playPause, 500);
  const int32_t paused = source.previewPaused.load() == 0 ? 1 : 0;
  source.previewPaused.store(paused);
  wxMilliSleep(100);
  if (paused == 0) {
    if (source.positionTicks.load() == source.durationTicks) {
      source.positionTicks.store(0);
      setProgressStrip(1, 12);
      progressStrip_->Update();
      graph->seek(0);
    }
    graph->run();
  } else {
    graph->pause();
  }
}

void MainWindow::saveParameters() {
  if (core_.frameSource.streamState.load() == 0) return;
  press(command::saveParameters, 500);
  if (core_.saveSettings) core_.saveSettings();
}

void MainWindow::convert() {
  FrameSourceState& source = core_.frameSource;
  if (source.streamState.load() == 0) return;
  press(command::convert, 500);
  if (auto graph = source.currentGraph()) {
    graph->stop();
    wxMilliSleep(100);
    source.positionTicks.store(0);
    progressStrip_->Refresh();
    graph->seek(0);
  }
  setControlsEnabled(false);

  // The output chooser, then the whole conversion run inside this command.
  source.previewPaused.store(source.previewPaused.load() == 0 ? 1 : 0);
  wxMilliSleep(100);
  if (core_.clearMovieInfo) core_.clearMovieInfo();
  const std::string path = services_.choosers.chooseFile(
      this, outputRequest(core_.settings.movieFolder, source.moviePath));
  if (!path.empty()) {
    Update();
    services_.frontend.yield(10);
    services_.frontend.drawPreviewTitle();
    if (!trimBlanks(path).empty()) {
      lastDialogFolder_ = folderOf(path);
      core_.settings.movieFolder = lastDialogFolder_;
      if (core_.convertMovie) core_.convertMovie(firstCharacters(path, 255));
    }
  } else {
    // Cancelled: the open movie is closed; its own thread then blanks the frame buffers.
    source.streamState.store(0);
  }
  setControlsEnabled(true);
}

void MainWindow::stop() {
  if (core_.converting.load() == 0) return;
  if (auto graph = core_.frameSource.currentGraph()) {
    graph->stop();
    wxMilliSleep(100);
  }
  press(command::stop, 300);
  core_.conversionStopRequest.store(1);
}

void MainWindow::exitCommand() {
  playTick();
  if (core_.encoderRunning.load() != 0 || closing_) return;
  if (!confirmExit()) return;
  closing_ = true;
  if (core_.shutDown) core_.shutDown();
  services_.frontend.yield(1);
  destroyPending_ = true;  // destroyed once this command has returned
}

void MainWindow::onCloseRequest(wxCloseEvent& event) {
  if (closing_ && event.CanVeto()) {  // the exit sequence is already under way
    event.Veto();
    return;
  }
  if (!event.CanVeto()) {  // the session is ending: no question can be asked
    if (!closing_ && core_.shutDown) core_.shutDown();
    endWindow();
    return;
  }
  if (core_.encoderRunning.load() != 0 || !confirmExit()) {
    event.Veto();
    return;
  }
  closing_ = true;
  if (core_.shutDown) core_.shutDown();
  services_.frontend.yield(10);
  if (commandDepth_ > 0) {
    // A command below us on the stack (a conversion) still uses the window.
    destroyPending_ = true;
    event.Veto();
    return;
  }
  endWindow();
}

void MainWindow::endWindow() {
  Destroy();
  // The window is deleted in idle time, and with it the program ends: make sure idle time comes
  // even when no further input event arrives.
  wxWakeUpIdle();
}

bool MainWindow::confirmExit() {
  return services_.frontend.showMessage("Are you sure?", "Exit IDE", MessageIcon::warning,
                                        MessageButtons::okCancel) == MessageAnswer::ok;
}

void MainWindow::setTempFolder() {
  if (conversionUnderWay()) return;  // the run keeps the folder it started with
  playTick();
  const std::string start = withoutTrailingSeparators(core_.settings.tempStreamFolder);
  const std::string chosen =
      trimNulsAndBlanks(services_.choosers.chooseFolder(this, "Select Folder", start));
  core_.settings.tempStreamFolder =
      chosen.empty() ? withoutTrailingSeparators(core_.paths.filesFolder.string()) : chosen;
  folderLabel_->setText(wxString::FromUTF8(core_.settings.tempStreamFolder));
}

void MainWindow::addLogo() {
  // The logo is laid into the frames being written and the chooser would stop their graph.
  if (conversionUnderWay()) return;
  press(command::addLogo, 300, true);
  beginLogoChoice();
  // The logo chooser on this thread; the decoding on the logo thread.
  loadLogo(services_.choosers.chooseFile(this, logoRequest(core_.logoFolder)));
}

bool MainWindow::takeLogoFile(const std::string& path) {
  if (closing_ || conversionUnderWay() || !offeredBy(logoRequest(core_.logoFolder), path)) {
    return false;
  }
  core_.frameSource.previewPaused.store(0);
  beginLogoChoice();
  loadLogo(path);
  return true;
}

// The Add Logo command up to its chooser: the old logo goes and the open graph stops.
void MainWindow::beginLogoChoice() {
  if (core_.clearLogo) {
    core_.clearLogo();
  } else {
    setLogoStatus(kLogoAbsent, wxColour(0, 0, 0), kLogoGrey);
  }
  core_.runLog.writeLog("GetMultipleLogoFiles pMediaControl begin");
  if (auto graph = core_.frameSource.currentGraph()) {
    graph->stop();
    services_.frontend.yield(100);
  }
  core_.runLog.writeLog("GetMultipleLogoFiles pMediaControl Ok");
}

// The Add Logo command from its choice on: `path` is the chosen picture, or "" when cancelled.
void MainWindow::loadLogo(const std::string& path) {
  if (path.empty()) return;
  Update();
  services_.frontend.yield(10);
  core_.runLog.writeLog("GetMultipleLogoFiles iRedraw Begin");
  services_.frontend.drawPreviewTitle();
  core_.runLog.writeLog("GetMultipleLogoFiles iRedraw Ok");
  if (trimBlanks(path).empty()) return;
  lastDialogFolder_ = std::filesystem::is_directory(path) ? path : folderOf(path);
  core_.logoFolder = lastDialogFolder_;
  if (core_.acceptLogo) workers_.start([this, path] { core_.acceptLogo(path); });
}

void MainWindow::fileInformation() {
  const std::string text = core_.frameSource.probeText;
  if (trimBlanks(text).empty()) return;
  services_.frontend.showMessage(text, "Video file information", MessageIcon::information,
                                 MessageButtons::ok);
}

void MainWindow::toggleAutoSave() {
  // The check mark and the box have already flipped themselves; the setting is the reference.
  core_.settings.autoSave = core_.settings.autoSave != 0 ? 0 : 1;
  autoSaveBox_->SetValue(core_.settings.autoSave != 0);
  GetMenuBar()->Check(command::autoSave, core_.settings.autoSave != 0);
}

void MainWindow::showAboutWindow() {
  playTick();
  wxMilliSleep(500);
  AboutWindow about(this, services_.resources);
  about.ShowModal();
}

void MainWindow::showHelpWindow() {
  press(command::help, 500);
  HelpWindow help(this, services_.resources, [this] { playTick(); });
  help.ShowModal();
}

// --- what the frontend changes ----------------------------------------------------------------

void MainWindow::setInfoLabel(InfoLabel label, const wxString& text) {
  if (PaintedLabel* value = infoLabel(label)) value->setText(text);
}

void MainWindow::setOperationCaption(const wxString& text, const wxColour& textColour,
                                     const wxColour& background) {
  PaintedLabel* label = caption(207);
  label->setText(text);
  label->setColours(textColour, background);
  label->Update();
}

void MainWindow::setProgressStrip(int32_t width, int32_t height) {
  const int w = std::clamp(width, 0, 1012);
  const int h = std::clamp(height, 0, 14);
  progressStrip_->Show(w > 0 && h > 0);
  progressStrip_->SetSize(6, 208, std::max(w, 1), std::max(h, 1));
  progressStrip_->Refresh(false);
}

void MainWindow::setLogoStatus(const wxString& text, const wxColour& textColour,
                               const wxColour& background) {
  logoStatus_->setText(text);
  logoStatus_->setColours(textColour, background);
  logoStatus_->Update();
}

void MainWindow::showLogoPreview(const wxBitmap& picture) {
  logoPreview_->show(picture, {}, wxColour(0, 0, 0));
}

void MainWindow::showPreview(const PreviewPicture& picture) {
  const wxColour titleBack(51, 51, 51);
  switch (picture.kind) {
    case PreviewPicture::Kind::title:
      preview_->show(wxBitmap(), {{wxPoint(10, 10), "Transform Window"}}, titleBack);
      break;
    case PreviewPicture::Kind::cleared:
      preview_->clear();
      break;
    case PreviewPicture::Kind::frame: {
      const wxSize size = preview_->GetClientSize();
      // The feed's pictures are the preview's own size; the image only borrows the pixels.
      wxImage image(size.x, size.y, const_cast<unsigned char*>(picture.rgb.data()), true);
      std::vector<DrawingSurface::Caption> captions;
      if (picture.converting) {
        for (size_t line = 0; line < picture.progressLines.size(); ++line) {
          captions.push_back({wxPoint(10, 10 + 20 * static_cast<int>(line)),
                              wxString::FromUTF8(picture.progressLines[line])});
        }
      }
      preview_->show(wxBitmap(image), std::move(captions), wxColour(128, 128, 128));
      break;
    }
  }
  preview_->Update();
}

ReencodeLinks MainWindow::reencodeLinks() {
  ReencodeLinks links;
  links.qualityIndex = [this] { return qualityIndex(); };
  links.qualityChosen = [this](int index) { selectQuality(index); };
  links.resizeIndex = [this] { return core_.outputOptions.resizeIndex; };
  links.resizeChosen = [this](int index) { chooseResize(index); };
  links.chooseOutput = [this](wxWindow* owner, const std::string& folder) {
    const std::string chosen = services_.choosers.chooseFile(owner, reencodeRequest(folder));
    Update();
    services_.frontend.yield(10);
    if (trimBlanks(chosen).empty()) return std::string();
    // This chooser leaves the current folder as it was: the folder of the last other dialog.
    core_.settings.movieFolder = lastDialogFolder_;
    return chosen;
  };
  return links;
}

}  // namespace tarn
