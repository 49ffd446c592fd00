#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tarn::tool {

// Ends the run on SIGTERM, SIGINT or SIGHUP without leaving the tool's own files behind. The
// signals are blocked in this thread and every thread started after the object; a thread of its
// own waits for them, removes the files kept here, and ends the process group the tool leads, so
// its ffmpeg ends with it (when the tool does not lead a group, only the tool ends). Create it
// before any other thread. Programs the tool starts get an empty signal mask of their own.
class SignalCleanup {
 public:
  SignalCleanup();
  ~SignalCleanup();
  SignalCleanup(const SignalCleanup&) = delete;
  SignalCleanup& operator=(const SignalCleanup&) = delete;

  // `path` is removed when a signal ends the run, until forget() is called for it.
  void keep(const std::string& path);
  void forget(const std::string& path);

 private:
  void watch();

  std::mutex mutex_;
  std::vector<std::string> files_;
  std::atomic<bool> closing_{false};
  std::thread watcher_;
};

}  // namespace tarn::tool
