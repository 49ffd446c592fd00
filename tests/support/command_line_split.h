#pragma once

#include <string>
#include <vector>

namespace tarn {

// Splits a legacy command line into arguments by the Windows command-line rules: blanks separate,
// double quotes group (and are removed), backslashes before a quote escape it, "" is an empty
// argument. The first argument is the program name: quotes group it, backslashes are plain.
// Tests read the logged command texts back with it; the program never starts anything from text.
std::vector<std::string> splitCommandLine(const std::string& commandLine);

}  // namespace tarn
