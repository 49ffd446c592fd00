#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "encoding/encode_command.h"

namespace tarn {

class Frontend;
class RunLog;
struct EncoderRuns;

// One pass of the five progress squares: the first brightens by 5; a level past 255 stays at 255
// and passes the step to the next; when the fifth passes 255 all start again at 20.
void advanceSquares(std::array<int, 5>& greenLevels);

// "Processing time: hh:mm:ss" for `seconds` elapsed (fractions dropped).
std::string processingTimeText(double seconds);

// The "Output Movie Compression" wait: opens the encode progress window, runs the main encode on
// a worker thread and animates the window until the run has ended. Window thread only.
// `eachPass`, when given, runs once per pass of the window (work that feeds the encode).
void showEncodeProgress(Frontend& frontend, EncoderRuns& runs, const EncodeRequest& request,
                        RunLog& log, const std::function<void()>& eachPass = {});

// The "Movie Conversion" wait: marks the frame source as streaming (`streamState` 1), then as
// above for a container conversion of EncoderRuns' input path into its output path.
void showConversionProgress(Frontend& frontend, EncoderRuns& runs, const std::string& exeFolder,
                            std::atomic<int32_t>& streamState);

}  // namespace tarn
