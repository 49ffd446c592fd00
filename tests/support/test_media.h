#pragma once

#include <filesystem>
#include <string>

namespace tarn::test {

// Folder shared by all test processes of one build for generated media (TARN_TEST_MEDIA_DIR).
std::filesystem::path testMediaDir();

// Returns `name` inside testMediaDir(), generating it first (once per build, safe when several
// test processes ask at once) by running: ffmpeg -hide_banner -loglevel error -y <ffmpegArgs> FILE
// Example: generatedMedia("strip.mp4", "-f lavfi -i testsrc2=size=320x80:rate=25 -t 1 -c:v
// libx264") Fails the calling test (ADD_FAILURE) and returns an empty path when ffmpeg fails.
std::filesystem::path generatedMedia(const std::string& name, const std::string& ffmpegArgs);

// The program folder of this build (TARN_BIN_DIR): tarn-convert, PLUG-IN/ffmpeg_III.exe, ...
std::filesystem::path binDir();

// A fresh, empty folder for one test, removed by the destructor.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

// Runs a shell command line (tests only), returns its exit status; stdout goes to `output` when
// given.
int runShell(const std::string& command, std::string* output = nullptr);

// The frames ffprobe decodes from the first video stream of `file`; -1 when it cannot tell.
int decodedFrames(const std::filesystem::path& file);

}  // namespace tarn::test
