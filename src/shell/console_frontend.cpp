#include "shell/console_frontend.h"

#include <algorithm>
#include <thread>

namespace tarn {
namespace {

// The encode's progress, from the encoder tool's reports.
class ConsoleProgressWindow : public ProgressWindow {
 public:
  explicit ConsoleProgressWindow(ConsoleFrontend& frontend) : frontend_(frontend) {}
  ~ConsoleProgressWindow() override { frontend_.endProgress(); }
  void update(const ProgressWindowState& state) override {
    if (state.encodedFrames < 0 || state.encodedFrames == last_) return;
    const auto now = StageClock::Clock::now();
    if (!clock_.begun()) clock_.begin(now, state.encodedFrames);
    last_ = state.encodedFrames;
    total_ = state.encodeTotal;
    frontend_.showProgress("encode", last_, total_,
                           clock_.secondsLeft(last_, total_, now, state.encodeFramesPerSecond));
  }

 private:
  ConsoleFrontend& frontend_;
  StageClock clock_;
  int64_t last_ = -1;
  int64_t total_ = 0;
};

// A message box's text on one line.
std::string oneLine(const std::string& text) {
  std::string line;
  for (const char c : text) {
    if (c == '\r') continue;
    line += c == '\n' ? ' ' : c;
  }
  return line;
}

}  // namespace

ConsoleFrontend::ConsoleFrontend(std::FILE* messages, std::FILE* json, ProgressStyle style,
                                 bool quiet)
    : messages_(messages),
      json_(json),
      style_(quiet ? ProgressStyle::none : style),
      quiet_(quiet) {}

void ConsoleFrontend::setCurrentFile(const std::string& file) {
  std::lock_guard lock(mutex_);
  file_ = file;
  totalFrames_ = 0;
  frameClock_ = StageClock{};
}

void ConsoleFrontend::say(const std::string& file, const std::string& text, bool error) {
  std::lock_guard lock(mutex_);
  if (quiet_ && !error) return;
  endProgressLine();
  const std::string& about = file.empty() ? file_ : file;
  std::fprintf(messages_, "tarn-convert: %s%s%s\n", about.c_str(), about.empty() ? "" : ": ",
               oneLine(text).c_str());
  std::fflush(messages_);
}

void ConsoleFrontend::logLine(std::string_view line) {
  std::lock_guard lock(mutex_);
  endProgressLine();
  std::fprintf(messages_, "%.*s\n", static_cast<int>(line.size()), line.data());
  std::fflush(messages_);
}

void ConsoleFrontend::writeJson(const std::string& line) {
  std::lock_guard lock(mutex_);
  if (style_ != ProgressStyle::json) return;
  std::fprintf(json_, "%s\n", line.c_str());
  std::fflush(json_);
}

void ConsoleFrontend::showProgress(const std::string& stage, int64_t done, int64_t total,
                                   std::optional<double> secondsLeft) {
  std::lock_guard lock(mutex_);
  if (style_ == ProgressStyle::none) return;
  const std::string text = progressText({file_, stage, done, total, secondsLeft}, style_);
  if (style_ == ProgressStyle::json) {
    std::fprintf(json_, "%s\n", text.c_str());
    std::fflush(json_);
  } else if (style_ == ProgressStyle::bar) {
    std::fprintf(messages_, "\r%s\033[K", text.c_str());  // \033[K: clear what a longer text left
    lineOpen_ = true;
    std::fflush(messages_);
  } else {
    std::fprintf(messages_, "%s\n", text.c_str());
    std::fflush(messages_);
  }
}

void ConsoleFrontend::setInfoLabel(InfoLabel label, const std::string& text) {
  int64_t done = 0;
  int64_t total = 0;
  std::optional<double> left;
  {
    std::lock_guard lock(mutex_);
    const auto now = StageClock::Clock::now();
    if (label == InfoLabel::numFrames) {
      // Set as the run begins: the frame stage's clock starts here.
      totalFrames_ = text.empty() ? 0 : std::atoi(text.c_str());
      if (!text.empty()) frameClock_.begin(now, 0);
      return;
    }
    // The operation label holds the number of frames written so far.
    if (label != InfoLabel::operation || text.empty()) return;
    if (!frameClock_.begun()) frameClock_.begin(now, 0);
    done = std::atoi(text.c_str());
    total = totalFrames_;
    left = frameClock_.secondsLeft(done, std::max<int64_t>(total, done), now);
  }
  showProgress("frames", done, total, left);
}

void ConsoleFrontend::endProgress() {
  std::lock_guard lock(mutex_);
  endProgressLine();
}

void ConsoleFrontend::endProgressLine() {
  if (lineOpen_) std::fprintf(messages_, "\n");
  lineOpen_ = false;
}

MessageAnswer ConsoleFrontend::showMessage(const std::string& text, const std::string&,
                                           MessageIcon icon, MessageButtons buttons) {
  // A question's lines before its last say what happened (and why); the question itself, the last
  // line, is answered below.
  std::string shown = text;
  if (buttons == MessageButtons::okCancel) {
    const size_t question = shown.find_last_of("\r\n", shown.find_last_not_of("\r\n"));
    if (question != std::string::npos) shown.resize(question);
    while (!shown.empty() && (shown.back() == '\r' || shown.back() == '\n')) shown.pop_back();
  }
  say({}, shown, icon != MessageIcon::information);
  // The only question is whether to encode once more; the console never does.
  return buttons == MessageButtons::okCancel ? MessageAnswer::cancel : MessageAnswer::ok;
}

void ConsoleFrontend::yield(int milliseconds) {
  // A window's long waits let its messages and repaints through; a terminal has none, so only the
  // worker threads need the time, and a short sleep gives it to them. Polling loops of 10 to 12 ms
  // keep their pace, so the stall rule still counts about a second a tick; the longer pauses
  // around a run (a dozen of them) no longer add up to a noticeable wait.
  std::this_thread::sleep_for(std::chrono::milliseconds(std::min(milliseconds, kLongestYield)));
}

std::unique_ptr<ProgressWindow> ConsoleFrontend::openProgressWindow(ProgressWindowKind kind) {
  endProgress();
  if (kind != ProgressWindowKind::encode) return nullptr;
  return std::make_unique<ConsoleProgressWindow>(*this);
}

}  // namespace tarn
