#pragma once

#include <wx/dialog.h>
#include <wx/weakref.h>

#include <array>
#include <functional>
#include <memory>
#include <string>

#include "common/frontend.h"

class wxChoice;
class wxTextCtrl;

namespace tarn {

class Resources;
class PaintedLabel;
class StretchedPicture;

// The maker's addresses and texts shown by the splash and About windows.
struct MakerTexts {
  static constexpr const char* webSite = "https://www.kestrova.com";
  static constexpr const char* mailHandle = "kestrova";
  static constexpr const char* supportMail = "support@kestrova.com";
  static constexpr const char* credit = "Panoramic video tools by Kestrova Inc.";
  static constexpr const char* legalLine1 = "(c) 2026 Kestrova Inc.";
  static constexpr const char* legalLine2 = "All rights reserved.";
};

// Opens an address with the desktop's default handler; failures are ignored.
void openAddress(const std::string& address);

// The splash window: modal, no owner; "Start" or the close box ends it.
class SplashWindow : public wxDialog {
 public:
  explicit SplashWindow(const Resources& resources);
};

// The About window: modal, owned by the main window; only its close box ends it.
class AboutWindow : public wxDialog {
 public:
  AboutWindow(wxWindow* owner, const Resources& resources);
};

// The Help window with the operating instructions; "Exit Help" (after a tick) or the close box.
class HelpWindow : public wxDialog {
 public:
  HelpWindow(wxWindow* owner, const Resources& resources, std::function<void()> playTick);
  static wxString instructionText();
};

// A window that waits for an encoder run: caption only, not modal, centred on the screen.
class ProgressDialog : public wxDialog {
 public:
  ProgressDialog(wxWindow* owner, const Resources& resources, ProgressWindowKind kind);
  void showState(const ProgressWindowState& state);
  PaintedLabel* square(int index) const { return squares_[static_cast<size_t>(index)]; }
  PaintedLabel* timeLabel() const { return timeLabel_; }
  int animationFrame() const { return animationFrame_; }

 private:
  const Resources& resources_;
  StretchedPicture* picture_ = nullptr;
  std::array<PaintedLabel*, 5> squares_{};
  PaintedLabel* timeLabel_ = nullptr;
  int animationFrame_ = 0;
};

// Owns a ProgressDialog for as long as the run lasts (the core's handle on it).
class ProgressWindowHandle : public ProgressWindow {
 public:
  explicit ProgressWindowHandle(ProgressDialog* dialog);
  ~ProgressWindowHandle() override;
  void update(const ProgressWindowState& state) override;

 private:
  wxWeakRef<ProgressDialog> dialog_;
};

// What the re-encode dialog reads from and changes in the main window at once.
struct ReencodeLinks {
  std::function<int()> qualityIndex;       // the main window's quality list, -1 when none
  std::function<void(int)> qualityChosen;  // select that item in the main window's list
  std::function<int()> resizeIndex;        // resizeIndex
  std::function<void(int)> resizeChosen;   // resizeIndex and the resize menu's check marks
  std::function<std::string(wxWindow* owner, const std::string& folder)> chooseOutput;
};

// "Save a Video with another compression".
class ReencodeDialog : public wxDialog {
 public:
  ReencodeDialog(wxWindow* owner, const Resources& resources, const std::string& currentPath,
                 ReencodeLinks links);
  // Runs modally; the chosen path, or "" when cancelled.
  std::string run();

  // The reactions to the user's actions, also used by tests.
  void selectFilePath();
  void chooseQuality(int index);
  void chooseResize(int index);
  void pressSave();
  void pressCancel();
  wxTextCtrl* pathEdit() const { return pathEdit_; }
  wxChoice* qualityList() const { return qualityList_; }
  wxChoice* resizeList() const { return resizeList_; }

 private:
  ReencodeLinks links_;
  std::string provisional_;
  std::string result_;
  wxTextCtrl* pathEdit_ = nullptr;
  wxChoice* qualityList_ = nullptr;
  wxChoice* resizeList_ = nullptr;
};

// The 22 texts of the quality lists; the leading number of each is its position.
wxArrayString qualityItems();

}  // namespace tarn
