#include "gui/preview_feed.h"

#include <algorithm>
#include <cmath>

namespace tarn {
namespace {

// Taps of one output sample along one axis: a triangle filter whose width grows with the
// shrink factor, so shrinking averages every source sample and enlarging interpolates.
struct Taps {
  int32_t first = 0;
  std::vector<int32_t> weights;  // fixed point, sum 1 << 14
};

std::vector<Taps> tapsFor(int32_t sourceSize, int32_t targetSize) {
  std::vector<Taps> all(static_cast<size_t>(targetSize));
  const double scale = static_cast<double>(sourceSize) / targetSize;
  const double support = std::max(1.0, scale);
  for (int32_t out = 0; out < targetSize; ++out) {
    const double centre = (out + 0.5) * scale - 0.5;
    const int32_t first = std::max<int32_t>(0, static_cast<int32_t>(std::floor(centre - support)));
    const int32_t last =
        std::min<int32_t>(sourceSize - 1, static_cast<int32_t>(std::ceil(centre + support)));
    std::vector<double> weights;
    double sum = 0;
    for (int32_t in = first; in <= last; ++in) {
      const double w = std::max(0.0, 1.0 - std::abs(in - centre) / support);
      weights.push_back(w);
      sum += w;
    }
    Taps& taps = all[static_cast<size_t>(out)];
    taps.first = first;
    if (sum <= 0) {  // centre outside the source: nearest edge sample
      taps.first =
          std::clamp<int32_t>(static_cast<int32_t>(std::lround(centre)), 0, sourceSize - 1);
      taps.weights = {1 << 14};
      continue;
    }
    int32_t given = 0;
    for (double w : weights) {
      taps.weights.push_back(static_cast<int32_t>(std::lround(w / sum * (1 << 14))));
      given += taps.weights.back();
    }
    // Rounding remainder goes to the largest tap so that flat areas stay exactly flat.
    auto largest = std::max_element(taps.weights.begin(), taps.weights.end());
    *largest += (1 << 14) - given;
  }
  return all;
}

}  // namespace

void stretchToRgb(const uint32_t* source, int32_t sourceWidth, int32_t sourceHeight,
                  uint8_t* target, int32_t targetWidth, int32_t targetHeight) {
  if (!source || sourceWidth <= 0 || sourceHeight <= 0 || targetWidth <= 0 || targetHeight <= 0) {
    return;
  }
  const std::vector<Taps> columns = tapsFor(sourceWidth, targetWidth);
  const std::vector<Taps> rows = tapsFor(sourceHeight, targetHeight);
  // Horizontal pass into a buffer of targetWidth x sourceHeight, three channels, 14-bit fraction.
  std::vector<int32_t> wide(static_cast<size_t>(targetWidth) * sourceHeight * 3);
  for (int32_t y = 0; y < sourceHeight; ++y) {
    const uint32_t* row = source + static_cast<size_t>(y) * sourceWidth;
    int32_t* out = wide.data() + static_cast<size_t>(y) * targetWidth * 3;
    for (int32_t x = 0; x < targetWidth; ++x) {
      const Taps& taps = columns[static_cast<size_t>(x)];
      int32_t blue = 0, green = 0, red = 0;
      for (size_t k = 0; k < taps.weights.size(); ++k) {
        const uint32_t pixel = row[taps.first + static_cast<int32_t>(k)];
        const int32_t w = taps.weights[k];
        blue += static_cast<int32_t>(pixel & 0xFF) * w;
        green += static_cast<int32_t>((pixel >> 8) & 0xFF) * w;
        red += static_cast<int32_t>((pixel >> 16) & 0xFF) * w;
      }
      out[x * 3] = red >> 6;  // keep 8 fractional bits for the second pass
      out[x * 3 + 1] = green >> 6;
      out[x * 3 + 2] = blue >> 6;
    }
  }
  // Vertical pass; the source is bottom row first, the target top row first.
  for (int32_t y = 0; y < targetHeight; ++y) {
    const Taps& taps = rows[static_cast<size_t>(y)];
    uint8_t* out = target + static_cast<size_t>(targetHeight - 1 - y) * targetWidth * 3;
    for (int32_t x = 0; x < targetWidth * 3; ++x) {
      int64_t sum = 0;
      for (size_t k = 0; k < taps.weights.size(); ++k) {
        const int32_t sourceRow = taps.first + static_cast<int32_t>(k);
        sum += static_cast<int64_t>(wide[static_cast<size_t>(sourceRow) * targetWidth * 3 + x]) *
               taps.weights[k];
      }
      const int64_t value = (sum + (int64_t{1} << 21)) >> 22;
      out[x] = static_cast<uint8_t>(std::clamp<int64_t>(value, 0, 255));
    }
  }
}

PreviewFeed::PreviewFeed(int32_t width, int32_t height) : width_(width), height_(height) {
  for (PreviewPicture& picture : pictures_) {
    picture.rgb.assign(static_cast<size_t>(width) * height * 3, 0);
  }
}

template <typename Fill>
bool PreviewFeed::put(Fill fill) {
  std::lock_guard producer(producerMutex_);
  // Only producers (serialised above) touch the back picture, so it is filled without the
  // swap lock; the window thread only ever reads the front one.
  fill(pictures_[static_cast<size_t>(back_)]);
  std::lock_guard swap(swapMutex_);
  std::swap(back_, ready_);
  fresh_ = true;
  if (takePending_) return false;
  takePending_ = true;
  return true;
}

bool PreviewFeed::putFrame(const PreviewFrame& frame) {
  return put([&](PreviewPicture& picture) {
    picture.kind = PreviewPicture::Kind::frame;
    picture.converting = frame.converting;
    picture.progressLines = frame.progressLines;
    if (frame.pixels && frame.width > 0 && frame.height > 0) {
      stretchToRgb(frame.pixels, frame.width, frame.height, picture.rgb.data(), width_, height_);
    } else {
      std::fill(picture.rgb.begin(), picture.rgb.end(), 0);
    }
  });
}

bool PreviewFeed::putTitle() {
  return put([](PreviewPicture& picture) { picture.kind = PreviewPicture::Kind::title; });
}

bool PreviewFeed::putCleared() {
  return put([](PreviewPicture& picture) { picture.kind = PreviewPicture::Kind::cleared; });
}

const PreviewPicture* PreviewFeed::take() {
  std::lock_guard swap(swapMutex_);
  takePending_ = false;
  if (!fresh_) return nullptr;
  std::swap(front_, ready_);
  fresh_ = false;
  return &pictures_[static_cast<size_t>(front_)];
}

}  // namespace tarn
