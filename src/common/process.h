#pragma once

#include <sys/types.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tarn {

// Splits a command line into arguments by the Windows command-line rules: blanks separate,
// double quotes group (and are removed), backslashes before a quote escape it.
std::vector<std::string> splitCommandLine(const std::string& commandLine);

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
    bool stdoutToo = false;
    // When false, the child's standard output and error go to /dev/null.
    bool inheritOutput = false;
  };

  // Returns an empty (not started) process when the program cannot be started.
  static ChildProcess start(const std::vector<std::string>& arguments, const Options& options);
  static ChildProcess start(const std::vector<std::string>& arguments) {
    return start(arguments, Options{});
  }

  bool started() const { return pid_ > 0; }
  // Blocks until the process ends, without a time limit; returns its exit status (128 + signal
  // when killed). Safe to call from one thread while another calls terminate().
  int wait();
  // Ends the process if it still runs (SIGKILL). Callable from any thread.
  void terminate();

 private:
  pid_t pid_ = -1;
  struct Shared;
  std::shared_ptr<Shared> shared_;
};

}  // namespace tarn
