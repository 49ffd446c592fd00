#pragma once

#include <atomic>
#include <functional>
#include <list>
#include <memory>
#include <thread>

namespace tarn {

// The window's worker threads (movie load, logo load). They run detached in spirit: nobody waits
// for one while the window works. Finished ones are joined whenever a new one starts, and the
// rest at exit, so that the process never ends with a thread of its own still running.
class WorkerThreads {
 public:
  WorkerThreads() = default;
  ~WorkerThreads() { joinAll(); }
  WorkerThreads(const WorkerThreads&) = delete;
  WorkerThreads& operator=(const WorkerThreads&) = delete;

  void start(std::function<void()> body) {
    joinFinished();
    auto worker = std::make_unique<Worker>();
    Worker* raw = worker.get();
    raw->thread = std::thread([raw, body = std::move(body)] {
      body();
      raw->finished.store(1);
    });
    workers_.push_back(std::move(worker));
  }

  void joinFinished() {
    for (auto it = workers_.begin(); it != workers_.end();) {
      if ((*it)->finished.load() != 0) {
        (*it)->thread.join();
        it = workers_.erase(it);
      } else {
        ++it;
      }
    }
  }

  void joinAll() {
    for (auto& worker : workers_) worker->thread.join();
    workers_.clear();
  }

  size_t running() const {
    size_t count = 0;
    for (const auto& worker : workers_) count += worker->finished.load() == 0 ? 1 : 0;
    return count;
  }

 private:
  struct Worker {
    std::thread thread;
    std::atomic<int32_t> finished{0};
  };
  std::list<std::unique_ptr<Worker>> workers_;
};

}  // namespace tarn
