#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "common/free_space.h"

namespace tarn {

// Whether the frame files of a run stay on disk until the run ends (so that a re-export encodes
// the same files again) or are consumed: each is deleted by the encoder as soon as it is read,
// and the frame stage never runs more than a small window of files ahead of the encoder.
enum class FramePolicy {
  keepWhenTheyFit,  // keep every frame where frames, sound and a margin fit; else consume
  alwaysConsume,    // nothing will encode the frames again (the console program)
};

struct FrameBudget {
  bool consume = false;
  int32_t window = 0;   // most frame files on disk at once when consumed; 0 when kept
  std::string refusal;  // why the run cannot go at all, empty when it can
};

struct FrameBudgetInput {
  uint64_t frameFileBytes = 0;  // one frame file, headers included
  int32_t totalFrames = 0;      // 0 or less when the movie does not tell
  double durationSeconds = 0;   // for the sound file
  bool lengthKnown = false;     // an encode can only start ahead with a known length
  std::optional<FolderSpace> space;
  std::string folder;  // for the refusal text
};

// At most 64 frame files or 1 GB of them, whichever is fewer, never fewer than 2.
int32_t frameWindowFor(uint64_t frameFileBytes);

// The bytes of temp.wav for a movie of `seconds` (16-bit PCM, 44 100 Hz, stereo).
uint64_t soundFileBytes(double seconds);

// Kept when the whole sequence, the sound and a margin (5 GB or a tenth of the file system,
// whichever is smaller) fit into the free space; consumed otherwise (or always, by policy), when
// the movie's length is known. A consumed run's window shrinks to what the free space holds beside
// the sound; the run is refused only when not even two frame files fit.
FrameBudget planFrameFiles(FramePolicy policy, const FrameBudgetInput& input);

// The run-log line that says which way the run goes.
std::string frameBudgetLogLine(const FrameBudget& budget);

}  // namespace tarn
