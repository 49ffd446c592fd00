#pragma once

#include <optional>
#include <string>
#include <vector>

#include "ffmpeg_III/container_profile.h"

namespace tarn::tool {

// How the pictures of one video encoder are coloured and labelled. The tool's own 4:2:0
// pictures are BT.709, limited range; every codec that can say so is told, so that players
// (browsers and mpv assume BT.709 for untagged HD, BT.601 for SD) show the right colours.
// Theora's header names only the two BT.601 variants: its pictures are turned into BT.601
// (470BG) and labelled as such, which every player honours whatever the picture's size.
struct OutputColour {
  // The swscale / colorspace name of the matrix the encoder's pictures carry.
  std::string matrix;
  // Output options that label the stream (VUI, VP9 header, container colour fields).
  std::vector<std::string> tags;
};

OutputColour outputColourFor(VideoEncoder encoder);

// A filter that turns BT.709 limited-range 4:2:0 pictures into the encoder's matrix; empty when
// they already carry it.
std::optional<std::string> fromBt709Filter(const OutputColour& colour);

// The scale filter's options for pictures made from RGB (frame files ffmpeg reads itself).
std::string scaleColourOptions(const OutputColour& colour);

}  // namespace tarn::tool
