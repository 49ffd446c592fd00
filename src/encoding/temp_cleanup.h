#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tarn {

// AVI copies of input movies that the program itself made in the temporary folder (file names
// inside that folder). Only these are ever deleted as AVI files; a user's own movies in the same
// folder are never touched. Nothing records a copy yet.
struct OwnAviCopies {
  std::vector<std::string> fileNames;
};

// Sleeps on the calling thread.
void sleepMilliseconds(int milliseconds);

// Removes the program's own working files from `folder` (no trailing separator), in this order:
// frame files ("temp" + six or more digits + ".bmp"), a pause of 500 ms through `wait`, the frame
// files again, "temp.wav", and, when keepAvi is 0, the AVI copies listed in `aviCopies`.
// Each pass deletes in directory listing order and ends at the first file that cannot be deleted;
// the next pass still runs. Hidden entries (names starting with "."), directories and anything
// that is not a plain file are skipped; sub-folders are not entered. Every failure is swallowed.
void deleteTempFiles(const std::string& folder, int32_t keepAvi, const OwnAviCopies& aviCopies,
                     const std::function<void(int)>& wait = sleepMilliseconds);

// deleteTempFiles for a folder no other run is using: the folder's lock (FolderLock) is taken for
// the cleanup. A folder locked by another run (a conversion of another program instance) is left
// as it is and false returned.
bool deleteTempFilesIfFree(const std::string& folder, int32_t keepAvi,
                           const OwnAviCopies& aviCopies,
                           const std::function<void(int)>& wait = sleepMilliseconds);

// The refusal of a run whose temporary folder another run holds.
std::string folderInUseMessage(const std::string& folder);

// True for the names the conversion gives its frame files: "temp" + six or more digits + ".bmp".
bool isFrameFileName(const std::string& name);

}  // namespace tarn
