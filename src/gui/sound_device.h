#pragma once

namespace tarn {

// Whether the machine may have somewhere to play to: a sound card, a sound server of the desktop
// session, or an audio driver named in SDL_AUDIODRIVER. Without any, opening a device only fills
// the console with library noise.
bool soundOutputLikely();

// Starts SDL's audio part (never its video or signal handlers). Each true is matched by one
// stopSdlAudio(); SDL counts them.
bool startSdlAudio();
void stopSdlAudio();

}  // namespace tarn
