#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "input/decode_graph.h"
#include "support/numbered_movies.h"

namespace tarn::test {

// A sample callback that records the frame number and time of every delivered frame. It can hold
// the streaming thread inside a call (`holdAt`) until released, to test control calls made while
// a frame is being delivered.
class FrameRecorder : public SampleCallback {
 public:
  FrameRecorder(int32_t width, int32_t height) : width_(width), height_(height) {}

  void bufferCB(double sampleTime, const uint8_t* bytes, int32_t length) override {
    std::unique_lock lock(mutex_);
    ++calls_;
    lengths_.push_back(length);
    numbers_.push_back(readFrameNumber(bytes, width_, height_));
    times_.push_back(sampleTime);
    callerThreads_.push_back(std::this_thread::get_id());
    inside_ = true;
    changed_.notify_all();
    if (holdAt_ >= 0 && static_cast<int>(numbers_.size()) > holdAt_) {
      changed_.wait(lock, [this] { return released_; });
    }
    inside_ = false;
  }

  // Holds the streaming thread in the call for the frame with index `index` (counting calls).
  void holdAt(int index) {
    std::lock_guard lock(mutex_);
    holdAt_ = index;
    released_ = false;
  }
  void release() {
    std::lock_guard lock(mutex_);
    released_ = true;
    changed_.notify_all();
  }
  // Waits (at most a minute, so a fault fails instead of hanging) until `count` calls began.
  bool waitForCalls(int count) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(60), [&] { return calls_ >= count; });
  }

  std::vector<int32_t> numbers() const {
    std::lock_guard lock(mutex_);
    return numbers_;
  }
  std::vector<double> times() const {
    std::lock_guard lock(mutex_);
    return times_;
  }
  std::vector<int32_t> lengths() const {
    std::lock_guard lock(mutex_);
    return lengths_;
  }
  std::vector<std::thread::id> callerThreads() const {
    std::lock_guard lock(mutex_);
    return callerThreads_;
  }
  int calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
  }
  bool inside() const {
    std::lock_guard lock(mutex_);
    return inside_;
  }

 private:
  const int32_t width_;
  const int32_t height_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  int calls_ = 0;
  int holdAt_ = -1;
  bool released_ = false;
  bool inside_ = false;
  std::vector<int32_t> numbers_;
  std::vector<double> times_;
  std::vector<int32_t> lengths_;
  std::vector<std::thread::id> callerThreads_;
};

// Polls the graph's events until the end of the movie (at most a minute). True when it came.
inline bool waitForComplete(DecodeGraph& graph) {
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (std::chrono::steady_clock::now() < giveUp) {
    while (auto event = graph.takeEvent()) {
      if (*event == 1) return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return false;
}

}  // namespace tarn::test
