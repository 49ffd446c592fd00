#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <span>
#include <vector>

#include "common/uncached_file.h"
#include "conversion/frame_files.h"

namespace tarn {

class Frontend;
class RunLog;
struct FrameSourceState;
struct LogoPicture;
struct ResampleTables;

// Which rows of the input frame land where in the canvas, after clipping to the canvas.
struct FramePlacement {
  int32_t sourceFirstRow = 0;       // first frame row copied (memory order, bottom row 0)
  int32_t destinationFirstRow = 0;  // canvas row that receives it
  int32_t rowCount = 0;             // rows copied; 0 when nothing of the frame fits
  bool clipped = false;             // rows were left out because they fall outside the canvas
};

// The output canvas and how each input frame is laid into it.
// Pixels are 4 bytes (blue, green, red, unused), rows W * 4 bytes, row 0 the bottom row.
// `buffersMutex` guards the buffers and sizes against resizing while another thread reads them.
struct FrameGeometry {
  int32_t frameWidth = 400;   // W
  int32_t frameHeight = 300;  // H
  int32_t frameBytes = 400 * 300 * 4;
  int32_t shiftRows = 0;     // N
  int32_t canvasHeight = 0;  // Hc
  int32_t canvasRowOffset = 0;
  FramePlacement placement;
  std::vector<uint32_t> canvas;  // W x (Hc+1), zero (black) at allocation
  std::array<uint8_t, 40> inputInfoHeader = makeFrameFileHeaders(400, 300).infoHeader;
  FrameFileHeaders frameFileHeaders;  // the same for every frame file of a run
  std::atomic<int32_t> setupBusy{0};
  std::mutex buffersMutex;

  // The output frame: the first Hc rows of the canvas (W * Hc * 4 bytes), no copy made.
  std::span<const uint8_t> canvasImage() const;
  // The bytes of canvasImage() that placeFrame() writes; the rest is the same in every frame.
  ByteRange placedBytes() const;
  // Bytes of one frame file: the two headers and the output frame.
  uint64_t frameFileBytes() const;
};

// The largest even number not above round(W / 2).
int32_t canvasHeightFor(int32_t frameWidth);
// round((Hc - H + 2) / 2): the first canvas row of an unshifted frame.
int32_t canvasRowOffsetFor(int32_t canvasHeight, int32_t frameHeight);
// The largest even number not above round(shiftFactor * H).
int32_t shiftRowsFor(float shiftFactor, int32_t frameHeight);
// Unshifted: frame rows 0..H-3 go to canvasRowOffset on. Shifted: all H rows go to
// canvasRowOffset - N on. Rows that would fall outside the canvas are left out.
FramePlacement planFramePlacement(int32_t frameHeight, int32_t canvasHeight,
                                  int32_t canvasRowOffset, int32_t shiftRows);

// Pixel k of the result is pixel n-1-k of `row` (n whole 4-byte pixels); a trailing partial
// pixel stays zero.
std::vector<uint8_t> reversePixels(std::span<const uint8_t> row);

// Once per conversion run, before frames flow: sizes the canvas, computes N, Hc
// and the offset, fills the frame-file headers and draws the logo bands (when a logo is present).
void prepareCanvas(FrameGeometry& geometry, const LogoPicture& logo, float shiftFactor,
                   const ResampleTables& tables, RunLog& log);

// Lays one frame (W x H pixels, bottom row first) into the canvas; the bands stay untouched.
void placeFrame(FrameGeometry& geometry, const uint32_t* frame);
// The same into another canvas of the geometry's size (a copy of the prepared one).
void placeFrame(const FrameGeometry& geometry, const uint32_t* frame, uint32_t* canvas);
// The same into canvas bytes of any alignment (a frame file's image).
void placeFrame(const FrameGeometry& geometry, const uint32_t* frame, uint8_t* canvasBytes);

// Preview refresh outside a conversion run, called by the frame source's streaming loop: takes the
// open movie's frame size, shows " WxH" beside " Doughnut size:", copies the graph's most recent
// frame into the frame buffer and draws the preview.
void prepareFrameBuffers(FrameSourceState& source, FrameGeometry& geometry, Frontend& frontend);

}  // namespace tarn
