#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "conversion/frame_files.h"

namespace tarn {

class Frontend;

// The nadir logo. Written by the logo thread (acceptLogo) and the logo command, read by the
// conversion run at its start; `mutex` guards every field but `logoPresent`.
struct LogoPicture {
  std::atomic<int32_t> logoPresent{0};
  int32_t logoWidth = 1000;
  int32_t logoHeight = 100;
  // logoHeight rows of logoWidth pixels (blue, green, red, unused), bottom row first, followed by
  // zero slack so that the resampler's taps may run past the last row.
  std::vector<uint8_t> logoPixels = std::vector<uint8_t>(1000 * 100 * 4 + 16);
  std::array<uint8_t, 40> logoInfoHeader = makeFrameFileHeaders(1000, 100).infoHeader;
  mutable std::mutex mutex;
};

// A decoded picture: its own pixel size and its pixels, bottom row first, 4 bytes each (blue,
// green, red, unused), followed by slack: (width + 4) * (height + 4) * 4 bytes in all.
struct DecodedPicture {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint8_t> pixels;
};

enum class PictureLoadFailure { none, undecodable, tooLarge };

struct PictureLoadResult {
  DecodedPicture picture;
  PictureLoadFailure failure = PictureLoadFailure::none;
};

// Decodes a picture file's bytes (JPEG, PNG, BMP, ...) with the FFmpeg libraries.
// `maxPixels` bounds width * height; larger pictures are refused as too large.
PictureLoadResult loadPicture(const std::vector<uint8_t>& bytes,
                              int64_t maxPixels = int64_t{1} << 28);

// The shape rule: a logo must be at least six times as wide as high.
bool logoShapeAccepted(int32_t width, int32_t height);

// Logo files are read up to this size (64 MiB; a 16000 x 2000 JPEG is far below it); a larger
// file, or anything but a regular file (a FIFO, a device), is refused unread.
inline constexpr uint64_t kMaxLogoFileBytes = 64ull << 20;

// Reads, decodes and checks the chosen file; keeps it as the logo or refuses it with
// "Bad Logo format." / "Logo Image Error". Returns true when the logo was accepted.
bool acceptLogo(LogoPicture& logo, Frontend& frontend, const std::filesystem::path& path);

// The logo command's clearing before its chooser opens.
void clearLogo(LogoPicture& logo, Frontend& frontend);

// Draws the logo into the logo preview area (black when the logo is narrower than 100 pixels).
void drawLogoPreview(const LogoPicture& logo, Frontend& frontend);

}  // namespace tarn
