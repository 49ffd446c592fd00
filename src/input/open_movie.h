#pragma once

#include <filesystem>
#include <string>

#include "input/frame_source.h"

namespace tarn {

// Runs the frame source for a chosen movie: ends the loop of a movie still open, records the
// path as moviePath (whole, whatever its length), marks a movie as loaded and open, and returns
// when the movie is closed again (or failed to open), with the preview cleared. Movie-load thread.
void openMovie(FrameSourceContext& context, const std::string& path);

// The movie chooser's steps around its dialog that concern the frame source:
// before the dialog, the open graph (if any) is stopped;
void stopGraphBeforeChooser(FrameSourceContext& context);
// after a confirmed choice, the movie is probed by the encoder tool and opened (returns when it
// is closed); blank names are ignored; the probe report goes to `probeFolder` (empty: beside the
// tool);
void loadChosenMovie(FrameSourceContext& context, const std::string& path,
                     const std::filesystem::path& exeFolder,
                     const std::filesystem::path& probeFolder = {});
// and in every case afterwards, streaming ends and the first W x H pixels of both frame
// buffers are blanked.
void endMovieChoice(FrameSourceContext& context);

}  // namespace tarn
