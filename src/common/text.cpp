#include "common/text.h"

#include <algorithm>
#include <cctype>

namespace tarn {
namespace {

std::string trimAny(std::string_view text, std::string_view chars) {
  const auto first = text.find_first_not_of(chars);
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(chars);
  return std::string(text.substr(first, last - first + 1));
}

}  // namespace

std::string trimBlanks(std::string_view text) {
  return trimAny(text, " ");
}

std::string trimNulsAndBlanks(std::string_view text) {
  return trimAny(text, std::string_view("\0 ", 2));
}

std::string toLower(std::string_view text) {
  std::string result(text);
  std::transform(result.begin(), result.end(), result.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return result;
}

}  // namespace tarn
