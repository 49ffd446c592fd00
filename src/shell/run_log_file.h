#pragma once

#include <string>
#include <vector>

#include "common/run_log.h"

namespace tarn {

// Starts the run log of a run at a path the user named (tarn-convert's --log) and writes its two
// header lines. What the path names is never deleted unless it is a log: a device or FIFO
// (/dev/null) is written to as it is; a regular file is replaced only when it is empty or begins
// with the run log's first line. Returns false, starting nothing, when the path names a folder, a
// file of other content, or one of `protectedPaths` (the movie, the output).
bool startRunLogFile(RunLog& log, const std::string& path,
                     const std::vector<std::string>& protectedPaths);

}  // namespace tarn
