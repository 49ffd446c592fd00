#include "gui/wx_frontend.h"

#include <wx/app.h>
#include <wx/evtloop.h>
#include <wx/generic/msgdlgg.h>

#include "gui/dialogs.h"
#include "gui/main_window.h"
#include "gui/widgets.h"

namespace tarn {
namespace {

wxColour toColour(Rgb rgb) {
  return wxColour(rgb.red, rgb.green, rgb.blue);
}

// Logo preview area size.
constexpr int kLogoWidth = 375;
constexpr int kLogoHeight = 52;

}  // namespace

WxFrontend::WxFrontend(const Resources& resources)
    : resources_(resources),
      windowThread_(std::this_thread::get_id()),
      feed_(1014, 200),
      notice_([] { return std::chrono::steady_clock::now(); },
              [this](const std::string& title, const std::string& body) {
                sendDesktopNotification(window_, title, body);
              }) {}

WxFrontend::~WxFrontend() = default;

void WxFrontend::attach(MainWindow* window) {
  window_ = window;
}

bool WxFrontend::onWindowThread() const {
  return std::this_thread::get_id() == windowThread_;
}

void WxFrontend::onWindow(std::function<void(MainWindow&)> change) {
  if (onWindowThread()) {
    if (window_) change(*window_);
    return;
  }
  wxTheApp->CallAfter([this, change = std::move(change)] {
    if (window_) change(*window_);
  });
}

void WxFrontend::setInfoLabel(InfoLabel label, const std::string& text) {
  onWindow(
      [label, text](MainWindow& window) { window.setInfoLabel(label, wxString::FromUTF8(text)); });
}

void WxFrontend::setOperationCaption(const std::string& text, Rgb textColour, Rgb background) {
  onWindow([=](MainWindow& window) {
    window.setOperationCaption(wxString::FromUTF8(text), toColour(textColour),
                               toColour(background));
  });
}

void WxFrontend::setProgressStrip(int32_t width, int32_t height) {
  onWindow([=](MainWindow& window) { window.setProgressStrip(width, height); });
}

void WxFrontend::setLogoStatus(const std::string& text, Rgb textColour, Rgb background) {
  onWindow([=](MainWindow& window) {
    window.setLogoStatus(wxString::FromUTF8(text), toColour(textColour), toColour(background));
  });
}

void WxFrontend::drawLogoPreview(const uint32_t* pixels, int32_t width, int32_t height) {
  // Scaled here, on the calling thread; the window only shows the result.
  auto rgb = std::make_shared<std::vector<uint8_t>>(kLogoWidth * kLogoHeight * 3, 0);
  if (pixels && width >= 100 && height > 0) {
    stretchToRgb(pixels, width, height, rgb->data(), kLogoWidth, kLogoHeight);
  }
  onWindow([rgb](MainWindow& window) {
    wxImage image(kLogoWidth, kLogoHeight, rgb->data(), true);
    window.showLogoPreview(wxBitmap(image));
  });
}

void WxFrontend::schedulePreview(bool mustSchedule) {
  if (!mustSchedule) return;  // the outstanding hand-over will show the newest picture
  auto show = [this] {
    const PreviewPicture* picture = feed_.take();
    if (!picture || !window_) return;
    window_->showPreview(*picture);
    previewShown_.fetch_add(1);
  };
  if (onWindowThread()) {
    show();
  } else {
    wxTheApp->CallAfter(show);
  }
}

void WxFrontend::drawFramePreview(const PreviewFrame& frame) {
  schedulePreview(feed_.putFrame(frame));
}

void WxFrontend::drawPreviewTitle() {
  schedulePreview(feed_.putTitle());
}

void WxFrontend::clearPreview() {
  schedulePreview(feed_.putCleared());
}

MessageAnswer WxFrontend::showMessageNow(const std::string& text, const std::string& caption,
                                         MessageIcon icon, MessageButtons buttons) {
  notice_.messageShown(caption, text, window_ && window_->IsActive());
  long style = buttons == MessageButtons::okCancel ? (wxOK | wxCANCEL) : wxOK;
  switch (icon) {
    case MessageIcon::information:
      style |= wxICON_INFORMATION;
      break;
    case MessageIcon::error:
      style |= wxICON_ERROR;
      break;
    case MessageIcon::warning:
      style |= wxICON_WARNING;
      break;
  }
  // The generic dialog shows the icon, which GTK's own message box leaves out.
  wxGenericMessageDialog dialog(window_, wxString::FromUTF8(text), wxString::FromUTF8(caption),
                                style);
  dialog.SetFont(windowFont());
  const int answer = dialog.ShowModal();
  return answer == wxID_OK || answer == wxID_YES ? MessageAnswer::ok : MessageAnswer::cancel;
}

MessageAnswer WxFrontend::showMessage(const std::string& text, const std::string& caption,
                                      MessageIcon icon, MessageButtons buttons) {
  if (onWindowThread()) return showMessageNow(text, caption, icon, buttons);
  wxTheApp->CallAfter(
      [this, text, caption, icon, buttons] { showMessageNow(text, caption, icon, buttons); });
  return MessageAnswer::ok;
}

void WxFrontend::yield(int milliseconds) {
  if (!onWindowThread()) {
    wxMilliSleep(static_cast<unsigned long>(std::max(0, milliseconds)));
    return;
  }
  // One pending event, else a sleep. Queued hand-overs (CallAfter) count as pending events; the
  // event loop's own Pending() does not see them on GTK.
  ++yieldDepth_;
  wxEventLoopBase* loop = wxEventLoopBase::GetActive();
  if (loop && loop->Pending()) {
    loop->Dispatch();
  } else if (wxTheApp && wxTheApp->HasPendingEvents()) {
    wxTheApp->ProcessPendingEvents();
  } else {
    wxMilliSleep(static_cast<unsigned long>(std::max(0, milliseconds)));
  }
  // On GTK, Pending() takes the toolkit's idle source away (it would always count as pending),
  // and only a new input event brings it back. Idle time is when destroyed windows are deleted:
  // without this, a window closed at the end of a command with waits stays on screen, and the
  // program with it, until the pointer happens to move.
  if (wxTheApp) wxTheApp->WakeUpIdle();
  --yieldDepth_;
}

std::unique_ptr<ProgressWindow> WxFrontend::openProgressWindow(ProgressWindowKind kind) {
  if (kind == ProgressWindowKind::encode) notice_.started();
  auto* dialog = new ProgressDialog(window_, resources_, kind);
  dialog->Show();
  dialog->Update();
  return std::make_unique<ProgressWindowHandle>(dialog);
}

std::string WxFrontend::showReencodeDialog(const std::string& currentPath) {
  if (!window_) return {};
  ReencodeDialog dialog(window_, resources_, currentPath, window_->reencodeLinks());
  return dialog.run();
}

}  // namespace tarn
