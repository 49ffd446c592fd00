// tarn-convert against names and files as they come on Linux: every run is started from an
// argument vector, and the files around it are checked afterwards.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <iterator>

#include "common/folder_lock.h"
#include "common/process.h"
#include "support/conversion_rig.h"
#include "support/test_media.h"

namespace tarn {
namespace {
namespace fs = std::filesystem;

struct ToolRun {
  int status = -1;
  std::string output;
};

std::string readAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Runs tarn-convert with these arguments, its output gathered in `scratch`.
ToolRun tarnConvert(const fs::path& scratch, std::vector<std::string> arguments,
                    std::chrono::seconds limit = std::chrono::seconds(300)) {
  arguments.insert(arguments.begin(), (test::binDir() / "tarn-convert").string());
  ChildProcess::Options options;
  options.stderrFile = scratch / "tarn-convert-output.txt";
  options.stdoutToo = true;
  ChildProcess child = ChildProcess::start(arguments, options);
  ToolRun run;
  const auto status = child.waitFor(limit);
  if (!status) child.terminate();
  run.status = status.value_or(-2);
  child.wait();
  run.output = readAll(scratch / "tarn-convert-output.txt");
  return run;
}

bool hasSound(const fs::path& movie) {
  return !test::probeField(movie, "a", "codec_name").empty();
}

TEST(HostileInputs, QuotesBlanksNewlinesAndDashesInNames) {
  test::ScratchDir dir;
  const fs::path source = test::stripMovie(320, 80, 1);
  // A movie whose name holds a quote, a newline and a trailing blank, in a folder with a quote.
  fs::create_directories(dir / "in \"q\" dir");
  const fs::path movie = dir / "in \"q\" dir" / "pano q\"uote\nline .mp4 ";
  fs::copy_file(source, movie);
  // The file that splitting `out q"uote.mp4` at the quote would name.
  std::ofstream(dir / "out quote.mov") << "unrelated";
  const fs::path output = dir / "out q\"uote.mov";
  const ToolRun run =
      tarnConvert(dir.path(), {movie.string(), output.string(), "--temp", (dir / "temp").string()});
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(readAll(dir / "out quote.mov"), "unrelated");
  EXPECT_EQ(test::decodedFrames(output), test::decodedFrames(source));
  EXPECT_TRUE(hasSound(output)) << "the sound extraction read the quoted movie name";
  EXPECT_EQ(fs::file_size(movie), fs::file_size(source));

  // A relative output name beginning with "-", written in the current folder, not read as an
  // option by the tool or ffmpeg.
  std::string said;
  const int dashed = test::runShell(
      "cd '" + dir.path().string() + "' && '" + (test::binDir() / "tarn-convert").string() +
          "' --temp temp '" + source.string() + "' -- '-dash out.mov' 2>&1",
      &said);
  ASSERT_EQ(dashed, 0) << said;
  EXPECT_EQ(test::decodedFrames(dir / "-dash out.mov"), test::decodedFrames(source));
}

TEST(HostileInputs, LongPathsAndLinksInTheTemporaryFolder) {
  test::ScratchDir dir;
  const fs::path source = test::stripMovie(320, 80, 1);
  // A movie path of about 400 characters: used whole.
  fs::path deep = dir.path();
  for (int i = 0; i < 4; ++i) deep /= std::string(90, static_cast<char>('a' + i));
  fs::create_directories(deep);
  const fs::path movie = deep / "movie.mp4";
  fs::copy_file(source, movie);
  ASSERT_GT(movie.string().size(), 300u);

  // Links named as the run's own files point at files outside the folder.
  const fs::path temp = dir / "temp";
  fs::create_directories(temp);
  std::ofstream(dir / "victim-frame") << "keep";
  std::ofstream(dir / "victim-wav") << "keep";
  fs::create_symlink(dir / "victim-frame", temp / "temp000003.bmp");
  fs::create_symlink(dir / "victim-wav", temp / "temp.wav");
  const fs::path output = dir / "out.mov";
  const ToolRun run =
      tarnConvert(dir.path(), {movie.string(), output.string(), "--temp", temp.string()});
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(readAll(dir / "victim-frame"), "keep");
  EXPECT_EQ(readAll(dir / "victim-wav"), "keep");
  EXPECT_EQ(test::decodedFrames(output), test::decodedFrames(source));
  EXPECT_TRUE(hasSound(output));
}

TEST(HostileInputs, TheRunLogNeverDeletesWhatItIsNotOwed) {
  test::ScratchDir dir;
  const fs::path source = test::stripMovie(320, 80, 1);
  const fs::path movie = dir / "movie.mp4";
  fs::copy_file(source, movie);
  const auto movieSize = fs::file_size(movie);
  const std::string temp = (dir / "temp").string();

  // A FIFO stands for /dev/null and every device: written to as it is, never replaced.
  ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
  const ToolRun fifo = tarnConvert(dir.path(), {movie.string(), (dir / "a.mp4").string(), "--temp",
                                                temp, "--log", (dir / "fifo").string()});
  EXPECT_EQ(fifo.status, 0) << fifo.output;
  struct stat info {};
  ASSERT_EQ(::stat((dir / "fifo").c_str(), &info), 0);
  EXPECT_TRUE(S_ISFIFO(info.st_mode));
  EXPECT_EQ(tarnConvert(dir.path(), {movie.string(), (dir / "b.mp4").string(), "--temp", temp,
                                     "--log", "/dev/null"})
                .status,
            0);

  // The movie, the output, a folder, a file that is no log: refused, each left as it was.
  for (const fs::path& named : {movie, dir / "c.mp4", fs::path(dir.path()), dir / "notes.txt"}) {
    if (named.filename() == "c.mp4") std::ofstream(named) << "old output";
    if (named.filename() == "notes.txt") std::ofstream(named) << "my notes";
    const ToolRun refused = tarnConvert(dir.path(), {"-y", movie.string(), (dir / "c.mp4").string(),
                                                     "--temp", temp, "--log", named.string()});
    EXPECT_EQ(refused.status, 1) << named;
    EXPECT_NE(refused.output.find("Incorrect name of log file"), std::string::npos);
  }
  EXPECT_EQ(fs::file_size(movie), movieSize);
  EXPECT_EQ(readAll(dir / "c.mp4"), "old output");
  EXPECT_EQ(readAll(dir / "notes.txt"), "my notes");

  // An earlier run log is replaced.
  std::ofstream(dir / "run.log") << "Generated by TARN_CONVERTER, d'not edit!\r\nold\r\n";
  ASSERT_EQ(tarnConvert(dir.path(), {movie.string(), (dir / "d.mp4").string(), "--temp", temp,
                                     "--log", (dir / "run.log").string()})
                .status,
            0);
  EXPECT_EQ(readAll(dir / "run.log").find("old\r\n"), std::string::npos);
}

TEST(HostileInputs, BadFilesAreRefusedAtOnce) {
  test::ScratchDir dir;
  const fs::path source = test::stripMovie(320, 80, 1);
  ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
  const std::string temp = (dir / "temp").string();
  const auto limit = std::chrono::seconds(60);  // a hang shows as a killed run, not a stuck test

  const ToolRun info = tarnConvert(dir.path(), {"--info", (dir / "fifo").string()}, limit);
  EXPECT_EQ(info.status, 1) << info.output;
  EXPECT_NE(info.output.find("AddSourceFile Error"), std::string::npos);

  const ToolRun movie = tarnConvert(
      dir.path(), {(dir / "fifo").string(), (dir / "out.mp4").string(), "--temp", temp}, limit);
  EXPECT_EQ(movie.status, 1) << movie.output;
  EXPECT_NE(movie.output.find("AddSourceFile Error"), std::string::npos);
  EXPECT_FALSE(fs::exists(dir / "out.mp4"));

  for (const std::string& logo : {(dir / "fifo").string(), std::string("/dev/zero")}) {
    const ToolRun refused = tarnConvert(
        dir.path(), {source.string(), (dir / "out.mp4").string(), "--logo", logo, "--temp", temp},
        limit);
    EXPECT_EQ(refused.status, 1) << logo << refused.output;
    EXPECT_NE(refused.output.find("Bad Logo format."), std::string::npos);
  }
  EXPECT_FALSE(fs::exists(dir / "out.mp4"));

  // 20,000 nested boxes: described as unreadable, no crash.
  std::string boxes;
  for (int i = 0; i < 20000; ++i) {
    const uint32_t size = 8u * static_cast<uint32_t>(20000 - i);
    const char header[8] = {static_cast<char>(size >> 24),
                            static_cast<char>(size >> 16),
                            static_cast<char>(size >> 8),
                            static_cast<char>(size),
                            'm',
                            'o',
                            'o',
                            'v'};
    boxes.append(header, 8);
  }
  std::ofstream(dir / "nested.mp4", std::ios::binary) << boxes;
  const ToolRun nested = tarnConvert(dir.path(), {"--info", (dir / "nested.mp4").string()}, limit);
  // Refused as no movie, in time and without a crash.
  EXPECT_EQ(nested.status, 1) << nested.output;
  EXPECT_NE(nested.output.find("AddSourceFile Error"), std::string::npos) << nested.output;
}

TEST(HostileInputs, OneRunPerFolderAndAbandonedFoldersGo) {
  test::ScratchDir dir;
  const fs::path source = test::stripMovie(320, 80, 1);
  const fs::path temp = dir / "temp";
  fs::create_directories(temp);
  std::ofstream(temp / "temp000000.bmp") << "another run's frame";
  {
    // Another run holds the folder: refused before anything there is deleted.
    const FolderLock other = FolderLock::tryLock(temp.string());
    ASSERT_TRUE(other.held());
    const ToolRun refused = tarnConvert(
        dir.path(), {source.string(), (dir / "out.mp4").string(), "--temp", temp.string()});
    EXPECT_EQ(refused.status, 1) << refused.output;
    EXPECT_NE(refused.output.find("is in use by another conversion"), std::string::npos);
    EXPECT_EQ(readAll(temp / "temp000000.bmp"), "another run's frame");
    EXPECT_FALSE(fs::exists(dir / "out.mp4"));
  }

  // A private folder of a run killed with -9: removed by the next run; a live one is kept.
  const fs::path program = dir / "program";
  fs::create_directories(program / "TEMP" / "tarn-convert-dead00");
  std::ofstream(program / "TEMP" / "tarn-convert-dead00" / ".owner");
  std::ofstream(program / "TEMP" / "tarn-convert-dead00" / "temp000001.bmp") << "left";
  fs::create_directories(program / "TEMP" / "tarn-convert-live00");
  std::ofstream(program / "TEMP" / "tarn-convert-live00" / ".owner");
  const FolderLock live =
      FolderLock::tryLock((program / "TEMP" / "tarn-convert-live00" / ".owner").string());
  ASSERT_TRUE(live.held());
  fs::create_directories(program / "PLUG-IN");
  fs::copy_file(test::binDir() / "tarn-convert", program / "tarn-convert");
  fs::copy_file(test::binDir() / "PLUG-IN" / "ffmpeg_III.exe",
                program / "PLUG-IN" / "ffmpeg_III.exe");
  ChildProcess::Options options;
  options.stderrFile = dir / "private-run.txt";
  ChildProcess run = ChildProcess::start(
      {(program / "tarn-convert").string(), source.string(), (dir / "own.mov").string()}, options);
  ASSERT_EQ(run.wait(), 0) << readAll(dir / "private-run.txt");
  EXPECT_FALSE(fs::exists(program / "TEMP" / "tarn-convert-dead00"));
  EXPECT_TRUE(fs::exists(program / "TEMP" / "tarn-convert-live00" / ".owner"));
  // Nothing of the run itself is left either.
  int left = 0;
  for (const auto& entry : fs::directory_iterator(program / "TEMP"))
    left += entry.path() != program / "TEMP" / "tarn-convert-live00";
  EXPECT_EQ(left, 0);
  EXPECT_EQ(test::decodedFrames(dir / "own.mov"), test::decodedFrames(source));
}

}  // namespace
}  // namespace tarn
