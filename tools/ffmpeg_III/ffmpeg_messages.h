#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tarn::tool {

// The lines of ffmpeg's standard error that tell of a failure, picked out while the text passes
// through. ffmpeg ends its progress lines with a carriage return, so both line ends count.
class FfmpegMessages {
 public:
  // Any piece of the text, cut anywhere.
  void take(std::string_view text);
  // The text has ended: a last line without its line end counts too.
  void finish();

  // Lines that say something went wrong, in order, without ffmpeg's "[muxer @ 0x...] " prefix.
  const std::vector<std::string>& errorLines() const { return errorLines_; }
  // ffmpeg said it could not write the output (it may still have exited with 0: a WebM or an
  // MP4 whose trailer did not fit on the disk).
  bool writeFailed() const { return writeFailed_; }
  // ffmpeg said the disk or the user's quota was full.
  bool spaceRanOut() const { return spaceRanOut_; }
  // The line that best says why the run failed: the first write error, else the first error
  // line other than the closing "Conversion failed!"; empty when ffmpeg said nothing of use.
  std::string reason() const;

 private:
  void takeLine(std::string line);

  std::string partial_;
  std::vector<std::string> errorLines_;
  bool writeFailed_ = false;
  bool spaceRanOut_ = false;
};

}  // namespace tarn::tool
