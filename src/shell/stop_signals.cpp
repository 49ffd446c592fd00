#include "shell/stop_signals.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>

namespace tarn {
namespace {

// Sent by the destructor to the watcher alone: the watcher ends at once instead of at its next
// tick, so the program's exit does not wait on it.
constexpr int kWakeSignal = SIGUSR2;

sigset_t stopSignalSet() {
  sigset_t set;
  ::sigemptyset(&set);
  ::sigaddset(&set, SIGINT);
  ::sigaddset(&set, SIGTERM);
  return set;
}

sigset_t watchedSignals() {
  sigset_t set = stopSignalSet();
  ::sigaddset(&set, kWakeSignal);
  return set;
}

// The parent id of process `pid`, or -1.
pid_t parentOf(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text;
  std::getline(stat, text);
  // "pid (name) state ppid ...": the name may hold blanks and parentheses.
  const size_t close = text.rfind(')');
  if (close == std::string::npos || close + 4 > text.size()) return -1;
  char state = 0;
  long parent = -1;
  if (std::sscanf(text.c_str() + close + 1, " %c %ld", &state, &parent) != 2) return -1;
  if (state == 'Z') return -1;  // ended already, waiting to be reaped
  return static_cast<pid_t>(parent);
}

}  // namespace

void endChildProcesses(int signal) {
  const pid_t self = ::getpid();
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
    const std::string name = entry.path().filename().string();
    char* end = nullptr;
    const long pid = std::strtol(name.c_str(), &end, 10);
    if (end == name.c_str() || *end != '\0' || pid <= 1) continue;
    if (parentOf(static_cast<pid_t>(pid)) != self) continue;
    // A child of ours that has not been reaped keeps its id; the tool leads its own group.
    if (::getpgid(static_cast<pid_t>(pid)) == pid) {
      ::kill(-static_cast<pid_t>(pid), signal);
    } else {
      ::kill(static_cast<pid_t>(pid), signal);
    }
  }
}

StopSignals::StopSignals(std::function<void()> onStop) : onStop_(std::move(onStop)) {
  const sigset_t set = watchedSignals();
  ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
  watcher_ = std::thread([this] { watch(); });
}

StopSignals::~StopSignals() {
  closing_ = true;
  if (watcher_.joinable()) {
    ::pthread_kill(watcher_.native_handle(), kWakeSignal);
    watcher_.join();
  }
  // A signal that came after the watcher ended stays pending: take it before unblocking, so the
  // process does not end by it on its way out.
  const sigset_t set = watchedSignals();
  const timespec noWait{0, 0};
  while (::sigtimedwait(&set, nullptr, &noWait) > 0) {
  }
  ::pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

void StopSignals::watch() {
  const sigset_t set = watchedSignals();
  const timespec tick{0, 100'000'000};
  // Ticks after the stop during which the runs are asked to end (the encoder tool removes its own
  // files on SIGTERM); after them they are killed.
  constexpr int kGraceTicks = 20;
  int ticksSinceStop = 0;
  while (!closing_) {
    const int signal = ::sigtimedwait(&set, nullptr, &tick);
    if (signal > 0 && signal != kWakeSignal && received_ == 0) {
      received_ = signal;
      if (onStop_) onStop_();
    }
    // After a stop no encoder run may go on; one started since the last look is ended too.
    if (received_ != 0) {
      endChildProcesses(ticksSinceStop++ < kGraceTicks ? SIGTERM : SIGKILL);
    }
  }
}

}  // namespace tarn
