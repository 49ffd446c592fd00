#pragma once

#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>

#include "common/frontend.h"
#include "shell/console_progress.h"

namespace tarn {

// The headless front end's frontend. Messages go to `messages` in the usual form of command-line
// tools ("tarn-convert: FILE: text"); progress of the frame stage and of the encode goes there as
// a bar or plain lines, or to `json` as one object per line. The success question is answered
// with Cancel (no re-export), and nothing is drawn.
class ConsoleFrontend : public Frontend {
 public:
  // `quiet`: errors only (no progress, no notices).
  ConsoleFrontend(std::FILE* messages, std::FILE* json, ProgressStyle style, bool quiet);

  // The movie the following messages and progress are about.
  void setCurrentFile(const std::string& file);
  // One message line about `file` (the current one when empty). Errors show even when quiet.
  void say(const std::string& file, const std::string& text, bool error);
  // A line of the run log, shown as it is written (verbose mode).
  void logLine(std::string_view line);
  // One JSON object line (JSON progress only), e.g. a movie's result.
  void writeJson(const std::string& line);
  ProgressStyle style() const { return style_; }
  bool quiet() const { return quiet_; }

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
  static constexpr int kLongestYield = 12;
  std::unique_ptr<ProgressWindow> openProgressWindow(ProgressWindowKind kind) override;
  std::string showReencodeDialog(const std::string&) override { return {}; }

  // Shows one progress report of a stage. Any thread.
  void showProgress(const std::string& stage, int64_t done, int64_t total,
                    std::optional<double> secondsLeft);
  // Ends a bar's line, so that what follows starts on a line of its own.
  void endProgress();

 private:
  void endProgressLine();  // mutex held

  std::FILE* messages_;
  std::FILE* json_;
  ProgressStyle style_;
  bool quiet_;
  std::mutex mutex_;
  std::string file_;
  int32_t totalFrames_ = 0;
  StageClock frameClock_;
  bool lineOpen_ = false;
};

}  // namespace tarn
