#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>

#include "common/frontend.h"

namespace tarn {

// The headless front end's frontend: messages go to standard error, the frame progress is a bar
// on a terminal and plain lines otherwise, the success question is answered with Cancel (no
// re-export), and nothing is drawn.
class ConsoleFrontend : public Frontend {
 public:
  // `terminal`: draw a bar that rewrites one line; otherwise write whole progress lines.
  ConsoleFrontend(std::FILE* out, bool terminal);

  void setInfoLabel(InfoLabel label, const std::string& text) override;
  void setOperationCaption(const std::string&, Rgb, Rgb) override {}
  void setProgressStrip(int32_t, int32_t) override {}
  void setLogoStatus(const std::string&, Rgb, Rgb) override {}
  void drawLogoPreview(const uint32_t*, int32_t, int32_t) override {}
  void drawFramePreview(const PreviewFrame&) override {}
  void drawPreviewTitle() override {}
  void clearPreview() override {}
  MessageAnswer showMessage(const std::string& text, const std::string& caption, MessageIcon icon,
                            MessageButtons buttons) override;
  // Sleeps, at most kLongestYield milliseconds.
  void yield(int milliseconds) override;
  static constexpr int kLongestYield = 20;
  std::unique_ptr<ProgressWindow> openProgressWindow(ProgressWindowKind kind) override;
  std::string showReencodeDialog(const std::string&) override { return {}; }

  // The progress text for `done` of `total` frames after `elapsedSeconds`: a bar (terminal) or a
  // plain line, with the percentage and the estimated time left.
  static std::string progressText(int32_t done, int32_t total, double elapsedSeconds,
                                  bool terminal);

 private:
  void endProgressLine();

  std::FILE* out_;
  bool terminal_;
  std::mutex mutex_;
  int32_t totalFrames_ = 0;
  bool progressShown_ = false;
  bool lineOpen_ = false;
  std::chrono::steady_clock::time_point start_;
};

}  // namespace tarn
