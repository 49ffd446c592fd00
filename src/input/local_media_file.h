#pragma once

#include <filesystem>

#include "input/ffmpeg_handles.h"

namespace tarn {

// Opens `path` for demuxing as a local file only: a name that looks like a URL or one of
// FFmpeg's protocols ("concat:", "http:") stays a file name. Returns libavformat's status
// (negative on failure, `format` then left empty).
// Only regular files (or links to them) are opened; anything else fails at once.
int openLocalMediaFile(const std::filesystem::path& path, FormatContextPtr& format);

// True for a regular file, or a link to one.
bool isRegularFile(const std::filesystem::path& path);

}  // namespace tarn
