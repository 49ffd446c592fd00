#pragma once

#include <atomic>
#include <functional>
#include <thread>

namespace tarn {

// SIGINT and SIGTERM taken as a Stop: while an instance lives, the two signals are blocked in
// every thread started after it (create it before any other thread) and a thread of its own waits
// for them. The first one received calls `onStop` once, on that thread; from then on the encoder
// runs this process started are ended as they appear, so that no encode goes on after a stop.
// Child processes start with an empty signal mask, so they are not affected.
class StopSignals {
 public:
  explicit StopSignals(std::function<void()> onStop);
  ~StopSignals();
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

  // The signal received (SIGINT or SIGTERM), 0 when none.
  int received() const { return received_; }
  // The exit status for the signal: 128 + its number (130, 143); 0 when none came.
  int exitStatus() const { return received_ ? 128 + received_ : 0; }

 private:
  void watch();

  std::function<void()> onStop_;
  std::atomic<int> received_{0};
  std::atomic<bool> closing_{false};
  std::thread watcher_;
};

// Sends `signal` (SIGTERM asks, SIGKILL ends) to the child processes of this process that are
// still running, each with the process group it leads (an encoder tool and its ffmpeg). Only
// direct children, found by their parent id in /proc.
void endChildProcesses(int signal);

}  // namespace tarn
