#include "resources/resources.h"

#include <wx/dcmemory.h>
#include <wx/graphics.h>
#include <wx/image.h>

#include <cmath>
#include <numbers>

#include "resources/tick_wave.h"

// One palette for every picture: deep steel blues with a cool cyan accent, light text.
namespace tarn {
namespace {

const wxColour kInk(232, 238, 248);
const wxColour kAccent(120, 200, 255);
const wxColour kDeep(20, 50, 195);  // the About window's blue

struct ButtonLook {
  wxColour top, bottom, border, highlight, text, glyph;
  int offset = 0;  // pressed captions sink by one pixel
};

ButtonLook lookFor(int state) {
  switch (state) {
    case 2:  // pressed
      return {wxColour(30, 37, 52),
              wxColour(58, 70, 94),
              wxColour(12, 15, 22),
              wxColour(0, 0, 0, 0),
              wxColour(196, 208, 228),
              wxColour(100, 170, 225),
              1};
    case 3:  // hovered
      return {wxColour(104, 142, 204),
              wxColour(48, 82, 140),
              wxColour(156, 200, 255),
              wxColour(255, 255, 255, 90),
              wxColour(255, 255, 255),
              wxColour(255, 255, 255),
              0};
    default:
      return {wxColour(88, 102, 128),
              wxColour(40, 49, 68),
              wxColour(20, 25, 36),
              wxColour(255, 255, 255, 55),
              kInk,
              kAccent,
              0};
  }
}

wxFont captionFont(double points, bool bold) {
  wxFontInfo info(points);
  info.Family(wxFONTFAMILY_SWISS).FaceName("Nimbus Sans");
  if (bold) info.Bold();
  return wxFont(info);
}

wxFont serifFont(double points, bool bold, bool italic) {
  wxFontInfo info(points);
  info.Family(wxFONTFAMILY_ROMAN).FaceName("Times New Roman");
  if (bold) info.Bold();
  if (italic) info.Italic();
  return wxFont(info);
}

// Draws into a fresh 24-bit bitmap through an anti-aliased graphics context.
template <typename Paint>
wxBitmap paintBitmap(int width, int height, const wxColour& background, Paint paint) {
  wxBitmap bitmap(width, height, 24);
  wxMemoryDC dc(bitmap);
  dc.SetBackground(wxBrush(background));
  dc.Clear();
  {
    std::unique_ptr<wxGraphicsContext> gc(wxGraphicsContext::Create(dc));
    if (gc) {
      gc->SetAntialiasMode(wxANTIALIAS_DEFAULT);
      paint(*gc);
    }
  }
  dc.SelectObject(wxNullBitmap);
  return bitmap;
}

enum class Glyph { folder, playPause, convert, disk, stop, picture, question };

void drawGlyph(wxGraphicsContext& gc, Glyph glyph, double x, double y, const wxColour& colour) {
  gc.SetPen(wxPen(colour, 1));
  gc.SetBrush(wxBrush(colour));
  wxGraphicsPath path = gc.CreatePath();
  switch (glyph) {
    case Glyph::folder:
      path.MoveToPoint(x, y + 3);
      path.AddLineToPoint(x + 5, y + 3);
      path.AddLineToPoint(x + 6.5, y + 5);
      path.AddLineToPoint(x + 14, y + 5);
      path.AddLineToPoint(x + 14, y + 13);
      path.AddLineToPoint(x, y + 13);
      path.CloseSubpath();
      gc.FillPath(path);
      break;
    case Glyph::playPause:
      path.MoveToPoint(x, y + 2);
      path.AddLineToPoint(x + 7, y + 7.5);
      path.AddLineToPoint(x, y + 13);
      path.CloseSubpath();
      gc.FillPath(path);
      gc.DrawRectangle(x + 9, y + 3, 2, 9);
      gc.DrawRectangle(x + 13, y + 3, 2, 9);
      break;
    case Glyph::convert: {
      // A lens ring unrolling into a flat panorama.
      gc.SetBrush(*wxTRANSPARENT_BRUSH);
      gc.SetPen(wxPen(colour, 2));
      gc.DrawEllipse(x, y + 3, 8, 8);
      gc.SetPen(wxPen(colour, 1));
      gc.SetBrush(wxBrush(colour));
      path.MoveToPoint(x + 9.5, y + 5.5);
      path.AddLineToPoint(x + 12, y + 7);
      path.AddLineToPoint(x + 9.5, y + 8.5);
      path.CloseSubpath();
      gc.FillPath(path);
      gc.DrawRectangle(x + 12.5, y + 4, 3.5, 6);
      break;
    }
    case Glyph::disk:
      gc.DrawRectangle(x + 1, y + 1, 13, 13);
      gc.SetBrush(wxBrush(wxColour(40, 49, 68)));
      gc.SetPen(*wxTRANSPARENT_PEN);
      gc.DrawRectangle(x + 4, y + 2, 7, 4);
      gc.DrawRectangle(x + 3, y + 9, 9, 4);
      break;
    case Glyph::stop:
      gc.DrawRoundedRectangle(x + 2, y + 3, 10, 10, 1.5);
      break;
    case Glyph::picture:
      gc.SetBrush(*wxTRANSPARENT_BRUSH);
      gc.DrawRectangle(x + 0.5, y + 2.5, 14, 11);
      gc.SetBrush(wxBrush(colour));
      path.MoveToPoint(x + 2, y + 12);
      path.AddLineToPoint(x + 6, y + 6);
      path.AddLineToPoint(x + 9, y + 10);
      path.AddLineToPoint(x + 10.5, y + 8);
      path.AddLineToPoint(x + 13, y + 12);
      path.CloseSubpath();
      gc.FillPath(path);
      gc.DrawEllipse(x + 10, y + 4, 2.5, 2.5);
      break;
    case Glyph::question: {
      gc.DrawEllipse(x, y + 1, 14, 14);
      gc.SetFont(captionFont(8, true), wxColour(40, 49, 68));
      double w = 0, h = 0;
      gc.GetTextExtent("?", &w, &h);
      gc.DrawText("?", x + 7 - w / 2, y + 8 - h / 2);
      break;
    }
  }
}

wxBitmap pictureButton(int width, const wxString& caption, Glyph glyph, int state) {
  const ButtonLook look = lookFor(state);
  return paintBitmap(width, 24, look.border, [&](wxGraphicsContext& gc) {
    gc.SetPen(*wxTRANSPARENT_PEN);
    gc.SetBrush(gc.CreateLinearGradientBrush(0, 1, 0, 23, look.top, look.bottom));
    gc.DrawRectangle(1, 1, width - 2, 22);
    if (look.highlight.Alpha() > 0) {
      gc.SetPen(wxPen(look.highlight, 1));
      gc.StrokeLine(1.5, 1.5, width - 1.5, 1.5);
    }
    if (state == 2) {  // inner shadow along the top and left edges
      gc.SetPen(wxPen(wxColour(0, 0, 0, 110), 1));
      gc.StrokeLine(1.5, 1.5, width - 1.5, 1.5);
      gc.StrokeLine(1.5, 1.5, 1.5, 22.5);
    }
    const double glyphX = width > 120 ? 10 : 7;
    drawGlyph(gc, glyph, glyphX + look.offset, 4 + look.offset, look.glyph);
    gc.SetFont(captionFont(9, true), look.text);
    double w = 0, h = 0;
    gc.GetTextExtent(caption, &w, &h);
    const double left = glyphX + 18;
    const double x = left + (width - left - 6 - w) / 2;
    gc.DrawText(caption, x + look.offset, (24 - h) / 2 + look.offset);
  });
}

wxBitmap progressTile() {
  // "tomline": 50 x 18, stretched sideways into the progress strip.
  return paintBitmap(50, 18, wxColour(11, 93, 143), [](wxGraphicsContext& gc) {
    gc.SetPen(*wxTRANSPARENT_PEN);
    wxGraphicsGradientStops stops(wxColour(190, 240, 255), wxColour(8, 80, 128));
    stops.Add(wxColour(80, 190, 240), 0.45);
    stops.Add(wxColour(30, 140, 205), 0.55);
    gc.SetBrush(gc.CreateLinearGradientBrush(0, 0, 0, 18, stops));
    gc.DrawRectangle(0, 0, 50, 18);
  });
}

wxBitmap reelFrame(int frame) {
  // "load1".."load4": a film reel turning by a quarter of its 72-degree symmetry per frame.
  return paintBitmap(100, 100, wxColour(119, 119, 119), [frame](wxGraphicsContext& gc) {
    const double cx = 50, cy = 50;
    gc.SetPen(wxPen(wxColour(156, 200, 255), 3));
    gc.SetBrush(gc.CreateRadialGradientBrush(cx - 12, cy - 14, cx, cy, 50, wxColour(88, 102, 128),
                                             wxColour(24, 30, 44)));
    gc.DrawEllipse(cx - 44, cy - 44, 88, 88);
    gc.SetPen(*wxTRANSPARENT_PEN);
    gc.SetBrush(wxBrush(wxColour(119, 119, 119)));
    const double turn = frame * 18.0 * std::numbers::pi / 180.0;
    for (int hole = 0; hole < 5; ++hole) {
      const double angle = turn + hole * 2.0 * std::numbers::pi / 5.0;
      gc.DrawEllipse(cx + 25 * std::cos(angle) - 10, cy + 25 * std::sin(angle) - 10, 20, 20);
    }
    gc.SetBrush(wxBrush(kAccent));
    gc.DrawEllipse(cx - 7, cy - 7, 14, 14);
    gc.SetBrush(wxBrush(wxColour(24, 30, 44)));
    gc.DrawEllipse(cx - 3, cy - 3, 6, 6);
    // A highlight travelling round the rim makes the motion easy to read.
    gc.SetPen(wxPen(wxColour(255, 255, 255), 3));
    gc.SetBrush(*wxTRANSPARENT_BRUSH);
    wxGraphicsPath arc = gc.CreatePath();
    const double start = frame * std::numbers::pi / 2.0;
    arc.AddArc(cx, cy, 44, start, start + 0.9, true);
    gc.StrokePath(arc);
  });
}

// A lens ring unrolled into a strip: the product's emblem, used by the splash and the icon.
void drawEmblem(wxGraphicsContext& gc, double x, double y, double size) {
  const double r = size / 2;
  gc.SetPen(*wxTRANSPARENT_PEN);
  gc.SetBrush(gc.CreateRadialGradientBrush(x + r, y + r, x + r, y + r, r, wxColour(140, 215, 255),
                                           wxColour(20, 70, 170)));
  gc.DrawEllipse(x, y, size, size);
  gc.SetBrush(wxBrush(wxColour(12, 22, 48)));
  gc.DrawEllipse(x + r * 0.55, y + r * 0.55, r * 0.9, r * 0.9);
  gc.SetPen(wxPen(wxColour(255, 255, 255, 120), std::max(1.0, size / 40)));
  gc.SetBrush(*wxTRANSPARENT_BRUSH);
  gc.DrawEllipse(x + size * 0.06, y + size * 0.06, size * 0.88, size * 0.88);
}

void drawPanoramaStrip(wxGraphicsContext& gc, double x, double y, double w, double h) {
  gc.SetPen(wxPen(wxColour(156, 200, 255), 1));
  gc.SetBrush(
      gc.CreateLinearGradientBrush(x, y, x, y + h, wxColour(90, 170, 240), wxColour(20, 60, 140)));
  gc.DrawRectangle(x, y, w, h);
  wxGraphicsPath hills = gc.CreatePath();
  hills.MoveToPoint(x, y + h);
  const int steps = 12;
  for (int i = 0; i <= steps; ++i) {
    const double px = x + w * i / steps;
    const double py = y + h * (0.62 + 0.18 * std::sin(i * 1.7) + 0.08 * std::cos(i * 3.1));
    hills.AddLineToPoint(px, py);
  }
  hills.AddLineToPoint(x + w, y + h);
  hills.CloseSubpath();
  gc.SetPen(*wxTRANSPARENT_PEN);
  gc.SetBrush(wxBrush(wxColour(10, 26, 60)));
  gc.FillPath(hills);
}

wxBitmap titleBanner() {
  // "TITLE": 640 x 154, the splash window's banner.
  return paintBitmap(640, 154, wxColour(10, 20, 45), [](wxGraphicsContext& gc) {
    gc.SetPen(*wxTRANSPARENT_PEN);
    gc.SetBrush(gc.CreateLinearGradientBrush(0, 0, 640, 154, wxColour(8, 16, 40), kDeep));
    gc.DrawRectangle(0, 0, 640, 154);
    drawEmblem(gc, 22, 27, 100);
    gc.SetBrush(wxBrush(kAccent));
    wxGraphicsPath arrow = gc.CreatePath();
    arrow.MoveToPoint(134, 68);
    arrow.AddLineToPoint(150, 77);
    arrow.AddLineToPoint(134, 86);
    arrow.CloseSubpath();
    gc.FillPath(arrow);
    drawPanoramaStrip(gc, 160, 60, 90, 34);

    gc.SetFont(serifFont(30, true, true), wxColour(255, 255, 255));
    gc.DrawText("Kestrova Tarn", 272, 22);
    gc.SetFont(serifFont(22, true, true), kAccent);
    gc.DrawText("Video Converter", 274, 66);
    gc.SetFont(captionFont(9.5, false), wxColour(200, 214, 236));
    gc.DrawText("Panoramic lens movies into rectangular panoramas", 276, 108);
    gc.SetPen(wxPen(wxColour(120, 200, 255, 140), 1));
    gc.StrokeLine(276, 102, 620, 102);
    gc.SetFont(captionFont(8, false), wxColour(160, 180, 210));
    gc.DrawText("v1.0 Build 002.02", 540, 130);
  });
}

wxBitmap patentPlate() {
  // "patent": 244 x 212, the About window's plate; its right half stays calm for the texts
  // that the window lays over it.
  return paintBitmap(244, 212, kDeep, [](wxGraphicsContext& gc) {
    gc.SetPen(*wxTRANSPARENT_PEN);
    gc.SetBrush(
        gc.CreateLinearGradientBrush(0, 0, 0, 212, wxColour(30, 66, 210), wxColour(10, 26, 110)));
    gc.DrawRectangle(0, 0, 244, 212);
    // Seal: rays round a ring.
    const double cx = 58, cy = 128;
    gc.SetPen(wxPen(wxColour(180, 170, 95), 2));
    for (int ray = 0; ray < 24; ++ray) {
      const double a = ray * std::numbers::pi / 12.0;
      gc.StrokeLine(cx + 34 * std::cos(a), cy + 34 * std::sin(a), cx + 46 * std::cos(a),
                    cy + 46 * std::sin(a));
    }
    drawEmblem(gc, cx - 32, cy - 32, 64);
    gc.SetFont(serifFont(11, true, true), wxColour(220, 210, 120));
    gc.DrawText("Kestrova Inc.", 116, 140);
    gc.SetFont(captionFont(7.5, false), wxColour(200, 210, 235));
    gc.DrawText("Panoramic lens video tools", 116, 160);
    drawPanoramaStrip(gc, 116, 178, 112, 18);
  });
}

wxBitmap videoIconBitmap(int size) {
  wxImage image(size, size);
  image.InitAlpha();
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x) image.SetAlpha(x, y, 0);
  wxBitmap bitmap(image, 32);
  {
    wxMemoryDC dc(bitmap);
    std::unique_ptr<wxGraphicsContext> gc(wxGraphicsContext::Create(dc));
    if (gc) drawVideoIcon(*gc, size);
  }
  return bitmap;
}

wxCursor pointerCursor() {
  // "autor": an arrow in the product's blue with a light rim; hot spot at the tip.
  constexpr int size = 32;
  wxImage image(size, size);
  image.InitAlpha();
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x) image.SetAlpha(x, y, 0);
  wxBitmap bitmap(image, 32);
  {
    wxMemoryDC dc(bitmap);
    std::unique_ptr<wxGraphicsContext> gc(wxGraphicsContext::Create(dc));
    if (gc) {
      wxGraphicsPath arrow = gc->CreatePath();
      arrow.MoveToPoint(1, 1);
      arrow.AddLineToPoint(1, 19);
      arrow.AddLineToPoint(5.5, 14.5);
      arrow.AddLineToPoint(9, 22);
      arrow.AddLineToPoint(12, 20.5);
      arrow.AddLineToPoint(8.5, 13.5);
      arrow.AddLineToPoint(14.5, 13.5);
      arrow.CloseSubpath();
      gc->SetPen(wxPen(wxColour(255, 255, 255), 1.5));
      gc->SetBrush(gc->CreateLinearGradientBrush(0, 0, 0, 22, kAccent, kDeep));
      gc->DrawPath(arrow);
    }
  }
  wxImage cursorImage = bitmap.ConvertToImage();
  cursorImage.SetOption(wxIMAGE_OPTION_CUR_HOTSPOT_X, 1);
  cursorImage.SetOption(wxIMAGE_OPTION_CUR_HOTSPOT_Y, 1);
  return wxCursor(cursorImage);
}

}  // namespace

void drawVideoIcon(wxGraphicsContext& gc, double size) {
  // "VIDEO": a film frame around the lens emblem.
  const double s = size / 32.0;
  gc.SetPen(*wxTRANSPARENT_PEN);
  gc.SetBrush(wxBrush(wxColour(30, 37, 52)));
  gc.DrawRoundedRectangle(1 * s, 4 * s, 30 * s, 24 * s, 3 * s);
  gc.SetBrush(wxBrush(wxColour(232, 238, 248)));
  for (int hole = 0; hole < 5; ++hole) {
    gc.DrawRectangle((3 + hole * 6) * s, 5.5 * s, 3 * s, 2 * s);
    gc.DrawRectangle((3 + hole * 6) * s, 24.5 * s, 3 * s, 2 * s);
  }
  drawEmblem(gc, 8 * s, 8.5 * s, 15 * s);
}

std::unique_ptr<Resources> Resources::draw() {
  auto resources = std::make_unique<Resources>();
  struct Button {
    const char* name;
    const char* caption;
    Glyph glyph;
    int width;
  };
  const Button buttons[] = {
      {"b_load", "Load Movie", Glyph::folder, 195},
      {"b_pause", "Play / Pause", Glyph::playPause, 195},
      {"b_convert", "Convert Movie", Glyph::convert, 195},
      {"b_save", "Save Parameters", Glyph::disk, 195},
      {"b_stopt", "Stop Converting", Glyph::stop, 195},
      {"b_logo", "Add Logo", Glyph::picture, 195},
      {"help", "Help", Glyph::question, 97},
  };
  for (const Button& button : buttons) {
    for (int state = 1; state <= 3; ++state) {
      resources->bitmaps_[std::string(button.name) + std::to_string(state)] =
          pictureButton(button.width, button.caption, button.glyph, state);
    }
  }
  resources->bitmaps_["tomline"] = progressTile();
  for (int frame = 1; frame <= 4; ++frame) {
    resources->bitmaps_["load" + std::to_string(frame)] = reelFrame(frame - 1);
  }
  resources->bitmaps_["TITLE"] = titleBanner();
  resources->bitmaps_["patent"] = patentPlate();
  for (int size : {16, 32, 48}) {
    wxIcon icon;
    icon.CopyFromBitmap(videoIconBitmap(size));
    resources->videoIcons_.AddIcon(icon);
  }
  resources->autorCursor_ = pointerCursor();
  resources->tickWave_ = makeTickWave();
  return resources;
}

const wxBitmap& Resources::bitmap(std::string_view name) const {
  static const wxBitmap missing;
  const auto found = bitmaps_.find(name);
  return found == bitmaps_.end() ? missing : found->second;
}

bool Resources::hasBitmap(std::string_view name) const {
  return bitmaps_.contains(name);
}

wxIcon Resources::videoIcon(int size) const {
  return videoIcons_.GetIcon(wxSize(size, size));
}

}  // namespace tarn
