#include "input/local_media_file.h"

#include <string>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
}

namespace tarn {

int openLocalMediaFile(const std::filesystem::path& path, FormatContextPtr& format) {
  // A FIFO or a device would be read without end (or block the opening itself).
  if (!isRegularFile(path)) return AVERROR(EINVAL);
  AVDictionary* options = nullptr;
  av_dict_set(&options, "protocol_whitelist", "file", 0);
  std::error_code error;
  const std::string url = "file:" + std::filesystem::absolute(path, error).string();
  AVFormatContext* raw = nullptr;
  const int opened = avformat_open_input(&raw, url.c_str(), nullptr, &options);
  av_dict_free(&options);
  if (opened >= 0) format.reset(raw);
  return opened;
}

bool isRegularFile(const std::filesystem::path& path) {
  std::error_code error;
  return std::filesystem::is_regular_file(path, error);
}

}  // namespace tarn
