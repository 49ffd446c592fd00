#include "conversion/frame_geometry.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "common/frontend.h"
#include "common/rounding.h"
#include "common/run_log.h"
#include "common/streaming_copy.h"
#include "conversion/frame_preview.h"
#include "conversion/logo_picture.h"
#include "conversion/resampler.h"
#include "input/frame_source.h"
#include "input/frame_source_state.h"

namespace tarn {
namespace {

size_t pixelCount(int32_t width, int32_t rows) {
  if (width <= 0 || rows <= 0) return 0;
  return static_cast<size_t>(width) * static_cast<size_t>(rows);
}

// The band rows: scaled logo row `row` with its last pixel replaced by its left neighbour.
void copyRepairedRow(const uint32_t* scaledRow, int32_t width, uint32_t* destination) {
  std::copy_n(scaledRow, width, destination);
  if (width >= 2) destination[width - 1] = destination[width - 2];
}

void drawLogoBands(FrameGeometry& geometry, const LogoPicture& logo, const ResampleTables& tables) {
  const int32_t width = geometry.frameWidth;
  const int32_t canvasHeight = geometry.canvasHeight;
  std::lock_guard logoLock(logo.mutex);
  if (logo.logoWidth <= 0 || logo.logoHeight <= 0 || width <= 0) return;
  const float scale = static_cast<float>(logo.logoWidth) / static_cast<float>(width);
  const int64_t bandHeight = roundHalfEven(static_cast<double>(logo.logoHeight) / scale);
  if (bandHeight < 2) return;
  const int32_t band = static_cast<int32_t>(std::min<int64_t>(bandHeight, canvasHeight));

  // Zero-filled, with a fifth of slack as the resampler's destination always had.
  std::vector<uint8_t> scaled(pixelCount(width, band) * 5);
  ResampleJob job;
  job.sourceWidth = logo.logoWidth;
  job.sourceHeight = logo.logoHeight;
  job.sourceStride = logo.logoWidth * 4;
  job.sourcePixels = logo.logoPixels.data();
  job.sourceBytes = logo.logoPixels.size();
  job.destinationWidth = width;
  job.destinationHeight = band;
  job.destinationStride = width * 4;
  job.destinationPixels = scaled.data();
  job.scale = scale;
  resampleBicubic(tables, job);

  std::vector<uint32_t> rows(pixelCount(width, band));
  std::memcpy(rows.data(), scaled.data(), rows.size() * sizeof(uint32_t));
  auto scaledRow = [&](int32_t row) { return rows.data() + pixelCount(width, row); };
  auto canvasRow = [&](int32_t row) { return geometry.canvas.data() + pixelCount(width, row); };

  // Nadir: upright in rows 0 .. B-2.
  for (int32_t i = 0; i <= band - 2; ++i) copyRepairedRow(scaledRow(i), width, canvasRow(i));
  // Zenith: scaled rows B-2 down to 1, turned by 180 degrees, in rows Hc-B+2 .. Hc-1.
  std::vector<uint32_t> repaired(static_cast<size_t>(width));
  for (int32_t i = 2; i <= band - 1; ++i) {
    const int32_t target = canvasHeight - band + i;
    if (target < 0 || target >= canvasHeight) continue;
    copyRepairedRow(scaledRow(band - i), width, repaired.data());
    std::reverse_copy(repaired.begin(), repaired.end(), canvasRow(target));
  }
}

}  // namespace

std::span<const uint8_t> FrameGeometry::canvasImage() const {
  const size_t bytes = pixelCount(frameWidth, canvasHeight) * sizeof(uint32_t);
  return {reinterpret_cast<const uint8_t*>(canvas.data()), std::min(bytes, canvas.size() * 4)};
}

ByteRange FrameGeometry::placedBytes() const {
  if (placement.rowCount <= 0) return {};
  const size_t rowBytes = static_cast<size_t>(frameWidth) * sizeof(uint32_t);
  const size_t begin = rowBytes * static_cast<size_t>(placement.destinationFirstRow);
  return {begin, begin + rowBytes * static_cast<size_t>(placement.rowCount)};
}

uint64_t FrameGeometry::frameFileBytes() const {
  return 54 + static_cast<uint64_t>(pixelCount(frameWidth, canvasHeight)) * 4;
}

int32_t canvasHeightFor(int32_t frameWidth) {
  const int64_t half = roundHalfEven(static_cast<double>(frameWidth) / 2.0);
  return static_cast<int32_t>(2 * (half / 2));
}

int32_t canvasRowOffsetFor(int32_t canvasHeight, int32_t frameHeight) {
  return static_cast<int32_t>(
      roundHalfEven((static_cast<double>(canvasHeight) - frameHeight + 2) / 2.0));
}

int32_t shiftRowsFor(float shiftFactor, int32_t frameHeight) {
  const int64_t rows = roundHalfEven(static_cast<double>(shiftFactor) * frameHeight);
  return static_cast<int32_t>(2 * (rows / 2));
}

FramePlacement planFramePlacement(int32_t frameHeight, int32_t canvasHeight,
                                  int32_t canvasRowOffset, int32_t shiftRows) {
  // The unshifted frame leaves out its top two rows (the last two in memory).
  const int32_t rows = shiftRows == 0 ? frameHeight - 2 : frameHeight;
  const int64_t first = shiftRows == 0 ? canvasRowOffset : int64_t{canvasRowOffset} - shiftRows;
  FramePlacement placement;
  if (rows <= 0 || canvasHeight <= 0) return placement;
  const int64_t begin = std::max<int64_t>(first, 0);
  const int64_t end = std::min<int64_t>(first + rows, canvasHeight);
  placement.clipped = begin != first || end != first + rows;
  if (end <= begin) return placement;
  placement.sourceFirstRow = static_cast<int32_t>(begin - first);
  placement.destinationFirstRow = static_cast<int32_t>(begin);
  placement.rowCount = static_cast<int32_t>(end - begin);
  return placement;
}

std::vector<uint8_t> reversePixels(std::span<const uint8_t> row) {
  std::vector<uint8_t> result(row.size());
  const size_t count = row.size() / 4;
  for (size_t k = 0; k < count; ++k) {
    std::memcpy(&result[4 * k], &row[4 * (count - 1 - k)], 4);
  }
  return result;
}

void prepareCanvas(FrameGeometry& geometry, const LogoPicture& logo, float shiftFactor,
                   const ResampleTables& tables, RunLog& log) {
  std::lock_guard lock(geometry.buffersMutex);
  const int32_t width = geometry.frameWidth;
  const int32_t height = geometry.frameHeight;
  log.writeLog("Checking 16x16");
  log.writeLog("Determine DMEM1, DMEM2, DMEM3, DMEM4");
  geometry.frameBytes = width * height * 4;
  log.writeLog("Determine DMEM1, DMEM2, DMEM3, DMEM4 END");

  geometry.shiftRows = shiftRowsFor(shiftFactor, height);
  geometry.inputInfoHeader = makeFrameFileHeaders(width, height).infoHeader;
  const int32_t logoPresent = logo.logoPresent.load();
  log.writeLog("LOGO PRESENT = " + std::to_string(logoPresent));

  geometry.canvasHeight = canvasHeightFor(width);
  geometry.canvasRowOffset = canvasRowOffsetFor(geometry.canvasHeight, height);
  geometry.frameFileHeaders = makeFrameFileHeaders(width, geometry.canvasHeight);
  geometry.canvas.assign(pixelCount(width, geometry.canvasHeight + 1), 0);
  geometry.placement = planFramePlacement(height, geometry.canvasHeight, geometry.canvasRowOffset,
                                          geometry.shiftRows);
  if (geometry.placement.clipped) {
    log.writeLog("Frame does not fit the canvas: " + std::to_string(width) + "x" +
                 std::to_string(height) + " into " + std::to_string(width) + "x" +
                 std::to_string(geometry.canvasHeight) + ", shift " +
                 std::to_string(geometry.shiftRows) + "; rows outside the canvas are left out");
  }
  if (logoPresent == 1) drawLogoBands(geometry, logo, tables);
}

void placeFrame(FrameGeometry& geometry, const uint32_t* frame) {
  placeFrame(geometry, frame, geometry.canvas.data());
}

void placeFrame(const FrameGeometry& geometry, const uint32_t* frame, uint32_t* canvas) {
  placeFrame(geometry, frame, reinterpret_cast<uint8_t*>(canvas));
}

void placeFrame(const FrameGeometry& geometry, const uint32_t* frame, uint8_t* canvasBytes) {
  const FramePlacement& placement = geometry.placement;
  if (placement.rowCount <= 0 || canvasBytes == nullptr) return;
  const size_t rowBytes = static_cast<size_t>(geometry.frameWidth) * sizeof(uint32_t);
  copyStreaming(canvasBytes + rowBytes * static_cast<size_t>(placement.destinationFirstRow),
                frame + static_cast<size_t>(geometry.frameWidth) * placement.sourceFirstRow,
                rowBytes * static_cast<size_t>(placement.rowCount));
}

void prepareFrameBuffers(FrameSourceState& source, FrameGeometry& geometry, Frontend& frontend) {
  geometry.setupBusy = 1;
  // A conversion that began after the streaming loop looked at `converting` must not see its
  // buffers resized: it sets `converting` before it waits for `setupBusy`, so one of the two
  // always sees the other.
  if (source.converting == 1) {
    geometry.setupBusy = 0;
    return;
  }
  {
    std::lock_guard lock(geometry.buffersMutex);
    geometry.frameWidth = source.sourceWidth;
    geometry.frameHeight = source.sourceHeight;
    geometry.frameBytes = geometry.frameWidth * geometry.frameHeight * 4;
    geometry.inputInfoHeader =
        makeFrameFileHeaders(geometry.frameWidth, geometry.frameHeight).infoHeader;
  }
  frontend.setInfoLabel(InfoLabel::doughnutSize, " " + std::to_string(geometry.frameWidth) + "x" +
                                                     std::to_string(geometry.frameHeight));
  grabCurrentFrame(source);
  drawFramePreview(frontend, source.frameBuffer.data(), source.sourceWidth, source.sourceHeight);
  geometry.setupBusy = 0;
  frontend.yield(25);
}

}  // namespace tarn
