#pragma once

#include <string>

#include "input/decode_graph.h"

namespace tarn {

struct FrameSourceState;

// Publishes an opened movie the way the frame source does once it streams (size, duration, frame
// duration from the decoder, frame count, zeroed frame buffers, the path and the graph), without
// a streaming thread of its own: for programs that drive a conversion directly (benchmarks, test
// rigs). False when the graph is missing or the buffers cannot be had.
bool publishOpenedMovie(FrameSourceState& source, OpenedGraph opened, const std::string& path);

}  // namespace tarn
