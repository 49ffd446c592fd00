#include "conversion/logo_picture.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "support/recording_frontend.h"
#include "support/test_media.h"

namespace tarn {
namespace {

std::vector<uint8_t> fileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

std::filesystem::path logoFile(const std::string& name, const std::string& size) {
  return test::generatedMedia(name, "-f lavfi -i testsrc2=size=" + size + " -frames:v 1");
}

TEST(LoadPicture, GivesThePictureSizeAndBottomUpPixelsWithSlack) {
  // Red over blue: the blue half comes first in memory.
  const auto path =
      test::generatedMedia("logo-red-over-blue.png",
                           "-f lavfi -i color=c=red:s=600x50 -vf pad=600:100:0:0:blue -frames:v 1");
  const PictureLoadResult loaded = loadPicture(fileBytes(path));
  ASSERT_EQ(loaded.failure, PictureLoadFailure::none);
  EXPECT_EQ(loaded.picture.width, 600);
  EXPECT_EQ(loaded.picture.height, 100);
  ASSERT_EQ(loaded.picture.pixels.size(), size_t{604} * 104 * 4);
  const uint8_t* bottom = &loaded.picture.pixels[0];
  EXPECT_GT(bottom[0], 200);  // blue
  EXPECT_LT(bottom[2], 50);
  const uint8_t* top = &loaded.picture.pixels[size_t{99} * 600 * 4];
  EXPECT_LT(top[0], 50);
  EXPECT_GT(top[2], 200);  // red
  EXPECT_EQ(loaded.picture.pixels.back(), 0);
}

TEST(LoadPicture, RefusesWhatItCannotDecodeOrHold) {
  EXPECT_EQ(loadPicture({}).failure, PictureLoadFailure::undecodable);
  const std::string text = "this is not a picture at all, just some words";
  EXPECT_EQ(loadPicture(std::vector<uint8_t>(text.begin(), text.end())).failure,
            PictureLoadFailure::undecodable);
  const auto jpeg = logoFile("logo-600x100.jpg", "600x100");
  EXPECT_EQ(loadPicture(fileBytes(jpeg), 600 * 100 - 1).failure, PictureLoadFailure::tooLarge);
  EXPECT_EQ(loadPicture(fileBytes(jpeg), 600 * 100).failure, PictureLoadFailure::none);
}

TEST(AcceptLogo, ShapeRuleAndItsMessage) {
  EXPECT_TRUE(logoShapeAccepted(6000, 1000));
  EXPECT_FALSE(logoShapeAccepted(5999, 1000));
  EXPECT_FALSE(logoShapeAccepted(0, 0));

  test::RecordingFrontend frontend;
  LogoPicture logo;
  ASSERT_TRUE(acceptLogo(logo, frontend, logoFile("logo-600x100.jpg", "600x100")));
  EXPECT_EQ(logo.logoPresent, 1);
  EXPECT_EQ(logo.logoWidth, 600);
  EXPECT_EQ(logo.logoHeight, 100);
  // A quarter more than the pixels, the extra bytes zero.
  ASSERT_EQ(logo.logoPixels.size(), size_t{600} * 100 * 5);
  EXPECT_TRUE(std::all_of(logo.logoPixels.begin() + 600 * 100 * 4, logo.logoPixels.end(),
                          [](uint8_t b) { return b == 0; }));
  EXPECT_EQ(frontend.logoStatus(), "Logo present, spherical format");
  EXPECT_TRUE(frontend.messages().empty());

  for (const auto& refused :
       {logoFile("logo-599x100.jpg", "599x100"), test::testMediaDir() / "no-such-logo.jpg"}) {
    test::RecordingFrontend refusing;
    const auto keptPixels = logo.logoPixels;
    EXPECT_FALSE(acceptLogo(logo, refusing, refused));
    EXPECT_EQ(logo.logoPresent, 0);
    EXPECT_EQ(logo.logoPixels, keptPixels);
    EXPECT_EQ(refusing.logoStatus(), "Logo not present, cylindrical format");
    ASSERT_EQ(refusing.messages().size(), 1u);
    EXPECT_EQ(refusing.messages()[0].text, "Bad Logo format.");
    EXPECT_EQ(refusing.messages()[0].caption, "Logo Image Error");
    EXPECT_EQ(refusing.messages()[0].icon, MessageIcon::error);
  }
}

}  // namespace
}  // namespace tarn
