#pragma once

#include <optional>
#include <string>

#include "encoding/encode_command.h"
#include "encoding/encoder_runs.h"

namespace tarn {

// The main encode started while the frame files are still being written, so that encoding
// overlaps decoding instead of following it. The tool is told that frames are pending and waits
// for each one until endEncodeAheadFrames says the sequence is complete. The export adopts the
// run when its command line is the same; otherwise the run is cancelled and its output removed.

// Starts the encode of `request` ahead of the export. Returns false when there is nothing to run
// or the tool cannot be started (the export then runs as usual). Window thread.
bool startEncodeAhead(EncoderRuns& runs, const EncodeRequest& request);

// Tells a running encode-ahead that every frame file is written.
void endEncodeAheadFrames(EncoderRuns& runs);

// Keeps the encode-ahead when it runs exactly `command`; otherwise cancels it. Returns whether one
// is kept, in which case its output is being written and must not be deleted.
bool keepEncodeAheadFor(EncoderRuns& runs, const std::string& command);

// Hands the encode-ahead over when it runs exactly `command` (the caller then waits for it);
// otherwise cancels it and returns nothing.
std::optional<EncoderRuns::Ahead> takeEncodeAheadFor(EncoderRuns& runs, const std::string& command);

// Ends an encode-ahead that will not be adopted and removes what it wrote. Any thread.
void cancelEncodeAhead(EncoderRuns& runs);

}  // namespace tarn
