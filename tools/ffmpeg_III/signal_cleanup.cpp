#include "ffmpeg_III/signal_cleanup.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>

namespace tarn::tool {
namespace {

// Sent by the destructor to the watcher alone: the watcher ends at once instead of at its next
// timeout, so the tool's exit does not wait on it.
constexpr int kWakeSignal = SIGUSR2;

sigset_t stopSignals() {
  sigset_t set;
  ::sigemptyset(&set);
  ::sigaddset(&set, SIGTERM);
  ::sigaddset(&set, SIGINT);
  ::sigaddset(&set, SIGHUP);
  return set;
}

sigset_t watchedSignals() {
  sigset_t set = stopSignals();
  ::sigaddset(&set, kWakeSignal);
  return set;
}

}  // namespace

SignalCleanup::SignalCleanup() {
  const sigset_t set = watchedSignals();
  ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
  watcher_ = std::thread([this] { watch(); });
}

SignalCleanup::~SignalCleanup() {
  closing_ = true;
  if (watcher_.joinable()) {
    ::pthread_kill(watcher_.native_handle(), kWakeSignal);
    watcher_.join();
  }
  const sigset_t set = watchedSignals();
  ::pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

void SignalCleanup::keep(const std::string& path) {
  std::lock_guard lock(mutex_);
  files_.push_back(path);
}

void SignalCleanup::forget(const std::string& path) {
  std::lock_guard lock(mutex_);
  files_.erase(std::remove(files_.begin(), files_.end(), path), files_.end());
}

void SignalCleanup::watch() {
  const sigset_t set = watchedSignals();
  const timespec pause{0, 100'000'000};
  while (!closing_) {
    const int signal = ::sigtimedwait(&set, nullptr, &pause);
    if (signal <= 0 || signal == kWakeSignal) continue;
    {
      std::lock_guard lock(mutex_);
      for (const std::string& file : files_) ::unlink(file.c_str());
    }
    // The group the tool leads holds its ffmpeg; the tool ends with it.
    if (::getpgrp() == ::getpid()) ::kill(0, SIGKILL);
    ::_exit(128 + signal);
  }
}

}  // namespace tarn::tool
