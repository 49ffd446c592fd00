#include "gui/sound_player.h"

#include <SDL.h>

#include <algorithm>

#include "gui/audio_device.h"

namespace tarn {

void SoundPlayer::play(const std::vector<uint8_t>& wave) {
  if (!device_ || wave.empty()) return;
  SDL_RWops* stream = SDL_RWFromConstMem(wave.data(), static_cast<int>(wave.size()));
  SDL_AudioSpec waveFormat{};
  Uint8* samples = nullptr;
  Uint32 length = 0;
  if (!SDL_LoadWAV_RW(stream, 1, &waveFormat, &samples, &length)) return;
  // Into the device's format: 16-bit samples at its rate and channel count.
  const PcmFormat target = device_->format();
  SDL_AudioCVT convert{};
  const int needed =
      SDL_BuildAudioCVT(&convert, waveFormat.format, waveFormat.channels, waveFormat.freq,
                        AUDIO_S16SYS, static_cast<Uint8>(target.channels), target.sampleRate);
  if (needed >= 0) {
    std::vector<uint8_t> buffer(static_cast<size_t>(length) *
                                static_cast<size_t>(std::max(convert.len_mult, 1)));
    SDL_memcpy(buffer.data(), samples, length);
    convert.len = static_cast<int>(length);
    convert.buf = buffer.data();
    const bool converted = needed == 0 || SDL_ConvertAudio(&convert) == 0;
    if (converted) {
      const size_t bytes = needed == 0 ? length : static_cast<size_t>(convert.len_cvt);
      std::vector<int16_t> pcm(bytes / sizeof(int16_t));
      SDL_memcpy(pcm.data(), buffer.data(), pcm.size() * sizeof(int16_t));
      device_->playEffect(std::move(pcm));
    }
  }
  SDL_FreeWAV(samples);
}

}  // namespace tarn
