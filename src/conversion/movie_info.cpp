#include "conversion/movie_info.h"

#include <cstdio>

#include "common/frontend.h"
#include "common/text.h"
#include "conversion/timing_text.h"
#include "input/frame_source_state.h"

namespace tarn {

std::string framesPerSecondText(int64_t timePerFrame) {
  if (timePerFrame <= 0) return "00.00";
  char text[64];
  std::snprintf(text, sizeof text, "%05.2f", 10000000.0 / static_cast<double>(timePerFrame));
  return text;
}

void showConversionInfo(Frontend& frontend, const FrameSourceState& source,
                        const std::string& outputPath) {
  frontend.setInfoLabel(InfoLabel::videoFile, " " + trimBlanks(outputPath) + " ");
  frontend.setInfoLabel(InfoLabel::frameSize, std::to_string(source.sourceWidth) + "x" +
                                                  std::to_string(source.sourceHeight));
  frontend.setInfoLabel(InfoLabel::fpsRate, framesPerSecondText(source.timePerFrame) + " fps");
  frontend.setInfoLabel(InfoLabel::numFrames, std::to_string(source.totalFrames));
  frontend.setInfoLabel(InfoLabel::duration, formatDuration(source.durationSeconds));
}

void clearMovieInfo(Frontend& frontend, FrameSourceState& source) {
  for (InfoLabel label :
       {InfoLabel::duration, InfoLabel::doughnutSize, InfoLabel::videoFile, InfoLabel::frameSize,
        InfoLabel::fpsRate, InfoLabel::numFrames, InfoLabel::operation}) {
    frontend.setInfoLabel(label, "");
  }
  source.probeText.clear();
}

}  // namespace tarn
