#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

namespace tarn::test {

// Movies with sound, generated once per build (64x32 pictures at 25 frames per second):
// one second of a 440 Hz tone at 44100 Hz, mono, uncompressed, in Matroska;
std::filesystem::path toneMovie();
// two seconds, silent for the first second and a 440 Hz tone in the second, AAC at 48000 Hz in MP4;
std::filesystem::path lateToneMovie();
// and two seconds of picture without any sound.
std::filesystem::path silentMovie();

// The largest magnitude among `samples`.
int32_t peakOf(const std::vector<int16_t>& samples);

}  // namespace tarn::test
