// The encoder tool: the converter's legacy ffmpeg option dialect in, the system's ffmpeg run.
#include <csignal>
#include <string>
#include <vector>

#include "ffmpeg_III/encoder_tool.h"

int main(int argc, char** argv) {
  // A closed pipe to ffmpeg shows as a write error, not as the end of the tool.
  std::signal(SIGPIPE, SIG_IGN);
  return tarn::tool::runEncoderTool(std::vector<std::string>(argv + 1, argv + argc));
}
