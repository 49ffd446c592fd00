#include "conversion/output_path_check.h"

#include <filesystem>

#include "common/text.h"

namespace tarn {
namespace fs = std::filesystem;

bool isSameFileAsMovie(const std::string& outputPath, const std::string& moviePath) {
  const std::string output = trimBlanks(outputPath);
  const std::string movie = trimBlanks(moviePath);
  if (output == movie) return true;
  std::error_code error;
  if (fs::exists(output, error) && fs::exists(movie, error)) {
    const bool same = fs::equivalent(output, movie, error);
    return error ? false : same;
  }
  const fs::path a = fs::weakly_canonical(fs::absolute(output, error), error);
  if (error) return false;
  const fs::path b = fs::weakly_canonical(fs::absolute(movie, error), error);
  return !error && a == b;
}

}  // namespace tarn
