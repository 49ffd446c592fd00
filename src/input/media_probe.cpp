#include "input/media_probe.h"

#include <unistd.h>

#include <fstream>
#include <system_error>

#include "common/process.h"
#include "common/text.h"

namespace tarn {
namespace {

constexpr const char* kReportFileName = "metrixVideoQuillon.txt";

std::string trimAny(const std::string& text, std::string_view characters) {
  const size_t first = text.find_first_not_of(characters);
  if (first == std::string::npos) return {};
  const size_t last = text.find_last_not_of(characters);
  return text.substr(first, last - first + 1);
}

}  // namespace

std::string fileNamePart(const std::string& path) {
  const size_t separator = path.find_last_of("/\\:");
  return separator == std::string::npos ? path : path.substr(separator + 1);
}

std::string probeTextFromReport(const std::string& fileName, std::istream& report) {
  std::string text = " Video file: " + fileName + "\r\n";
  std::string line;
  while (std::getline(report, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();  // a CR LF line end
    const std::string kept = toLower(trimNulsAndBlanks(line));
    if (kept.compare(0, 11, "stream #0:0") == 0 || kept.compare(0, 11, "stream #0:1") == 0) {
      text += "\r\n" + trimAny(kept, std::string_view("\0 :", 3));
    } else if (kept.compare(0, 9, "duration:") == 0) {
      text += "\r\n" + trimBlanks(kept);
    }
  }
  return text;
}

bool probeMovie(const std::string& path, const std::filesystem::path& exeFolder,
                std::string& probeText, const std::filesystem::path& reportFolder,
                std::chrono::milliseconds timeLimit) {
  if (trimBlanks(path).empty()) return false;
  // The path as given when it names a file (a name may begin or end with blanks), else trimmed.
  std::error_code error;
  const std::string moviePath = std::filesystem::exists(path, error) ? path : trimBlanks(path);
  // Only a regular file is described: a FIFO or a device would keep the tool reading forever.
  if (!std::filesystem::is_regular_file(moviePath, error)) return false;

  // An absolute path, so that the tool never reads the name as a protocol ("concat:", "http:").
  std::string toolInput = std::filesystem::absolute(moviePath, error).string();
  if (toolInput.empty()) toolInput = moviePath;
  const std::filesystem::path reportFile =
      (reportFolder.empty() ? exeFolder : reportFolder) / kReportFileName;
  // Never read an older run's report, nor write through a link of that name.
  ::unlink(reportFile.c_str());
  ChildProcess::Options options;
  options.stderrFile = reportFile;
  options.stderrFileNew = true;
  options.ownProcessGroup = true;  // ending the tool ends its ffmpeg too
  ChildProcess tool = ChildProcess::start(
      {(exeFolder / "PLUG-IN" / "ffmpeg_III.exe").string(), "-i", toolInput}, options);
  // The exit status says nothing about the report.
  const bool answered = !tool.started() || tool.waitFor(timeLimit).has_value();
  if (!answered) {
    tool.terminate();
    tool.wait();
  }

  std::ifstream report(reportFile, std::ios::binary);
  probeText = probeTextFromReport(fileNamePart(moviePath), report);
  if (!answered) {
    probeText += "\r\nno answer from the encoder tool within " +
                 std::to_string(timeLimit.count() / 1000) + " s";
  }
  report.close();
  std::filesystem::remove(reportFile, error);
  return true;
}

}  // namespace tarn
