#include "conversion/frame_preview.h"

#include "common/frontend.h"

namespace tarn {

std::array<std::string, 4> previewProgressLines(const std::string& etaText,
                                                const std::string& elapsedText,
                                                const std::string& lensName, int32_t resizeIndex) {
  return {" Estimated processing time = " + etaText + " ", " Time passed = " + elapsedText + " ",
          " Lens uses = " + lensName,
          " Resize Mode = " + std::to_string(100 - 10 * resizeIndex) + "% "};
}

void drawFramePreview(Frontend& frontend, const uint32_t* pixels, int32_t width, int32_t height) {
  PreviewFrame frame;
  frame.pixels = pixels;
  frame.width = width;
  frame.height = height;
  frontend.drawFramePreview(frame);
}

void drawFramePreview(Frontend& frontend, const uint32_t* pixels, int32_t width, int32_t height,
                      const std::array<std::string, 4>& progressLines) {
  PreviewFrame frame;
  frame.pixels = pixels;
  frame.width = width;
  frame.height = height;
  frame.converting = true;
  frame.progressLines = progressLines;
  frontend.drawFramePreview(frame);
}

}  // namespace tarn
