#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <initializer_list>
#include <memory>
#include <new>
#include <type_traits>

namespace tarn {

// A fixed-size buffer of a trivial type whose memory comes zeroed from calloc instead of being
// filled. A buffer of megabytes is then mapped in page by page as it is first written, and a page
// never written (a preview buffer a console run does not show) costs nothing: filling fresh pages
// with zeros first is expensive on virtual machines. The size changes only by `assign`, which
// makes a new buffer, so no element ever shows an earlier value.
template <class T>
class ZeroedBuffer {
  static_assert(std::is_trivially_copyable_v<T>);

 public:
  using value_type = T;
  using iterator = T*;
  using const_iterator = const T*;

  ZeroedBuffer() = default;
  // `count` zero elements; throws std::bad_alloc when memory is short.
  explicit ZeroedBuffer(size_t count) : data_(allocate(count)), size_(count) {}
  ZeroedBuffer(size_t count, T value) : ZeroedBuffer(count) { std::fill_n(begin(), count, value); }
  ZeroedBuffer(std::initializer_list<T> values) : ZeroedBuffer(values.size()) {
    std::copy(values.begin(), values.end(), begin());
  }
  ZeroedBuffer(ZeroedBuffer&&) noexcept = default;
  ZeroedBuffer& operator=(ZeroedBuffer&&) noexcept = default;

  void assign(size_t count, T value) { *this = ZeroedBuffer(count, value); }

  T* data() { return data_.get(); }
  const T* data() const { return data_.get(); }
  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  T* begin() { return data(); }
  T* end() { return data() + size_; }
  const T* begin() const { return data(); }
  const T* end() const { return data() + size_; }
  T& operator[](size_t index) { return data_[index]; }
  const T& operator[](size_t index) const { return data_[index]; }
  T& front() { return data_[0]; }
  T& back() { return data_[size_ - 1]; }
  const T& back() const { return data_[size_ - 1]; }

  friend bool operator==(const ZeroedBuffer& a, const ZeroedBuffer& b) {
    return a.size_ == b.size_ && std::equal(a.begin(), a.end(), b.begin());
  }

 private:
  struct Free {
    void operator()(T* memory) const noexcept { std::free(memory); }
  };
  static T* allocate(size_t count) {
    if (count == 0) return nullptr;
    void* memory = std::calloc(count, sizeof(T));
    if (memory == nullptr) throw std::bad_alloc();
    return static_cast<T*>(memory);
  }

  std::unique_ptr<T[], Free> data_;
  size_t size_ = 0;
};

}  // namespace tarn
