#include "ffmpeg_III/bgr0_to_i420.h"

#include <cstddef>
#include <cstring>

namespace tarn::tool {
namespace {

// The BT.709 limited-range matrix in integers: coefficients in 1/4096, luma scaled by 219/255 and
// chroma by 224/255; the chroma rows sum to zero, so greys keep their chroma at 128 exactly.
inline uint32_t blueOf(uint32_t pixel) {
  return pixel & 0xFF;
}
inline uint32_t greenOf(uint32_t pixel) {
  return (pixel >> 8) & 0xFF;
}
inline uint32_t redOf(uint32_t pixel) {
  return (pixel >> 16) & 0xFF;
}

// One pixel as a little-endian word (memcpy: the bytes are not uint32_t objects).
inline uint32_t pixelAt(const uint8_t* row, int x) {
  uint32_t pixel;
  std::memcpy(&pixel, row + 4 * static_cast<size_t>(x), sizeof pixel);
  return pixel;
}

void lumaRow(const uint8_t* pixels, uint8_t* y, int width) {
  for (int x = 0; x < width; ++x) {
    const uint32_t p = pixelAt(pixels, x);
    y[x] = static_cast<uint8_t>(
        ((748 * redOf(p) + 2516 * greenOf(p) + 254 * blueOf(p) + 2048) >> 12) + 16);
  }
}

// Chroma of the 2x2 blocks of two rows; the sums of four samples take the coefficients / 4.
void chromaRow(const uint8_t* top, const uint8_t* bottom, uint8_t* u, uint8_t* v, int width) {
  for (int x = 0; x < width / 2; ++x) {
    const uint32_t a = pixelAt(top, 2 * x);
    const uint32_t b = pixelAt(top, 2 * x + 1);
    const uint32_t c = pixelAt(bottom, 2 * x);
    const uint32_t d = pixelAt(bottom, 2 * x + 1);
    const int blue = static_cast<int>(blueOf(a) + blueOf(b) + blueOf(c) + blueOf(d));
    const int green = static_cast<int>(greenOf(a) + greenOf(b) + greenOf(c) + greenOf(d));
    const int red = static_cast<int>(redOf(a) + redOf(b) + redOf(c) + redOf(d));
    u[x] = static_cast<uint8_t>(((-412 * red - 1387 * green + 1799 * blue + 8192) >> 14) + 128);
    v[x] = static_cast<uint8_t>(((1799 * red - 1634 * green - 165 * blue + 8192) >> 14) + 128);
  }
}

}  // namespace

// On x86-64 a second, AVX2 build of the loops is chosen at load time where the processor has it.
// Not in sanitizer builds: the choice runs before the sanitizer's runtime is set up.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && \
    !defined(__SANITIZE_THREAD__) && !defined(__SANITIZE_ADDRESS__)
#define TARN_WIDE_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define TARN_WIDE_VECTOR_CLONES
#endif

TARN_WIDE_VECTOR_CLONES
void convertBgr0ToI420(const uint8_t* pixels, int width, int height, uint8_t* y, uint8_t* u,
                       uint8_t* v) {
  const auto rowOf = [pixels, width, height](int row) {
    // The last stored row is the picture's top.
    return pixels + static_cast<size_t>(height - 1 - row) * static_cast<size_t>(width) * 4;
  };
  for (int row = 0; row + 1 < height; row += 2) {
    const uint8_t* top = rowOf(row);
    const uint8_t* bottom = rowOf(row + 1);
    lumaRow(top, y + static_cast<size_t>(row) * width, width);
    lumaRow(bottom, y + static_cast<size_t>(row + 1) * width, width);
    const size_t chromaOffset = static_cast<size_t>(row / 2) * static_cast<size_t>(width / 2);
    chromaRow(top, bottom, u + chromaOffset, v + chromaOffset, width);
  }
}

}  // namespace tarn::tool
