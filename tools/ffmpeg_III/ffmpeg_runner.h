#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/program_search.h"
#include "ffmpeg_III/ffmpeg_messages.h"
#include "ffmpeg_III/report_lines.h"

namespace tarn::tool {

using ::tarn::findOnPath;

// The command as one line a POSIX shell would read back: arguments that need it in single quotes.
std::string commandLineText(const std::string& program, const std::vector<std::string>& arguments);

// Runs `program` with `arguments`, standard output and error shared with this process. With
// `feedStdin`, the child's standard input is a pipe whose write end is handed to `feedStdin` and
// closed after it returns; when it returns false the child is killed instead of being left to
// finish. With `messages` and `lines`, the child's standard error goes through a pipe: it is
// passed on unchanged to this process's standard error through `lines` and read into `messages`.
// Returns the exit status (128 + signal when killed), or -1 when the program could not be started
// (`startError` says why). With `readStdout`, the child's standard output is a pipe whose text is
// handed to `readStdout` as it arrives, on a thread of its own. With `descriptor3`, the child
// gets that descriptor as its descriptor 3 (this process keeps its own).
int runProgram(const std::string& program, const std::vector<std::string>& arguments,
               const std::function<bool(int fd)>& feedStdin, FfmpegMessages* messages,
               std::string* startError,
               const std::function<void(std::string_view)>& readStdout = {},
               ReportLines* lines = nullptr, int descriptor3 = -1);

}  // namespace tarn::tool
