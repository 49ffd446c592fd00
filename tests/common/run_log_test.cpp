#include "common/run_log.h"

#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>
#include <thread>
#include <vector>

#include "support/test_media.h"

namespace tarn {
namespace {

std::string readAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(RunLog, LinesEndWithCrLfAndAFailureIsReportedOncePerPath) {
  test::ScratchDir dir;
  RunLog log(dir / "TarnConverter.log");
  std::vector<std::string> reports;
  log.setFailureReport([&](const std::string& text) { reports.push_back(text); });
  log.writeLog("Main Form Created Ok");
  log.writeLog("");
  EXPECT_EQ(readAll(dir / "TarnConverter.log"), "Main Form Created Ok\r\n\r\n");
  EXPECT_TRUE(reports.empty());

  const std::filesystem::path lost = dir / "missing-folder" / "x.log";
  log.setPath(lost);
  log.writeLog("lost");  // must not throw or crash
  log.writeLog("lost again");
  EXPECT_FALSE(std::filesystem::exists(dir / "missing-folder"));
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0],
            "The run log cannot be written:\r\n" + lost.string() + "\r\nNo such file or directory");

  // Another path is another log: its first failure is reported too.
  log.setPath(dir / "TarnConverter.log" / "below-a-file.log");
  log.writeLog("lost");
  EXPECT_EQ(reports.size(), 2u);
}

TEST(RunLog, ConcurrentWritersNeverSplitOrLoseALine) {
  test::ScratchDir dir;
  RunLog log(dir / "TarnConverter.log");
  constexpr int kThreads = 8;
  constexpr int kLines = 400;
  std::vector<std::thread> writers;
  for (int t = 0; t < kThreads; ++t) {
    writers.emplace_back([&log, t] {
      for (int i = 0; i < kLines; ++i) {
        log.writeLog("thread " + std::to_string(t) + " line " + std::to_string(i) +
                     std::string(100, 'x'));
      }
    });
  }
  for (auto& writer : writers) writer.join();

  std::istringstream lines(readAll(dir / "TarnConverter.log"));
  std::set<std::string> seen;
  std::string line;
  while (std::getline(lines, line)) {
    ASSERT_FALSE(line.empty());
    ASSERT_EQ(line.back(), '\r') << line;
    line.pop_back();
    EXPECT_TRUE(seen.insert(line).second) << "duplicate: " << line;
  }
  EXPECT_EQ(seen.size(), static_cast<size_t>(kThreads * kLines));
  for (int t = 0; t < kThreads; ++t) {
    for (int i = 0; i < kLines; ++i) {
      ASSERT_TRUE(seen.count("thread " + std::to_string(t) + " line " + std::to_string(i) +
                             std::string(100, 'x')));
    }
  }
}

}  // namespace
}  // namespace tarn
