#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace tarn::test {

// Places a stand-in encoder tool at <programFolder>/PLUG-IN/ffmpeg_III.exe: a shell script that
// appends each argument it gets as one line to <programFolder>/argv.txt, then a line "---", and
// then runs `then` (shell text; e.g. "exec sleep 30", or "exec ffmpeg \"$@\"" to do the work).
void installRecordingTool(const std::filesystem::path& programFolder, const std::string& then = "");

// The recorded runs, each as its list of arguments.
std::vector<std::vector<std::string>> recordedRuns(const std::filesystem::path& programFolder);

}  // namespace tarn::test
