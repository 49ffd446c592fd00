#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>

class wxWindow;

namespace tarn {

// Lets the user know how a long run ended while they were elsewhere: when a conversion or an
// encode that lasted at least 30 seconds ends with a message box while the main window is not
// active, the box's caption and text also go out as a desktop notification. Window thread.
class RunNotice {
 public:
  using Clock = std::function<std::chrono::steady_clock::time_point()>;
  using Send = std::function<void(const std::string& title, const std::string& body)>;
  static constexpr std::chrono::seconds kLongRun{30};

  RunNotice(Clock clock, Send send) : clock_(std::move(clock)), send_(std::move(send)) {}

  // A conversion run or an encode begins; an encode within a timed run keeps the run's start.
  void started() {
    if (!start_) start_ = clock_();
  }
  // A message box is about to be shown. Ends the timing; returns whether a notification went out.
  bool messageShown(const std::string& caption, const std::string& text, bool windowActive);
  // The conversion command is over (a stopped run ends without a box).
  void finished() { start_.reset(); }

 private:
  Clock clock_;
  Send send_;
  std::optional<std::chrono::steady_clock::time_point> start_;
};

// Shows a desktop notification through the toolkit (libnotify) when the session has a
// notification service; does nothing where it has none.
void sendDesktopNotification(wxWindow* parent, const std::string& title, const std::string& body);

}  // namespace tarn
