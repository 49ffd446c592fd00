#pragma once

#include <string>

namespace tarn {

// Marks an MP4, M4V or MOV file as an equirectangular 360 movie in place: the version-2 boxes
// ("st3d" monoscopic, "sv3d" with an "equi" projection) at the end of the video sample entry and
// the version-1 XML "uuid" box at the end of the video trak, replacing earlier ones. Enclosing
// box sizes grow; when the movie header comes before the media data, the chunk offsets move
// with it. The media data is not touched. False (file unchanged) with `error` on failure.
bool writeSphericalBoxes(const std::string& path, const std::string& stitchingSoftware,
                         std::string* error);

// Marks a WebM or Matroska file as equirectangular: a stream-copy remux through FFmpeg's
// Matroska muxer with spherical side data on the video stream (written as the Projection
// element), replacing the file. False (file unchanged) with `error` on failure.
bool writeMatroskaProjection(const std::string& path, std::string* error);

}  // namespace tarn
