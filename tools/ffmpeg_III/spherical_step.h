#pragma once

#include <optional>
#include <string>

#include "ffmpeg_III/container_profile.h"
#include "ffmpeg_III/frame_files.h"

namespace tarn::tool {

// True for frames twice as wide as high, allowing the converter's canvas rule (its height is
// rounded to an even number, so 1001 x 500 and 1002 x 500 count).
bool isTwoToOne(const FrameFormat& frames);

// After a successful main encode: marks the output as an equirectangular 360 movie when the
// frames are 2:1 and the container can carry it, by writing boxes (MP4, M4V, MOV) or by a
// stream-copy remux (WebM), always through a new copy of the file.
struct SphericalOutcome {
  std::string line;     // "spherical metadata written: ..." or "... not written: why"
  bool failed = false;  // the metadata belonged there but could not be written
};
SphericalOutcome applySphericalMetadata(const ContainerProfile& profile,
                                        const std::optional<FrameFormat>& frames,
                                        const std::string& outputPath);

}  // namespace tarn::tool
