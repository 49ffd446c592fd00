#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

#include "common/frontend.h"
#include "gui/preview_feed.h"
#include "gui/run_notice.h"

namespace tarn {

class MainWindow;
class Resources;

// The Frontend on wxWidgets. Calls from the window thread act at once; calls from any other
// thread are handed to the window thread (CallAfter) and return at once, so that a worker never
// waits for the window. Preview frames are scaled on the calling thread and only shown on the
// window thread, with at most one hand-over outstanding.
class WxFrontend : public Frontend {
 public:
  explicit WxFrontend(const Resources& resources);
  ~WxFrontend() override;

  // Window thread. The window receives the changes from now on; nullptr detaches it (changes
  // that arrive later are dropped).
  void attach(MainWindow* window);
  MainWindow* window() const { return window_; }
  bool onWindowThread() const;

  void setInfoLabel(InfoLabel label, const std::string& text) override;
  void setOperationCaption(const std::string& text, Rgb textColour, Rgb background) override;
  void setProgressStrip(int32_t width, int32_t height) override;
  void setLogoStatus(const std::string& text, Rgb textColour, Rgb background) override;
  void drawLogoPreview(const uint32_t* pixels, int32_t width, int32_t height) override;
  void drawFramePreview(const PreviewFrame& frame) override;
  void drawPreviewTitle() override;
  void clearPreview() override;
  MessageAnswer showMessage(const std::string& text, const std::string& caption, MessageIcon icon,
                            MessageButtons buttons) override;
  void yield(int milliseconds) override;
  std::unique_ptr<ProgressWindow> openProgressWindow(ProgressWindowKind kind) override;
  std::string showReencodeDialog(const std::string& currentPath) override;

  // The desktop notice of long runs: timed from the conversion command and from every encode
  // window, sent with the message box that ends the run. Tests replace its clock and sender.
  RunNotice& runNotice() { return notice_; }

  // Preview pictures handed over so far, and those shown (tests; any thread).
  int previewPicturesShown() const { return previewShown_.load(); }

 private:
  // Runs `change` on the window thread with the attached window: now when called there, else
  // later; dropped when no window is attached by then.
  void onWindow(std::function<void(MainWindow&)> change);
  void schedulePreview(bool mustSchedule);
  MessageAnswer showMessageNow(const std::string& text, const std::string& caption,
                               MessageIcon icon, MessageButtons buttons);

  const Resources& resources_;
  MainWindow* window_ = nullptr;  // window thread only
  std::thread::id windowThread_;
  PreviewFeed feed_;
  std::atomic<int> previewShown_{0};
  int yieldDepth_ = 0;
  RunNotice notice_;
};

}  // namespace tarn
