#include "shell/console_frontend.h"

#include <algorithm>
#include <thread>

#include "conversion/timing_text.h"

namespace tarn {
namespace {

class ConsoleProgressWindow : public ProgressWindow {
 public:
  ConsoleProgressWindow(std::FILE* out, bool terminal) : out_(out), terminal_(terminal) {
    if (!terminal_) std::fprintf(out_, "Encoding the output movie\n");
  }
  ~ConsoleProgressWindow() override {
    if (terminal_ && shown_) std::fprintf(out_, "\n");
    std::fflush(out_);
  }
  void update(const ProgressWindowState& state) override {
    if (!terminal_ || state.timeText.empty() || state.timeText == last_) return;
    last_ = state.timeText;
    shown_ = true;
    std::fprintf(out_, "\rEncoding the output movie. %s", state.timeText.c_str());
    std::fflush(out_);
  }

 private:
  std::FILE* out_;
  bool terminal_;
  bool shown_ = false;
  std::string last_;
};

// Text of a message box on one line per line of the box.
std::string withoutCarriageReturns(std::string text) {
  text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
  return text;
}

}  // namespace

ConsoleFrontend::ConsoleFrontend(std::FILE* out, bool terminal)
    : out_(out), terminal_(terminal), start_(std::chrono::steady_clock::now()) {}

std::string ConsoleFrontend::progressText(int32_t done, int32_t total, double elapsedSeconds,
                                          bool terminal) {
  const int32_t shownTotal = std::max(total, done);
  const int percent = shownTotal > 0 ? static_cast<int>(100.0 * done / shownTotal) : 0;
  std::string left = "--:--:--";
  if (done > 0 && shownTotal > 0) {
    left = formatClock(static_cast<int32_t>(elapsedSeconds * (shownTotal - done) / done + 0.5));
  }
  const std::string counts = std::to_string(done) + "/" + std::to_string(shownTotal) + " frames " +
                             std::to_string(percent) + "% left " + left;
  if (!terminal) return counts;
  constexpr int kBarWidth = 30;
  const int filled = percent * kBarWidth / 100;
  return "[" + std::string(static_cast<size_t>(filled), '#') +
         std::string(static_cast<size_t>(kBarWidth - filled), '.') + "] " + counts;
}

void ConsoleFrontend::setInfoLabel(InfoLabel label, const std::string& text) {
  std::lock_guard lock(mutex_);
  if (label == InfoLabel::numFrames) {
    totalFrames_ = text.empty() ? 0 : std::atoi(text.c_str());
    return;
  }
  if (label != InfoLabel::operation || text.empty()) return;
  // The operation label holds the number of frames written so far.
  if (!progressShown_) start_ = std::chrono::steady_clock::now();
  progressShown_ = true;
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start_;
  const std::string line =
      progressText(std::atoi(text.c_str()), totalFrames_, elapsed.count(), terminal_);
  if (terminal_) {
    std::fprintf(out_, "\r%s", line.c_str());
    lineOpen_ = true;
  } else {
    std::fprintf(out_, "%s\n", line.c_str());
  }
  std::fflush(out_);
}

void ConsoleFrontend::endProgressLine() {
  if (lineOpen_) std::fprintf(out_, "\n");
  lineOpen_ = false;
}

MessageAnswer ConsoleFrontend::showMessage(const std::string& text, const std::string& caption,
                                           MessageIcon, MessageButtons buttons) {
  std::lock_guard lock(mutex_);
  endProgressLine();
  // A question's lines before its last say what happened (and why); the question itself, the last
  // line, is answered below.
  std::string shown = withoutCarriageReturns(text);
  if (buttons == MessageButtons::okCancel) {
    const size_t question = shown.rfind('\n');
    if (question != std::string::npos) shown.resize(question);
  }
  std::fprintf(out_, "%s: %s\n", caption.c_str(), shown.c_str());
  std::fflush(out_);
  // The only question is whether to encode once more; the console never does.
  return buttons == MessageButtons::okCancel ? MessageAnswer::cancel : MessageAnswer::ok;
}

void ConsoleFrontend::yield(int milliseconds) {
  // A window's long waits let its messages and repaints through; a terminal has none, so only the
  // worker threads need the time, and a short sleep gives it to them. Polling loops of 10 to 12 ms
  // keep their pace, so the stall rule still counts about a second a tick.
  std::this_thread::sleep_for(std::chrono::milliseconds(std::min(milliseconds, kLongestYield)));
}

std::unique_ptr<ProgressWindow> ConsoleFrontend::openProgressWindow(ProgressWindowKind) {
  std::lock_guard lock(mutex_);
  endProgressLine();
  return std::make_unique<ConsoleProgressWindow>(out_, terminal_);
}

}  // namespace tarn
