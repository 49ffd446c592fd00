#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "ffmpeg_III/legacy_command.h"

namespace tarn::tool {

enum class Container { Flv, Mov, Avi, Mp4, M4v, Ogg, Webm, Wav, Other };

enum class VideoEncoder { H264, Vp9, Theora, None };

// The codec modes of the converter's menu, recognised from their x264 tuning literals.
enum class CodecMode { Auto, UltraFast, Fast, Medium, Max, Slower };

struct ContainerProfile {
  Container container = Container::Other;
  std::string muxer;  // ffmpeg's muxer name; empty lets ffmpeg choose by the file name
  VideoEncoder video = VideoEncoder::None;
  std::string defaultAudioCodec;
  bool fastStart = false;  // MP4 family: movie header before the media data
};

// "-f" decides when given ("m4v" means an MP4-family file, not a bare stream); otherwise the
// output file's extension, compared case-blind.
ContainerProfile containerProfileFor(const LegacyCommand& command);

CodecMode codecModeOf(const std::vector<std::pair<std::string, std::string>>& tuning);

// The audio encoder for the container: the legacy "-acodec" when the container can hold it,
// otherwise the container's own choice.
std::string audioCodecFor(const ContainerProfile& profile,
                          const std::optional<std::string>& legacy);

// The sampling rate the audio encoder accepts that is nearest to the requested one.
std::optional<std::string> sampleRateFor(const std::string& audioCodec,
                                         const ContainerProfile& profile,
                                         const std::optional<std::string>& requested);

// Video encoder options: quality, bit rate and speed, from the legacy quality options ("-crf",
// "-qscale", "-sameq"), "-b" and the codec-mode literals.
std::vector<std::string> videoEncoderArguments(VideoEncoder encoder,
                                               const LegacyOutputOptions& options);

}  // namespace tarn::tool
