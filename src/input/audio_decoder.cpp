#include "input/audio_decoder.h"

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <mutex>
#include <string>

#include "input/local_media_file.h"

namespace tarn {
namespace {

constexpr AVRational kTicks{1, 10'000'000};
constexpr int64_t kTicksPerSecond = 10'000'000;
// Consecutive decoder errors after which a stream counts as ended rather than damaged.
constexpr int kMaxConsecutiveErrors = 200;
// A decoded frame further than this from where the sound so far ends starts a new time line (a gap
// or an overlap in the file).
constexpr int64_t kTimeJumpTicks = 500'000;

void quietLibraryLog() {
  static std::once_flag once;
  std::call_once(once, [] { av_log_set_level(AV_LOG_FATAL); });
}

// Time 0 of the movie is the start of its picture, as the decode graph counts its positions.
int64_t originOf(const AVFormatContext* format) {
  for (unsigned i = 0; i < format->nb_streams; ++i) {
    const AVStream* stream = format->streams[i];
    if (stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO &&
        !(stream->disposition & AV_DISPOSITION_ATTACHED_PIC)) {
      return stream->start_time != AV_NOPTS_VALUE
                 ? av_rescale_q(stream->start_time, stream->time_base, kTicks)
                 : 0;
    }
  }
  return format->start_time != AV_NOPTS_VALUE
             ? av_rescale_q(format->start_time, AV_TIME_BASE_Q, kTicks)
             : 0;
}

int64_t ticksOfFrames(int64_t frames, int32_t rate) {
  return av_rescale(frames, kTicksPerSecond, rate);
}

}  // namespace

std::unique_ptr<AudioDecoder> AudioDecoder::open(const std::filesystem::path& path,
                                                 PcmFormat output) {
  quietLibraryLog();
  if (output.sampleRate <= 0 || output.channels <= 0) return nullptr;
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) return nullptr;

  std::unique_ptr<AudioDecoder> decoder(new AudioDecoder());
  decoder->output_ = output;
  if (openLocalMediaFile(path, decoder->format_) < 0) return nullptr;
  AVFormatContext* format = decoder->format_.get();
  if (avformat_find_stream_info(format, nullptr) < 0) return nullptr;

  const int index = av_find_best_stream(format, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
  if (index < 0) return nullptr;
  for (unsigned i = 0; i < format->nb_streams; ++i) {
    if (static_cast<int>(i) != index) format->streams[i]->discard = AVDISCARD_ALL;
  }
  AVStream* stream = format->streams[index];
  const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
  if (!codec) return nullptr;
  decoder->codec_.reset(avcodec_alloc_context3(codec));
  AVCodecContext* context = decoder->codec_.get();
  if (!context || avcodec_parameters_to_context(context, stream->codecpar) < 0) return nullptr;
  context->pkt_timebase = stream->time_base;
  if (avcodec_open2(context, codec, nullptr) < 0) return nullptr;

  decoder->frame_.reset(av_frame_alloc());
  decoder->packet_.reset(av_packet_alloc());
  if (!decoder->frame_ || !decoder->packet_) return nullptr;
  decoder->streamIndex_ = index;
  decoder->timeBase_ = stream->time_base;
  decoder->originTicks_ = originOf(format);
  return decoder;
}

AudioDecoder::~AudioDecoder() {
  av_channel_layout_uninit(&inputLayout_);
}

int64_t AudioDecoder::ticksOf(int64_t timestamp) const {
  return av_rescale_q(timestamp, timeBase_, kTicks) - originTicks_;
}

bool AudioDecoder::receiveFrame() {
  AVCodecContext* context = codec_.get();
  int consecutiveErrors = 0;
  while (true) {
    const int received = avcodec_receive_frame(context, frame_.get());
    if (received == 0) return true;
    if (received == AVERROR_EOF) return false;
    if (received != AVERROR(EAGAIN)) {
      // A damaged frame: go on with the next one, unless nothing but errors comes any more.
      if (++consecutiveErrors > kMaxConsecutiveErrors) return false;
      if (draining_) continue;
    } else if (draining_) {
      return false;
    }

    const int read = av_read_frame(format_.get(), packet_.get());
    if (read < 0) {
      // End of file or a read error: let the decoder hand out what it still holds.
      avcodec_send_packet(context, nullptr);
      draining_ = true;
      continue;
    }
    if (packet_->stream_index == streamIndex_) avcodec_send_packet(context, packet_.get());
    av_packet_unref(packet_.get());
  }
}

bool AudioDecoder::convertFrame(const AVFrame* frame) {
  const bool sameInput = resampler_ && frame->sample_rate == inputRate_ &&
                         frame->format == inputFormat_ &&
                         av_channel_layout_compare(&frame->ch_layout, &inputLayout_) == 0;
  if (!sameInput) {
    // A layout without named channels gets the usual one for its channel count.
    AVChannelLayout in{};
    if (frame->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC) {
      av_channel_layout_default(&in, frame->ch_layout.nb_channels);
    } else if (av_channel_layout_copy(&in, &frame->ch_layout) < 0) {
      return false;
    }
    AVChannelLayout out{};
    av_channel_layout_default(&out, output_.channels);
    SwrContext* raw = nullptr;
    const int built = swr_alloc_set_opts2(&raw, &out, AV_SAMPLE_FMT_S16, output_.sampleRate, &in,
                                          static_cast<AVSampleFormat>(frame->format),
                                          frame->sample_rate, 0, nullptr);
    av_channel_layout_uninit(&in);
    av_channel_layout_uninit(&out);
    ResampleContextPtr fresh(raw);
    if (built < 0 || !raw || swr_init(raw) < 0) return false;
    resampler_ = std::move(fresh);
    av_channel_layout_uninit(&inputLayout_);
    av_channel_layout_copy(&inputLayout_, &frame->ch_layout);
    inputRate_ = frame->sample_rate;
    inputFormat_ = frame->format;
  }

  SwrContext* resampler = resampler_.get();
  if (frame->best_effort_timestamp != AV_NOPTS_VALUE) {
    // The converted piece starts before this frame by what the resampler still holds.
    const int64_t starts =
        ticksOf(frame->best_effort_timestamp) - swr_get_delay(resampler, kTicksPerSecond);
    if (!timeKnown_ || std::abs(starts - nextTicks_) > kTimeJumpTicks) nextTicks_ = starts;
    timeKnown_ = true;
  }
  const int room = swr_get_out_samples(resampler, frame->nb_samples);
  if (room <= 0) return true;
  samples_.resize(static_cast<size_t>(room) * static_cast<size_t>(output_.channels));
  uint8_t* destination = reinterpret_cast<uint8_t*>(samples_.data());
  const int converted =
      swr_convert(resampler, &destination, room, const_cast<const uint8_t**>(frame->extended_data),
                  frame->nb_samples);
  if (converted < 0) {
    samples_.clear();
    return false;
  }
  samples_.resize(static_cast<size_t>(converted) * static_cast<size_t>(output_.channels));
  chunkTicks_ = nextTicks_;
  nextTicks_ += ticksOfFrames(converted, output_.sampleRate);
  return true;
}

bool AudioDecoder::flushResampler() {
  if (!resampler_) return false;
  SwrContext* resampler = resampler_.get();
  const int room = swr_get_out_samples(resampler, 0);
  if (room <= 0) return false;
  samples_.resize(static_cast<size_t>(room) * static_cast<size_t>(output_.channels));
  uint8_t* destination = reinterpret_cast<uint8_t*>(samples_.data());
  const int converted = swr_convert(resampler, &destination, room, nullptr, 0);
  samples_.resize(static_cast<size_t>(std::max(converted, 0)) *
                  static_cast<size_t>(output_.channels));
  chunkTicks_ = nextTicks_;
  nextTicks_ += ticksOfFrames(std::max(converted, 0), output_.sampleRate);
  return converted > 0;
}

void AudioDecoder::trimBeforeTarget() {
  if (skipBeforeTicks_ < 0 || samples_.empty()) return;
  const int64_t ends =
      chunkTicks_ + ticksOfFrames(static_cast<int64_t>(frames()), output_.sampleRate);
  if (ends <= skipBeforeTicks_) {
    samples_.clear();
    return;
  }
  if (chunkTicks_ < skipBeforeTicks_) {
    const int64_t dropped = std::min<int64_t>(
        av_rescale(skipBeforeTicks_ - chunkTicks_, output_.sampleRate, kTicksPerSecond),
        static_cast<int64_t>(frames()));
    samples_.erase(samples_.begin(), samples_.begin() + dropped * output_.channels);
    chunkTicks_ += ticksOfFrames(dropped, output_.sampleRate);
  }
  skipBeforeTicks_ = -1;
}

bool AudioDecoder::nextChunk() {
  samples_.clear();
  while (!finished_) {
    if (!decoderDone_) {
      if (!receiveFrame()) {
        decoderDone_ = true;
        continue;
      }
      const bool converted = convertFrame(frame_.get());
      av_frame_unref(frame_.get());
      if (!converted) continue;
    } else {
      // The last sound the resampler still holds.
      flushResampler();
      finished_ = true;
    }
    trimBeforeTarget();
    if (!samples_.empty()) return true;
  }
  return false;
}

bool AudioDecoder::seek(int64_t ticks) {
  ticks = std::max<int64_t>(ticks, 0);
  const int64_t target = av_rescale_q(ticks + originTicks_, kTicks, timeBase_);
  int result = avformat_seek_file(format_.get(), streamIndex_, std::numeric_limits<int64_t>::min(),
                                  target, target, 0);
  if (result < 0) result = av_seek_frame(format_.get(), streamIndex_, target, AVSEEK_FLAG_BACKWARD);
  if (result < 0) return false;
  avcodec_flush_buffers(codec_.get());
  resampler_.reset();  // drops the sound it held from before the seek
  inputRate_ = 0;
  draining_ = false;
  decoderDone_ = false;
  finished_ = false;
  timeKnown_ = false;
  samples_.clear();
  skipBeforeTicks_ = ticks;
  nextTicks_ = ticks;
  return true;
}

}  // namespace tarn
