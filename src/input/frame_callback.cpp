#include "input/frame_callback.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <mutex>

#include "input/frame_source_state.h"

namespace tarn {

namespace {

struct Target {
  FrameSourceState* source = nullptr;
  std::function<void()> onFrame;                      // works on frameBuffer
  std::function<void(const uint32_t*)> onWholeFrame;  // works on the frame it is given
};

// The callback's target, replaced whole at each conversion run; a call in progress keeps the one
// it started with.
struct TargetSlot {
  std::mutex mutex;
  std::shared_ptr<const Target> target;
};

FrameCallback& theCallback() {
  static FrameCallback* callback = new FrameCallback();  // never released
  return *callback;
}

TargetSlot& targetSlot() {
  static TargetSlot* slot = new TargetSlot();  // never released, like the callback itself
  return *slot;
}

void setTarget(FrameSourceState& source, std::function<void()> onFrame,
               std::function<void(const uint32_t*)> onWholeFrame) {
  auto target = std::make_shared<Target>();
  target->source = &source;
  target->onFrame = std::move(onFrame);
  target->onWholeFrame = std::move(onWholeFrame);
  TargetSlot& slot = targetSlot();
  std::lock_guard lock(slot.mutex);
  slot.target = std::move(target);
}

}  // namespace

void FrameCallback::bufferCB(double sampleTime, const uint8_t* bytes, int32_t length) {
  if (length <= 0 || bytes == nullptr) return;
  std::shared_ptr<const Target> target;
  {
    TargetSlot& slot = targetSlot();
    std::lock_guard lock(slot.mutex);
    target = slot.target;
  }
  if (!target || !target->source) return;
  FrameSourceState& source = *target->source;
  source.frameWordCount = length / 4;
  source.frameTicks = std::llround(sampleTime * 1e7);
  const size_t words =
      std::min(static_cast<size_t>(source.frameWordCount), source.frameBuffer.size());
  if (target->onWholeFrame) {
    const size_t frameWords = static_cast<size_t>(std::max(source.sourceWidth, 0)) *
                              static_cast<size_t>(std::max(source.sourceHeight, 0));
    const bool aligned = reinterpret_cast<uintptr_t>(bytes) % alignof(uint32_t) == 0;
    if (frameWords > 0 && words >= frameWords && aligned) {
      target->onWholeFrame(reinterpret_cast<const uint32_t*>(bytes));
      return;
    }
  }
  std::memcpy(source.frameBuffer.data(), bytes, words * sizeof(uint32_t));
  if (target->onFrame) target->onFrame();
  if (target->onWholeFrame) target->onWholeFrame(source.frameBuffer.data());
}

FrameCallback& initFrameCallback(FrameSourceState& source, std::function<void()> onFrame) {
  setTarget(source, std::move(onFrame), {});
  return theCallback();
}

FrameCallback& initSampleFrameCallback(FrameSourceState& source,
                                       std::function<void(const uint32_t* frame)> onFrame) {
  setTarget(source, {}, std::move(onFrame));
  return theCallback();
}

}  // namespace tarn
