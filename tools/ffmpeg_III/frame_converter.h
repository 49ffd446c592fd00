#pragma once

#include <span>
#include <vector>

#include "ffmpeg_III/bgr0_to_i420.h"

#include "ffmpeg_III/frame_files.h"
#include "ffmpeg_III/picture.h"

struct SwsContext;

namespace tarn::tool {

// Turns the pixels of one frame file (BGR0, bottom row first) into a 4:2:0 picture (planar Y,
// U, V, BT.709 limited range, as the encoder tags it) at the encoded size, scaling
// bicubically when the sizes differ (with swscale; same-size frames take a faster path of their
// own). One instance per thread.
class FrameConverter {
 public:
  FrameConverter(FrameFormat source, FrameFormat target);
  ~FrameConverter();
  FrameConverter(const FrameConverter&) = delete;
  FrameConverter& operator=(const FrameConverter&) = delete;

  bool valid() const { return context_ != nullptr; }
  size_t pictureBytes() const;
  // `pixels` holds source.pixelBytes() bytes; `picture` is resized to pictureBytes().
  // `blankRows` are stored rows known to be all zero (see convertBgr0ToI420).
  void convert(const unsigned char* pixels, Picture& picture,
               std::span<const RowRange> blankRows = {});

 private:
  FrameFormat source_;
  FrameFormat target_;
  // swscale's vector loops store past the end of a row: it writes into rows padded to 64 bytes,
  // with slack after the last, and the rows are copied out tight.
  std::vector<unsigned char> scratch_;
  SwsContext* context_ = nullptr;
};

}  // namespace tarn::tool
