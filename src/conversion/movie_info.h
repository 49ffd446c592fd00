#pragma once

#include <cstdint>
#include <string>

namespace tarn {

class Frontend;
struct FrameSourceState;

// 10,000,000 / timePerFrame with at least two integer digits and two decimals ("29.97",
// "05.00"); "00.00" when the frame duration is unknown.
std::string framesPerSecondText(int64_t timePerFrame);

// The movie information labels while a conversion runs: the output file, frame size, rate, frame
// count and duration of the movie.
void showConversionInfo(Frontend& frontend, const FrameSourceState& source,
                        const std::string& outputPath);

// Empties the movie information labels and the probe text.
void clearMovieInfo(Frontend& frontend, FrameSourceState& source);

}  // namespace tarn
