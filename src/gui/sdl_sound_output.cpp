#include "gui/sdl_sound_output.h"

#include <SDL.h>

#include "gui/sound_device.h"

namespace tarn {

std::unique_ptr<SdlSoundOutput> SdlSoundOutput::open() {
  if (!soundOutputLikely() || !startSdlAudio()) return nullptr;
  SDL_AudioSpec wanted{};
  wanted.freq = 48000;
  wanted.format = AUDIO_S16SYS;
  wanted.channels = 2;
  wanted.samples = 1024;
  SDL_AudioSpec obtained{};
  // The sample format stays 16-bit (SDL converts if the device wants another); rate and channel
  // count follow the device, and the decoder resamples to them.
  const SDL_AudioDeviceID device =
      SDL_OpenAudioDevice(nullptr, 0, &wanted, &obtained,
                          SDL_AUDIO_ALLOW_FREQUENCY_CHANGE | SDL_AUDIO_ALLOW_CHANNELS_CHANGE);
  if (device == 0 || obtained.freq <= 0 || obtained.channels == 0) {
    if (device != 0) SDL_CloseAudioDevice(device);
    stopSdlAudio();
    return nullptr;
  }
  PcmFormat format;
  format.sampleRate = obtained.freq;
  format.channels = obtained.channels;
  return std::unique_ptr<SdlSoundOutput>(new SdlSoundOutput(device, format));
}

SdlSoundOutput::~SdlSoundOutput() {
  SDL_CloseAudioDevice(device_);
  stopSdlAudio();
}

void SdlSoundOutput::queue(const int16_t* samples, size_t frames) {
  const size_t bytes = frames * static_cast<size_t>(format_.channels) * sizeof(int16_t);
  if (bytes > 0) SDL_QueueAudio(device_, samples, static_cast<Uint32>(bytes));
}

size_t SdlSoundOutput::queuedFrames() const {
  return SDL_GetQueuedAudioSize(device_) /
         (static_cast<size_t>(format_.channels) * sizeof(int16_t));
}

void SdlSoundOutput::clear() {
  SDL_ClearQueuedAudio(device_);
}

void SdlSoundOutput::setPlaying(bool playing) {
  SDL_PauseAudioDevice(device_, playing ? 0 : 1);
}

}  // namespace tarn
