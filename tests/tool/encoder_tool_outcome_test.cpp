// The encoder tool replaces the output only with a complete movie, and says why when it cannot.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <iterator>

#include "support/test_media.h"
#include "tool/tool_run_support.h"

namespace tarn::test {
namespace {

namespace fs = std::filesystem;

const std::string kMp4 = " -r 30  -t 00:00:05.000 -sameq -qscale 15 -f mp4 ";
const std::string kWebm = " -r 30  -t 00:00:05.000 -qscale 5 -f webm ";
const std::string kOldMovie = "the user's old movie, kept byte for byte";

std::string fileText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

void writeText(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// The tool's last line on standard error.
std::string lastLine(const std::string& text) {
  std::string trimmed = text;
  while (!trimmed.empty() && trimmed.back() == '\n') trimmed.pop_back();
  const size_t start = trimmed.rfind('\n');
  return start == std::string::npos ? trimmed : trimmed.substr(start + 1);
}

// Files whose names begin with a dot: what a run must not leave behind.
std::vector<std::string> hiddenFiles(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (name[0] == '.') names.push_back(name);
  }
  return names;
}

// A small tmpfs mounted for one test (root only); `mounted()` is false where that is not allowed.
class SmallFileSystem {
 public:
  SmallFileSystem(const fs::path& where, uint64_t bytes, bool readOnly = false) : where_(where) {
    fs::create_directories(where_);
    if (::geteuid() != 0) return;
    const std::string options =
        "size=" + std::to_string(bytes) + (readOnly ? ",ro" : "") + ",mode=0777";
    mounted_ = runShell("mount -t tmpfs -o " + options + " tmpfs '" + where_.string() +
                        "' 2>/dev/null") == 0;
  }
  ~SmallFileSystem() {
    if (mounted_) runShell("umount '" + where_.string() + "'");
  }
  SmallFileSystem(const SmallFileSystem&) = delete;
  SmallFileSystem& operator=(const SmallFileSystem&) = delete;
  bool mounted() const { return mounted_; }

 private:
  fs::path where_;
  bool mounted_ = false;
};

class EncoderToolOutcome : public ::testing::Test {
 protected:
  void SetUp() override {
    writeFrameFiles(frames_.path(), 64, 32, 12);
    writeSoundFile(frames_.path(), 0.6);
  }
  ToolRun encode(const std::string& tail, const fs::path& output, bool withSound = true) {
    return runTool(mainEncodeArguments(frames_.path(), "25.00", withSound, tail, output));
  }
  ScratchDir frames_;
};

TEST_F(EncoderToolOutcome, ACompleteMovieReplacesTheOldOneAndAFailedRunKeepsIt) {
  const ScratchDir out;
  const fs::path output = out / "pano.mp4";
  writeText(output, kOldMovie);
  // A user's files named like the spherical step's old working copy.
  writeText(out / "pano.mp4.tagging", "user file 1");
  writeText(out / ".pano.mp4.tagging", "user file 2");

  // No frames at all: ffmpeg fails, and says why.
  const ScratchDir empty;
  const auto failed = runTool(mainEncodeArguments(empty.path(), "25.00", false, kMp4, output));
  EXPECT_NE(failed.status, 0);
  EXPECT_EQ(lastLine(failed.errorText).rfind("ffmpeg_III: error: ffmpeg failed: ", 0), 0u)
      << failed.errorText;
  EXPECT_NE(lastLine(failed.errorText).find("temp%06d.bmp: No such file or directory"),
            std::string::npos);
  EXPECT_EQ(fileText(output), kOldMovie);

  // 12 frames at 25 fps are 0.48 s, written at the MP4's 30 fps: 14 or 15 frames.
  const auto run = encode(kMp4, output);
  ASSERT_EQ(run.status, 0) << run.errorText;
  EXPECT_EQ(run.errorText.find("ffmpeg_III: error:"), std::string::npos);
  EXPECT_NE(run.errorText.find("ffmpeg_III: spherical metadata written"), std::string::npos);
  EXPECT_NEAR(decodedFrames(output), 14.4, 1.0);
  const ProbeInfo info = probeFile(output);
  ASSERT_NE(info.stream("audio"), nullptr);
  // The permissions of a newly created file.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  EXPECT_EQ(fs::status(output).permissions(), static_cast<fs::perms>(0666 & ~mask));
  EXPECT_EQ(fileText(out / "pano.mp4.tagging"), "user file 1");
  EXPECT_EQ(fileText(out / ".pano.mp4.tagging"), "user file 2");
  EXPECT_EQ(hiddenFiles(out.path()), std::vector<std::string>{".pano.mp4.tagging"});

  // WebM (tagged by a remux) and FLV at the input rate: every frame given.
  const auto webm = encode(kWebm, out / "pano.webm");
  ASSERT_EQ(webm.status, 0) << webm.errorText;
  EXPECT_NEAR(decodedFrames(out / "pano.webm"), 14.4, 1.0);
  const auto flv = encode(" -vcodec libx264 -acodec mp3  -t 00:00:05.000 -crf 22 -f flv ",
                          out / "pano.flv", false);
  ASSERT_EQ(flv.status, 0) << flv.errorText;
  EXPECT_EQ(decodedFrames(out / "pano.flv"), 12);
  EXPECT_EQ(hiddenFiles(out.path()), std::vector<std::string>{".pano.mp4.tagging"});

  // Without -y an existing output stays, as ffmpeg itself never overwrites without it.
  auto arguments = mainEncodeArguments(frames_.path(), "25.00", false, kMp4, output);
  arguments.erase(arguments.end() - 2);
  writeText(output, kOldMovie);
  const auto kept = runTool(arguments);
  EXPECT_EQ(kept.status, 1);
  EXPECT_EQ(lastLine(kept.errorText),
            "ffmpeg_III: error: the output " + output.string() + " exists already (no -y given)");
  EXPECT_EQ(fileText(output), kOldMovie);
}

TEST_F(EncoderToolOutcome, SaysWhyWhenNothingCanBeWritten) {
  const ScratchDir out;
  const fs::path output = out / "kept.mp4";
  writeText(output, kOldMovie);

  const ScratchDir emptyPath;
  const std::string noPrograms = emptyPath.path().string();
  const auto missing =
      runTool(mainEncodeArguments(frames_.path(), "25.00", true, kMp4, output), &noPrograms);
  EXPECT_EQ(missing.status, 127);
  EXPECT_EQ(lastLine(missing.errorText),
            "ffmpeg_III: error: ffmpeg is not installed (it is not on the PATH; on Debian: "
            "apt-get install ffmpeg)");

  EXPECT_EQ(fileText(output), kOldMovie);

  const fs::path nowhere = out / "missing" / "x.mp4";
  const auto noFolder = encode(kMp4, nowhere);
  EXPECT_EQ(noFolder.status, 1);
  EXPECT_EQ(lastLine(noFolder.errorText), "ffmpeg_III: error: the output folder " +
                                              (out / "missing").string() +
                                              " cannot be written: No such file or directory");

  const auto bad = runTool({"-i", "x.mov", "-frobnicate", "1", "out.mp4"});
  EXPECT_EQ(bad.status, 1);
  EXPECT_EQ(lastLine(bad.errorText),
            "ffmpeg_III: error: cannot read the command line: unknown option -frobnicate");
  EXPECT_EQ(hiddenFiles(out.path()), std::vector<std::string>{});
}

TEST_F(EncoderToolOutcome, AFullOrReadOnlyDiskKeepsTheOldMovieAndSaysSo) {
  // The size of the complete movies, measured on a roomy disk.
  const ScratchDir roomy;
  ASSERT_EQ(encode(kMp4, roomy / "a.mp4").status, 0);
  ASSERT_EQ(encode(kWebm, roomy / "a.webm").status, 0);
  const uint64_t mp4Bytes = fs::file_size(roomy / "a.mp4");
  const uint64_t webmBytes = fs::file_size(roomy / "a.webm");

  const ScratchDir mounts;
  struct Case {
    std::string name;
    uint64_t room;  // bytes free besides the old movie's one page
  };
  // The MP4 fits but for its last page (the trailer), the WebM fits to a half.
  const Case cases[] = {{"full.mp4", (mp4Bytes - 1) / 4096 * 4096},
                        {"full.webm", webmBytes / 2 / 4096 * 4096}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path folder = mounts / (c.name + ".disk");
    const SmallFileSystem disk(folder, 4096 + c.room);
    if (!disk.mounted()) GTEST_SKIP() << "mounting a small file system needs root";
    const fs::path output = folder / c.name;
    writeText(output, kOldMovie);
    const auto run = encode(fs::path(c.name).extension() == ".mp4" ? kMp4 : kWebm, output);
    EXPECT_NE(run.status, 0);
    EXPECT_EQ(
        lastLine(run.errorText).rfind("ffmpeg_III: error: no space left in " + folder.string(), 0),
        0u)
        << run.errorText;
    EXPECT_EQ(fileText(output), kOldMovie);
    EXPECT_EQ(hiddenFiles(folder), std::vector<std::string>{});
  }

  // Room for the movie but not for the spherical step's copy: the movie is still complete, and
  // only a warning says the metadata is missing.
  {
    const fs::path folder = mounts / "tagging.disk";
    const SmallFileSystem disk(folder, 4096 + (mp4Bytes + 4095) / 4096 * 4096 + 4096);
    const fs::path output = folder / "untagged.mp4";
    writeText(output, kOldMovie);
    const auto run = encode(kMp4, output);
    ASSERT_EQ(run.status, 0) << run.errorText;
    const std::string why =
        "spherical metadata not written: cannot write the copy: No space left "
        "on device\n";
    EXPECT_NE(run.errorText.find("ffmpeg_III: " + why), std::string::npos) << run.errorText;
    EXPECT_NE(run.errorText.find("ffmpeg_III: warning: " + why), std::string::npos);
    EXPECT_EQ(run.errorText.find("ffmpeg_III: error:"), std::string::npos);
    EXPECT_NEAR(decodedFrames(output), 14.4, 1.0);
    EXPECT_EQ(showStreams(output).find("Spherical"), std::string::npos);
    EXPECT_EQ(hiddenFiles(folder), std::vector<std::string>{});
  }

  const fs::path folder = mounts / "read-only";
  const SmallFileSystem readOnly(folder, 1 << 16, true);
  const auto run = encode(kMp4, folder / "x.mp4");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(lastLine(run.errorText), "ffmpeg_III: error: the output folder " + folder.string() +
                                         " cannot be written: Read-only file system");
}

}  // namespace
}  // namespace tarn::test
