#include "common/streaming_copy.h"

#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tarn {

void copyStreaming(void* destination, const void* source, size_t size) {
#if defined(__SSE2__)
  auto* to = static_cast<uint8_t*>(destination);
  const auto* from = static_cast<const uint8_t*>(source);
  constexpr size_t kLine = 64;
  // Small copies gain nothing; the streamed part starts at a cache-line aligned destination.
  if (size < 4 * kLine) {
    std::memcpy(to, from, size);
    return;
  }
  const size_t head = (kLine - reinterpret_cast<uintptr_t>(to) % kLine) % kLine;
  std::memcpy(to, from, head);
  size_t done = head;
  for (; done + kLine <= size; done += kLine) {
    const auto* in = reinterpret_cast<const __m128i*>(from + done);
    auto* out = reinterpret_cast<__m128i*>(to + done);
    const __m128i a = _mm_loadu_si128(in);
    const __m128i b = _mm_loadu_si128(in + 1);
    const __m128i c = _mm_loadu_si128(in + 2);
    const __m128i d = _mm_loadu_si128(in + 3);
    _mm_stream_si128(out, a);
    _mm_stream_si128(out + 1, b);
    _mm_stream_si128(out + 2, c);
    _mm_stream_si128(out + 3, d);
  }
  std::memcpy(to + done, from + done, size - done);
  // Streamed stores are weakly ordered: make them visible before the copy is handed on.
  _mm_sfence();
#else
  std::memcpy(destination, source, size);
#endif
}

}  // namespace tarn
