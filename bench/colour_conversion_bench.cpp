// Times the colour conversions of a frame's road, each with the candidates that could do it:
// the encoder tool's BGR0 -> 4:2:0 (its own loop, swscale, libyuv's BT.601-only ARGBToI420 for
// reference) and the decode's 4:2:0 -> BGRA (swscale, libyuv). Usage: colour_conversion_bench
// [WIDTH HEIGHT [FRAMES]]; prints milliseconds per frame, best of five rounds.
#include <libyuv.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

#include "ffmpeg_III/bgr0_to_i420.h"

extern "C" {
#include <libswscale/swscale.h>
}

namespace {

double millisecondsPerFrame(int frames, const std::function<void()>& convert) {
  double best = 1e30;
  for (int round = 0; round < 5; ++round) {
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < frames; ++i) convert();
    const std::chrono::duration<double, std::milli> spent =
        std::chrono::steady_clock::now() - start;
    best = std::min(best, spent.count() / frames);
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  const int width = argc > 2 ? std::atoi(argv[1]) : 1920;
  const int height = argc > 2 ? std::atoi(argv[2]) : 960;
  const int frames = argc > 3 ? std::atoi(argv[3]) : 20;
  const size_t pixels = static_cast<size_t>(width) * height;
  std::vector<uint8_t> bgra(pixels * 4);
  for (size_t i = 0; i < bgra.size(); ++i) bgra[i] = static_cast<uint8_t>((i * 7919) >> 5);
  std::vector<uint8_t> yuv(pixels * 3 / 2);
  uint8_t* y = yuv.data();
  uint8_t* u = y + pixels;
  uint8_t* v = u + pixels / 4;
  const int strides[3] = {width, width / 2, width / 2};
  uint8_t* planes[3] = {y, u, v};

  std::printf("%dx%d, ms per frame\n", width, height);
  std::printf("BGR0 -> 4:2:0 BT.709, tool's own loop: %.3f\n", millisecondsPerFrame(frames, [&] {
                tarn::tool::convertBgr0ToI420(bgra.data(), width, height, y, u, v);
              }));
  SwsContext* toYuv = sws_getContext(width, height, AV_PIX_FMT_BGR0, width, height,
                                     AV_PIX_FMT_YUV420P, SWS_BICUBIC, nullptr, nullptr, nullptr);
  const int* bt709 = sws_getCoefficients(SWS_CS_ITU709);
  sws_setColorspaceDetails(toYuv, bt709, 1, bt709, 0, 0, 1 << 16, 1 << 16);
  const int bgraStride[1] = {-width * 4};
  const uint8_t* bottomUp[1] = {bgra.data() + (pixels - width) * 4};
  std::printf("BGR0 -> 4:2:0 BT.709, swscale: %.3f\n", millisecondsPerFrame(frames, [&] {
                sws_scale(toYuv, bottomUp, bgraStride, 0, height, planes, strides);
              }));
  std::printf("BGR0 -> 4:2:0 BT.601 (no BT.709 in this libyuv), libyuv: %.3f\n",
              millisecondsPerFrame(frames, [&] {
                libyuv::ARGBToI420(bgra.data() + (pixels - width) * 4, -width * 4, y, width, u,
                                   width / 2, v, width / 2, width, height);
              }));

  SwsContext* toBgra = sws_getContext(width, height, AV_PIX_FMT_YUV420P, width, height,
                                      AV_PIX_FMT_BGRA, SWS_BILINEAR, nullptr, nullptr, nullptr);
  sws_setColorspaceDetails(toBgra, bt709, 0, sws_getCoefficients(SWS_CS_DEFAULT), 1, 0, 1 << 16,
                           1 << 16);
  uint8_t* out[1] = {bgra.data() + (pixels - width) * 4};
  const uint8_t* in[3] = {y, u, v};
  std::printf("4:2:0 BT.709 -> BGRA, swscale: %.3f\n", millisecondsPerFrame(frames, [&] {
                sws_scale(toBgra, in, strides, 0, height, out, bgraStride);
              }));
  std::printf("4:2:0 BT.709 -> BGRA, libyuv: %.3f\n", millisecondsPerFrame(frames, [&] {
                libyuv::I420ToARGBMatrix(y, width, u, width / 2, v, width / 2, bgra.data(),
                                         width * 4, &libyuv::kYuvH709Constants, width, -height);
              }));
  sws_freeContext(toYuv);
  sws_freeContext(toBgra);
  return 0;
}
