#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "input/decode_graph.h"

namespace tarn {

class Frontend;
class RunLog;
class SoundOutput;
struct FrameSourceState;

// What the frame source needs from the layers above it, handed in so that input depends on none
// of them.
struct FrameSourceHooks {
  // The preview refresh of the streaming loop (the canvas's prepareFrameBuffers): copies the
  // current frame (grabCurrentFrame) and draws it. Runs on the frame source's thread.
  std::function<void()> refreshPreview;
  // The duration text of the " Duration:" label (formatDuration).
  std::function<std::string(double seconds)> durationText;
  // Plain waits (not yields); tests shorten them.
  std::function<void(int milliseconds)> sleep;
  // Where the movie's sound plays during playback; null: the movie plays without sound.
  SoundOutput* sound = nullptr;
};

// Everything runFrameSource works with.
struct FrameSourceContext {
  FrameSourceState& state;
  Frontend& frontend;
  RunLog& log;
  FrameSourceHooks hooks;
};

// The message shown (caption "Error Monitoring", information icon) when a movie cannot be opened.
std::string openFailureMessage(OpenFailure failure);

// Opens the movie at `path` as the decode graph, publishes its properties in the state, the run
// log and the information labels, plays it in the background with the preview refreshed, and
// returns only when streamState drops to 0 (or the opening failed, after its message); then
// releases the graph. Returns 0 in every case, at once when a frame source is already running.
// Runs on the movie-load thread.
int32_t runFrameSource(FrameSourceContext& context, const std::string& path);

// Copies the graph's most recent frame into grabBuffer, then frameWordCount words of it into
// frameBuffer (never more than either holds). Nothing happens when no graph is open.
void grabCurrentFrame(FrameSourceState& state);

}  // namespace tarn
