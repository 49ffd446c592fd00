#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace tarn {

class Frontend;

// The lens name shown in the preview during a conversion.
inline constexpr const char* kLensName = "Quillon VB Lens";

// The four lines written over the preview while converting.
std::array<std::string, 4> previewProgressLines(const std::string& etaText,
                                                const std::string& elapsedText,
                                                const std::string& lensName, int32_t resizeIndex);

// Shows a W x H frame (bottom row first) in the preview area; while converting, with the four
// progress lines over it. The frontend copies the picture before it returns.
void drawFramePreview(Frontend& frontend, const uint32_t* pixels, int32_t width, int32_t height);
void drawFramePreview(Frontend& frontend, const uint32_t* pixels, int32_t width, int32_t height,
                      const std::array<std::string, 4>& progressLines);

}  // namespace tarn
