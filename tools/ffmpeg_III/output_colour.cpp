#include "ffmpeg_III/output_colour.h"

namespace tarn::tool {

OutputColour outputColourFor(VideoEncoder encoder) {
  switch (encoder) {
    case VideoEncoder::H264:
    case VideoEncoder::Vp9:
      return {"bt709",
              {"-color_primaries", "bt709", "-color_trc", "bt709", "-colorspace", "bt709",
               "-color_range", "tv"}};
    case VideoEncoder::Theora:
      // libtheora writes its colour space from the primaries.
      return {"bt470bg",
              {"-color_primaries", "bt470bg", "-color_trc", "bt709", "-colorspace", "bt470bg",
               "-color_range", "tv"}};
    case VideoEncoder::None:
      break;
  }
  return {"bt709", {}};
}

std::optional<std::string> fromBt709Filter(const OutputColour& colour) {
  if (colour.matrix == "bt709") return std::nullopt;
  // Only the matrix changes: same primaries and transfer, so no gamut conversion either way.
  return "colorspace=iall=bt709:irange=tv:all=bt709:range=tv:space=" + colour.matrix;
}

std::string scaleColourOptions(const OutputColour& colour) {
  return ":out_color_matrix=" + std::string(colour.matrix == "bt709" ? "bt709" : "bt601") +
         ":out_range=tv";
}

}  // namespace tarn::tool
