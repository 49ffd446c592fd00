#include "common/process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <pthread.h>
#include <cerrno>
#include <chrono>
#include <mutex>
#include <system_error>
#include <thread>

extern char** environ;

namespace tarn {
namespace {

int exitStatusOf(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

// posix_spawn's attribute and file-action records, destroyed on every path.
class SpawnSetup {
 public:
  SpawnSetup() {
    ::posix_spawn_file_actions_init(&actions_);
    ::posix_spawnattr_init(&attributes_);
  }
  ~SpawnSetup() {
    ::posix_spawnattr_destroy(&attributes_);
    ::posix_spawn_file_actions_destroy(&actions_);
  }
  SpawnSetup(const SpawnSetup&) = delete;
  SpawnSetup& operator=(const SpawnSetup&) = delete;
  posix_spawn_file_actions_t* actions() { return &actions_; }
  posix_spawnattr_t* attributes() { return &attributes_; }

 private:
  posix_spawn_file_actions_t actions_;
  posix_spawnattr_t attributes_;
};

}  // namespace

struct ChildProcess::Shared {
  std::mutex mutex;
  pid_t pid = -1;
  bool reaped = false;
  int exitStatus = -1;
  int inputFd = -1;  // write end of the child's input pipe, while open
  bool groupLeader = false;
};

namespace {

// Writes to a pipe whose reader may have ended. That write raises SIGPIPE, which would end this
// program: the signal is blocked for the write and one it left pending is taken.
void writeToPipe(int fd, std::string_view bytes) {
  sigset_t pipeSignal;
  sigset_t previous;
  ::sigemptyset(&pipeSignal);
  ::sigaddset(&pipeSignal, SIGPIPE);
  ::pthread_sigmask(SIG_BLOCK, &pipeSignal, &previous);
  ssize_t written = -1;
  do {
    written = ::write(fd, bytes.data(), bytes.size());
  } while (written < 0 && errno == EINTR);
  if (written < 0 && errno == EPIPE) {
    const timespec noWait{};
    while (::sigtimedwait(&pipeSignal, nullptr, &noWait) < 0 && errno == EINTR) {
    }
  }
  ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

// Our environment with `extra` entries added ("NAME=value"); an extra entry replaces ours.
std::vector<std::string> environmentWith(const std::vector<std::string>& extra) {
  std::vector<std::string> entries;
  for (char** entry = environ; entry && *entry; ++entry) {
    const std::string text(*entry);
    const std::string name = text.substr(0, text.find('='));
    bool replaced = false;
    for (const std::string& added : extra)
      replaced = replaced || added.substr(0, added.find('=')) == name;
    if (!replaced) entries.push_back(text);
  }
  entries.insert(entries.end(), extra.begin(), extra.end());
  return entries;
}

}  // namespace

ChildProcess ChildProcess::start(const std::vector<std::string>& arguments,
                                 const Options& options) {
  ChildProcess child;
  if (arguments.empty() || arguments[0].empty()) return child;

  SpawnSetup setup;
  posix_spawn_file_actions_t* actions = setup.actions();
  int inputPipe[2] = {-1, -1};
  if (options.inputPipe) {
    if (::pipe2(inputPipe, O_CLOEXEC) != 0) return child;
    ::posix_spawn_file_actions_adddup2(actions, inputPipe[0], STDIN_FILENO);
  } else {
    ::posix_spawn_file_actions_addopen(actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  }
  const auto closePipe = [&inputPipe] {
    for (int& fd : inputPipe) {
      if (fd >= 0) ::close(fd);
      fd = -1;
    }
  };
  if (options.stderrFile) {
    const std::string file = options.stderrFile->string();
    const int create = options.stderrFileNew ? O_EXCL | O_NOFOLLOW : O_TRUNC;
    ::posix_spawn_file_actions_addopen(actions, STDERR_FILENO, file.c_str(),
                                       O_WRONLY | O_CREAT | create, 0644);
    if (options.stdoutToo) {
      ::posix_spawn_file_actions_adddup2(actions, STDERR_FILENO, STDOUT_FILENO);
    } else if (!options.inheritOutput) {
      ::posix_spawn_file_actions_addopen(actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    }
  } else if (!options.inheritOutput) {
    ::posix_spawn_file_actions_addopen(actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    ::posix_spawn_file_actions_addopen(actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  }
  // The child inherits no other descriptor of ours.
  ::posix_spawn_file_actions_addclosefrom_np(actions, STDERR_FILENO + 1);

  // The child starts with default signal handling and an empty signal mask.
  sigset_t defaults;
  sigset_t empty;
  ::sigfillset(&defaults);
  ::sigemptyset(&empty);
  ::posix_spawnattr_setsigdefault(setup.attributes(), &defaults);
  ::posix_spawnattr_setsigmask(setup.attributes(), &empty);
  short flags = POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK;
  if (options.ownProcessGroup) {
    ::posix_spawnattr_setpgroup(setup.attributes(), 0);
    flags |= POSIX_SPAWN_SETPGROUP;
  }
  ::posix_spawnattr_setflags(setup.attributes(), flags);

  std::vector<char*> argv;
  argv.reserve(arguments.size() + 1);
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);

  std::vector<std::string> environment;
  std::vector<char*> envp;
  if (!options.environment.empty()) {
    environment = environmentWith(options.environment);
    for (std::string& entry : environment) envp.push_back(entry.data());
    envp.push_back(nullptr);
  }

  pid_t pid = -1;
  // A path is started exactly as it stands; only a bare name is looked up on the PATH.
  const auto spawn = arguments[0].find('/') == std::string::npos ? ::posix_spawnp : ::posix_spawn;
  const int error = spawn(&pid, argv[0], actions, setup.attributes(), argv.data(),
                          envp.empty() ? environ : envp.data());
  if (error != 0 || pid <= 0) {
    closePipe();
    return child;
  }

  child.pid_ = pid;
  child.shared_ = std::make_shared<Shared>();
  child.shared_->pid = pid;
  child.shared_->groupLeader = options.ownProcessGroup;
  if (options.inputPipe) {
    ::close(inputPipe[0]);
    child.shared_->inputFd = inputPipe[1];
  }
  return child;
}

int ChildProcess::wait() {
  if (!shared_) return -1;
  {
    std::lock_guard lock(shared_->mutex);
    if (shared_->reaped) return shared_->exitStatus;
  }
  // Wait for the end without reaping, so the process id stays ours while terminate() may use it;
  // reaping happens only under the lock.
  siginfo_t info{};
  while (::waitid(P_PID, static_cast<id_t>(shared_->pid), &info, WEXITED | WNOWAIT) != 0) {
    if (errno != EINTR) break;
  }
  std::lock_guard lock(shared_->mutex);
  if (!shared_->reaped) {
    int status = 0;
    pid_t result = -1;
    do {
      result = ::waitpid(shared_->pid, &status, 0);
    } while (result < 0 && errno == EINTR);
    shared_->reaped = true;
    shared_->exitStatus = result == shared_->pid ? exitStatusOf(status) : -1;
  }
  return shared_->exitStatus;
}

std::optional<int> ChildProcess::waitFor(std::chrono::milliseconds limit) {
  if (!shared_) return -1;
  const auto end = std::chrono::steady_clock::now() + limit;
  while (true) {
    {
      std::lock_guard lock(shared_->mutex);
      if (shared_->reaped) return shared_->exitStatus;
    }
    siginfo_t info{};
    // Looks without reaping; wait() reaps under the lock.
    if (::waitid(P_PID, static_cast<id_t>(shared_->pid), &info, WEXITED | WNOWAIT | WNOHANG) == 0 &&
        info.si_pid != 0) {
      return wait();
    }
    if (std::chrono::steady_clock::now() >= end) return std::nullopt;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

void ChildProcess::terminate() {
  if (!shared_) return;
  const pid_t target = shared_->groupLeader ? -shared_->pid : shared_->pid;
  {
    std::lock_guard lock(shared_->mutex);
    // Until reaped, the id cannot belong to anyone else (an ended, unreaped child is a zombie, and
    // its group lives on with it).
    if (shared_->reaped) return;
    // Asked first: the encoder tool then ends its ffmpeg and removes the files it was writing.
    ::kill(target, SIGTERM);
  }
  constexpr int kGraceChecks = 40;  // 2 s
  for (int check = 0; check < kGraceChecks; ++check) {
    {
      std::lock_guard lock(shared_->mutex);
      if (shared_->reaped) return;
      siginfo_t info{};
      if (::waitid(P_PID, static_cast<id_t>(shared_->pid), &info, WEXITED | WNOHANG | WNOWAIT) ==
              0 &&
          info.si_pid == shared_->pid) {
        break;  // ended: its group goes on only if it did not end that itself
      }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  std::lock_guard lock(shared_->mutex);
  if (!shared_->reaped) ::kill(target, SIGKILL);
}

void ChildProcess::closeInput(std::string_view lastBytes) {
  if (!shared_) return;
  std::lock_guard lock(shared_->mutex);
  if (shared_->inputFd < 0) return;
  // A few bytes into a pipe nobody else writes never block.
  if (!lastBytes.empty()) writeToPipe(shared_->inputFd, lastBytes);
  ::close(shared_->inputFd);
  shared_->inputFd = -1;
}

ChildProcess::~ChildProcess() {
  // A child waiting on its input would never end while we hold the pipe open.
  closeInput();
  if (shared_) wait();
}

ChildProcess::ChildProcess(ChildProcess&& other) noexcept
    : pid_(other.pid_), shared_(std::move(other.shared_)) {
  other.pid_ = -1;
}

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept {
  if (this != &other) {
    closeInput();
    if (shared_) wait();
    pid_ = other.pid_;
    shared_ = std::move(other.shared_);
    other.pid_ = -1;
  }
  return *this;
}

}  // namespace tarn
