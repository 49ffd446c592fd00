#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tarn {

// Which spherical (360) metadata a movie file carries, as read back from the file itself.
struct SphericalReport {
  bool readable = false;
  std::string error;     // why the file could not be read, when not readable
  bool boxFile = false;  // MP4, M4V or MOV: read by walking the boxes

  // Version 1: the XML "uuid" box in the video trak.
  bool v1Present = false;
  std::string v1Location;    // e.g. "moov/trak[0]/uuid" (trak counted among the traks)
  std::string v1Projection;  // "equirectangular" when the XML says so
  // Version 2: "st3d" and "sv3d" in the video sample entry.
  bool st3dPresent = false;
  std::string st3dLocation;  // e.g. "moov/trak[0]/mdia/minf/stbl/stsd/avc1/st3d"
  int stereoMode = -1;       // 0 monoscopic
  bool sv3dPresent = false;
  std::string sv3dLocation;
  std::string v2Projection;  // "equirectangular", "cubemap"
  // What FFmpeg's demuxer makes of the file (the only reading for WebM/Matroska).
  std::string sideDataProjection;  // empty when the video stream has no spherical side data

  bool equirectangular() const;
};

// Reads the spherical metadata of a movie: a box walk for MP4/M4V/MOV files, FFmpeg's stream
// side data for any file (for WebM the Matroska Projection element).
SphericalReport readSphericalMetadata(const std::string& path);
// The box walk alone (MP4/M4V/MOV files; other files give an empty report).
SphericalReport readSphericalBoxes(const std::string& path);

// One line for a user: "spherical metadata: none" or the forms found and their places.
std::string describeSpherical(const SphericalReport& report);

// The spherical-video UUID of the version-1 box.
extern const uint8_t kSphericalUuid[16];

// The boxes written into MP4-family files, whole (header included).
std::vector<uint8_t> makeSt3dMonoBox();
std::vector<uint8_t> makeSv3dEquirectangularBox(const std::string& metadataSource);
std::vector<uint8_t> makeSphericalUuidBox(const std::string& stitchingSoftware);

}  // namespace tarn
