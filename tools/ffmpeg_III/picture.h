#pragma once

#include <sys/mman.h>

#include <cstddef>
#include <cstdlib>
#include <memory>
#include <new>
#include <vector>

namespace tarn::tool {

// Puts blocks of megabytes on huge pages where the system gives them on request: a converted
// picture is then faulted in a 2 MiB page at a time instead of 4 KiB, and handing it to the
// encoder's pipe by reference pins a few large pages instead of thousands of small ones. Smaller
// blocks come from the default allocator.
template <class T>
struct HugePageAllocator {
  using value_type = T;
  static constexpr size_t kHugePage = size_t{2} << 20;

  HugePageAllocator() = default;
  template <class U>
  explicit HugePageAllocator(const HugePageAllocator<U>&) noexcept {}

  T* allocate(size_t count) {
    const size_t bytes = count * sizeof(T);
    if (bytes < kHugePage) return std::allocator<T>().allocate(count);
    const size_t whole = (bytes + kHugePage - 1) / kHugePage * kHugePage;
    void* data = std::aligned_alloc(kHugePage, whole);
    if (!data) throw std::bad_alloc();
    ::madvise(data, whole, MADV_HUGEPAGE);  // a hint: failure changes nothing
    return static_cast<T*>(data);
  }
  void deallocate(T* data, size_t count) {
    if (count * sizeof(T) < kHugePage) {
      std::allocator<T>().deallocate(data, count);
    } else {
      std::free(data);
    }
  }
  template <class U>
  bool operator==(const HugePageAllocator<U>&) const {
    return true;
  }
};

// One converted picture (planar 4:2:0) as it goes to the encoder's pipe.
using Picture = std::vector<unsigned char, HugePageAllocator<unsigned char>>;

}  // namespace tarn::tool
