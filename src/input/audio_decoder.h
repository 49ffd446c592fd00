#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <vector>

#include "input/ffmpeg_handles.h"
#include "input/sound_output.h"

extern "C" {
#include <libswresample/swresample.h>
}

namespace tarn {

struct ResampleContextFreer {
  void operator()(SwrContext* context) const { swr_free(&context); }
};
using ResampleContextPtr = std::unique_ptr<SwrContext, ResampleContextFreer>;

// The first audio stream of a movie file, decoded piece by piece and converted to one PCM format
// (sample rate, channel count, signed 16-bit interleaved). Times are 100-ns units counted from the
// start of the movie's picture, as the decode graph counts them.
// Not thread-safe: one thread at a time uses it.
class AudioDecoder {
 public:
  // Null when the file cannot be read or has no decodable audio stream.
  static std::unique_ptr<AudioDecoder> open(const std::filesystem::path& path, PcmFormat output);
  ~AudioDecoder();
  AudioDecoder(const AudioDecoder&) = delete;
  AudioDecoder& operator=(const AudioDecoder&) = delete;

  // Decodes the next piece of sound into samples(). False at the end of the stream.
  bool nextChunk();
  const std::vector<int16_t>& samples() const { return samples_; }
  size_t frames() const { return samples_.size() / static_cast<size_t>(output_.channels); }
  // When the first frame of samples() sounds.
  int64_t chunkTicks() const { return chunkTicks_; }

  // The next piece starts at `ticks` (or at the first sound after it). False when the file
  // cannot seek; the stream then goes on where it was.
  bool seek(int64_t ticks);

  PcmFormat format() const { return output_; }

 private:
  AudioDecoder() = default;
  bool receiveFrame();  // the next decoded frame into frame_; false at the end of the stream
  bool convertFrame(const AVFrame* frame);
  bool flushResampler();
  void trimBeforeTarget();
  int64_t ticksOf(int64_t timestamp) const;

  PcmFormat output_;
  FormatContextPtr format_;
  CodecContextPtr codec_;
  FramePtr frame_;
  PacketPtr packet_;
  ResampleContextPtr resampler_;
  int streamIndex_ = -1;
  AVRational timeBase_{1, 1};
  int64_t originTicks_ = 0;  // the picture's start: time 0 of the movie
  // What the resampler was built for; a frame of another layout rebuilds it.
  int inputRate_ = 0;
  int inputFormat_ = -1;
  AVChannelLayout inputLayout_{};

  std::vector<int16_t> samples_;
  int64_t chunkTicks_ = 0;
  int64_t nextTicks_ = 0;         // where the next converted sample lies
  bool timeKnown_ = false;        // nextTicks_ was taken from a decoded frame
  int64_t skipBeforeTicks_ = -1;  // after a seek: sound before this is dropped
  bool draining_ = false;         // the demuxer is done; the decoder hands out what it holds
  bool decoderDone_ = false;      // the decoder is empty; only the resampler may hold sound
  bool finished_ = false;
};

}  // namespace tarn
