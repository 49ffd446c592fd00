#include "ffmpeg_III/output_check.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "input/ffmpeg_handles.h"

namespace tarn::tool {
namespace {

std::optional<double> parseNumber(const std::string& text) {
  if (text.empty()) return std::nullopt;
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (end != text.c_str() + text.size() || !std::isfinite(value)) return std::nullopt;
  return value;
}

const StreamPackets* firstOfType(const ReadBack& found, const std::string& type) {
  for (const auto& stream : found.streams) {
    if (stream.type == type) return &stream;
  }
  return nullptr;
}

// Whether the header named every stream's codec. Probing the streams decodes frames (a tenth of a
// second for a 4K movie), so it is left out then; Theora's frame rate is known only from it.
bool headerNamesEveryCodec(const AVFormatContext& format) {
  if (format.nb_streams == 0) return false;
  for (unsigned i = 0; i < format.nb_streams; ++i) {
    const AVCodecID codec = format.streams[i]->codecpar->codec_id;
    if (codec == AV_CODEC_ID_NONE || codec == AV_CODEC_ID_THEORA) return false;
  }
  return true;
}

}  // namespace

ReadBack readBack(const std::string& file) {
  ReadBack found;
  AVFormatContext* opened = nullptr;
  // "file:" keeps a name with a colon a file name.
  if (avformat_open_input(&opened, ("file:" + file).c_str(), nullptr, nullptr) < 0) return found;
  const FormatContextPtr format(opened);
  if (!headerNamesEveryCodec(*format) && avformat_find_stream_info(format.get(), nullptr) < 0) {
    return found;
  }
  for (unsigned i = 0; i < format->nb_streams; ++i) {
    const AVStream* stream = format->streams[i];
    StreamPackets entry;
    const char* type = av_get_media_type_string(stream->codecpar->codec_type);
    entry.type = type ? type : "unknown";
    const AVCodecDescriptor* codec = avcodec_descriptor_get(stream->codecpar->codec_id);
    entry.codec = codec ? codec->name : "unknown";
    if (stream->r_frame_rate.num > 0 && stream->r_frame_rate.den > 0) {
      entry.frameRate = av_q2d(stream->r_frame_rate);
    }
    if (stream->duration != AV_NOPTS_VALUE && stream->time_base.den > 0) {
      entry.seconds = static_cast<double>(stream->duration) * av_q2d(stream->time_base);
    }
    found.streams.push_back(std::move(entry));
  }
  // Every packet is read, none decoded: a file cut short ends in an error, not at its end.
  const PacketPtr packet(av_packet_alloc());
  if (!packet) return found;
  int status = 0;
  while ((status = av_read_frame(format.get(), packet.get())) >= 0) {
    const auto index = static_cast<size_t>(packet->stream_index);
    if (packet->stream_index >= 0 && index < found.streams.size()) ++found.streams[index].packets;
    av_packet_unref(packet.get());
  }
  found.readable = status == AVERROR_EOF;
  return found;
}

int64_t videoFrames(const StreamPackets& stream) {
  if (stream.codec == "theora" && stream.seconds > 0 && stream.frameRate > 0) {
    return std::max(stream.packets,
                    static_cast<int64_t>(std::llround(stream.seconds * stream.frameRate)));
  }
  return stream.packets;
}

std::optional<double> parseDurationSeconds(const std::string& text) {
  std::string rest = text;
  double sign = 1;
  if (!rest.empty() && rest[0] == '-') {
    sign = -1;
    rest.erase(0, 1);
  }
  double seconds = 0;
  size_t parts = 0;
  std::istringstream pieces(rest);
  for (std::string piece; std::getline(pieces, piece, ':');) {
    const auto value = parseNumber(piece);
    if (!value || *value < 0 || ++parts > 3) return std::nullopt;
    seconds = seconds * 60 + *value;
  }
  if (parts == 0) return std::nullopt;
  return sign * seconds;
}

std::optional<double> parseRate(const std::string& text) {
  const size_t slash = text.find('/');
  if (slash == std::string::npos) {
    const auto value = parseNumber(text);
    return value && *value > 0 ? value : std::nullopt;
  }
  const auto over = parseNumber(text.substr(0, slash));
  const auto under = parseNumber(text.substr(slash + 1));
  if (!over || !under || *over <= 0 || *under <= 0) return std::nullopt;
  return *over / *under;
}

int64_t expectedVideoFrames(int64_t framesGiven, double inputRate,
                            const std::optional<double>& outputRate,
                            const std::optional<double>& limitSeconds) {
  if (framesGiven <= 0 || inputRate <= 0) return 0;
  double seconds = static_cast<double>(framesGiven) / inputRate;
  if (limitSeconds) seconds = std::min(seconds, std::max(0.0, *limitSeconds));
  return static_cast<int64_t>(std::llround(seconds * outputRate.value_or(inputRate)));
}

std::string whyIncomplete(const ReadBack& found, const Expectation& expected) {
  if (!found.readable) return expected.what + " is not finished: it cannot be read back";
  if (expected.videoFrames) {
    const StreamPackets* video = firstOfType(found, "video");
    const int64_t frames = video ? videoFrames(*video) : 0;
    if (frames == 0) return expected.what + " has no picture";
    // Theora stores nothing for a picture that repeats the one before, not even its time at the
    // end of the stream: a still scene counts short however complete the movie is. Its
    // completeness rests on ffmpeg's write errors and the read-back.
    const bool repeatsLeftOut = video && video->codec == "theora";
    if (!repeatsLeftOut && frames < *expected.videoFrames - 1) {
      return expected.what + " is incomplete: " + std::to_string(frames) + " of " +
             std::to_string(*expected.videoFrames) + " frames";
    }
    if (frames > *expected.videoFrames + 1) {
      return expected.what + " has " + std::to_string(frames) + " frames instead of " +
             std::to_string(*expected.videoFrames);
    }
  }
  if (expected.sound) {
    const StreamPackets* audio = firstOfType(found, "audio");
    if (!audio || audio->packets == 0) return expected.what + " has no sound";
  }
  const bool anything = std::any_of(found.streams.begin(), found.streams.end(),
                                    [](const StreamPackets& s) { return s.packets > 0; });
  if (!anything) return expected.what + " is empty";
  return {};
}

}  // namespace tarn::tool
