#pragma once

#include <mutex>
#include <string>

#include "common/text.h"

namespace tarn {

// A text that one thread writes while others read it (the loaded movie's path and description):
// every access copies the whole text under a lock, so a reader never sees half of a change.
class SharedText {
 public:
  SharedText() = default;
  SharedText(const SharedText&) = delete;
  SharedText& operator=(const SharedText&) = delete;

  SharedText& operator=(std::string text) {
    std::lock_guard lock(mutex_);
    text_.swap(text);
    return *this;
  }
  std::string get() const {
    std::lock_guard lock(mutex_);
    return text_;
  }
  operator std::string() const { return get(); }  // read where a text is expected
  void clear() { *this = std::string(); }
  bool empty() const {
    std::lock_guard lock(mutex_);
    return text_.empty();
  }
  friend bool operator==(const SharedText& shared, const std::string& text) {
    return shared.get() == text;
  }

 private:
  mutable std::mutex mutex_;
  std::string text_;
};

// The trimmed copies of a shared text.
inline std::string trimBlanks(const SharedText& text) {
  return trimBlanks(text.get());
}
inline std::string trimNulsAndBlanks(const SharedText& text) {
  return trimNulsAndBlanks(text.get());
}

}  // namespace tarn
