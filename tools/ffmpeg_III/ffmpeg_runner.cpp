#include "ffmpeg_III/ffmpeg_runner.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <sstream>
#include <string_view>
#include <thread>

#include "ffmpeg_III/child_environment.h"

extern char** environ;

namespace tarn::tool {
namespace {

bool needsQuotes(const std::string& argument) {
  if (argument.empty()) return true;
  for (const char c : argument) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       std::strchr("-_+=:,./@%", c) != nullptr;
    if (!plain) return true;
  }
  return false;
}

std::string quoted(const std::string& argument) {
  if (!needsQuotes(argument)) return argument;
  std::string result = "'";
  for (const char c : argument) {
    if (c == '\'') {
      result += "'\\''";
    } else {
      result += c;
    }
  }
  return result + "'";
}

// posix_spawn's records, destroyed on every path.
struct SpawnSetup {
  SpawnSetup() {
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawnattr_init(&attributes);
  }
  ~SpawnSetup() {
    ::posix_spawnattr_destroy(&attributes);
    ::posix_spawn_file_actions_destroy(&actions);
  }
  SpawnSetup(const SpawnSetup&) = delete;
  SpawnSetup& operator=(const SpawnSetup&) = delete;
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
};

int waitForExit(pid_t pid) {
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

}  // namespace

std::string commandLineText(const std::string& program, const std::vector<std::string>& arguments) {
  std::string line = quoted(program);
  for (const auto& argument : arguments) line += " " + quoted(argument);
  return line;
}

namespace {

// Reads `fd` to its end, handing every piece to `take`; closes `fd`.
void drain(int fd, const std::function<void(std::string_view)>& take) {
  char chunk[4096];
  for (;;) {
    const ssize_t count = ::read(fd, chunk, sizeof chunk);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) break;
    take(std::string_view(chunk, static_cast<size_t>(count)));
  }
  ::close(fd);
}

struct Pipe {
  int read = -1;
  int write = -1;
  bool open(std::string* error) {
    int ends[2] = {-1, -1};
    if (::pipe2(ends, O_CLOEXEC) != 0) {
      if (error) *error = std::string("cannot create a pipe: ") + std::strerror(errno);
      return false;
    }
    read = ends[0];
    write = ends[1];
    return true;
  }
};

void closeEnd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

}  // namespace

int runProgram(const std::string& program, const std::vector<std::string>& arguments,
               const std::function<bool(int fd)>& feedStdin, FfmpegMessages* messages,
               std::string* startError, const std::function<void(std::string_view)>& readStdout,
               ReportLines* lines, int descriptor3) {
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const auto& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);

  SpawnSetup setup;
  // The tool ignores SIGPIPE to see a closed pipe as a write error; the child gets the default.
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  ::posix_spawnattr_setsigdefault(&setup.attributes, &defaults);
  // Nor does it inherit the signals the tool blocks for its own cleanup.
  sigset_t none;
  sigemptyset(&none);
  ::posix_spawnattr_setsigmask(&setup.attributes, &none);
  ::posix_spawnattr_setflags(&setup.attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

  Pipe input;
  Pipe errors;
  if (feedStdin) {
    if (!input.open(startError)) return -1;
    ::posix_spawn_file_actions_adddup2(&setup.actions, input.read, STDIN_FILENO);
  }
  if (messages && lines) {
    if (!errors.open(startError)) {
      closeEnd(input.read);
      closeEnd(input.write);
      return -1;
    }
    ::posix_spawn_file_actions_adddup2(&setup.actions, errors.write, STDERR_FILENO);
  }
  Pipe output;
  if (readStdout) {
    if (!output.open(startError)) {
      for (int* end : {&input.read, &input.write, &errors.read, &errors.write}) closeEnd(*end);
      return -1;
    }
    ::posix_spawn_file_actions_adddup2(&setup.actions, output.write, STDOUT_FILENO);
  }
  // A descriptor that is 3 already is moved first: duplicating it onto itself would leave it
  // closed on exec.
  int passed = -1;
  if (descriptor3 == 3) descriptor3 = passed = ::fcntl(3, F_DUPFD_CLOEXEC, 10);
  if (descriptor3 >= 0) ::posix_spawn_file_actions_adddup2(&setup.actions, descriptor3, 3);
  const std::vector<std::string> environment = childEnvironment(environ);
  std::vector<char*> envp;
  for (const auto& entry : environment) envp.push_back(const_cast<char*>(entry.c_str()));
  envp.push_back(nullptr);
  pid_t pid = 0;
  const int error = ::posix_spawn(&pid, program.c_str(), &setup.actions, &setup.attributes,
                                  argv.data(), envp.data());
  closeEnd(input.read);
  closeEnd(errors.write);
  closeEnd(output.write);
  closeEnd(passed);
  if (error != 0) {
    closeEnd(input.write);
    closeEnd(errors.read);
    closeEnd(output.read);
    if (startError)
      *startError = std::string("cannot start ") + program + ": " + std::strerror(error);
    return -1;
  }
  // The child's standard error passes on unchanged to ours, and is read for its error lines.
  std::thread relay;
  if (messages && lines) {
    relay = std::thread([fd = errors.read, messages, lines] {
      drain(fd, [messages, lines](std::string_view text) {
        lines->passOn(text);
        messages->take(text);
      });
      messages->finish();
    });
  }
  std::thread reader;
  if (readStdout) reader = std::thread([fd = output.read, &readStdout] { drain(fd, readStdout); });
  if (feedStdin) {
    const bool finish = feedStdin(input.write);
    if (!finish) ::kill(pid, SIGKILL);  // not reaped yet: the id is still our child's
    closeEnd(input.write);
  }
  const int status = waitForExit(pid);
  if (relay.joinable()) relay.join();
  if (reader.joinable()) reader.join();
  return status;
}

}  // namespace tarn::tool
