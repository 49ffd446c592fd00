// Renders the program's icon for the desktop at build time: PNG files for the hicolor sizes and a
// scalable SVG, drawn by the same code as the window's own icon, on cairo (no display needed).
//
//   tarn-icon-render OUTPUT_FOLDER NAME
//
// writes OUTPUT_FOLDER/<n>x<n>/apps/NAME.png for every size and
// OUTPUT_FOLDER/scalable/apps/NAME.svg.
#include <cairo-svg.h>
#include <cairo.h>
#include <wx/graphics.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "resources/resources.h"

namespace {
namespace fs = std::filesystem;

constexpr int kSizes[] = {16, 22, 24, 32, 48, 64, 128, 256};
constexpr int kScalableSize = 256;

bool draw(cairo_surface_t* surface, int size) {
  cairo_t* cairo = cairo_create(surface);
  {
    std::unique_ptr<wxGraphicsContext> gc(
        wxGraphicsRenderer::GetCairoRenderer()->CreateContextFromNativeContext(cairo));
    if (!gc) {
      cairo_destroy(cairo);
      return false;
    }
    gc->SetAntialiasMode(wxANTIALIAS_DEFAULT);
    tarn::drawVideoIcon(*gc, size);
  }
  const bool good = cairo_status(cairo) == CAIRO_STATUS_SUCCESS;
  cairo_destroy(cairo);
  return good;
}

fs::path appsFolder(const fs::path& root, const std::string& sizeName) {
  const fs::path folder = root / sizeName / "apps";
  fs::create_directories(folder);
  return folder;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: tarn-icon-render OUTPUT_FOLDER NAME\n");
    return 2;
  }
  const fs::path root = argv[1];
  const std::string name = argv[2];
  for (int size : kSizes) {
    const std::string sizeName = std::to_string(size) + "x" + std::to_string(size);
    const fs::path file = appsFolder(root, sizeName) / (name + ".png");
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, size, size);
    const bool good = draw(surface, size) && cairo_surface_write_to_png(surface, file.c_str()) == 0;
    cairo_surface_destroy(surface);
    if (!good) {
      std::fprintf(stderr, "tarn-icon-render: cannot write %s\n", file.c_str());
      return 1;
    }
  }
  const fs::path svg = appsFolder(root, "scalable") / (name + ".svg");
  cairo_surface_t* surface = cairo_svg_surface_create(svg.c_str(), kScalableSize, kScalableSize);
  bool good = draw(surface, kScalableSize);
  cairo_surface_finish(surface);
  good = good && cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS;
  cairo_surface_destroy(surface);
  if (!good) {
    std::fprintf(stderr, "tarn-icon-render: cannot write %s\n", svg.c_str());
    return 1;
  }
  return 0;
}
