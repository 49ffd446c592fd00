#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

namespace tarn {

class SoundOutput;

// Receives every decoded frame during a conversion: called once per frame, in presentation order,
// on the graph's streaming thread; the next frame comes only after the call returns.
// `bytes` is width x height pixels of 4 bytes (blue, green, red, unused), bottom row first.
class SampleCallback {
 public:
  virtual ~SampleCallback() = default;
  virtual void bufferCB(double sampleTime, const uint8_t* bytes, int32_t length) = 0;
};

// The connected media type: what every delivered frame looks like.
struct VideoFormat {
  int32_t width = 0;
  int32_t height = 0;
  int32_t sampleSize = 0;           // width * height * 4
  int64_t averageTimePerFrame = 0;  // 100-ns units; 0 when the decoder does not know
};

// Why a movie could not be opened; the frame source turns each into its message.
enum class OpenFailure {
  none,
  sourceNotAdded,        // file missing or unreadable as a container
  unsupportedMediaType,  // no decodable video stream
  noConnectedFormat,     // the video stream gives no usable frame format
  outOfMemory,           // the frame size would not fit in memory
};

// A movie opened for decoding (the decode graph). Times are 100-ns units.
// Thread contract: control calls (run, pause, stop, seek, ...) may come from any thread; the
// callback is invoked on the graph's own streaming thread. Destruction stops every thread of it.
class DecodeGraph {
 public:
  virtual ~DecodeGraph() = default;

  virtual VideoFormat format() const = 0;
  virtual int64_t durationTicks() const = 0;
  virtual int64_t positionTicks() const = 0;
  virtual bool canStep() const = 0;

  virtual void run() = 0;
  virtual void pause() = 0;
  virtual void stop() = 0;
  virtual void seek(int64_t ticks) = 0;  // the next frame is the one at `ticks`
  // With a callback registered, frames come as fast as the callback returns; without one,
  // playback is paced to real time. nullptr unregisters.
  virtual void setSampleCallback(SampleCallback* callback) = 0;
  // A muted graph plays no sound.
  virtual void setMuted(bool muted) = 0;
  virtual void useDefaultClock() = 0;
  // Event code 1 (complete) once after the last frame was delivered; nullopt when no event waits.
  virtual std::optional<int32_t> takeEvent() = 0;
  // Copies the most recent decoded frame into `destination` (at most `bytes` bytes).
  // Returns false when no frame has been decoded yet.
  virtual bool copyCurrentFrame(uint8_t* destination, size_t bytes) = 0;
};

struct OpenedGraph {
  std::unique_ptr<DecodeGraph> graph;
  OpenFailure failure = OpenFailure::none;
};

// Opens `path` on the FFmpeg libraries. The graph starts paused at position 0.
// With a sound output, the movie's sound (if it has any) plays there while the graph plays at real
// time, unmuted and without a callback, in step with the picture.
OpenedGraph openDecodeGraph(const std::filesystem::path& path, SoundOutput* soundOutput = nullptr);

}  // namespace tarn
