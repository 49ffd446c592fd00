#pragma once

#include <string>
#include <string_view>

namespace tarn {

// Blanks are spaces only, as the converter's texts use them.
std::string trimBlanks(std::string_view text);
// Trims NUL characters and spaces from both ends.
std::string trimNulsAndBlanks(std::string_view text);
std::string toLower(std::string_view text);

}  // namespace tarn
