#include "ffmpeg_III/child_environment.h"

#include <string_view>

namespace tarn::tool {

std::vector<std::string> childEnvironment(char* const* environment) {
  constexpr std::string_view kName = "GLIBC_TUNABLES=";
  std::vector<std::string> result;
  std::string tunables = std::string(kName) + kFfmpegMallocTunables;
  for (char* const* entry = environment; entry && *entry; ++entry) {
    const std::string_view text(*entry);
    if (text.starts_with(kName)) {
      const std::string_view own = text.substr(kName.size());
      if (!own.empty()) tunables += ":" + std::string(own);
    } else {
      result.emplace_back(text);
    }
  }
  result.push_back(std::move(tunables));
  return result;
}

}  // namespace tarn::tool
