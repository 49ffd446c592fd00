#include "support/recording_frontend.h"

#include <chrono>
#include <thread>

namespace tarn::test {
namespace {

class NullProgressWindow : public ProgressWindow {
 public:
  void update(const ProgressWindowState&) override {}
};

}  // namespace

void RecordingFrontend::setInfoLabel(InfoLabel label, const std::string& text) {
  std::lock_guard lock(mutex_);
  labels_[label] = text;
}

void RecordingFrontend::setOperationCaption(const std::string& text, Rgb, Rgb) {
  std::lock_guard lock(mutex_);
  operationCaption_ = text;
}

void RecordingFrontend::setProgressStrip(int32_t width, int32_t) {
  std::lock_guard lock(mutex_);
  stripWidth_ = width;
}

void RecordingFrontend::setLogoStatus(const std::string& text, Rgb, Rgb) {
  std::lock_guard lock(mutex_);
  logoStatus_ = text;
}

void RecordingFrontend::drawLogoPreview(const uint32_t*, int32_t, int32_t) {}

void RecordingFrontend::drawFramePreview(const PreviewFrame&) {
  std::lock_guard lock(mutex_);
  ++previewFrames_;
}

void RecordingFrontend::drawPreviewTitle() {
  std::lock_guard lock(mutex_);
  ++previewTitles_;
}

void RecordingFrontend::clearPreview() {}

MessageAnswer RecordingFrontend::showMessage(const std::string& text, const std::string& caption,
                                             MessageIcon icon, MessageButtons buttons) {
  std::lock_guard lock(mutex_);
  messages_.push_back({text, caption, icon, buttons});
  if (answers_.empty()) return MessageAnswer::ok;
  const MessageAnswer answer = answers_.front();
  answers_.erase(answers_.begin());
  return answer;
}

void RecordingFrontend::yield(int milliseconds) {
  {
    std::lock_guard lock(mutex_);
    yields_.push_back(milliseconds);
    if (instantYield_) return;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

void RecordingFrontend::setInstantYield(bool instant) {
  std::lock_guard lock(mutex_);
  instantYield_ = instant;
}

std::vector<int> RecordingFrontend::yields() const {
  std::lock_guard lock(mutex_);
  return yields_;
}

std::unique_ptr<ProgressWindow> RecordingFrontend::openProgressWindow(ProgressWindowKind) {
  std::lock_guard lock(mutex_);
  ++progressWindows_;
  return std::make_unique<NullProgressWindow>();
}

std::string RecordingFrontend::showReencodeDialog(const std::string& currentPath) {
  std::lock_guard lock(mutex_);
  reencodeDialogCalls_.push_back(currentPath);
  if (reencodePaths_.empty()) return {};
  const std::string path = reencodePaths_.front();
  reencodePaths_.erase(reencodePaths_.begin());
  return path;
}

void RecordingFrontend::queueAnswer(MessageAnswer answer) {
  std::lock_guard lock(mutex_);
  answers_.push_back(answer);
}

void RecordingFrontend::queueReencodePath(const std::string& path) {
  std::lock_guard lock(mutex_);
  reencodePaths_.push_back(path);
}

std::vector<RecordingFrontend::Message> RecordingFrontend::messages() const {
  std::lock_guard lock(mutex_);
  return messages_;
}

std::string RecordingFrontend::infoLabel(InfoLabel label) const {
  std::lock_guard lock(mutex_);
  const auto found = labels_.find(label);
  return found == labels_.end() ? std::string() : found->second;
}

std::string RecordingFrontend::operationCaption() const {
  std::lock_guard lock(mutex_);
  return operationCaption_;
}

std::string RecordingFrontend::logoStatus() const {
  std::lock_guard lock(mutex_);
  return logoStatus_;
}

int32_t RecordingFrontend::progressStripWidth() const {
  std::lock_guard lock(mutex_);
  return stripWidth_;
}

int RecordingFrontend::previewFrames() const {
  std::lock_guard lock(mutex_);
  return previewFrames_;
}

int RecordingFrontend::previewTitles() const {
  std::lock_guard lock(mutex_);
  return previewTitles_;
}

int RecordingFrontend::progressWindowsOpened() const {
  std::lock_guard lock(mutex_);
  return progressWindows_;
}

std::vector<std::string> RecordingFrontend::reencodeDialogPaths() const {
  std::lock_guard lock(mutex_);
  return reencodeDialogCalls_;
}

}  // namespace tarn::test
