// The encoder tool's frame file reader: header check, then the 4:2:0 conversion of the pixels it
// accepts (same size and scaled).
#include <algorithm>
#include <cstdint>
#include <vector>

#include "common/uncached_file.h"
#include "ffmpeg_III/frame_converter.h"
#include "ffmpeg_III/frame_files.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto check = tarn::tool::checkFrameHeader(data, size, size);
  if (!check.format) return 0;
  const tarn::tool::FrameFormat source = *check.format;
  if (source.pixelBytes() > (1u << 22)) return 0;  // keeps each run short
  tarn::tool::Picture picture;
  // The tool reads a frame file into a buffer with at least kReadSlack bytes after the data.
  const size_t fileBytes = tarn::tool::kFrameHeaderSize + source.pixelBytes();
  std::vector<unsigned char> file(fileBytes + tarn::kReadSlack, 0);
  std::copy(data, data + fileBytes, file.begin());
  const unsigned char* pixels = file.data() + tarn::tool::kFrameHeaderSize;
  const tarn::tool::FrameFormat even{source.width + (source.width & 1),
                                     source.height + (source.height & 1)};
  tarn::tool::FrameConverter same(source, even);
  if (same.valid()) same.convert(pixels, picture);
  tarn::tool::FrameConverter half(source, {(even.width / 4 + 1) * 2, (even.height / 4 + 1) * 2});
  if (half.valid()) half.convert(pixels, picture);
  return 0;
}
