#pragma once

#include <sys/mman.h>

#include <cstddef>
#include <cstdlib>

namespace tarn {

inline constexpr size_t kHugePageBytes = size_t{2} << 20;

// A block of at least `bytes` (meant for megabytes) on 2 MiB boundaries, advised for transparent
// huge pages where the system gives them only on request: it is faulted in 2 MiB at a time, and
// a direct transfer or vmsplice pins a few large pages instead of thousands of small ones.
// Free with std::free; null when memory is short.
inline void* allocateOnHugePages(size_t bytes) {
  const size_t whole = (bytes + kHugePageBytes - 1) / kHugePageBytes * kHugePageBytes;
  void* data = std::aligned_alloc(kHugePageBytes, whole);
  if (data) ::madvise(data, whole, MADV_HUGEPAGE);  // a hint: failure changes nothing
  return data;
}

}  // namespace tarn
