#include "conversion/logo_picture.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <new>

#include "common/frontend.h"
#include "input/ffmpeg_handles.h"

namespace tarn {
namespace {

constexpr Rgb kLabelGrey{153, 153, 153};

// Reads the picture bytes out of memory for the demuxer.
struct MemoryReader {
  const std::vector<uint8_t>* bytes;
  size_t position = 0;
};

int readPacket(void* opaque, uint8_t* buffer, int size) {
  auto* reader = static_cast<MemoryReader*>(opaque);
  const size_t left = reader->bytes->size() - reader->position;
  if (left == 0) return AVERROR_EOF;
  const size_t count = std::min(left, static_cast<size_t>(size));
  std::memcpy(buffer, reader->bytes->data() + reader->position, count);
  reader->position += count;
  return static_cast<int>(count);
}

struct AvioDeleter {
  void operator()(AVIOContext* context) const {
    if (!context) return;
    av_freep(&context->buffer);
    avio_context_free(&context);
  }
};
// Sends packets of the first video stream until the decoder gives one frame.
bool decodeFirstFrame(AVFormatContext* format, int stream, AVCodecContext* codec, AVFrame* frame) {
  PacketPtr packet(av_packet_alloc());
  if (!packet) return false;
  bool flushing = false;
  for (;;) {
    const int received = avcodec_receive_frame(codec, frame);
    if (received == 0) return true;
    if (received != AVERROR(EAGAIN) || flushing) return false;
    if (av_read_frame(format, packet.get()) < 0) {
      flushing = true;
      avcodec_send_packet(codec, nullptr);
      continue;
    }
    if (packet->stream_index == stream) {
      const int sent = avcodec_send_packet(codec, packet.get());
      if (sent < 0 && sent != AVERROR(EAGAIN)) {
        av_packet_unref(packet.get());
        return false;
      }
    }
    av_packet_unref(packet.get());
  }
}

void showRefusal(LogoPicture& logo, Frontend& frontend) {
  logo.logoPresent = 0;
  frontend.setLogoStatus("Logo not present, cylindrical format", Rgb{0, 0, 0}, kLabelGrey);
  frontend.showMessage("Bad Logo format.", "Logo Image Error", MessageIcon::error,
                       MessageButtons::ok);
}

}  // namespace

PictureLoadResult loadPicture(const std::vector<uint8_t>& bytes, int64_t maxPixels) {
  PictureLoadResult result;
  result.failure = PictureLoadFailure::undecodable;
  if (bytes.empty()) return result;

  constexpr int kChunk = 64 * 1024;
  MemoryReader reader{&bytes};
  auto* chunk = static_cast<uint8_t*>(av_malloc(kChunk));
  if (!chunk) return result;
  std::unique_ptr<AVIOContext, AvioDeleter> io(
      avio_alloc_context(chunk, kChunk, 0, &reader, readPacket, nullptr, nullptr));
  if (!io) {
    av_free(chunk);
    return result;
  }
  AVFormatContext* rawFormat = avformat_alloc_context();
  if (!rawFormat) return result;
  rawFormat->pb = io.get();
  rawFormat->flags |= AVFMT_FLAG_CUSTOM_IO;
  if (avformat_open_input(&rawFormat, nullptr, nullptr, nullptr) < 0) return result;
  FormatContextPtr format(rawFormat);
  if (avformat_find_stream_info(format.get(), nullptr) < 0) return result;
  const AVCodec* decoder = nullptr;
  const int stream = av_find_best_stream(format.get(), AVMEDIA_TYPE_VIDEO, -1, -1, &decoder, 0);
  if (stream < 0 || !decoder) return result;
  const AVCodecParameters* parameters = format->streams[stream]->codecpar;
  if (int64_t{parameters->width} * parameters->height > maxPixels) {
    result.failure = PictureLoadFailure::tooLarge;
    return result;
  }
  CodecContextPtr codec(avcodec_alloc_context3(decoder));
  if (!codec || avcodec_parameters_to_context(codec.get(), parameters) < 0) return result;
  codec->thread_count = 1;
  if (avcodec_open2(codec.get(), decoder, nullptr) < 0) return result;
  FramePtr frame(av_frame_alloc());
  if (!frame || !decodeFirstFrame(format.get(), stream, codec.get(), frame.get())) return result;

  const int width = frame->width;
  const int height = frame->height;
  if (width <= 0 || height <= 0) return result;
  if (int64_t{width} * height > maxPixels) {
    result.failure = PictureLoadFailure::tooLarge;
    return result;
  }
  ScaleContextPtr scaler(sws_getContext(width, height, static_cast<AVPixelFormat>(frame->format),
                                        width, height, AV_PIX_FMT_BGRA, SWS_POINT, nullptr, nullptr,
                                        nullptr));
  if (!scaler) return result;

  DecodedPicture& picture = result.picture;
  try {
    picture.pixels.assign(static_cast<size_t>(width + 4) * static_cast<size_t>(height + 4) * 4, 0);
  } catch (const std::bad_alloc&) {
    result.failure = PictureLoadFailure::tooLarge;
    return result;
  }
  // Bottom row first: start at the last row and step backwards.
  const int stride = width * 4;
  uint8_t* planes[4] = {picture.pixels.data() + static_cast<size_t>(height - 1) * stride, nullptr,
                        nullptr, nullptr};
  int strides[4] = {-stride, 0, 0, 0};
  if (sws_scale(scaler.get(), frame->data, frame->linesize, 0, height, planes, strides) != height) {
    picture.pixels.clear();
    return result;
  }
  picture.width = width;
  picture.height = height;
  result.failure = PictureLoadFailure::none;
  return result;
}

namespace {

// The whole file, when it is a regular file of at most kMaxLogoFileBytes. Opened without waiting
// (a FIFO would block) and checked on the opened file, so a name swapped meanwhile cannot slip by.
bool readLogoFile(const std::filesystem::path& path, std::vector<uint8_t>& bytes) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat info {};
  bool ok = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
            static_cast<uint64_t>(info.st_size) <= kMaxLogoFileBytes;
  if (ok) {
    bytes.resize(static_cast<size_t>(info.st_size) + 1);
    size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t count = ::read(fd, bytes.data() + done, bytes.size() - done);
      if (count < 0 && errno == EINTR) continue;
      if (count <= 0) break;
      done += static_cast<size_t>(count);
    }
    // A file that grew past the limit while it was read counts as too large.
    ok = done <= kMaxLogoFileBytes;
    bytes.resize(done);
  }
  ::close(fd);
  return ok;
}

}  // namespace

bool logoShapeAccepted(int32_t width, int32_t height) {
  return width > 0 && height > 0 && width / 6.0 >= height;
}

bool acceptLogo(LogoPicture& logo, Frontend& frontend, const std::filesystem::path& path) {
  logo.logoPresent = 1;
  frontend.setLogoStatus("Logo present, spherical format", Rgb{0, 255, 0}, kLabelGrey);

  std::vector<uint8_t> bytes;
  if (!readLogoFile(path, bytes)) {
    showRefusal(logo, frontend);
    return false;
  }
  PictureLoadResult loaded = loadPicture(bytes);
  const DecodedPicture& picture = loaded.picture;
  if (loaded.failure != PictureLoadFailure::none ||
      !logoShapeAccepted(picture.width, picture.height)) {
    showRefusal(logo, frontend);
    return false;
  }

  std::vector<uint8_t> pixels;
  const size_t pixelBytes = static_cast<size_t>(picture.width) * picture.height * 4;
  try {
    pixels.assign(pixelBytes + pixelBytes / 4, 0);
  } catch (const std::bad_alloc&) {
    showRefusal(logo, frontend);
    return false;
  }
  std::copy_n(picture.pixels.data(), pixelBytes, pixels.data());
  {
    std::lock_guard lock(logo.mutex);
    logo.logoWidth = picture.width;
    logo.logoHeight = picture.height;
    logo.logoPixels = std::move(pixels);
    logo.logoInfoHeader = makeFrameFileHeaders(picture.width, picture.height).infoHeader;
  }
  drawLogoPreview(logo, frontend);
  return true;
}

void clearLogo(LogoPicture& logo, Frontend& frontend) {
  logo.logoPresent = 0;
  frontend.setLogoStatus("Logo not present, cylindrical format", Rgb{0, 0, 0}, kLabelGrey);
  {
    std::lock_guard lock(logo.mutex);
    logo.logoWidth = 10;
  }
  drawLogoPreview(logo, frontend);
}

void drawLogoPreview(const LogoPicture& logo, Frontend& frontend) {
  std::lock_guard lock(logo.mutex);
  if (logo.logoPixels.size() < 100 || logo.logoWidth < 100) {
    frontend.drawLogoPreview(nullptr, 0, 0);
    return;
  }
  frontend.drawLogoPreview(reinterpret_cast<const uint32_t*>(logo.logoPixels.data()),
                           logo.logoWidth, logo.logoHeight);
}

}  // namespace tarn
