#pragma once

#include <cstddef>
#include <cstdlib>
#include <memory>
#include <new>
#include <vector>

#include "common/huge_pages.h"

namespace tarn::tool {

// Puts blocks of megabytes on huge pages (see allocateOnHugePages): a converted picture is
// faulted in 2 MiB at a time, and handing it to the encoder's pipe by reference pins a few large
// pages. Smaller blocks come from the default allocator.
template <class T>
struct HugePageAllocator {
  using value_type = T;

  HugePageAllocator() = default;
  template <class U>
  explicit HugePageAllocator(const HugePageAllocator<U>&) noexcept {}

  T* allocate(size_t count) {
    if (count * sizeof(T) < kHugePageBytes) return std::allocator<T>().allocate(count);
    void* data = allocateOnHugePages(count * sizeof(T));
    if (!data) throw std::bad_alloc();
    return static_cast<T*>(data);
  }
  void deallocate(T* data, size_t count) {
    if (count * sizeof(T) < kHugePageBytes) {
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
