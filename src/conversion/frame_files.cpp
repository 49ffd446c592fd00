#include "conversion/frame_files.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "common/uncached_file.h"

namespace tarn {
namespace {

template <size_t N>
void putLittleEndian(std::array<uint8_t, N>& bytes, size_t offset, uint32_t value, int width) {
  for (int i = 0; i < width; ++i) bytes[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

FrameFileResult failure(const std::string& path, int error) {
  return {false, path + ": " + std::strerror(error)};
}

}  // namespace

std::string frameFileName(int32_t frameNumber) {
  char name[32];
  std::snprintf(name, sizeof name, "temp%06d.bmp", frameNumber);
  return name;
}

std::string frameFilePath(const std::string& folder, int32_t frameNumber) {
  return folder + "/" + frameFileName(frameNumber);
}

FrameFileHeaders makeFrameFileHeaders(int32_t width, int32_t canvasHeight) {
  FrameFileHeaders headers;
  const uint32_t pixelBytes =
      static_cast<uint32_t>(width) * static_cast<uint32_t>(canvasHeight) * 4;
  auto& file = headers.fileHeader;
  file[0] = 'B';
  file[1] = 'M';
  putLittleEndian(file, 2, 54 + pixelBytes, 4);
  putLittleEndian(file, 10, 54, 4);

  auto& info = headers.infoHeader;
  putLittleEndian(info, 0, 40, 4);
  putLittleEndian(info, 4, static_cast<uint32_t>(width), 4);
  putLittleEndian(info, 8, static_cast<uint32_t>(canvasHeight), 4);  // positive: bottom-up
  putLittleEndian(info, 12, 1, 2);                                   // planes
  putLittleEndian(info, 14, 32, 2);                                  // bits per pixel
  // Compression, image size, resolutions and colour counts stay 0.
  return headers;
}

FrameFileResult writeFrameFile(const std::string& folder, int32_t frameNumber,
                               const FrameFileHeaders& headers, const uint8_t* canvasBytes,
                               size_t canvasSize) {
  const std::string path = frameFilePath(folder, frameNumber);
  const size_t headerBytes = headers.fileHeader.size() + headers.infoHeader.size();
  AlignedBuffer file(headerBytes + canvasSize);
  if (file.size() < headerBytes + canvasSize) return failure(path, ENOMEM);
  std::copy(headers.fileHeader.begin(), headers.fileHeader.end(), file.data());
  std::copy(headers.infoHeader.begin(), headers.infoHeader.end(),
            file.data() + headers.fileHeader.size());
  std::memcpy(file.data() + headerBytes, canvasBytes, canvasSize);
  const int error = writeFileUncached(path, file, headerBytes + canvasSize);
  if (error != 0) return failure(path, error);
  return {true, {}};
}

}  // namespace tarn
