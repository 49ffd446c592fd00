#include "common/program_search.h"

#include <sys/stat.h>
#include <unistd.h>

#include <sstream>

namespace tarn {
namespace {

bool isExecutable(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
         ::access(path.c_str(), X_OK) == 0;
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

}  // namespace tarn
