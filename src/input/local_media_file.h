#pragma once

#include <filesystem>

#include "input/ffmpeg_handles.h"

namespace tarn {

// Opens `path` for demuxing as a local file only: a name that looks like a URL or one of
// FFmpeg's protocols ("concat:", "http:") stays a file name. Returns libavformat's status
// (negative on failure, `format` then left empty).
int openLocalMediaFile(const std::filesystem::path& path, FormatContextPtr& format);

}  // namespace tarn
