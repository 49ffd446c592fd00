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

struct EncodeAheadOptions {
  // The tool deletes each frame file once it has read it (no later encode reads them again).
  bool consumeFrames = false;
  // The frames are still being made while the export waits for the encode: the export does not
  // end the frames itself, the frame stage does (endFramesOf).
  bool framesFollowExport = false;
  // temp.wav is still being extracted: the tool reads no frame before it is there. The frames
  // must not be ended while it is pending; an extraction that makes none cancels this encode.
  bool soundPending = false;
};

// Starts the encode of `request` ahead of the export. Returns false when there is nothing to run
// or the tool cannot be started (the export then runs as usual). Window thread.
bool startEncodeAhead(EncoderRuns& runs, const EncodeRequest& request,
                      EncodeAheadOptions options = {});

// The running encode-ahead's process, to watch it or end its frames after the export adopted it.
std::shared_ptr<ChildProcess> encodeAheadProcess(EncoderRuns& runs);

// Tells `process` that its frames are complete (`complete`) or abandoned.
void endFramesOf(ChildProcess& process, bool complete);

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
