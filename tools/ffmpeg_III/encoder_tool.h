#pragma once

#include <string>
#include <vector>

namespace tarn::tool {

// The whole tool: parses the legacy command line (the arguments after the program name), runs
// the system's ffmpeg with today's equivalent, and returns the exit status (ffmpeg's own, or 1 for
// a command line it cannot read, 127 when ffmpeg is missing). Writes its own lines on standard
// error, each starting with "ffmpeg_III: ".
int runEncoderTool(const std::vector<std::string>& arguments);

}  // namespace tarn::tool
