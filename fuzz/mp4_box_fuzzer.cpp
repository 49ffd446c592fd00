// The MP4 box reader and the spherical-metadata walk over whatever bytes a movie file may hold.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "encoding/mp4_box_tree.h"
#include "encoding/spherical_metadata.h"

namespace {

// The walk reads a file, as it does for a real movie: one scratch file per process.
const std::string& scratchFile() {
  static const std::string path = [] {
    char name[] = "/tmp/tarn-mp4-fuzz-XXXXXX";
    const int fd = ::mkstemp(name);
    if (fd >= 0) ::close(fd);
    return std::string(name);
  }();
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (auto box = tarn::parseMp4Box(data, size)) {
    std::vector<uint8_t> written;
    box->write(written);
    if (written.size() != box->size()) __builtin_trap();
    tarn::firstVideoTrack(*box);
    tarn::shiftChunkOffsets(*box, 0, 16);
    for (auto& child : box->children) child.expand(8);
  }
  std::FILE* file = std::fopen(scratchFile().c_str(), "wb");
  if (!file) return 0;
  std::fwrite(data, 1, size, file);
  std::fclose(file);
  const tarn::SphericalReport report = tarn::readSphericalBoxes(scratchFile());
  tarn::describeSpherical(report);
  return 0;
}
