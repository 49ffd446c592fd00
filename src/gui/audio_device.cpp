#include "gui/audio_device.h"

#include <SDL.h>

#include <algorithm>
#include <cstring>

#include "gui/sound_device.h"

namespace tarn {

std::unique_ptr<AudioDevice> AudioDevice::open() {
  if (!soundOutputLikely() || !startSdlAudio()) return nullptr;
  std::unique_ptr<AudioDevice> device(new AudioDevice());
  SDL_AudioSpec wanted{};
  wanted.freq = 48000;
  wanted.format = AUDIO_S16SYS;
  wanted.channels = 2;
  wanted.samples = 1024;
  wanted.callback = &AudioDevice::callback;
  wanted.userdata = device.get();
  SDL_AudioSpec obtained{};
  // The sample format stays 16-bit (SDL converts if the device wants another); rate and channel
  // count follow the device, and the sounds are converted to them.
  device->device_ =
      SDL_OpenAudioDevice(nullptr, 0, &wanted, &obtained,
                          SDL_AUDIO_ALLOW_FREQUENCY_CHANGE | SDL_AUDIO_ALLOW_CHANNELS_CHANGE);
  if (device->device_ == 0 || obtained.freq <= 0 || obtained.channels == 0) {
    if (device->device_ != 0) SDL_CloseAudioDevice(device->device_);
    stopSdlAudio();
    return nullptr;
  }
  device->format_.sampleRate = obtained.freq;
  device->format_.channels = obtained.channels;
  SDL_PauseAudioDevice(device->device_, 0);  // always running: silence when nothing plays
  return device;
}

AudioDevice::~AudioDevice() {
  SDL_CloseAudioDevice(device_);  // waits for a callback in progress
  stopSdlAudio();
}

void AudioDevice::callback(void* self, uint8_t* stream, int length) {
  static_cast<AudioDevice*>(self)->mix(reinterpret_cast<int16_t*>(stream),
                                       static_cast<size_t>(length) / sizeof(int16_t));
}

void AudioDevice::mix(int16_t* out, size_t samples) {
  std::fill_n(out, samples, int16_t{0});
  std::lock_guard lock(mutex_);
  if (moviePlaying_) {
    const size_t taken = std::min(samples, movie_.size());
    std::copy_n(movie_.begin(), taken, out);
    movie_.erase(movie_.begin(), movie_.begin() + static_cast<std::ptrdiff_t>(taken));
  }
  const size_t effect = std::min(samples, effect_.size() - effectPosition_);
  for (size_t i = 0; i < effect; ++i) {
    const int32_t sum = out[i] + effect_[effectPosition_ + i];
    out[i] = static_cast<int16_t>(std::clamp<int32_t>(sum, -32768, 32767));
  }
  effectPosition_ += effect;
}

void AudioDevice::queue(const int16_t* samples, size_t frames) {
  std::lock_guard lock(mutex_);
  movie_.insert(movie_.end(), samples, samples + frames * static_cast<size_t>(format_.channels));
}

size_t AudioDevice::queuedFrames() const {
  std::lock_guard lock(mutex_);
  return movie_.size() / static_cast<size_t>(format_.channels);
}

void AudioDevice::clear() {
  std::lock_guard lock(mutex_);
  movie_.clear();
}

void AudioDevice::setPlaying(bool playing) {
  std::lock_guard lock(mutex_);
  moviePlaying_ = playing;
}

void AudioDevice::playEffect(std::vector<int16_t> samples) {
  std::lock_guard lock(mutex_);
  effect_.swap(samples);
  effectPosition_ = 0;
}

}  // namespace tarn
