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
  // The frame rate as the stream gives it (30000/1001 rather than its rounded frame time); 0/0
  // when the stream does not tell one.
  int32_t rateNumerator = 0;
  int32_t rateDenominator = 0;
};

// Event codes of takeEvent().
constexpr int32_t kEventComplete = 1;    // every frame of the movie was delivered
constexpr int32_t kEventErrorAbort = 3;  // the movie could not be read on; see readError()

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
  // Whether the movie file holds a sound stream (whatever plays or extracts it).
  virtual bool hasSound() const { return false; }

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
  // Event code 1 (complete) once after the last frame was delivered, or 3 (error abort) when
  // reading stopped short of the end; nullopt when no event waits. A seek drops waiting events:
  // the end of an earlier playback never ends a later one.
  virtual std::optional<int32_t> takeEvent() = 0;
  // Why reading stopped short (after event 3); empty otherwise.
  virtual std::string readError() const { return {}; }
  // True while the streaming thread waits for the file system rather than decoding or delivering.
  virtual bool waitingOnInput() const { return false; }
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
