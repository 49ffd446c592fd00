#pragma once

#include <sys/types.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarn {

// Splits a command line into arguments by the Windows command-line rules: blanks separate,
// double quotes group (and are removed), backslashes before a quote escape it, "" is an empty
// argument. The first argument is the program name: quotes group it, backslashes are plain.
std::vector<std::string> splitCommandLine(const std::string& commandLine);

// As splitCommandLine, and when the program path is unquoted and holds blanks, the program is the
// shortest blank-separated prefix that names an executable file (the system's own resolution of
// an unquoted program path); the rest are its arguments.
std::vector<std::string> splitCommandLineForStart(const std::string& commandLine);

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
  // Whether the process has ended, without waiting and without reaping it (wait() still gives
  // its status). Callable from any thread.
  bool ended();
  // Ends the process if it still runs (SIGKILL). Callable from any thread. Does nothing once a
  // wait() has reaped the process, so it never signals a reused process id.
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
