#pragma once

#include <cstdint>
#include <string>

namespace tarn {

struct ConversionContext;

// The per-frame work of a conversion run, on the graph's streaming thread, for the decoded frame
// `frame` (W x H pixels, bottom row first; the graph's sample itself where it holds the whole
// frame): preview, placement into the canvas, frame file, and every 30th frame the time texts.
void onFrame(ConversionContext& context, const uint32_t* frame);

// The estimated processing time of the whole movie from the last 30 frames' average:
// round(0.0333 * batchSeconds * totalFrames), as an 8-character text.
std::string estimatedTimeText(double batchSeconds, int32_t totalFrames);
// Seconds since the run started, as an 8-character text.
std::string elapsedTimeText(double runSeconds);

}  // namespace tarn
