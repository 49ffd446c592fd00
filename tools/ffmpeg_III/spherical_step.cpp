#include "ffmpeg_III/spherical_step.h"

#include <cstdlib>

#include "encoding/spherical_tagging.h"

namespace tarn::tool {
namespace {

constexpr const char* kStitchingSoftware = "Kestrova Tarn Video Converter";

std::string containerName(Container container) {
  switch (container) {
    case Container::Flv:
      return "FLV";
    case Container::Mov:
      return "MOV";
    case Container::Avi:
      return "AVI";
    case Container::Mp4:
      return "MP4";
    case Container::M4v:
      return "M4V";
    case Container::Ogg:
      return "OGG/OGV";
    case Container::Webm:
      return "WEBM";
    case Container::Wav:
      return "WAV";
    case Container::Other:
      break;
  }
  return "this";
}

}  // namespace

bool isTwoToOne(const FrameFormat& frames) {
  return frames.height > 0 && std::abs(frames.width - 2 * frames.height) <= 2;
}

SphericalOutcome applySphericalMetadata(const ContainerProfile& profile,
                                        const std::optional<FrameFormat>& frames,
                                        const std::string& outputPath) {
  const std::string prefix = "spherical metadata ";
  if (!frames) return {prefix + "not written: the frame size is unknown"};
  const std::string size = std::to_string(frames->width) + "x" + std::to_string(frames->height);
  if (!isTwoToOne(*frames)) return {prefix + "not written: frames " + size + " are not 2:1"};
  std::string error;
  switch (profile.container) {
    case Container::Mp4:
    case Container::M4v:
    case Container::Mov:
      if (!writeSphericalBoxes(outputPath, kStitchingSoftware, &error)) break;
      return {prefix + "written: equirectangular (v2 st3d and sv3d boxes, v1 uuid box)"};
    case Container::Webm:
      if (!writeMatroskaProjection(outputPath, &error)) break;
      return {prefix + "written: equirectangular (Matroska Projection)"};
    default:
      return {prefix + "not written: " + containerName(profile.container) + " cannot carry it"};
  }
  return {prefix + "not written: " + error, true};
}

}  // namespace tarn::tool
