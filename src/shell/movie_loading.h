#pragma once

#include <string>

#include "input/frame_source.h"

namespace tarn {

class Frontend;
struct Application;

// The frame source's context in the application: the preview refresh is the canvas's
// prepareFrameBuffers and the duration label uses formatDuration.
FrameSourceContext frameSourceContext(Application& app, Frontend& frontend);

// The steps of a confirmed movie choice, on the movie-load thread: the encoder tool describes the
// movie into probeText, then the movie is opened and played until it is closed.
void probeChosenMovie(Application& app, const std::string& path);
void openChosenMovie(Application& app, Frontend& frontend, const std::string& path);

}  // namespace tarn
