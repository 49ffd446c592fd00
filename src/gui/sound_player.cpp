#include "gui/sound_player.h"

#include <SDL.h>

#include "gui/sound_device.h"

namespace tarn {

SoundPlayer::SoundPlayer() {
  if (!soundOutputLikely() || !startSdlAudio()) return;
  initialised_ = true;
  SDL_AudioSpec wanted{};
  wanted.freq = 22050;
  wanted.format = AUDIO_S16SYS;
  wanted.channels = 1;
  wanted.samples = 512;
  SDL_AudioSpec obtained{};
  device_ = SDL_OpenAudioDevice(nullptr, 0, &wanted, &obtained, SDL_AUDIO_ALLOW_ANY_CHANGE);
  if (device_ == 0) return;
  deviceRate_ = obtained.freq;
  deviceFormat_ = obtained.format;
  deviceChannels_ = obtained.channels;
  SDL_PauseAudioDevice(device_, 0);
}

SoundPlayer::~SoundPlayer() {
  if (device_ != 0) SDL_CloseAudioDevice(device_);
  if (initialised_) stopSdlAudio();
}

void SoundPlayer::play(const std::vector<uint8_t>& wave) {
  if (device_ == 0 || wave.empty()) return;
  SDL_RWops* stream = SDL_RWFromConstMem(wave.data(), static_cast<int>(wave.size()));
  SDL_AudioSpec waveFormat{};
  Uint8* samples = nullptr;
  Uint32 length = 0;
  if (!SDL_LoadWAV_RW(stream, 1, &waveFormat, &samples, &length)) return;
  SDL_AudioCVT convert{};
  const int needed =
      SDL_BuildAudioCVT(&convert, waveFormat.format, waveFormat.channels, waveFormat.freq,
                        deviceFormat_, static_cast<Uint8>(deviceChannels_), deviceRate_);
  SDL_ClearQueuedAudio(device_);
  if (needed == 0) {
    SDL_QueueAudio(device_, samples, length);
  } else if (needed > 0) {
    convert.len = static_cast<int>(length);
    convert.buf = static_cast<Uint8*>(SDL_malloc(static_cast<size_t>(length) * convert.len_mult));
    if (convert.buf) {
      SDL_memcpy(convert.buf, samples, length);
      if (SDL_ConvertAudio(&convert) == 0) {
        SDL_QueueAudio(device_, convert.buf, static_cast<Uint32>(convert.len_cvt));
      }
      SDL_free(convert.buf);
    }
  }
  SDL_FreeWAV(samples);
}

}  // namespace tarn
