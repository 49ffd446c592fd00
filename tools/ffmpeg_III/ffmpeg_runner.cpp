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
#include <thread>

extern char** environ;

namespace tarn::tool {
namespace {

bool isExecutable(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
         ::access(path.c_str(), X_OK) == 0;
}

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

std::optional<std::string> findOnPath(const std::string& program, const char* pathVariable) {
  if (program.find('/') != std::string::npos) {
    return isExecutable(program) ? std::optional<std::string>(program) : std::nullopt;
  }
  if (!pathVariable) return std::nullopt;
  std::stringstream folders(pathVariable);
  std::string folder;
  while (std::getline(folders, folder, ':')) {
    if (folder.empty()) folder = ".";
    const std::string candidate = folder + "/" + program;
    if (isExecutable(candidate)) return candidate;
  }
  return std::nullopt;
}

std::string commandLineText(const std::string& program, const std::vector<std::string>& arguments) {
  std::string line = quoted(program);
  for (const auto& argument : arguments) line += " " + quoted(argument);
  return line;
}

namespace {

// Hands what arrives on `fd` to `read` until the writer closes it, then closes `fd`.
std::thread startReader(int fd, const std::function<void(std::string_view)>& read) {
  return std::thread([fd, read] {
    char buffer[4096];
    for (;;) {
      const ssize_t got = ::read(fd, buffer, sizeof buffer);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) break;
      read(std::string_view(buffer, static_cast<size_t>(got)));
    }
    ::close(fd);
  });
}

}  // namespace

int runProgram(const std::string& program, const std::vector<std::string>& arguments,
               const std::function<bool(int fd)>& feedStdin, std::string* startError,
               const std::function<void(std::string_view)>& readStdout) {
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
  ::posix_spawnattr_setflags(&setup.attributes, POSIX_SPAWN_SETSIGDEF);

  int pipeEnds[2] = {-1, -1};
  if (feedStdin) {
    if (::pipe2(pipeEnds, O_CLOEXEC) != 0) {
      if (startError) *startError = std::string("cannot create a pipe: ") + std::strerror(errno);
      return -1;
    }
    ::posix_spawn_file_actions_adddup2(&setup.actions, pipeEnds[0], STDIN_FILENO);
  }
  int outputEnds[2] = {-1, -1};
  if (readStdout) {
    if (::pipe2(outputEnds, O_CLOEXEC) != 0) {
      if (feedStdin) {
        ::close(pipeEnds[0]);
        ::close(pipeEnds[1]);
      }
      if (startError) *startError = std::string("cannot create a pipe: ") + std::strerror(errno);
      return -1;
    }
    ::posix_spawn_file_actions_adddup2(&setup.actions, outputEnds[1], STDOUT_FILENO);
  }
  pid_t pid = 0;
  const int error =
      ::posix_spawn(&pid, program.c_str(), &setup.actions, &setup.attributes, argv.data(), environ);
  if (feedStdin) ::close(pipeEnds[0]);
  if (readStdout) ::close(outputEnds[1]);
  if (error != 0) {
    if (feedStdin) ::close(pipeEnds[1]);
    if (readStdout) ::close(outputEnds[0]);
    if (startError)
      *startError = std::string("cannot start ") + program + ": " + std::strerror(error);
    return -1;
  }
  std::thread reader;
  if (readStdout) reader = startReader(outputEnds[0], readStdout);
  if (feedStdin) {
    const bool finish = feedStdin(pipeEnds[1]);
    if (!finish) ::kill(pid, SIGKILL);  // not reaped yet: the id is still our child's
    ::close(pipeEnds[1]);
  }
  const int status = waitForExit(pid);
  if (reader.joinable()) reader.join();
  return status;
}

}  // namespace tarn::tool
