#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarn {

// A started child process, owned by this object. Started directly (posix_spawn, no shell), with
// standard input from /dev/null. Never kills or waits on a process id it did not start itself.
class ChildProcess {
 public:
  ChildProcess() = default;
  ~ChildProcess();  // waits for the process if it is still running
  ChildProcess(ChildProcess&& other) noexcept;
  ChildProcess& operator=(ChildProcess&& other) noexcept;
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  struct Options {
    // When set, the child's standard error (and output, if `stdoutToo`) goes to this file.
    std::optional<std::filesystem::path> stderrFile;
    // When true, stderrFile is created new: the start fails when an entry of that name exists
    // (a link is never followed).
    bool stderrFileNew = false;
    bool stdoutToo = false;
    // When false, the child's standard output and error go to /dev/null.
    bool inheritOutput = false;
    // When true, the child's standard input is a pipe that stays open until closeInput(); the
    // child reads its end as a signal (nothing is ever written to it).
    bool inputPipe = false;
    // "NAME=value" entries added to the child's environment.
    std::vector<std::string> environment;
    // When true, the child leads a process group of its own, and terminate() ends the whole group:
    // the programs it started itself end with it.
    bool ownProcessGroup = false;
  };

  // Returns an empty (not started) process when the program cannot be started (missing, not
  // executable, or the standard-error file cannot be created). A program name without "/" is
  // looked up on the PATH. The child inherits no descriptor besides its standard streams.
  static ChildProcess start(const std::vector<std::string>& arguments, const Options& options);
  static ChildProcess start(const std::vector<std::string>& arguments) {
    return start(arguments, Options{});
  }

  bool started() const { return pid_ > 0; }
  // Blocks until the process ends, without a time limit; returns its exit status (128 + signal
  // when killed). Safe to call from one thread while another calls terminate().
  int wait();
  // As wait(), for at most `limit`: empty when the process still runs then.
  std::optional<int> waitFor(std::chrono::milliseconds limit);
  // Ends the process (and the group it leads) if it still runs: SIGTERM first, so that the encoder
  // tool removes the files it was writing, then SIGKILL once it has ended or after 2 s. Callable
  // from any thread; returns within about 2 s. Does nothing once a wait() has reaped the process,
  // so it never signals a reused process id.
  void terminate();
  // Closes our end of the input pipe (Options::inputPipe), after writing `lastBytes` to it: the
  // child reads them and then the end of its input. Callable from any thread, more than once
  // (only the first call writes).
  void closeInput(std::string_view lastBytes = {});

 private:
  pid_t pid_ = -1;
  struct Shared;
  std::shared_ptr<Shared> shared_;
};

}  // namespace tarn
