#include "gui/sound_player.h"

#include <SDL.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace tarn {

namespace {

// Whether the machine may have somewhere to play to: a sound card, or a sound server of the
// desktop session. Without either, opening a device only fills the console with library noise.
bool soundOutputLikely() {
  if (std::getenv("SDL_AUDIODRIVER") || std::getenv("PULSE_SERVER")) return true;
  std::error_code error;
  if (std::filesystem::exists("/dev/snd", error)) return true;
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR")) {
    const std::filesystem::path folder(runtime);
    return std::filesystem::exists(folder / "pulse" / "native", error) ||
           std::filesystem::exists(folder / "pipewire-0", error);
  }
  return false;
}

}  // namespace

SoundPlayer::SoundPlayer() {
  if (!soundOutputLikely()) return;
  // Only the audio part of SDL; never its own video or signal handlers.
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return;
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
  if (initialised_) SDL_QuitSubSystem(SDL_INIT_AUDIO);
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
