#include "encoding/encode_precheck.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "common/program_search.h"
#include "common/text.h"
#include "encoding/encode_command.h"

namespace tarn {
namespace fs = std::filesystem;
namespace {

// Creates and removes a file of our own in `folder`: the one sure test that it takes new files.
std::string folderWriteProblem(const fs::path& folder) {
  std::error_code error;
  if (!fs::is_directory(folder, error)) {
    return "the output folder " + folder.string() + " does not exist";
  }
  std::string probe = (folder / ".tarn-write-test-XXXXXX").string();
  const int fd = ::mkstemp(probe.data());
  if (fd < 0) {
    return "the output folder " + folder.string() + " cannot be written: " + std::strerror(errno);
  }
  ::close(fd);
  ::unlink(probe.c_str());
  return {};
}

}  // namespace

std::string encodePrecheck(const std::string& exeFolder, const std::string& outputPath) {
  const std::string tool = exeFolder + "/PLUG-IN/ffmpeg_III.exe";
  if (!findOnPath(tool, nullptr))
    return "the encoder tool " + tool + " is missing or cannot be run";
  // The same search the encoder tool makes for ffmpeg.
  if (!findOnPath("ffmpeg", std::getenv("PATH")))
    return "ffmpeg is not installed (Debian: apt-get install ffmpeg)";
  const std::string output = trimBlanks(outputPath);
  const std::string extension = outputExtension(output);
  static constexpr const char* kContainers[] = {".flv", ".mov", ".avi", ".mp4",
                                                ".m4v", ".ogg", ".ogv", ".webm"};
  bool known = false;
  for (const char* container : kContainers) known = known || extension == container;
  if (!known) {
    return "the output name must end in .flv, .avi, .mov, .mp4, .m4v, .ogg, .ogv or .webm";
  }
  std::error_code error;
  if (fs::is_directory(output, error)) return "the output " + output + " is a folder";
  fs::path folder = fs::path(output).parent_path();
  if (folder.empty()) folder = ".";
  return folderWriteProblem(folder);
}

}  // namespace tarn
