#include "resources/tick_wave.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace tarn {
namespace {

void putLe(std::vector<uint8_t>& out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

void putTag(std::vector<uint8_t>& out, const char* tag) {
  out.insert(out.end(), tag, tag + 4);
}

}  // namespace

std::vector<uint8_t> makeTickWave() {
  constexpr uint32_t sampleRate = 22050;
  constexpr uint32_t sampleCount = sampleRate * 45 / 1000;  // 45 ms
  constexpr uint32_t dataBytes = sampleCount * 2;

  std::vector<uint8_t> wave;
  wave.reserve(44 + dataBytes);
  putTag(wave, "RIFF");
  putLe(wave, 36 + dataBytes, 4);
  putTag(wave, "WAVE");
  putTag(wave, "fmt ");
  putLe(wave, 16, 4);
  putLe(wave, 1, 2);  // PCM
  putLe(wave, 1, 2);  // mono
  putLe(wave, sampleRate, 4);
  putLe(wave, sampleRate * 2, 4);
  putLe(wave, 2, 2);
  putLe(wave, 16, 2);
  putTag(wave, "data");
  putLe(wave, dataBytes, 4);

  // A soft mechanical click: two damped partials with a very short attack, plus a touch of
  // deterministic noise for the transient.
  uint32_t noise = 0x12345678u;
  for (uint32_t i = 0; i < sampleCount; ++i) {
    const double t = static_cast<double>(i) / sampleRate;
    const double attack = std::min(1.0, t / 0.0015);
    const double body = std::sin(2.0 * std::numbers::pi * 2400.0 * t) * std::exp(-t / 0.006) +
                        0.5 * std::sin(2.0 * std::numbers::pi * 1150.0 * t) * std::exp(-t / 0.012);
    noise = noise * 1664525u + 1013904223u;
    const double hiss = ((noise >> 16) / 32768.0 - 1.0) * std::exp(-t / 0.002) * 0.35;
    const double value = std::clamp(attack * (body + hiss) * 0.45, -1.0, 1.0);
    putLe(wave, static_cast<uint16_t>(static_cast<int16_t>(std::lround(value * 32767.0))), 2);
  }
  return wave;
}

}  // namespace tarn
