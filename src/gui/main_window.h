#pragma once

#include <wx/frame.h>

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "common/frontend.h"
#include "gui/dialogs.h"
#include "gui/window_core.h"
#include "gui/worker_threads.h"

class wxButton;
class wxCheckBox;
class wxChoice;
class wxMenuBar;
class wxPanel;

namespace tarn {

class Choosers;
class DrawingSurface;
class PaintedLabel;
class PictureButton;
class Resources;
class SoundPlayer;
class StretchedPicture;
struct PreviewPicture;

// Command numbers shared by menu items, picture buttons and accelerators.
namespace command {
inline constexpr int load = 100;
inline constexpr int playPause = 101;
inline constexpr int saveParameters = 102;
inline constexpr int about = 103;
inline constexpr int convert = 104;
inline constexpr int exit = 107;
inline constexpr int help = 110;
inline constexpr int tempFolder = 111;
inline constexpr int addLogo = 215;
inline constexpr int fileInformation = 597;
inline constexpr int autoSave = 599;
inline constexpr int stop = 806;
inline constexpr int webSite = 909;
inline constexpr int bitRateBase = 830;
inline constexpr int codecModeBase = 840;
inline constexpr int resizeBase = 870;
inline constexpr int sampleRateBase = 880;
inline constexpr int channelsBase = 890;
}  // namespace command

// What the main window needs from its surroundings besides the core.
struct MainWindowServices {
  const Resources& resources;
  SoundPlayer& sound;
  Choosers& choosers;
  Frontend& frontend;  // yield and message boxes
};

// The main window: layout, menus, accelerators, picture buttons and the command handler.
// Window thread only; workers reach it through the frontend.
class MainWindow : public wxFrame {
 public:
  MainWindow(WindowCore& core, MainWindowServices services);
  ~MainWindow() override;

  // Runs one command as the handler would for a menu choice or click.
  void runCommand(int id);

  // A movie handed over without the chooser (given at start-up, dropped onto the window): opened
  // as Load Movie opens a chosen one. A logo picture dropped onto the logo area: taken as Add
  // Logo takes a chosen one. Either is refused (false, nothing changes) when its chooser would
  // not offer the file or when Load or Add Logo could not run now.
  bool openMovieFile(const std::string& path);
  bool takeLogoFile(const std::string& path);

  // --- what the frontend changes ---
  void setInfoLabel(InfoLabel label, const wxString& text);
  void setOperationCaption(const wxString& text, const wxColour& textColour,
                           const wxColour& background);
  void setProgressStrip(int32_t width, int32_t height);
  void setLogoStatus(const wxString& text, const wxColour& textColour, const wxColour& background);
  void showLogoPreview(const wxBitmap& picture);
  void showPreview(const PreviewPicture& picture);
  // The re-encode dialog's ties to this window.
  ReencodeLinks reencodeLinks();

  // --- state for the frontend and tests ---
  int qualityIndex() const;
  void selectQuality(int index);  // the main quality list, with its effect on the output options
  void chooseResize(int index);   // resizeIndex and the resize menu
  void playTick();
  bool controlsEnabled() const { return controlsEnabled_; }
  bool isChecked(int id) const;
  bool isMenuEnabled(int id) const;
  PaintedLabel* infoLabel(InfoLabel label) const;
  PaintedLabel* caption(int id) const;
  PaintedLabel* folderLabel() const { return folderLabel_; }
  PaintedLabel* logoStatus() const { return logoStatus_; }
  wxCheckBox* autoSaveBox() const { return autoSaveBox_; }
  wxButton* folderButton() const { return folderButton_; }
  wxChoice* qualityList() const { return qualityList_; }
  PictureButton* pictureButton(int id) const;
  StretchedPicture* progressStrip() const { return progressStrip_; }
  DrawingSurface* preview() const { return preview_; }
  DrawingSurface* logoPreview() const { return logoPreview_; }
  wxPanel* clientArea() const { return client_; }
  WorkerThreads& workers() { return workers_; }
  // Number of commands on the call stack (a conversion re-enters the handler while it runs).
  int commandDepth() const { return commandDepth_; }

 private:
  void buildMenus();
  void buildControls();
  void paintBackground();
  void refreshGroup(int base, int count, int index);
  void onCloseRequest(wxCloseEvent& event);
  bool confirmExit();
  void endWindow();  // after the exit sequence: the window goes, and the program with it
  void press(int id, int waitMilliseconds, bool unpauseAfterTick = false);
  void setControlsEnabled(bool enabled);
  // From the Convert command's start to its end (the conversion run and its exports).
  bool conversionUnderWay() const;
  void hover(int id, bool inside);

  void loadMovie();
  void startMovieLoad(const std::string& path);
  void beginLogoChoice();
  void loadLogo(const std::string& path);
  void playPause();
  void saveParameters();
  void convert();
  void stop();
  void exitCommand();
  void setTempFolder();
  void addLogo();
  void fileInformation();
  void toggleAutoSave();
  void showAboutWindow();
  void showHelpWindow();

  WindowCore& core_;
  MainWindowServices services_;
  wxPanel* client_ = nullptr;
  std::map<int, PictureButton*> buttons_;
  std::map<int, PaintedLabel*> captions_;
  std::map<InfoLabel, PaintedLabel*> values_;
  PaintedLabel* folderLabel_ = nullptr;
  PaintedLabel* logoStatus_ = nullptr;
  wxCheckBox* autoSaveBox_ = nullptr;
  wxButton* folderButton_ = nullptr;
  wxChoice* qualityList_ = nullptr;
  StretchedPicture* progressStrip_ = nullptr;
  DrawingSurface* preview_ = nullptr;
  DrawingSurface* logoPreview_ = nullptr;
  bool controlsEnabled_ = true;
  int commandDepth_ = 0;
  bool closing_ = false;         // the exit sequence has been confirmed
  bool destroyPending_ = false;  // destroy once the outermost command returns
  // The folder the platform's dialogs would have left current: the re-encode chooser reads it.
  std::string lastDialogFolder_;
  std::shared_ptr<std::atomic<int32_t>> movieThreadDone_;  // of the latest movie-load thread
  WorkerThreads workers_;
};

}  // namespace tarn
