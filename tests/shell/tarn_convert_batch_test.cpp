#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>
#include <vector>

#include "support/conversion_rig.h"
#include "support/test_media.h"

extern char** environ;

namespace tarn {
namespace {
namespace fs = std::filesystem;
using nlohmann::json;

struct CliRun {
  int status = -1;
  std::string out;  // standard output
  std::string err;  // standard error
};

// Runs tarn-convert with `arguments` (no shell). With `onLine`, each line of standard output is
// handed to it as it comes (with the child's id), e.g. to signal the run at a chosen moment.
CliRun tarnConvert(const std::vector<std::string>& arguments,
                   const std::function<void(const std::string&, pid_t)>& onLine = {}) {
  const test::ScratchDir scratch;
  const fs::path errFile = scratch / "stderr.txt";
  std::vector<std::string> all{(test::binDir() / "tarn-convert").string()};
  all.insert(all.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (auto& argument : all) argv.push_back(argument.data());
  argv.push_back(nullptr);
  int pipeEnds[2];
  EXPECT_EQ(::pipe(pipeEnds), 0);
  posix_spawn_file_actions_t actions;
  ::posix_spawn_file_actions_init(&actions);
  ::posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
  ::posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
  ::posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errFile.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
  pid_t pid = -1;
  CliRun run;
  const int spawned = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  ::posix_spawn_file_actions_destroy(&actions);
  ::close(pipeEnds[1]);
  if (spawned != 0) {
    ::close(pipeEnds[0]);
    ADD_FAILURE() << "cannot start tarn-convert";
    return run;
  }
  std::string partial;
  char buffer[4096];
  for (;;) {
    const ssize_t got = ::read(pipeEnds[0], buffer, sizeof buffer);
    if (got <= 0) break;
    for (ssize_t i = 0; i < got; ++i) {
      run.out += buffer[i];
      if (buffer[i] != '\n') {
        partial += buffer[i];
        continue;
      }
      if (onLine) onLine(partial, pid);
      partial.clear();
    }
  }
  ::close(pipeEnds[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  std::ifstream err(errFile);
  run.err.assign(std::istreambuf_iterator<char>(err), {});
  return run;
}

std::string fileText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

std::vector<std::string> linesWith(const std::string& text, const std::string& part) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.find(part) != std::string::npos) lines.push_back(line);
  }
  return lines;
}

TEST(TarnConvertBatch, NamedValuesGiveTheCommandLineOfTheirIndices) {
  test::ScratchDir dir;
  const fs::path movie = test::stripMovie(320, 80, 1);
  const auto commandLine = [&](const std::vector<std::string>& values) {
    std::vector<std::string> arguments{
        movie.string(), (dir / "out.avi").string(), "-y", "--temp", (dir / "temp").string(),
        "--log",        (dir / "run.log").string(), "-q"};
    arguments.insert(arguments.end(), values.begin(), values.end());
    const CliRun run = tarnConvert(arguments);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(test::decodedFrames(dir / "out.avi"), test::decodedFrames(movie));
    const auto lines = linesWith(fileText(dir / "run.log"), "FFMPEG : ");
    return lines.empty() ? std::string() : lines.front();
  };
  const std::string byName =
      commandLine({"--bitrate", "1500K", "--codec-mode", "fast", "--resize", "50%", "--channels",
                   "mono", "--sample-rate", "22050", "--quality", "7"});
  const std::string byIndex =
      commandLine({"--bitrate", "5", "--codec-mode", "2", "--resize", "5", "--channels", "1",
                   "--sample-rate", "3", "--quality", "7"});
  EXPECT_EQ(byName, byIndex);
  EXPECT_NE(byName.find(" -b 1500k "), std::string::npos) << byName;
  EXPECT_NE(byName.find(" -s 160x80 "), std::string::npos) << byName;
  EXPECT_NE(byName.find(" -ac 1  -ar 22050 "), std::string::npos) << byName;
  EXPECT_NE(byName.find(" -crf 17 -f avi "), std::string::npos) << byName;
  EXPECT_EQ(commandLine({"--quality", "default"}), commandLine({"--quality", "0"}));

  const CliRun wrong = tarnConvert({movie.string(), (dir / "x.mp4").string(), "--resize", "75%"});
  EXPECT_EQ(wrong.status, 2);
  EXPECT_NE(wrong.err.find("100%, 90%, 80%, 70%, 60%, 50%"), std::string::npos) << wrong.err;
  EXPECT_NE(wrong.err.find("--help"), std::string::npos);
  const CliRun help = tarnConvert({"--help"});
  EXPECT_EQ(help.status, 0);
  for (const char* part : {"1500k", "ultrafast", "22050", "mono", "Exit status", "130", "143",
                           "--output-dir", "Examples"}) {
    EXPECT_NE(help.out.find(part), std::string::npos) << part;
  }
}

TEST(TarnConvertBatch, AnExistingOutputIsKeptUnlessReplacingIsAsked) {
  test::ScratchDir dir;
  const fs::path movie = test::stripMovie(320, 80, 1);
  const fs::path output = dir / "out.mp4";
  const std::string bytes = "not a movie, but somebody's file";
  std::ofstream(output, std::ios::binary) << bytes;
  const std::string temp = (dir / "temp").string();

  const CliRun kept = tarnConvert({movie.string(), "-o", output.string(), "--temp", temp});
  EXPECT_EQ(kept.status, 1);
  EXPECT_NE(kept.err.find("tarn-convert: " + output.string() + ": exists"), std::string::npos)
      << kept.err;
  EXPECT_EQ(fileText(output), bytes);
  EXPECT_FALSE(fs::exists(temp));  // refused before any work

  const CliRun never = tarnConvert({"-n", movie.string(), output.string(), "--temp", temp});
  EXPECT_EQ(never.status, 1);
  EXPECT_EQ(fileText(output), bytes);
  EXPECT_EQ(tarnConvert({"-n", "-y", movie.string(), output.string()}).status, 2);

  const CliRun replaced = tarnConvert({"-y", movie.string(), output.string(), "--temp", temp});
  EXPECT_EQ(replaced.status, 0) << replaced.err;
  EXPECT_EQ(test::decodedFrames(output), test::decodedFrames(movie) * 30 / 25);  // MP4 at 30 fps
}

TEST(TarnConvertBatch, AFolderOfMoviesWithABadOneConvertsTheGoodOnes) {
  test::ScratchDir dir;
  fs::create_directories(dir / "in");
  fs::copy_file(test::stripMovie(320, 80, 1), dir / "in" / "first.mp4");
  fs::copy_file(test::stripMovie(320, 80, 2, false), dir / "in" / "second.mp4");
  std::ofstream(dir / "in" / "broken.mp4") << "not a movie";
  const CliRun run =
      tarnConvert({"--output-dir", (dir / "out").string(), "--format", "webm",
                   (dir / "in" / "first.mp4").string(), (dir / "in" / "broken.mp4").string(),
                   (dir / "in" / "second.mp4").string(), "--progress", "none"});
  EXPECT_EQ(run.status, 1) << run.err;
  EXPECT_EQ(test::decodedFrames(dir / "out" / "first_Unwrapped.webm"),
            test::decodedFrames(dir / "in" / "first.mp4") * 30 / 25);  // WEBM is written at 30 fps
  EXPECT_EQ(test::decodedFrames(dir / "out" / "second_Unwrapped.webm"),
            test::decodedFrames(dir / "in" / "second.mp4") * 30 / 25);
  EXPECT_EQ(test::probeField(dir / "out" / "first_Unwrapped.webm", "a", "channels"), "2");
  EXPECT_FALSE(fs::exists(dir / "out" / "broken_Unwrapped.webm"));
  EXPECT_EQ(linesWith(run.err, "first.mp4: converted to ").size(), 1u) << run.err;
  EXPECT_EQ(linesWith(run.err, "broken.mp4: not converted").size(), 1u) << run.err;
  EXPECT_EQ(linesWith(run.err, "tarn-convert: 2 of 3 movies converted, 1 failed").size(), 1u)
      << run.err;
}

TEST(TarnConvertBatch, ProgressCoversTheEncodeInPlainLinesAndJson) {
  test::ScratchDir dir;
  const fs::path movie = test::stripMovie(960, 240, 4);
  const CliRun plain = tarnConvert({movie.string(), (dir / "plain.mp4").string(), "--progress",
                                    "lines", "--temp", (dir / "temp").string()});
  ASSERT_EQ(plain.status, 0) << plain.err;
  const auto encodeLines = linesWith(plain.err, "encode ");
  ASSERT_FALSE(encodeLines.empty()) << plain.err;
  int64_t frames = 0;
  int64_t total = 0;
  int percent = 0;
  ASSERT_EQ(
      std::sscanf(encodeLines.back().c_str(), "encode %ld/%ld %d%%", &frames, &total, &percent), 3)
      << encodeLines.back();
  const int decoded = test::decodedFrames(dir / "plain.mp4");
  EXPECT_EQ(frames, decoded);
  EXPECT_EQ(total, decoded);
  EXPECT_EQ(percent, 100);
  EXPECT_NE(encodeLines.back().find(" left"), std::string::npos);

  const CliRun machine = tarnConvert({movie.string(), (dir / "json.mp4").string(),
                                      "--progress=json", "--temp", (dir / "temp").string()});
  ASSERT_EQ(machine.status, 0) << machine.err;
  std::vector<json> encode;
  json done;
  std::istringstream lines(machine.out);
  for (std::string line; std::getline(lines, line);) {
    const json object = json::parse(line);  // every line is one object
    EXPECT_EQ(object.at("file"), movie.string());
    if (object.at("stage") == "encode") encode.push_back(object);
    if (object.at("stage") == "done") done = object;
  }
  ASSERT_FALSE(encode.empty()) << machine.out;
  for (size_t i = 1; i < encode.size(); ++i) {
    EXPECT_GE(encode[i].at("frames").get<int64_t>(), encode[i - 1].at("frames").get<int64_t>());
  }
  const int decodedJson = test::decodedFrames(dir / "json.mp4");
  EXPECT_EQ(encode.back().at("frames").get<int64_t>(), decodedJson);
  EXPECT_EQ(encode.back().at("total").get<int64_t>(), decodedJson);
  EXPECT_EQ(encode.back().at("percent").get<int>(), 100);
  EXPECT_EQ(encode.back().at("seconds_left").get<int64_t>(), 0);
  EXPECT_EQ(done.value("result", ""), "converted");
  EXPECT_EQ(done.value("output", ""), (dir / "json.mp4").string());
}

TEST(TarnConvertBatch, InfoJsonDescribesMoviesForPrograms) {
  test::ScratchDir dir;
  const fs::path withSound = test::stripMovie(320, 80, 2);
  const fs::path silent = test::stripMovie(320, 80, 1, false);
  const auto info = [](const fs::path& movie) {
    const CliRun run = tarnConvert({"--info", movie.string(), "--json"});
    EXPECT_EQ(run.status, 0) << run.err;
    return json::parse(run.out);
  };
  const json sound = info(withSound);
  EXPECT_EQ(sound.at("width"), 320);
  EXPECT_EQ(sound.at("height"), 80);
  EXPECT_EQ(sound.at("frame_rate"), "25/1");
  EXPECT_NEAR(sound.at("duration").get<double>(), 2.0, 0.1);
  EXPECT_EQ(sound.at("frame_count"), test::decodedFrames(withSound));
  EXPECT_EQ(sound.at("video_codec"), "h264");
  EXPECT_EQ(sound.at("audio_codec"), "aac");
  EXPECT_EQ(sound.at("audio_sample_rate"), 44100);
  EXPECT_EQ(sound.at("audio_channels"), 1);
  EXPECT_TRUE(sound.at("spherical").at("forms").empty());

  const json quiet = info(silent);
  EXPECT_TRUE(quiet.at("audio_codec").is_null());
  EXPECT_TRUE(quiet.at("audio_channels").is_null());
  EXPECT_EQ(quiet.at("frame_count"), test::decodedFrames(silent));

  const fs::path converted = dir / "pano.mov";
  ASSERT_EQ(tarnConvert({withSound.string(), converted.string(), "-q"}).status, 0);
  const json pano = info(converted);
  EXPECT_EQ(pano.at("height"), 160);
  EXPECT_EQ(pano.at("frame_count"), test::decodedFrames(converted));
  EXPECT_EQ(pano.at("spherical").at("projection"), "equirectangular");
  EXPECT_EQ(pano.at("spherical").at("forms"), json({"uuid-xml", "st3d", "sv3d"}));
  const fs::path webm = dir / "pano.webm";
  ASSERT_EQ(tarnConvert({silent.string(), webm.string(), "-q"}).status, 0);
  EXPECT_EQ(info(webm).at("spherical").at("forms"), json({"matroska-projection"}));

  std::ofstream(dir / "text.mp4") << "just text";
  const CliRun notMovie = tarnConvert({"--info", (dir / "text.mp4").string(), "--json"});
  EXPECT_EQ(notMovie.status, 1);
  EXPECT_TRUE(notMovie.out.empty());
  EXPECT_NE(notMovie.err.find("tarn-convert: " + (dir / "text.mp4").string() + ": "),
            std::string::npos);
}

// The private folder a verbose run names.
std::string privateFolderOf(const std::string& errorText) {
  const auto lines = linesWith(errorText, ": temporary folder ");
  if (lines.empty()) return {};
  return lines.front().substr(lines.front().find(": temporary folder ") + 19);
}

TEST(TarnConvertBatch, SignalsStopTheRunAndLeaveNothingBehind) {
  test::ScratchDir dir;
  const fs::path movie = test::stripMovie(1920, 480, 8);
  // SIGINT while the frames are written.
  const fs::path interrupted = dir / "interrupted.mp4";
  bool sent = false;
  const CliRun first = tarnConvert({movie.string(), interrupted.string(), "--progress=json", "-v"},
                                   [&](const std::string& line, pid_t pid) {
                                     if (!sent && line.find("\"frames\"") != std::string::npos &&
                                         line.find("\"stage\":\"frames\"") != std::string::npos) {
                                       sent = true;
                                       ::kill(pid, SIGINT);
                                     }
                                   });
  ASSERT_TRUE(sent) << first.err;
  EXPECT_EQ(first.status, 130) << first.err;
  EXPECT_FALSE(fs::exists(interrupted));
  const std::string firstFolder = privateFolderOf(first.err);
  ASSERT_FALSE(firstFolder.empty()) << first.err;
  EXPECT_FALSE(fs::exists(firstFolder));

  // SIGTERM while the encoder works.
  const fs::path terminated = dir / "terminated.mp4";
  sent = false;
  const CliRun second =
      tarnConvert({movie.string(), terminated.string(), "--progress=json", "-v"},
                  [&](const std::string& line, pid_t pid) {
                    if (!sent && line.find("\"stage\":\"encode\"") != std::string::npos) {
                      sent = true;
                      ::kill(pid, SIGTERM);
                    }
                  });
  ASSERT_TRUE(sent) << second.err;
  EXPECT_EQ(second.status, 143) << second.err;
  EXPECT_FALSE(fs::exists(terminated));
  const std::string secondFolder = privateFolderOf(second.err);
  ASSERT_FALSE(secondFolder.empty());
  EXPECT_FALSE(fs::exists(secondFolder));
  // No encoder run of ours goes on: the tool's frames folder is gone with its folder, and the
  // output never appears afterwards.
  std::this_thread::sleep_for(std::chrono::seconds(1));
  EXPECT_FALSE(fs::exists(terminated));
  // Nor is any file the encoder tool was writing left beside it.
  for (const auto& entry : fs::directory_iterator(dir.path())) {
    EXPECT_EQ(entry.path().filename().string().find(".terminated."), std::string::npos)
        << entry.path();
  }
}

}  // namespace
}  // namespace tarn
