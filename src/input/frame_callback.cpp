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
  std::function<void()> onFrame;
};

// The callback's target, replaced whole at each conversion run; a call in progress keeps the one
// it started with.
struct TargetSlot {
  std::mutex mutex;
  std::shared_ptr<const Target> target;
};

TargetSlot& targetSlot() {
  static TargetSlot* slot = new TargetSlot();  // never released, like the callback itself
  return *slot;
}

void setTarget(FrameSourceState& source, std::function<void()> onFrame) {
  auto target = std::make_shared<Target>();
  target->source = &source;
  target->onFrame = std::move(onFrame);
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
  std::memcpy(source.frameBuffer.data(), bytes, words * sizeof(uint32_t));
  if (target->onFrame) target->onFrame();
}

FrameCallback& initFrameCallback(FrameSourceState& source, std::function<void()> onFrame) {
  static FrameCallback* callback = new FrameCallback();  // never released
  setTarget(source, std::move(onFrame));
  return *callback;
}

}  // namespace tarn
