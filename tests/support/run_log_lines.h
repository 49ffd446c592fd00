#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace tarn::test {

// The lines of a run log without their line ends.
std::vector<std::string> logLines(const std::filesystem::path& path);

// Whether every line of the file ends with CR LF (and the file with a line end).
bool everyLineEndsWithCrLf(const std::filesystem::path& path);

}  // namespace tarn::test
