#include "input/movie_facts.h"

#include <cmath>
#include <filesystem>

#include "input/ffmpeg_handles.h"
#include "input/local_media_file.h"

namespace tarn {
namespace {

std::string ffmpegError(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof text);
  return text;
}

}  // namespace

MovieFacts readMovieFacts(const std::string& path) {
  MovieFacts facts;
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) {
    facts.error = "not a regular file";
    return facts;
  }
  FormatContextPtr format;
  if (const int status = openLocalMediaFile(path, format); status < 0 || !format) {
    facts.error = ffmpegError(status);
    return facts;
  }
  if (const int status = avformat_find_stream_info(format.get(), nullptr); status < 0) {
    facts.error = ffmpegError(status);
    return facts;
  }
  const int video = av_find_best_stream(format.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  if (video < 0) {
    facts.error = "no video stream";
    return facts;
  }
  const AVStream* stream = format->streams[video];
  const AVCodecParameters* parameters = stream->codecpar;
  facts.readable = true;
  facts.width = parameters->width;
  facts.height = parameters->height;
  facts.videoCodec = avcodec_get_name(parameters->codec_id);
  AVRational rate = stream->avg_frame_rate;
  if (rate.num <= 0 || rate.den <= 0) rate = stream->r_frame_rate;
  if (rate.num > 0 && rate.den > 0) {
    av_reduce(&facts.rateNumerator, &facts.rateDenominator, rate.num, rate.den, INT32_MAX);
  }
  if (format->duration > 0) {
    facts.durationSeconds = static_cast<double>(format->duration) / AV_TIME_BASE;
  } else if (stream->duration > 0) {
    facts.durationSeconds = static_cast<double>(stream->duration) * av_q2d(stream->time_base);
  }
  if (stream->nb_frames > 0) {
    facts.frameCount = stream->nb_frames;
  } else if (facts.rateNumerator > 0) {
    facts.frameCount = static_cast<int64_t>(
        std::floor(facts.durationSeconds * facts.rateNumerator / facts.rateDenominator + 1e-6));
  }
  const int audio = av_find_best_stream(format.get(), AVMEDIA_TYPE_AUDIO, -1, video, nullptr, 0);
  if (audio >= 0) {
    const AVCodecParameters* sound = format->streams[audio]->codecpar;
    facts.hasAudio = true;
    facts.audioCodec = avcodec_get_name(sound->codec_id);
    facts.audioSampleRate = sound->sample_rate;
    facts.audioChannels = sound->ch_layout.nb_channels;
  }
  return facts;
}

}  // namespace tarn
