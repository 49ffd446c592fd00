#include "input/video_decoder.h"

#include <algorithm>
#include <limits>
#include <mutex>

#include "input/frame_size_limit.h"
#include "input/local_media_file.h"

namespace tarn {
namespace {

constexpr AVRational kTicks{1, 10'000'000};
constexpr int64_t kNoSkip = std::numeric_limits<int64_t>::min();
// Consecutive decoder errors after which a stream counts as ended rather than damaged.
constexpr int kMaxConsecutiveErrors = 200;

// The libraries print to standard error by default; the converter has no console to show it.
void quietLibraryLog() {
  static std::once_flag once;
  std::call_once(once, [] { av_log_set_level(AV_LOG_FATAL); });
}

// The first real video stream (not a cover picture), or -1.
int findVideoStream(AVFormatContext* format) {
  const int best = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  if (best >= 0 && !(format->streams[best]->disposition & AV_DISPOSITION_ATTACHED_PIC)) {
    return best;
  }
  for (unsigned i = 0; i < format->nb_streams; ++i) {
    const AVStream* stream = format->streams[i];
    if (stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO &&
        !(stream->disposition & AV_DISPOSITION_ATTACHED_PIC)) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

std::string errorText(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof text);
  return text;
}

// A single picture opened as a movie (PNG, JPEG, BMP...): the image readers, not a movie container.
// An animated picture (GIF, APNG) has a demuxer of its own and stays a movie.
bool isStillPicture(const AVFormatContext* format) {
  const std::string name = format->iformat ? format->iformat->name : "";
  const std::string pipe = "_pipe";
  return name == "image2" || (name.size() > pipe.size() &&
                              name.compare(name.size() - pipe.size(), pipe.size(), pipe) == 0);
}

int64_t timePerFrameOf(AVRational rate) {
  if (rate.num <= 0 || rate.den <= 0) return 0;
  return av_rescale(kTicks.den, rate.den, rate.num);
}

}  // namespace

OpenedDecoder VideoDecoder::open(const std::filesystem::path& path) {
  quietLibraryLog();
  OpenedDecoder result;
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) {
    result.failure = OpenFailure::sourceNotAdded;
    return result;
  }

  std::unique_ptr<VideoDecoder> decoder(new VideoDecoder());
  if (const int opened = openLocalMediaFile(path, decoder->format_); opened < 0) {
    result.failure = opened == AVERROR_INVALIDDATA ? OpenFailure::unsupportedMediaType
                                                   : OpenFailure::sourceNotAdded;
    return result;
  }
  AVFormatContext* format = decoder->format_.get();
  if (isStillPicture(format) || avformat_find_stream_info(format, nullptr) < 0) {
    result.failure = OpenFailure::unsupportedMediaType;
    return result;
  }

  const int index = findVideoStream(format);
  if (index < 0) {
    result.failure = OpenFailure::unsupportedMediaType;
    return result;
  }
  AVStream* stream = format->streams[index];
  decoder->hasSound_ = av_find_best_stream(format, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0) >= 0;
  for (unsigned i = 0; i < format->nb_streams; ++i) {
    if (static_cast<int>(i) != index) format->streams[i]->discard = AVDISCARD_ALL;
  }
  const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
  if (!codec) {
    result.failure = OpenFailure::unsupportedMediaType;
    return result;
  }
  const int declaredWidth = stream->codecpar->width;
  const int declaredHeight = stream->codecpar->height;
  if ((declaredWidth > 0 || declaredHeight > 0) && !frameSizeFits(declaredWidth, declaredHeight)) {
    result.failure = OpenFailure::outOfMemory;
    return result;
  }

  decoder->codec_.reset(avcodec_alloc_context3(codec));
  AVCodecContext* context = decoder->codec_.get();
  if (!context || avcodec_parameters_to_context(context, stream->codecpar) < 0) {
    result.failure = OpenFailure::unsupportedMediaType;
    return result;
  }
  context->pkt_timebase = stream->time_base;
  context->thread_count = 0;  // FFmpeg picks the number of decoder threads
  context->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
  if (avcodec_open2(context, codec, nullptr) < 0) {
    result.failure = OpenFailure::unsupportedMediaType;
    return result;
  }

  decoder->frame_.reset(av_frame_alloc());
  decoder->packet_.reset(av_packet_alloc());
  if (!decoder->frame_ || !decoder->packet_) {
    result.failure = OpenFailure::outOfMemory;
    return result;
  }
  decoder->streamIndex_ = index;
  decoder->timeBase_ = stream->time_base;
  decoder->startTimestamp_ = stream->start_time != AV_NOPTS_VALUE ? stream->start_time : 0;
  if (stream->duration != AV_NOPTS_VALUE && stream->duration > 0) {
    decoder->durationTicks_ = av_rescale_q(stream->duration, stream->time_base, kTicks);
    decoder->streamDurationKnown_ = true;
  } else if (format->duration != AV_NOPTS_VALUE && format->duration > 0) {
    decoder->durationTicks_ = av_rescale_q(format->duration, AV_TIME_BASE_Q, kTicks);
  }
  decoder->averageTimePerFrame_ = timePerFrameOf(stream->avg_frame_rate);
  decoder->rate_ = stream->avg_frame_rate;
  if (decoder->averageTimePerFrame_ == 0) {
    decoder->averageTimePerFrame_ = timePerFrameOf(stream->r_frame_rate);
    decoder->rate_ = stream->r_frame_rate;
  }
  if (decoder->rate_.num <= 0 || decoder->rate_.den <= 0) decoder->rate_ = AVRational{0, 0};
  decoder->skipBeforeTicks_ = kNoSkip;
  result.decoder = std::move(decoder);
  return result;
}

int64_t VideoDecoder::ticksOf(int64_t timestamp) const {
  return av_rescale_q(timestamp - startTimestamp_, timeBase_, kTicks);
}

int64_t VideoDecoder::frameDurationTicks() const {
  if (frame_->pkt_duration > 0) return av_rescale_q(frame_->pkt_duration, timeBase_, kTicks);
  return averageTimePerFrame_;
}

DecodeStatus VideoDecoder::nextFrame() {
  AVCodecContext* context = codec_.get();
  int consecutiveErrors = 0;
  while (true) {
    const int received = avcodec_receive_frame(context, frame_.get());
    if (received == 0) {
      consecutiveErrors = 0;
      const int64_t timestamp = frame_->best_effort_timestamp;
      frameTicks_ = timestamp != AV_NOPTS_VALUE
                        ? ticksOf(timestamp)
                        : frameTicks_ + std::max<int64_t>(averageTimePerFrame_, 1);
      // After a seek, frames shown entirely before the target are not part of the answer.
      if (skipBeforeTicks_ != kNoSkip &&
          frameTicks_ + std::max<int64_t>(frameDurationTicks(), 1) <= skipBeforeTicks_) {
        av_frame_unref(frame_.get());
        continue;
      }
      skipBeforeTicks_ = kNoSkip;
      return DecodeStatus::frame;
    }
    const DecodeStatus ended =
        readError_.empty() ? DecodeStatus::endOfStream : DecodeStatus::readError;
    if (received == AVERROR_EOF) return ended;
    if (received != AVERROR(EAGAIN)) {
      // A damaged frame: go on with the next one, unless nothing but errors comes any more.
      if (++consecutiveErrors > kMaxConsecutiveErrors) {
        if (readError_.empty()) readError_ = "the pictures cannot be decoded any more";
        return DecodeStatus::readError;
      }
      if (draining_) continue;
    } else if (draining_) {
      return ended;
    }

    reading_.store(true, std::memory_order_relaxed);
    const int read = av_read_frame(format_.get(), packet_.get());
    reading_.store(false, std::memory_order_relaxed);
    if (read < 0) {
      // The end of the file, or a read error, which is no end: remember it. Either way the decoder
      // hands out what it still holds first.
      if (read != AVERROR_EOF) {
        readError_ = errorText(read);
      } else if (fileCutShort()) {
        readError_ = "the file ends before the movie does";
      }
      avcodec_send_packet(context, nullptr);
      draining_ = true;
      continue;
    }
    if (packet_->stream_index == streamIndex_) {
      const int64_t stamp = packet_->pts != AV_NOPTS_VALUE ? packet_->pts : packet_->dts;
      if (stamp != AV_NOPTS_VALUE) lastPacketTicks_ = std::max(lastPacketTicks_, ticksOf(stamp));
      // A damaged packet is refused by the decoder and skipped.
      avcodec_send_packet(context, packet_.get());
    }
    av_packet_unref(packet_.get());
  }
}

bool VideoDecoder::fileCutShort() const {
  AVStream* stream = format_->streams[streamIndex_];
  // The index (an MP4's sample table) points past the end of the file.
  const int64_t size = format_->pb ? avio_size(format_->pb) : -1;
  const int entries = avformat_index_get_entries_count(stream);
  if (size > 0 && entries > 0) {
    const AVIndexEntry* last = avformat_index_get_entry(stream, entries - 1);
    if (last && last->pos + last->size > size) return true;
  }
  // The video stream's own length (not the container's, which may be the sound's) is over a
  // second longer than its pictures reach.
  constexpr int64_t kSlack = 10'000'000;
  return streamDurationKnown_ && lastPacketTicks_ >= 0 &&
         lastPacketTicks_ + std::max(kSlack, 2 * averageTimePerFrame_) < durationTicks_;
}

bool VideoDecoder::seek(int64_t ticks) {
  const int64_t target =
      startTimestamp_ + av_rescale_q(std::max<int64_t>(ticks, 0), kTicks, timeBase_);
  int result = avformat_seek_file(format_.get(), streamIndex_, std::numeric_limits<int64_t>::min(),
                                  target, target, 0);
  if (result < 0) result = av_seek_frame(format_.get(), streamIndex_, target, AVSEEK_FLAG_BACKWARD);
  // A stream without time stamps to seek by (raw H.264) can still go back to its start.
  if (result < 0 && ticks <= 0) result = av_seek_frame(format_.get(), -1, 0, AVSEEK_FLAG_BYTE);
  if (result < 0) return false;
  avcodec_flush_buffers(codec_.get());
  draining_ = false;
  readError_.clear();
  lastPacketTicks_ = -1;
  skipBeforeTicks_ = ticks > 0 ? ticks : kNoSkip;
  frameTicks_ = std::max<int64_t>(ticks, 0);
  return true;
}

int32_t VideoDecoder::codedWidth() const {
  return codec_->width;
}
int32_t VideoDecoder::codedHeight() const {
  return codec_->height;
}

}  // namespace tarn
