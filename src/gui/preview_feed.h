#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "common/frontend.h"

namespace tarn {

// Stretches a picture of 4-byte pixels (blue, green, red, unused; bottom row first) onto an RGB
// picture (top row first) of another size. Each output pixel averages the source area it covers
// (a box filter when shrinking) and interpolates linearly when enlarging.
void stretchToRgb(const uint32_t* source, int32_t sourceWidth, int32_t sourceHeight,
                  uint8_t* target, int32_t targetWidth, int32_t targetHeight);

// What the preview area should show next.
struct PreviewPicture {
  enum class Kind { title, cleared, frame };
  Kind kind = Kind::title;
  std::vector<uint8_t> rgb;  // frames: width x height x 3, top row first
  bool converting = false;
  std::array<std::string, 4> progressLines;
};

// Hands preview pictures from any producer thread to the window thread without ever making the
// producer wait for it: three pictures rotate (one being filled, the newest complete one, the one
// on screen). Producers replace the newest picture; the window takes it when it gets round to it,
// so the preview may skip pictures but never blocks the work that produces them.
class PreviewFeed {
 public:
  PreviewFeed(int32_t width, int32_t height);

  // Any thread. Each returns true when the caller must schedule one take() on the window thread
  // (none is outstanding); false when an outstanding one will pick this picture up.
  bool putFrame(const PreviewFrame& frame);
  bool putTitle();
  bool putCleared();

  // Window thread: the newest picture put since the last take, or nullptr. The pointer stays
  // valid until the next take().
  const PreviewPicture* take();

  int32_t width() const { return width_; }
  int32_t height() const { return height_; }

 private:
  template <typename Fill>
  bool put(Fill fill);

  const int32_t width_;
  const int32_t height_;
  std::mutex producerMutex_;  // one producer fills the back picture at a time (the preview lock)
  std::mutex swapMutex_;      // guards the indices below; held only for a swap
  std::array<PreviewPicture, 3> pictures_;
  int front_ = 0;
  int ready_ = 1;
  int back_ = 2;
  bool fresh_ = false;
  bool takePending_ = false;
};

}  // namespace tarn
