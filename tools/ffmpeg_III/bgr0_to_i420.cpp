#include "ffmpeg_III/bgr0_to_i420.h"

#include <cstddef>
#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

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

// Scalar rows from pixel `from` (even) on: the whole row on processors without AVX2, the tail
// the vector loop leaves otherwise.
void lumaRow(const uint8_t* pixels, uint8_t* y, int from, int width) {
  for (int x = from; x < width; ++x) {
    const uint32_t p = pixelAt(pixels, x);
    y[x] = static_cast<uint8_t>(
        ((748 * redOf(p) + 2516 * greenOf(p) + 254 * blueOf(p) + 2048) >> 12) + 16);
  }
}

// Chroma of the 2x2 blocks of two rows; the sums of four samples take the coefficients / 4.
void chromaRow(const uint8_t* top, const uint8_t* bottom, uint8_t* u, uint8_t* v, int from,
               int width) {
  for (int x = from / 2; x < width / 2; ++x) {
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

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define TARN_AVX2_ROWS 1

// The same sums as the scalar rows, 32 pixels at a time, so the results are identical. Pixels are
// widened to 16 bits (blue, green, red, unused) and multiplied pairwise with madd: per pixel
// (blue x cb + green x cg) and (red x cr), which hadd joins. AVX2's packs and hadd work within
// 128-bit lanes; the final permutation puts the 4-byte groups back in picture order.
__attribute__((target("avx2"))) int lumaRowAvx2(const uint8_t* pixels, uint8_t* y, int width) {
  const __m256i coefficients =
      _mm256_setr_epi16(254, 2516, 748, 0, 254, 2516, 748, 0, 254, 2516, 748, 0, 254, 2516, 748, 0);
  const __m256i zero = _mm256_setzero_si256();
  const __m256i half = _mm256_set1_epi32(2048);
  const __m256i black = _mm256_set1_epi16(16);
  const __m256i order = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
  int x = 0;
  for (; x + 32 <= width; x += 32) {
    __m256i sums[4];
    for (int k = 0; k < 4; ++k) {
      const __m256i p = _mm256_loadu_si256(
          reinterpret_cast<const __m256i*>(pixels + 4 * static_cast<size_t>(x + 8 * k)));
      const __m256i low = _mm256_madd_epi16(_mm256_unpacklo_epi8(p, zero), coefficients);
      const __m256i high = _mm256_madd_epi16(_mm256_unpackhi_epi8(p, zero), coefficients);
      sums[k] = _mm256_srai_epi32(_mm256_add_epi32(_mm256_hadd_epi32(low, high), half), 12);
    }
    const __m256i first = _mm256_add_epi16(_mm256_packs_epi32(sums[0], sums[1]), black);
    const __m256i second = _mm256_add_epi16(_mm256_packs_epi32(sums[2], sums[3]), black);
    const __m256i bytes = _mm256_packus_epi16(first, second);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(y + x),
                        _mm256_permutevar8x32_epi32(bytes, order));
  }
  return x;
}

// Sums of the 2x2 blocks of 16 pixels of two rows, 16 bits a channel: lane 0 holds blocks 0 and
// 1, lane 1 blocks 2 and 3 (of the first 8 pixels); `next` the same for pixels 8 to 15.
__attribute__((target("avx2"))) inline __m256i blockSums(const uint8_t* top,
                                                         const uint8_t* bottom) {
  const __m256i zero = _mm256_setzero_si256();
  const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(top));
  const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bottom));
  // Columns: pixels 0, 1 | 4, 5 and 2, 3 | 6, 7 of the lanes, top plus bottom.
  const __m256i low =
      _mm256_add_epi16(_mm256_unpacklo_epi8(a, zero), _mm256_unpacklo_epi8(b, zero));
  const __m256i high =
      _mm256_add_epi16(_mm256_unpackhi_epi8(a, zero), _mm256_unpackhi_epi8(b, zero));
  // Neighbours: the two pixels of a lane's half added, then one block from each.
  const __m256i lowPairs =
      _mm256_add_epi16(low, _mm256_shuffle_epi32(low, _MM_SHUFFLE(1, 0, 3, 2)));
  const __m256i highPairs =
      _mm256_add_epi16(high, _mm256_shuffle_epi32(high, _MM_SHUFFLE(1, 0, 3, 2)));
  return _mm256_unpacklo_epi64(lowPairs, highPairs);
}

// Stores 16 chroma samples given as 32-bit values: `first` holds blocks 0 1 4 5 | 2 3 6 7,
// `second` blocks 8 9 12 13 | 10 11 14 15.
__attribute__((target("avx2"))) inline void storeChroma(__m256i first, __m256i second,
                                                        uint8_t* out) {
  const __m256i words = _mm256_add_epi16(_mm256_packs_epi32(first, second), _mm256_set1_epi16(128));
  const __m256i ordered =
      _mm256_permutevar8x32_epi32(words, _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7));
  const __m256i bytes = _mm256_packus_epi16(ordered, ordered);
  const __m256i packed = _mm256_permute4x64_epi64(bytes, _MM_SHUFFLE(3, 1, 2, 0));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm256_castsi256_si128(packed));
}

__attribute__((target("avx2"))) int chromaRowAvx2(const uint8_t* top, const uint8_t* bottom,
                                                  uint8_t* u, uint8_t* v, int width) {
  const __m256i blueDifference = _mm256_setr_epi16(1799, -1387, -412, 0, 1799, -1387, -412, 0, 1799,
                                                   -1387, -412, 0, 1799, -1387, -412, 0);
  const __m256i redDifference = _mm256_setr_epi16(-165, -1634, 1799, 0, -165, -1634, 1799, 0, -165,
                                                  -1634, 1799, 0, -165, -1634, 1799, 0);
  const __m256i half = _mm256_set1_epi32(8192);
  int x = 0;
  for (; x + 32 <= width; x += 32) {
    __m256i us[2];
    __m256i vs[2];
    for (int k = 0; k < 2; ++k) {
      const size_t at = 4 * static_cast<size_t>(x + 16 * k);
      const __m256i first = blockSums(top + at, bottom + at);
      const __m256i second = blockSums(top + at + 32, bottom + at + 32);
      us[k] = _mm256_srai_epi32(
          _mm256_add_epi32(_mm256_hadd_epi32(_mm256_madd_epi16(first, blueDifference),
                                             _mm256_madd_epi16(second, blueDifference)),
                           half),
          14);
      vs[k] = _mm256_srai_epi32(
          _mm256_add_epi32(_mm256_hadd_epi32(_mm256_madd_epi16(first, redDifference),
                                             _mm256_madd_epi16(second, redDifference)),
                           half),
          14);
    }
    storeChroma(us[0], us[1], u + x / 2);
    storeChroma(vs[0], vs[1], v + x / 2);
  }
  return x;
}
#endif

}  // namespace

void convertBgr0ToI420(const uint8_t* pixels, int width, int height, uint8_t* y, uint8_t* u,
                       uint8_t* v, std::span<const RowRange> blankRows) {
  const auto blank = [blankRows](int stored) {
    for (const RowRange& range : blankRows) {
      if (stored >= range.first && stored < range.end) return true;
    }
    return false;
  };
  // What a block of zero pixels converts to, by the same formula.
  const uint8_t zeros[8] = {};
  uint8_t black[3];
  lumaRow(zeros, black, 0, 1);
  chromaRow(zeros, zeros, black + 1, black + 2, 0, 2);
  const auto rowOf = [pixels, width, height](int row) {
    // The last stored row is the picture's top.
    return pixels + static_cast<size_t>(height - 1 - row) * static_cast<size_t>(width) * 4;
  };
#ifdef TARN_AVX2_ROWS
  const bool wide = __builtin_cpu_supports("avx2");
#endif
  for (int row = 0; row + 1 < height; row += 2) {
    const uint8_t* top = rowOf(row);
    const uint8_t* bottom = rowOf(row + 1);
    uint8_t* topLuma = y + static_cast<size_t>(row) * width;
    uint8_t* bottomLuma = topLuma + width;
    const size_t chromaOffset = static_cast<size_t>(row / 2) * static_cast<size_t>(width / 2);
    if (blank(height - 1 - row) && blank(height - 2 - row)) {
      std::memset(topLuma, black[0], 2 * static_cast<size_t>(width));
      std::memset(u + chromaOffset, black[1], static_cast<size_t>(width / 2));
      std::memset(v + chromaOffset, black[2], static_cast<size_t>(width / 2));
      continue;
    }
    int lumaDone = 0;
    int chromaDone = 0;
#ifdef TARN_AVX2_ROWS
    if (wide) {
      lumaDone = lumaRowAvx2(top, topLuma, width);
      lumaRowAvx2(bottom, bottomLuma, width);
      chromaDone = chromaRowAvx2(top, bottom, u + chromaOffset, v + chromaOffset, width);
    }
#endif
    lumaRow(top, topLuma, lumaDone, width);
    lumaRow(bottom, bottomLuma, lumaDone, width);
    chromaRow(top, bottom, u + chromaOffset, v + chromaOffset, chromaDone, width);
  }
}

}  // namespace tarn::tool
