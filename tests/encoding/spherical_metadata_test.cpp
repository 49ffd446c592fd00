#include "encoding/spherical_metadata.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "encoding/mp4_box_tree.h"
#include "encoding/spherical_tagging.h"
#include "support/test_media.h"

namespace tarn {
namespace {

namespace fs = std::filesystem;
using test::decodedFrames;
using test::generatedMedia;
using test::runShell;
using test::ScratchDir;

std::vector<uint8_t> readBytes(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// A digest of every video and audio packet: equal digests mean the media data is untouched.
std::string packetDigest(const fs::path& file) {
  std::string out;
  runShell("ffmpeg -v error -nostdin -i '" + file.string() + "' -map 0 -c copy -f streamhash -",
           &out);
  return out;
}

std::string streamsText(const fs::path& file) {
  std::string out;
  runShell("ffprobe -v error -show_streams '" + file.string() + "'", &out);
  return out;
}

const char* kMovieArgs =
    "-f lavfi -i testsrc2=size=64x32:rate=25 -f lavfi -i sine=frequency=300 -t 0.4 -c:v libx264 "
    "-pix_fmt yuv420p -shortest ";

// A fresh copy of a generated movie in `dir`.
fs::path copyOf(const fs::path& movie, const ScratchDir& dir) {
  const fs::path copy = dir / movie.filename().string();
  fs::copy_file(movie, copy);
  return copy;
}

TEST(SphericalBoxes, BuildersWriteTheBoxesFfmpegReads) {
  EXPECT_EQ(makeSt3dMonoBox(),
            (std::vector<uint8_t>{0, 0, 0, 13, 's', 't', '3', 'd', 0, 0, 0, 0, 0}));
  const auto sv3d = makeSv3dEquirectangularBox("x");
  auto parsed = parseMp4Box(sv3d.data(), sv3d.size());
  ASSERT_TRUE(parsed);
  ASSERT_TRUE(parsed->expand(0));
  ASSERT_EQ(parsed->children.size(), 2u);
  EXPECT_EQ(parsed->children[0].type, "svhd");
  EXPECT_EQ(parsed->children[0].prefix, (std::vector<uint8_t>{0, 0, 0, 0, 'x', 0}));
  Mp4Box& proj = parsed->children[1];
  ASSERT_TRUE(proj.expand(0));
  ASSERT_EQ(proj.children.size(), 2u);
  EXPECT_EQ(proj.children[0].type, "prhd");
  EXPECT_EQ(proj.children[0].prefix.size(), 16u);
  EXPECT_EQ(proj.children[1].type, "equi");
  EXPECT_EQ(proj.children[1].prefix.size(), 20u);
  const auto uuid = makeSphericalUuidBox("Tarn");
  const std::string text(uuid.begin(), uuid.end());
  EXPECT_EQ(text.substr(4, 4), "uuid");
  EXPECT_EQ(std::vector<uint8_t>(uuid.begin() + 8, uuid.begin() + 24),
            std::vector<uint8_t>(kSphericalUuid, kSphericalUuid + 16));
  EXPECT_NE(text.find("<GSpherical:StitchingSoftware>Tarn</GSpherical:StitchingSoftware>"),
            std::string::npos);
}

std::vector<uint8_t> boxHeader(uint32_t size, const char* type) {
  return {static_cast<uint8_t>(size >> 24), static_cast<uint8_t>(size >> 16),
          static_cast<uint8_t>(size >> 8),  static_cast<uint8_t>(size),
          static_cast<uint8_t>(type[0]),    static_cast<uint8_t>(type[1]),
          static_cast<uint8_t>(type[2]),    static_cast<uint8_t>(type[3])};
}

TEST(Mp4BoxTree, NestingAndBoxCountAreBounded) {
  const auto nested = [](int depth) {
    std::vector<uint8_t> bytes;
    for (int i = 0; i < depth; ++i) {
      const auto header = boxHeader(static_cast<uint32_t>(8 * (depth - i)), "trak");
      bytes.insert(bytes.end(), header.begin(), header.end());
    }
    return bytes;
  };
  const auto deep = nested(kMaxBoxDepth);
  EXPECT_TRUE(parseMp4Box(deep.data(), deep.size()));
  const auto deeper = nested(kMaxBoxDepth + 2);
  EXPECT_FALSE(parseMp4Box(deeper.data(), deeper.size()));
  const auto hostile = nested(20000);  // once a stack overflow after gigabytes of copies
  EXPECT_FALSE(parseMp4Box(hostile.data(), hostile.size()));

  const auto flat = [](size_t children) {
    auto bytes = boxHeader(static_cast<uint32_t>(8 + 8 * children), "moov");
    for (size_t i = 0; i < children; ++i) {
      const auto child = boxHeader(8, "free");
      bytes.insert(bytes.end(), child.begin(), child.end());
    }
    return bytes;
  };
  const auto many = flat(kMaxBoxCount - 1);
  EXPECT_TRUE(parseMp4Box(many.data(), many.size()));
  const auto tooMany = flat(kMaxBoxCount);
  EXPECT_FALSE(parseMp4Box(tooMany.data(), tooMany.size()));
}

TEST(Mp4BoxTree, ReadsAndWritesAMovieHeaderUnchanged) {
  const fs::path movie = generatedMedia("spherical-plain.mp4", kMovieArgs);
  ASSERT_FALSE(movie.empty());
  std::string error;
  const auto boxes = listTopLevelBoxes(movie.string(), &error);
  ASSERT_TRUE(boxes) << error;
  const auto bytes = readBytes(movie);
  for (const auto& top : *boxes) {
    if (top.type != "moov") continue;
    const auto moov = parseMp4Box(bytes.data() + top.offset, static_cast<size_t>(top.size));
    ASSERT_TRUE(moov);
    std::vector<uint8_t> written;
    moov->write(written);
    EXPECT_EQ(written,
              std::vector<uint8_t>(bytes.begin() + static_cast<long>(top.offset),
                                   bytes.begin() + static_cast<long>(top.offset + top.size)));
    EXPECT_GE(firstVideoTrack(*moov), 0);
  }
  // Not a box file at all.
  const ScratchDir dir;
  std::ofstream(dir / "text.mp4") << "hello, this is text and no movie";
  EXPECT_FALSE(listTopLevelBoxes((dir / "text.mp4").string(), &error));
  EXPECT_FALSE(writeSphericalBoxes((dir / "text.mp4").string(), "t", &error));
  EXPECT_EQ(fs::file_size(dir / "text.mp4"), 32u);
}

// Tags a copy of `movie` and checks both forms, their places, and untouched media data.
void expectTaggedInPlace(const fs::path& movie, const std::string& sampleEntry) {
  SCOPED_TRACE(movie.filename().string());
  const ScratchDir dir;
  const fs::path copy = copyOf(movie, dir);
  const SphericalReport before = readSphericalMetadata(copy.string());
  EXPECT_TRUE(before.readable);
  EXPECT_FALSE(before.v1Present || before.sv3dPresent || before.st3dPresent);
  EXPECT_EQ(describeSpherical(before), "spherical metadata: none");
  const std::string digest = packetDigest(copy);
  const int frames = decodedFrames(copy);

  std::string error;
  ASSERT_TRUE(writeSphericalBoxes(copy.string(), "Tarn", &error)) << error;
  // A second run replaces the boxes rather than adding more.
  ASSERT_TRUE(writeSphericalBoxes(copy.string(), "Tarn", &error)) << error;

  const SphericalReport report = readSphericalMetadata(copy.string());
  EXPECT_TRUE(report.equirectangular()) << describeSpherical(report);
  EXPECT_EQ(report.v1Location, "moov/trak[1]/uuid");
  EXPECT_EQ(report.sv3dLocation, "moov/trak[1]/mdia/minf/stbl/stsd/" + sampleEntry + "/sv3d");
  EXPECT_EQ(report.st3dLocation, "moov/trak[1]/mdia/minf/stbl/stsd/" + sampleEntry + "/st3d");
  EXPECT_EQ(report.stereoMode, 0);
  EXPECT_EQ(report.sideDataProjection, "equirectangular");
  const std::string streams = streamsText(copy);
  EXPECT_NE(streams.find("side_data_type=Spherical Mapping"), std::string::npos);
  EXPECT_NE(streams.find("projection=equirectangular"), std::string::npos);
  EXPECT_EQ(packetDigest(copy), digest);
  EXPECT_EQ(decodedFrames(copy), frames);
  EXPECT_EQ(runShell("ffmpeg -v error -nostdin -i '" + copy.string() + "' -f null - 2>&1"), 0);

  std::ifstream in(copy, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  const std::string content = text.str();
  EXPECT_EQ(content.find("sv3d"), content.rfind("sv3d"));
  EXPECT_EQ(content.find("GSpherical:Spherical>true"), content.rfind("GSpherical:Spherical>true"));
}

TEST(SphericalTagging, Mp4WithTheMovieHeaderLast) {
  // The video track second, behind the sound, so the walker has to pick it by its handler.
  const fs::path movie = generatedMedia(
      "spherical-moov-last.mp4",
      "-f lavfi -i sine=frequency=300 -f lavfi -i testsrc2=size=64x32:rate=25 -t 0.4 -map 0:a "
      "-map 1:v -c:v libx264 -pix_fmt yuv420p -c:a aac -shortest");
  ASSERT_FALSE(movie.empty());
  std::string error;
  const auto boxes = listTopLevelBoxes(movie.string(), &error);
  ASSERT_TRUE(boxes);
  ASSERT_EQ(boxes->back().type, "moov");
  expectTaggedInPlace(movie, "avc1");
}

TEST(SphericalTagging, MovAndM4vWithTheMovieHeaderFirst) {
  const std::string args =
      "-f lavfi -i sine=frequency=300 -f lavfi -i testsrc2=size=64x32:rate=25 -t 0.4 -map 0:a "
      "-map 1:v -c:v libx264 -pix_fmt yuv420p -shortest -movflags +faststart ";
  const fs::path mov = generatedMedia("spherical-first.mov", args + "-c:a libmp3lame");
  const fs::path m4v = generatedMedia("spherical-first.m4v", args + "-c:a aac -f ipod");
  ASSERT_FALSE(mov.empty());
  ASSERT_FALSE(m4v.empty());
  std::string error;
  const auto boxes = listTopLevelBoxes(mov.string(), &error);
  ASSERT_TRUE(boxes);
  ASSERT_EQ((*boxes)[1].type, "moov");  // after ftyp, before the media data
  expectTaggedInPlace(mov, "avc1");
  expectTaggedInPlace(m4v, "avc1");
}

TEST(SphericalTagging, ChunkOffsetsMoveWithTheHeaderAndStopAt4GiB) {
  // stco with offsets 100 and 5000: only the one after the header moves.
  std::vector<uint8_t> stco = {0, 0, 0, 24, 's', 't', 'c', 'o', 0, 0, 0,    0,
                               0, 0, 0, 2,  0,   0,   0,   100, 0, 0, 0x13, 0x88};
  auto box = parseMp4Box(stco.data(), stco.size());
  ASSERT_TRUE(box);
  Mp4Box moov;
  moov.type = "moov";
  moov.expanded = true;
  moov.children.push_back(*box);
  ASSERT_TRUE(shiftChunkOffsets(moov, 1000, 300));
  const auto& shifted = moov.children[0].prefix;
  EXPECT_EQ(std::vector<uint8_t>(shifted.begin() + 8, shifted.end()),
            (std::vector<uint8_t>{0, 0, 0, 100, 0, 0, 0x14, 0xB4}));
  EXPECT_FALSE(shiftChunkOffsets(moov, 1000, 0xFFFFFFFFll));
}

TEST(SphericalTagging, WebmCarriesTheProjectionAfterAStreamCopy) {
  const fs::path movie = generatedMedia(
      "spherical-plain.webm",
      "-f lavfi -i testsrc2=size=64x32:rate=25 -f lavfi -i sine=frequency=300 -t 0.4 -c:v "
      "libvpx-vp9 -deadline realtime -cpu-used 8 -c:a libopus -shortest");
  ASSERT_FALSE(movie.empty());
  const ScratchDir dir;
  const fs::path copy = copyOf(movie, dir);
  EXPECT_EQ(readSphericalMetadata(copy.string()).sideDataProjection, "");
  const std::string digest = packetDigest(copy);
  const int frames = decodedFrames(copy);
  std::string error;
  ASSERT_TRUE(writeMatroskaProjection(copy.string(), &error)) << error;
  const SphericalReport report = readSphericalMetadata(copy.string());
  EXPECT_FALSE(report.boxFile);
  EXPECT_TRUE(report.equirectangular());
  EXPECT_EQ(describeSpherical(report), "spherical metadata: projection equirectangular");
  EXPECT_NE(streamsText(copy).find("projection=equirectangular"), std::string::npos);
  EXPECT_EQ(packetDigest(copy), digest);
  EXPECT_EQ(decodedFrames(copy), frames);
  // The working copy is gone: the file is alone in its folder.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

}  // namespace
}  // namespace tarn
