#pragma once

#include <cstdint>
#include <string>

#include "conversion/conversion_run_state.h"

namespace tarn {

enum class ConversionOutcome {
  refused,     // the request was refused before anything was touched (message shown)
  failed,      // the run could not convert (no graph, frame files not written; message shown
               // where the user can act on it)
  stopped,     // Stop ended the run before the export
  notCreated,  // frames were converted but no encode produced an output movie
  converted,   // at least one encode wrote a non-empty output movie
  incomplete,  // the movie could not be read to its end (a read error): what was read was
               // converted and written, and the user was told how far it got
};

// Runs one conversion of the open movie into `outputPath`: checks the request, prepares the
// canvas, extracts the sound, decodes every frame into frame files, encodes them (and again for
// every further compression the user asks for) and cleans up. Window thread; every wait yields.
ConversionOutcome convertMovie(ConversionContext& context, std::string outputPath);

// How many bytes the frame files of the open movie will take: (W * Hc * 4 + 54) per frame.
uint64_t frameFilesBytes(int32_t frameWidth, int32_t totalFrames);

}  // namespace tarn
