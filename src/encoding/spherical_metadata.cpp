#include "encoding/spherical_metadata.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <memory>

#include "encoding/mp4_box_tree.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/spherical.h>
}

namespace tarn {

const uint8_t kSphericalUuid[16] = {0xff, 0xcc, 0x82, 0x63, 0xf8, 0x55, 0x4a, 0x93,
                                    0x88, 0x14, 0x58, 0x7a, 0x02, 0x52, 0x1f, 0xdd};

namespace {

void appendBe32(std::vector<uint8_t>& out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(value >> (24 - 8 * i)));
}

// A box from its type and payload.
std::vector<uint8_t> box(const char* type, const std::vector<uint8_t>& payload) {
  std::vector<uint8_t> out;
  appendBe32(out, static_cast<uint32_t>(8 + payload.size()));
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), payload.begin(), payload.end());
  return out;
}

// A full box: version 0, flags 0, then the payload.
std::vector<uint8_t> fullBox(const char* type, const std::vector<uint8_t>& payload) {
  std::vector<uint8_t> body(4, 0);
  body.insert(body.end(), payload.begin(), payload.end());
  return box(type, body);
}

bool isMp4Family(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  uint8_t header[8] = {};
  if (!in.read(reinterpret_cast<char*>(header), sizeof header)) return false;
  const std::string type(reinterpret_cast<const char*>(header + 4), 4);
  return type == "ftyp" || type == "moov" || type == "mdat" || type == "wide" || type == "free" ||
         type == "skip";
}

std::string uuidProjection(const Mp4Box& uuid) {
  const std::string xml(uuid.prefix.begin() + 16, uuid.prefix.end());
  const auto spherical = xml.find("<GSpherical:Spherical>");
  const auto projection = xml.find("<GSpherical:ProjectionType>");
  if (spherical == std::string::npos || projection == std::string::npos) return {};
  if (xml.compare(spherical + 22, 4, "true") != 0) return {};
  const auto start = projection + 27;
  const auto end = xml.find('<', start);
  return end == std::string::npos ? std::string() : xml.substr(start, end - start);
}

void readBoxes(const std::string& path, SphericalReport& report) {
  std::string error;
  const auto boxes = listTopLevelBoxes(path, &error);
  if (!boxes) {
    report.error = error;
    return;
  }
  report.boxFile = true;
  const Mp4TopBox* moovEntry = nullptr;
  for (const auto& entry : *boxes) {
    if (entry.type == "moov") moovEntry = &entry;
  }
  if (!moovEntry) {
    report.error = "no moov box";
    return;
  }
  std::vector<uint8_t> bytes(static_cast<size_t>(moovEntry->size));
  std::ifstream in(path, std::ios::binary);
  in.seekg(static_cast<std::streamoff>(moovEntry->offset));
  if (!in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()))) {
    report.error = "cannot read the moov box";
    return;
  }
  auto moov = parseMp4Box(bytes.data(), bytes.size());
  if (!moov) {
    report.error = "malformed moov box";
    return;
  }
  report.readable = true;
  const int track = firstVideoTrack(*moov);
  if (track < 0) return;
  Mp4Box& trak = moov->children[static_cast<size_t>(track)];
  // Numbered among the trak boxes, from 0.
  const auto ordinal = std::count_if(moov->children.begin(), moov->children.begin() + track,
                                     [](const Mp4Box& box) { return box.type == "trak"; });
  const std::string trakPath = "moov/trak[" + std::to_string(ordinal) + "]";
  for (const auto& child : trak.children) {
    if (child.type == "uuid" && child.prefix.size() >= 16 &&
        std::memcmp(child.prefix.data(), kSphericalUuid, 16) == 0) {
      report.v1Present = true;
      report.v1Location = trakPath + "/uuid";
      report.v1Projection = uuidProjection(child);
    }
  }
  Mp4Box* stsd = nullptr;
  if (Mp4Box* mdia = trak.child("mdia")) {
    if (Mp4Box* minf = mdia->child("minf")) {
      if (Mp4Box* stbl = minf->child("stbl")) stsd = stbl->child("stsd");
    }
  }
  if (!stsd || !stsd->expand(8) || stsd->children.empty()) return;
  Mp4Box& entry = stsd->children.front();
  if (!entry.expand(78)) return;
  const std::string entryPath = trakPath + "/mdia/minf/stbl/stsd/" + entry.type;
  if (Mp4Box* st3d = entry.child("st3d")) {
    report.st3dPresent = true;
    report.st3dLocation = entryPath + "/st3d";
    if (st3d->prefix.size() >= 5) report.stereoMode = st3d->prefix[4];
  }
  if (Mp4Box* sv3d = entry.child("sv3d")) {
    report.sv3dPresent = true;
    report.sv3dLocation = entryPath + "/sv3d";
    if (sv3d->expand(0)) {
      Mp4Box* proj = sv3d->child("proj");
      if (proj && proj->expand(0)) {
        if (proj->child("equi")) report.v2Projection = "equirectangular";
        if (proj->child("cbmp")) report.v2Projection = "cubemap";
      }
    }
  }
}

struct FormatCloser {
  void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};

void readSideData(const std::string& path, SphericalReport& report) {
  AVFormatContext* raw = nullptr;
  if (avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0) {
    if (report.error.empty()) report.error = "FFmpeg cannot open the file";
    return;
  }
  std::unique_ptr<AVFormatContext, FormatCloser> context(raw);
  if (avformat_find_stream_info(context.get(), nullptr) < 0) return;
  report.readable = true;
  for (unsigned i = 0; i < context->nb_streams; ++i) {
    AVStream* stream = context->streams[i];
    if (stream->codecpar->codec_type != AVMEDIA_TYPE_VIDEO) continue;
    size_t size = 0;
    const uint8_t* data = av_stream_get_side_data(stream, AV_PKT_DATA_SPHERICAL, &size);
    if (data && size >= sizeof(AVSphericalMapping)) {
      const auto* mapping = reinterpret_cast<const AVSphericalMapping*>(data);
      report.sideDataProjection = av_spherical_projection_name(mapping->projection);
    }
    return;
  }
}

}  // namespace

bool SphericalReport::equirectangular() const {
  if (boxFile) {
    return v1Projection == "equirectangular" && v2Projection == "equirectangular" && st3dPresent;
  }
  return sideDataProjection == "equirectangular";
}

SphericalReport readSphericalBoxes(const std::string& path) {
  SphericalReport report;
  if (isMp4Family(path)) readBoxes(path, report);
  return report;
}

SphericalReport readSphericalMetadata(const std::string& path) {
  SphericalReport report;
  if (isMp4Family(path)) readBoxes(path, report);
  readSideData(path, report);
  return report;
}

std::string describeSpherical(const SphericalReport& report) {
  if (!report.readable) return "spherical metadata: cannot read the file (" + report.error + ")";
  std::string forms;
  const auto add = [&forms](const std::string& text) {
    forms += (forms.empty() ? "" : "; ") + text;
  };
  if (report.sv3dPresent) {
    add("v2 sv3d " + (report.v2Projection.empty() ? "unknown" : report.v2Projection) + " at " +
        report.sv3dLocation);
  }
  if (report.st3dPresent) {
    add(std::string("v2 st3d ") + (report.stereoMode == 0 ? "mono" : "stereo") + " at " +
        report.st3dLocation);
  }
  if (report.v1Present) {
    add("v1 uuid " + (report.v1Projection.empty() ? "unknown" : report.v1Projection) + " at " +
        report.v1Location);
  }
  if (!report.boxFile && !report.sideDataProjection.empty()) {
    add("projection " + report.sideDataProjection);
  }
  return "spherical metadata: " + (forms.empty() ? std::string("none") : forms);
}

std::vector<uint8_t> makeSt3dMonoBox() {
  return fullBox("st3d", {0});
}

std::vector<uint8_t> makeSv3dEquirectangularBox(const std::string& metadataSource) {
  std::vector<uint8_t> source(metadataSource.begin(), metadataSource.end());
  source.push_back(0);
  const std::vector<uint8_t> svhd = fullBox("svhd", source);
  // Pose yaw, pitch, roll 0; no cropping: all four bounds 0.
  const std::vector<uint8_t> prhd = fullBox("prhd", std::vector<uint8_t>(12, 0));
  const std::vector<uint8_t> equi = fullBox("equi", std::vector<uint8_t>(16, 0));
  std::vector<uint8_t> projPayload(prhd);
  projPayload.insert(projPayload.end(), equi.begin(), equi.end());
  std::vector<uint8_t> payload(svhd);
  const std::vector<uint8_t> proj = box("proj", projPayload);
  payload.insert(payload.end(), proj.begin(), proj.end());
  return box("sv3d", payload);
}

std::vector<uint8_t> makeSphericalUuidBox(const std::string& stitchingSoftware) {
  const std::string xml =
      "<?xml version=\"1.0\"?>"
      "<rdf:SphericalVideo xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\" "
      "xmlns:GSpherical=\"http://ns.google.com/videos/1.0/spherical/\">"
      "<GSpherical:Spherical>true</GSpherical:Spherical>"
      "<GSpherical:Stitched>true</GSpherical:Stitched>"
      "<GSpherical:StitchingSoftware>" +
      stitchingSoftware +
      "</GSpherical:StitchingSoftware>"
      "<GSpherical:ProjectionType>equirectangular</GSpherical:ProjectionType>"
      "</rdf:SphericalVideo>";
  std::vector<uint8_t> payload(kSphericalUuid, kSphericalUuid + 16);
  payload.insert(payload.end(), xml.begin(), xml.end());
  return box("uuid", payload);
}

}  // namespace tarn
