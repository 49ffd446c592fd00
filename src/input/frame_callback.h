#pragma once

#include <cstdint>
#include <functional>

#include "input/decode_graph.h"

namespace tarn {

struct FrameSourceState;

// The sample callback a conversion registers on the decode graph: copies every frame into the
// frame source's frameBuffer and hands over to the per-frame work. One static object for the
// whole process, never released, so a late call after a conversion still finds it alive.
// bufferCB runs on the graph's streaming thread, one frame at a time.
class FrameCallback final : public SampleCallback {
 public:
  // Entry contract: an empty or missing sample is skipped; otherwise frameWordCount = length / 4
  // and that many whole 32-bit words are copied into frameBuffer (never past its end), then the
  // per-frame work runs.
  void bufferCB(double sampleTime, const uint8_t* bytes, int32_t length) override;
};

// Makes the static callback object ready for a conversion run: frames go into `source` and then
// to `onFrame`. Returns the object to register on the graph. Call before the graph runs.
FrameCallback& initFrameCallback(FrameSourceState& source, std::function<void()> onFrame);

// As initFrameCallback, but `onFrame` is given the frame to work on (W x H pixels, bottom row
// first): a sample that holds the whole frame is handed over where it lies, without the copy
// into frameBuffer, which then keeps what it held. A shorter sample is copied into frameBuffer
// as above, and frameBuffer is handed over. A conversion saves a copy of every frame this way.
FrameCallback& initSampleFrameCallback(FrameSourceState& source,
                                       std::function<void(const uint32_t* frame)> onFrame);

}  // namespace tarn
