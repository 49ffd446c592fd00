#pragma once

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "common/frontend.h"

namespace tarn::test {

// A frontend that records what the core shows, for tests. Message boxes are answered from a
// queue of prepared answers (default `ok`). yield() sleeps, unless set to return at once; every
// yield is recorded.
class RecordingFrontend : public Frontend {
 public:
  struct Message {
    std::string text;
    std::string caption;
    MessageIcon icon;
    MessageButtons buttons;
  };

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

  // Prepared answers, taken in order.
  void queueAnswer(MessageAnswer answer);
  void queueReencodePath(const std::string& path);
  void setInstantYield(bool instant);

  // Snapshots (thread-safe).
  std::vector<Message> messages() const;
  std::string infoLabel(InfoLabel label) const;
  std::string operationCaption() const;
  std::string logoStatus() const;
  int32_t progressStripWidth() const;
  int previewFrames() const;
  int previewTitles() const;
  int progressWindowsOpened() const;
  std::vector<std::string> reencodeDialogPaths() const;
  std::vector<int> yields() const;  // the milliseconds of every yield, in order

 private:
  mutable std::mutex mutex_;
  std::vector<Message> messages_;
  std::vector<MessageAnswer> answers_;
  std::vector<std::string> reencodePaths_;
  std::vector<std::string> reencodeDialogCalls_;
  std::map<InfoLabel, std::string> labels_;
  std::string operationCaption_;
  std::string logoStatus_;
  int32_t stripWidth_ = 0;
  int previewFrames_ = 0;
  int previewTitles_ = 0;
  int progressWindows_ = 0;
  bool instantYield_ = false;
  std::vector<int> yields_;
};

}  // namespace tarn::test
