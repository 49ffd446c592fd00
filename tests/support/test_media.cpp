#include "support/test_media.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <random>

namespace tarn::test {
namespace fs = std::filesystem;

// The build passes its own folders in; the environment may override them.
fs::path fromEnvironmentOr(const char* name, const char* buildDefault) {
  const char* value = std::getenv(name);
  return value && *value ? fs::path(value) : fs::path(buildDefault);
}

fs::path testMediaDir() {
  fs::path path = fromEnvironmentOr("TARN_TEST_MEDIA_DIR", TARN_DEFAULT_TEST_MEDIA_DIR);
  fs::create_directories(path);
  return path;
}

fs::path binDir() {
  return fromEnvironmentOr("TARN_BIN_DIR", TARN_DEFAULT_BIN_DIR);
}

int runShell(const std::string& command, std::string* output) {
  std::FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return -1;
  std::array<char, 4096> chunk{};
  size_t count = 0;
  while ((count = std::fread(chunk.data(), 1, chunk.size(), pipe)) > 0) {
    if (output) output->append(chunk.data(), count);
  }
  const int status = ::pclose(pipe);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

fs::path generatedMedia(const std::string& name, const std::string& ffmpegArgs) {
  const fs::path target = testMediaDir() / name;
  if (fs::exists(target)) return target;
  // Write under a private name, then rename: concurrent test processes never see half a file.
  const fs::path partial = testMediaDir() / (".partial-" + std::to_string(::getpid()) + "-" + name);
  const std::string command = "ffmpeg -hide_banner -loglevel error -nostdin -y " + ffmpegArgs +
                              " '" + partial.string() + "' 2>&1";
  std::string output;
  if (runShell(command, &output) != 0 || !fs::exists(partial)) {
    ADD_FAILURE() << "ffmpeg could not generate " << name << ":\n" << output;
    fs::remove(partial);
    return {};
  }
  fs::rename(partial, target);
  return target;
}

ScratchDir::ScratchDir() {
  static std::atomic<int> counter{0};
  std::random_device random;
  path_ = fs::temp_directory_path() / ("tarn-test-" + std::to_string(::getpid()) + "-" +
                                       std::to_string(counter++) + "-" + std::to_string(random()));
  fs::create_directories(path_);
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

int decodedFrames(const std::filesystem::path& file) {
  std::string out;
  runShell(
      "ffprobe -v error -count_frames -select_streams v:0 -show_entries "
      "stream=nb_read_frames -of csv=p=0 '" +
          file.string() + "'",
      &out);
  return out.empty() ? -1 : std::stoi(out);
}

}  // namespace tarn::test
