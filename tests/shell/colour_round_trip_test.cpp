// Colours through a whole conversion: an input of colour patches and a logo of two colours,
// converted into every container, decoded back as a player does (the file's own colour labels,
// untagged pictures by their height) and compared patch by patch with the decoded input.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

#include "support/conversion_rig.h"
#include "support/test_media.h"

namespace tarn {
namespace {
namespace fs = std::filesystem;

using Rgb = std::array<double, 3>;

struct Picture {
  int width = 0;
  int height = 0;
  std::vector<unsigned char> rgb;  // top row first

  // The mean colour of the rectangle [x0, x1) x [y0, y1).
  Rgb mean(int x0, int y0, int x1, int y1) const {
    Rgb sum{0, 0, 0};
    for (int y = y0; y < y1; ++y) {
      for (int x = x0; x < x1; ++x) {
        for (int c = 0; c < 3; ++c) sum[c] += rgb[(static_cast<size_t>(y) * width + x) * 3 + c];
      }
    }
    const double count = static_cast<double>(x1 - x0) * (y1 - y0);
    return {sum[0] / count, sum[1] / count, sum[2] / count};
  }
};

std::string probeValue(const fs::path& file, const std::string& entry) {
  std::string text;
  test::runShell("ffprobe -v error -select_streams v:0 -show_entries stream=" + entry +
                     " -of default=nw=1:nk=1 '" + file.string() + "'",
                 &text);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

// The first picture of `file` in RGB, read with the matrix and range its labels give; unlabelled
// pictures are BT.601 below 720 lines and BT.709 from 720 up.
Picture decodeAsPlayersDo(const fs::path& file) {
  Picture picture;
  picture.width = std::stoi(probeValue(file, "width"));
  picture.height = std::stoi(probeValue(file, "height"));
  const std::string space = probeValue(file, "color_space");
  std::string matrix = picture.height >= 720 ? "bt709" : "bt601";
  if (space == "bt709") matrix = "bt709";
  if (space == "bt470bg" || space == "smpte170m") matrix = "bt601";
  const std::string format = probeValue(file, "pix_fmt");
  const std::string range =
      probeValue(file, "color_range") == "pc" || format.rfind("yuvj", 0) == 0 ? "pc" : "tv";
  const test::ScratchDir scratch;
  const fs::path raw = scratch / "picture.rgb";
  EXPECT_EQ(test::runShell("ffmpeg -v error -nostdin -y -i '" + file.string() +
                           "' -frames:v 1 -vf scale=in_color_matrix=" + matrix + ":in_range=" +
                           range + " -pix_fmt rgb24 -f rawvideo '" + raw.string() + "'"),
            0);
  std::ifstream in(raw, std::ios::binary);
  picture.rgb.assign(std::istreambuf_iterator<char>(in), {});
  EXPECT_EQ(picture.rgb.size(), static_cast<size_t>(picture.width) * picture.height * 3);
  picture.rgb.resize(static_cast<size_t>(picture.width) * picture.height * 3);
  return picture;
}

std::string hex(const std::array<int, 3>& c) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%02X%02X%02X", c[0], c[1], c[2]);
  return text;
}

// Eight patches side by side, 80 x 160 each: the reds and greens players got wrong, and more.
const std::array<int, 3> kPatches[] = {{252, 0, 0},    {0, 255, 2},     {13, 160, 56},
                                       {0, 0, 250},    {240, 240, 240}, {128, 128, 128},
                                       {250, 220, 20}, {200, 30, 200}};
const std::array<int, 3> kLogoLeft{13, 160, 56};
const std::array<int, 3> kLogoRight{230, 120, 40};

fs::path patchMovie() {
  std::string graph;
  std::string stack;
  for (size_t i = 0; i < std::size(kPatches); ++i) {
    graph += "color=c=" + hex(kPatches[i]) + ":s=80x160:r=25:d=1[p" + std::to_string(i) + "];";
    stack += "[p" + std::to_string(i) + "]";
  }
  graph += stack + "hstack=inputs=8";
  return test::generatedMedia(
      "colour-patches-640x160.mp4",
      "-f lavfi -i '" + graph + "' -c:v libx264 -crf 8 -pix_fmt yuv420p -an");
}

fs::path twoColourLogo() {
  return test::generatedMedia("colour-logo-960x100.jpg",
                              "-f lavfi -i 'color=c=" + hex(kLogoLeft) +
                                  ":s=480x100[a];color=c=" + hex(kLogoRight) +
                                  ":s=480x100[b];[a][b]hstack' -frames:v 1 -q:v 1");
}

void expectNear(const Rgb& got, const Rgb& want, const std::string& what) {
  for (int c = 0; c < 3; ++c) {
    EXPECT_NEAR(got[c], want[c], 3)
        << what << " channel " << c << ": got (" << got[0] << ", " << got[1] << ", " << got[2]
        << "), input (" << want[0] << ", " << want[1] << ", " << want[2] << ")";
  }
}

TEST(ColourRoundTrip, EveryContainerKeepsPatchAndLogoColoursWithinThree) {
  const fs::path movie = patchMovie();
  const fs::path logo = twoColourLogo();
  ASSERT_FALSE(movie.empty());
  ASSERT_FALSE(logo.empty());
  const Picture input = decodeAsPlayersDo(movie);
  const Picture logoPicture = decodeAsPlayersDo(logo);
  ASSERT_EQ(input.width, 640);
  // The input itself carries the patches (a check of the reference, with the input's own loss).
  for (size_t i = 0; i < std::size(kPatches); ++i) {
    const int x = static_cast<int>(i) * 80;
    const Rgb nominal{double(kPatches[i][0]), double(kPatches[i][1]), double(kPatches[i][2])};
    expectNear(input.mean(x + 15, 40, x + 65, 120), nominal, "input patch " + std::to_string(i));
  }
  const Rgb logoLeft = logoPicture.mean(60, 20, 420, 80);
  const Rgb logoRight = logoPicture.mean(540, 20, 900, 80);

  for (const char* extension : {".flv", ".avi", ".mov", ".mp4", ".m4v", ".ogv", ".webm"}) {
    SCOPED_TRACE(extension);
    const test::ScratchDir dir;
    const fs::path output = dir / (std::string("out") + extension);
    std::string text;
    const int status =
        test::runShell("'" + (test::binDir() / "tarn-convert").string() + "' '" + movie.string() +
                           "' '" + output.string() + "' --logo '" + logo.string() + "' --temp '" +
                           (dir / "temp").string() + "' 2>&1",
                       &text);
    ASSERT_EQ(status, 0) << text;
    // Theora stores nothing for a picture that repeats the last one, so a still scene counts
    // short there; every other container holds every frame.
    if (std::string(extension) != ".ogv") test::expectWholeMovie(movie, output);
    const Picture out = decodeAsPlayersDo(output);
    ASSERT_EQ(out.width, 640);
    ASSERT_EQ(out.height, 320);
    // The strip sits in the middle band (rows 80 to 240), the logo upright below it and turned
    // by 180 degrees above it.
    for (size_t i = 0; i < std::size(kPatches); ++i) {
      const int x = static_cast<int>(i) * 80;
      expectNear(out.mean(x + 15, 130, x + 65, 190), input.mean(x + 15, 50, x + 65, 110),
                 "patch " + std::to_string(i));
    }
    expectNear(out.mean(40, 260, 280, 300), logoLeft, "nadir logo, left");
    expectNear(out.mean(360, 260, 600, 300), logoRight, "nadir logo, right");
    expectNear(out.mean(40, 20, 280, 60), logoRight, "zenith logo, left");
    expectNear(out.mean(360, 20, 600, 60), logoLeft, "zenith logo, right");
  }
}

}  // namespace
}  // namespace tarn
