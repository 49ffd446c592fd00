#pragma once

#include <string>

namespace tarn {

// True when `outputPath` names the movie file itself, however it is spelled: surrounding blanks,
// a relative path, "..", or a link. Writing there would destroy the input.
bool isSameFileAsMovie(const std::string& outputPath, const std::string& moviePath);

}  // namespace tarn
