#pragma once

#include <optional>
#include <string>

namespace tarn {

// The full path of `program` found in the folders of `pathVariable` (a PATH value; an empty entry
// is the current folder), or empty. A name holding "/" is taken as it is, when it names an
// executable regular file.
std::optional<std::string> findOnPath(const std::string& program, const char* pathVariable);

}  // namespace tarn
