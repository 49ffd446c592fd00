#include "conversion/frame_files.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace tarn {
namespace {

template <size_t N>
void putLittleEndian(std::array<uint8_t, N>& bytes, size_t offset, uint32_t value, int width) {
  for (int i = 0; i < width; ++i) bytes[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

// Writes all of `size` bytes, going on after partial writes and interrupted calls.
bool writeAll(int descriptor, const uint8_t* data, size_t size) {
  while (size > 0) {
    const ssize_t written = ::write(descriptor, data, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (written == 0) {
      errno = ENOSPC;
      return false;
    }
    data += written;
    size -= static_cast<size_t>(written);
  }
  return true;
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
  const int descriptor = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (descriptor < 0) return failure(path, errno);
  const bool written = writeAll(descriptor, headers.fileHeader.data(), headers.fileHeader.size()) &&
                       writeAll(descriptor, headers.infoHeader.data(), headers.infoHeader.size()) &&
                       writeAll(descriptor, canvasBytes, canvasSize);
  const int writeError = errno;
  // Some file systems report a full disk only when the file is closed.
  const bool closed = ::close(descriptor) == 0;
  if (!written) return failure(path, writeError);
  if (!closed) return failure(path, errno);
  return {true, {}};
}

}  // namespace tarn
