#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace tarn {

// "temp" + the frame number with at least six digits + ".bmp": temp000000.bmp, temp1000000.bmp.
std::string frameFileName(int32_t frameNumber);
// folder + "/" + frameFileName(frameNumber); `folder` carries no trailing separator.
std::string frameFilePath(const std::string& folder, int32_t frameNumber);

// The 14-byte file header and the 40-byte info header of a 32-bit, bottom-up, uncompressed BMP
// of W x Hc pixels. The same for every frame of a run.
struct FrameFileHeaders {
  std::array<uint8_t, 14> fileHeader{};
  std::array<uint8_t, 40> infoHeader{};
};

FrameFileHeaders makeFrameFileHeaders(int32_t width, int32_t canvasHeight);

struct FrameFileResult {
  bool ok = false;
  std::string errorText;  // why the file could not be written (errno text), empty when ok
};

// Writes one frame file: both headers, then the canvas (W x Hc x 4 bytes) in one piece, around
// the page cache where the file system allows it. The file is complete and closed when the call
// returns. A failure (missing folder, full disk) is returned;
// the caller decides whether the run goes on.
FrameFileResult writeFrameFile(const std::string& folder, int32_t frameNumber,
                               const FrameFileHeaders& headers, const uint8_t* canvasBytes,
                               size_t canvasSize);

}  // namespace tarn
