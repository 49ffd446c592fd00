#include "ffmpeg_III/frame_arrival.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace tarn::tool {

namespace {
constexpr int kWaitMilliseconds = 5;
}

bool environmentFlagSet(const char* variable) {
  const char* value = std::getenv(variable);
  return value && std::strcmp(value, "1") == 0;
}

FrameArrival FrameArrival::fromEnvironment() {
  return FrameArrival(environmentFlagSet(kFramesPendingVariable) ? STDIN_FILENO : -1);
}

void FrameArrival::waitBriefly() {
  watch(kWaitMilliseconds);
}

void FrameArrival::watch(int milliseconds) {
  if (!pending()) return;
  pollfd input{fd_, POLLIN, 0};
  const int ready = ::poll(&input, 1, milliseconds);
  if (ready < 0 && errno != EINTR) {
    state_ = State::abandoned;  // an input we cannot watch can never say the frames are complete
    return;
  }
  if (ready <= 0) return;
  char bytes[64];
  const ssize_t count = ::read(fd_, bytes, sizeof bytes);
  if (count > 0) {
    completionSeen_ = true;
  } else if (count == 0 || (errno != EINTR && errno != EAGAIN)) {
    state_ = completionSeen_ ? State::complete : State::abandoned;
  }
}

}  // namespace tarn::tool
