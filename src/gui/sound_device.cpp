#include "gui/sound_device.h"

#include <SDL.h>

#include <cstdlib>
#include <filesystem>

namespace tarn {

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

bool startSdlAudio() {
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  return SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
}

void stopSdlAudio() {
  SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

}  // namespace tarn
