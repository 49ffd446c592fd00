#pragma once

#include <chrono>
#include <string>

namespace tarn {

// Lets a thread sleep until a file of one folder is deleted (or renamed away) instead of looking
// every few milliseconds: a writer that waits for its reader to take a file wakes once per file
// taken, not hundreds of times a second, and leaves the cores to the encoder. Where the system
// offers no such watch (inotify), every wait simply lasts its whole limit and the caller polls.
class FolderDeletionWatch {
 public:
  explicit FolderDeletionWatch(const std::string& folder);
  ~FolderDeletionWatch();
  FolderDeletionWatch(const FolderDeletionWatch&) = delete;
  FolderDeletionWatch& operator=(const FolderDeletionWatch&) = delete;

  // Deletions are seen; otherwise waits always last their limit.
  bool watching() const { return watch_ >= 0; }
  // Returns once a file of the folder has been deleted since the last call, interrupt() was
  // called, or `limit` has passed, whichever is first. Deletions before the watch was made are
  // not seen: look at the file after making the watch, then wait.
  void waitForDeletion(std::chrono::milliseconds limit);
  // Ends the current or next wait at once. Any thread.
  void interrupt();

 private:
  int inotify_ = -1;
  int watch_ = -1;
  int wake_ = -1;  // eventfd
};

}  // namespace tarn
