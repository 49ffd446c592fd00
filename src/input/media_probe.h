#pragma once

#include <chrono>
#include <filesystem>
#include <istream>
#include <string>

namespace tarn {

// The probe's description of a movie: " Video file: " and the file name, then, each after CR LF,
// the report lines (lower case) that describe streams #0:0 and #0:1 and the duration.
// `fileName` is the name part of the movie path.
std::string probeTextFromReport(const std::string& fileName, std::istream& report);

// The name and extension of a path: the text after its last "/", "\" or ":".
std::string fileNamePart(const std::string& path);

// How long a probe may take before the tool is ended.
inline constexpr std::chrono::milliseconds kProbeTimeLimit{30'000};

// Asks the encoder tool (exeFolder/PLUG-IN/ffmpeg_III.exe) to describe the movie at `path`: the
// tool is started directly with "-i" and the path, its standard error going into
// exeFolder/"metrixVideoQuillon.txt" (created new, never through a link), and waited for up to
// `timeLimit`; a tool still running then is ended and the text says so in its last line. No shell
// runs, so any character of the path reaches the tool as it is. Fills `probeText` and returns
// true; returns false, starting nothing and leaving `probeText` unchanged, when the path is blank
// or names no regular file. A missing or failing tool leaves only the header line. The report
// file is gone afterwards. With `reportFolder`, the report is written there instead of beside the
// tool.
bool probeMovie(const std::string& path, const std::filesystem::path& exeFolder,
                std::string& probeText, const std::filesystem::path& reportFolder = {},
                std::chrono::milliseconds timeLimit = kProbeTimeLimit);

}  // namespace tarn
