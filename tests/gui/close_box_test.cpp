// The close box of the real window program, in a process of its own, under the window manager:
// answered OK in "Exit IDE", it runs the exit sequence and ends the process, whatever state the
// program is in.
#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "gui_harness.h"
#include "support/conversion_rig.h"

extern char** environ;

namespace tarn::test {
namespace {

using namespace std::chrono_literals;

// The window program started from a program folder of its own, as a user starts it.
class ProgramProcess {
 public:
  explicit ProgramProcess(const ProgramFolder& folder) : folder_(folder) {
    const std::filesystem::path exe = folder.path() / "tarn-converter";
    std::filesystem::copy_file(binDir() / "tarn-converter", exe);
    const std::string path = exe.string();
    char* argv[] = {const_cast<char*>(path.c_str()), nullptr};
    if (posix_spawn(&pid_, path.c_str(), nullptr, nullptr, argv, environ) != 0) pid_ = -1;
  }
  ~ProgramProcess() {
    if (running()) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  ProgramProcess(const ProgramProcess&) = delete;
  ProgramProcess& operator=(const ProgramProcess&) = delete;

  int pid() const { return pid_; }
  bool running() const { return pid_ > 0 && !ended_; }
  // Waits up to `limit` for the process to end; true when it ended with status 0.
  bool endsCleanly(std::chrono::seconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (running() && std::chrono::steady_clock::now() < end) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        ended_ = true;
        status_ = status;
        break;
      }
      std::this_thread::sleep_for(50ms);
    }
    return ended_ && WIFEXITED(status_) && WEXITSTATUS(status_) == 0;
  }
  // Waits until the run log holds `line`.
  bool logged(const std::string& line, std::chrono::seconds limit) const {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
      if (folder_.log().find(line) != std::string::npos) return true;
      std::this_thread::sleep_for(100ms);
    }
    return false;
  }

 private:
  const ProgramFolder& folder_;
  pid_t pid_ = -1;
  bool ended_ = false;
  int status_ = 0;
};

// What a user does on the desktop, through xdotool and wmctrl.
class DesktopUser {
 public:
  explicit DesktopUser(int pid) : pid_(std::to_string(pid)) {}

  // The first shown window of the program whose title matches `pattern` (a regular
  // expression), waited for; empty when none came.
  std::string window(const std::string& pattern, int seconds = 30) const {
    std::string id;
    runShell("for i in $(seq " + std::to_string(seconds * 10) +
                 "); do id=$(xdotool search --all --onlyvisible --pid " + pid_ + " --name '" +
                 pattern +
                 "' 2>/dev/null | head -1); [ -n \"$id\" ] && { echo \"$id\"; exit 0; }; " +
                 "sleep 0.1; done; exit 1",
             &id);
    while (!id.empty() && (id.back() == '\n' || id.back() == '\r')) id.pop_back();
    return id;
  }
  // The window manager's close request: what the close box does.
  bool closeBox(const std::string& id) const {
    return !id.empty() && runShell("wmctrl -i -c " + id) == 0;
  }
  // Brings the window to the front and types keys into it (xdotool key names).
  bool keys(const std::string& id, const std::string& keys) const {
    return !id.empty() && runShell("sleep 0.5; xdotool windowactivate --sync " + id +
                                   " && xdotool key --delay 50 " + keys) == 0;
  }
  // Types a path into the toolkit's file chooser titled `title`, then Return.
  bool choose(const std::string& title, const std::filesystem::path& path) const {
    const std::string id = window("^" + title + "$");
    return !id.empty() && runShell("sleep 0.8; xdotool windowactivate --sync " + id +
                                   " && xdotool key ctrl+a && xdotool type --delay 15 '" +
                                   path.string() + "' && sleep 0.3 && xdotool key Return") == 0;
  }

 private:
  std::string pid_;
};

constexpr const char* kMainTitle = "v1.0 Build 002.02$";

// Starts the program and goes through the splash by its close box, which goes on like "Start".
std::string startToTheMainWindow(const ProgramProcess& program, const DesktopUser& user) {
  EXPECT_GT(program.pid(), 0);
  const std::string splash = user.window("^Kestrova Tarn Video Converter$");
  EXPECT_TRUE(user.closeBox(splash));
  const std::string main = user.window(kMainTitle);
  EXPECT_FALSE(main.empty());
  return main;
}

// The close box of the main window, "Are you sure?" answered OK: the exit sequence runs and the
// process ends by itself.
void closeAndExpectTheEnd(ProgramProcess& program, const DesktopUser& user, const std::string& main,
                          const ProgramFolder& folder) {
  ASSERT_TRUE(user.closeBox(main));
  const std::string question = user.window("^Exit IDE$");
  ASSERT_FALSE(question.empty());
  ASSERT_TRUE(user.keys(question, "Return"));
  EXPECT_TRUE(program.endsCleanly(60s)) << folder.log();
  const std::string log = folder.log();
  const size_t exit = log.find("\nEXIT\r\n");
  const size_t exit2 = log.find("\nEXIT2\r\n");
  const size_t exit3 = log.find("\nEXIT3\r\n");
  ASSERT_NE(exit, std::string::npos) << log;
  EXPECT_LT(exit, exit2);
  EXPECT_LT(exit2, exit3);
  EXPECT_TRUE(tempStreamFiles(folder.path() / "TEMP").empty());
}

TEST(CloseBoxTest, EndsTheProgramWhenIdle) {
  ProgramFolder folder;
  ProgramProcess program(folder);
  DesktopUser user(program.pid());
  const std::string main = startToTheMainWindow(program, user);
  ASSERT_FALSE(main.empty());
  closeAndExpectTheEnd(program, user, main, folder);
  // No movie was opened: the settings are not written at exit.
  EXPECT_FALSE(std::filesystem::exists(folder.path() / "TarnConverter.ini"));
}

TEST(CloseBoxTest, EndsTheProgramWhileAMoviePlays) {
  const std::filesystem::path movie = stripMovie(320, 80, 10);
  ASSERT_FALSE(movie.empty());
  ProgramFolder folder;
  ProgramProcess program(folder);
  DesktopUser user(program.pid());
  const std::string main = startToTheMainWindow(program, user);
  ASSERT_TRUE(user.keys(main, "ctrl+l"));
  ASSERT_TRUE(user.choose("Load Video", movie));
  ASSERT_TRUE(program.logged("numframes = ", 30s)) << folder.log();
  closeAndExpectTheEnd(program, user, main, folder);
  const std::string log = folder.log();
  EXPECT_NE(log.find("File exit Final\r\n"), std::string::npos) << log;
  EXPECT_TRUE(std::filesystem::exists(folder.path() / "TarnConverter.ini"));
}

TEST(CloseBoxTest, EndsTheProgramAfterAConversion) {
  const std::filesystem::path movie = stripMovie(320, 80, 10);
  ASSERT_FALSE(movie.empty());
  ProgramFolder folder;
  const std::filesystem::path output = folder.path() / "closed_after.mp4";
  ProgramProcess program(folder);
  DesktopUser user(program.pid());
  const std::string main = startToTheMainWindow(program, user);
  ASSERT_TRUE(user.keys(main, "ctrl+l"));
  ASSERT_TRUE(user.choose("Load Video", movie));
  ASSERT_TRUE(program.logged("numframes = ", 30s)) << folder.log();
  ASSERT_TRUE(user.keys(main, "ctrl+c"));
  ASSERT_TRUE(user.choose("Save Rectangular Video", output));
  // No second compression.
  const std::string success = user.window("^Successful termination$", 180);
  ASSERT_FALSE(success.empty()) << folder.log();
  ASSERT_TRUE(user.keys(success, "Escape"));
  ASSERT_TRUE(program.logged("Convert Movie End ", 30s)) << folder.log();
  expectWholeMovie(movie, output);
  closeAndExpectTheEnd(program, user, main, folder);
}

}  // namespace
}  // namespace tarn::test
