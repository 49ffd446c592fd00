#include "common/process.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>

#include "support/command_line_split.h"
#include "support/test_media.h"

namespace tarn {
namespace {

using Args = std::vector<std::string>;

std::string readAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(SplitCommandLine, BlanksSeparateAndQuotesGroup) {
  EXPECT_EQ(splitCommandLine(""), Args{});
  EXPECT_EQ(splitCommandLine("   \t "), Args{});
  EXPECT_EQ(splitCommandLine("tool -i a.mp4"), (Args{"tool", "-i", "a.mp4"}));
  EXPECT_EQ(splitCommandLine("  tool   -i\t a.mp4  "), (Args{"tool", "-i", "a.mp4"}));
  EXPECT_EQ(splitCommandLine(R"("/opt/my tools/ffmpeg_III.exe" -i "/v/pano input.mov" -y)"),
            (Args{"/opt/my tools/ffmpeg_III.exe", "-i", "/v/pano input.mov", "-y"}));
  // A quoted part may sit inside an argument.
  EXPECT_EQ(splitCommandLine(R"(t a"b c"d)"), (Args{"t", "ab cd"}));
  // Characters a shell would act on are plain text here.
  EXPECT_EQ(splitCommandLine(R"(t "$(rm x)`y`;&%PATH%" z|w)"),
            (Args{"t", "$(rm x)`y`;&%PATH%", "z|w"}));
}

TEST(SplitCommandLine, EmptyArgumentsAndDoubledQuotes) {
  EXPECT_EQ(splitCommandLine(R"(t "" x)"), (Args{"t", "", "x"}));
  EXPECT_EQ(splitCommandLine(R"(t "")"), (Args{"t", ""}));
  EXPECT_EQ(splitCommandLine(R"(t """")"), (Args{"t", "\""}));
  // Inside quotes a doubled quote is a literal quote and the group goes on.
  EXPECT_EQ(splitCommandLine(R"(t a"b"" c d)"), (Args{"t", "ab\" c d"}));
  // An unclosed quote groups to the end.
  EXPECT_EQ(splitCommandLine(R"(t "a b)"), (Args{"t", "a b"}));
}

TEST(SplitCommandLine, BackslashesEscapeOnlyBeforeAQuote) {
  EXPECT_EQ(splitCommandLine(R"(t a\b c\\d)"), (Args{"t", R"(a\b)", R"(c\\d)"}));
  EXPECT_EQ(splitCommandLine(R"(t a\"b)"), (Args{"t", "a\"b"}));
  EXPECT_EQ(splitCommandLine(R"(t a\\"b c")"), (Args{"t", R"(a\b c)"}));
  EXPECT_EQ(splitCommandLine(R"(t a\\\"b)"), (Args{"t", R"(a\"b)"}));
  EXPECT_EQ(splitCommandLine(R"(t "C:\dir\\" x)"), (Args{"t", R"(C:\dir\)", "x"}));
  // The program name keeps its backslashes.
  EXPECT_EQ(splitCommandLine(R"(C:\a\"b c" d)"), (Args{R"(C:\a\b c)", "d"}));
}

TEST(ChildProcess, MissingProgramIsNotStarted) {
  ChildProcess child = ChildProcess::start({"/nonexistent/folder/ffmpeg_III.exe", "-i", "x"});
  EXPECT_FALSE(child.started());
  EXPECT_EQ(child.wait(), -1);
  child.terminate();  // nothing to do
  EXPECT_FALSE(ChildProcess::start({}).started());
  EXPECT_FALSE(ChildProcess::start({""}).started());
}

TEST(ChildProcess, WaitReturnsExitStatus) {
  ChildProcess ok = ChildProcess::start({"sh", "-c", "exit 0"});
  ASSERT_TRUE(ok.started());
  EXPECT_EQ(ok.wait(), 0);
  EXPECT_EQ(ok.wait(), 0);  // asking again gives the same answer
  ChildProcess failing = ChildProcess::start({"sh", "-c", "exit 7"});
  EXPECT_EQ(failing.wait(), 7);
}

TEST(ChildProcess, StandardErrorGoesToFileAndArgumentsArriveWhole) {
  test::ScratchDir dir;
  ChildProcess::Options options;
  options.stderrFile = dir / "report.txt";
  const std::string tricky = R"(a "b" $HOME `x` % ; & c)";
  ChildProcess child = ChildProcess::start(
      {"sh", "-c", "printf '%s|' \"$@\" >&2; echo out", "sh", tricky, ""}, options);
  ASSERT_TRUE(child.started());
  EXPECT_EQ(child.wait(), 0);
  EXPECT_EQ(readAll(dir / "report.txt"), tricky + "||");

  // A report file that cannot be created: not started.
  options.stderrFile = dir / "missing" / "report.txt";
  EXPECT_FALSE(ChildProcess::start({"sh", "-c", "exit 0"}, options).started());
}

TEST(ChildProcess, StandardInputIsEmpty) {
  test::ScratchDir dir;
  ChildProcess::Options options;
  options.stderrFile = dir / "out.txt";
  options.stdoutToo = true;
  ChildProcess child = ChildProcess::start({"sh", "-c", "cat; echo done"}, options);
  ASSERT_TRUE(child.started());
  EXPECT_EQ(child.wait(), 0);
  EXPECT_EQ(readAll(dir / "out.txt"), "done\n");
}

TEST(ChildProcess, InputPipeStaysOpenUntilClosedAndCarriesTheLastBytes) {
  test::ScratchDir dir;
  ChildProcess::Options options;
  options.stderrFile = dir / "out.txt";
  options.stdoutToo = true;
  options.inputPipe = true;
  options.environment = {"TARN_TEST_WORD=given", "HOME=/replaced"};
  ChildProcess child =
      ChildProcess::start({"sh", "-c", "cat; echo \" $TARN_TEST_WORD $HOME\""}, options);
  ASSERT_TRUE(child.started());
  // The child is still reading: the pipe is open.
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(readAll(dir / "out.txt"), "");
  child.closeInput("1");
  child.closeInput("2");  // only the first call writes
  EXPECT_EQ(child.wait(), 0);
  EXPECT_EQ(readAll(dir / "out.txt"), "1 given /replaced\n");
}

TEST(ChildProcess, ClosingTheInputOfAnEndedChildIsHarmless) {
  ChildProcess::Options options;
  options.inputPipe = true;
  ChildProcess child = ChildProcess::start({"sh", "-c", "exit 4"}, options);
  ASSERT_TRUE(child.started());
  EXPECT_EQ(child.wait(), 4);
  // Nobody reads the pipe any more: the write fails quietly instead of ending this program.
  child.closeInput("1");
  EXPECT_EQ(child.wait(), 4);
}

TEST(ChildProcess, DestroyingTheOwnerEndsTheInputOfAWaitingChild) {
  test::ScratchDir dir;
  {
    ChildProcess::Options options;
    options.inputPipe = true;
    ChildProcess child = ChildProcess::start(
        {"sh", "-c", "cat > /dev/null; echo ended > '" + (dir / "end.txt").string() + "'"},
        options);
    ASSERT_TRUE(child.started());
  }  // would wait forever if the pipe stayed open
  EXPECT_EQ(readAll(dir / "end.txt"), "ended\n");
}

TEST(ChildProcess, TerminateEndsARunningChildAndReleasesTheWaiter) {
  ChildProcess child = ChildProcess::start({"sleep", "60"});
  ASSERT_TRUE(child.started());
  int status = -1;
  std::thread waiter([&] { status = child.wait(); });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  child.terminate();
  waiter.join();
  EXPECT_EQ(status, 128 + SIGKILL);
}

TEST(ChildProcess, TerminateEndsTheProgramsAGroupLeaderStarted) {
  test::ScratchDir dir;
  const auto pidFile = dir / "grandchild.pid";
  ChildProcess::Options options;
  options.ownProcessGroup = true;
  ChildProcess child = ChildProcess::start(
      {"sh", "-c", "sleep 60 & echo $! > '" + pidFile.string() + "'; wait"}, options);
  ASSERT_TRUE(child.started());
  for (int turn = 0; turn < 200 && readAll(pidFile).empty(); ++turn) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  const pid_t grandchild = std::stoi(readAll(pidFile));
  child.terminate();
  EXPECT_EQ(child.wait(), 128 + SIGKILL);
  // The grandchild was killed too; it is reaped by init, so it may linger a moment as a zombie.
  bool gone = false;
  for (int turn = 0; turn < 200 && !gone; ++turn) {
    std::ifstream status("/proc/" + std::to_string(grandchild) + "/status");
    std::string text((std::istreambuf_iterator<char>(status)), {});
    gone = text.empty() || text.find("State:\tZ") != std::string::npos;
    if (!gone) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_TRUE(gone);
}

TEST(ChildProcess, TerminateAfterTheEndDoesNothing) {
  ChildProcess child = ChildProcess::start({"sh", "-c", "exit 3"});
  ASSERT_TRUE(child.started());
  EXPECT_EQ(child.wait(), 3);
  // The id may already belong to another process: nothing may be signalled now.
  child.terminate();
  EXPECT_EQ(child.wait(), 3);
}

TEST(ChildProcess, MovedProcessKeepsItsChild) {
  ChildProcess first = ChildProcess::start({"sh", "-c", "exit 5"});
  ChildProcess second = std::move(first);
  EXPECT_FALSE(first.started());
  ASSERT_TRUE(second.started());
  EXPECT_EQ(second.wait(), 5);
}

}  // namespace
}  // namespace tarn
