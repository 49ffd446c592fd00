#pragma once

#include <wx/bitmap.h>
#include <wx/window.h>

#include <array>
#include <functional>

class wxMenuItem;

namespace tarn {

// The common font of every window: "MS Sans Serif" 8 pt where the machine has it, else the
// nearest sans face with the same metrics.
wxFont windowFont();
// "Times New Roman" (fontconfig maps it to a metric-compatible face when missing).
wxFont timesFont(int points, bool boldItalic);

// Dialog units of the 8 pt window font (4 x 8 units per average character cell, 6 x 13 pixels),
// so that dialog layouts keep their proportions whatever face stands in.
int dluX(int units);
int dluY(int units);
wxRect dluRect(int x, int y, int width, int height);

// Loads a style sheet that gives buttons, drop-down lists, entries and check boxes the compact
// heights the layouts are made for. Once, before the first window.
void installCompactControlStyle();

// Gives a push button the flat look of the program's windows: square, a one-pixel frame, a plain
// face in `face` (system grey when invalid) and `text` colour.
void makeFlatButton(wxWindow* button, const wxColour& face = wxNullColour,
                    const wxColour& text = wxNullColour);

// Shows a key text beside a menu item without binding the key (the accelerator table binds it).
void showMenuKeyText(wxMenuItem* item, int wxKeyCode, bool ctrl, bool alt);

// A static text painted by hand: background, text colour, optional sunken edge, left or centred,
// optionally shortened with an ellipsis in the middle, optionally clickable (a link).
class PaintedLabel : public wxWindow {
 public:
  enum Style : int { plain = 0, sunken = 1, centred = 2, middleEllipsis = 4, staticEdge = 8 };

  PaintedLabel(wxWindow* parent, int id, const wxString& text, const wxRect& rect, int style,
               const wxColour& textColour, const wxColour& background);

  void setText(const wxString& text);
  wxString text() const { return text_; }
  void setColours(const wxColour& textColour, const wxColour& background);
  wxColour textColour() const { return textColour_; }
  wxColour background() const { return background_; }
  void setFont(const wxFont& font);
  void onClick(std::function<void()> action) { clickAction_ = std::move(action); }

 private:
  void paint();

  wxString text_;
  int style_;
  wxColour textColour_;
  wxColour background_;
  std::function<void()> clickAction_;
};

// A borderless picture that shows one of three bitmaps (1 normal, 2 pressed, 3 hovered) at its
// natural size and reports a click as a menu command with its id to its parent.
class PictureButton : public wxWindow {
 public:
  PictureButton(wxWindow* parent, int id, const wxPoint& position,
                const std::array<wxBitmap, 3>& bitmaps);

  void showState(int state);  // 1, 2 or 3
  int state() const { return state_; }
  // Called with true when the pointer enters the button and false when it leaves.
  void onHover(std::function<void(bool)> action) { hoverAction_ = std::move(action); }
  // Disabled buttons ignore clicks (and are drawn dimmed).
  bool Enable(bool enable = true) override;

 private:
  void paint();

  std::array<wxBitmap, 3> bitmaps_;
  int state_ = 1;
  std::function<void(bool)> hoverAction_;
};

// A bitmap stretched to the whole window (the progress strip, the progress windows' picture).
class StretchedPicture : public wxWindow {
 public:
  StretchedPicture(wxWindow* parent, int id, const wxRect& rect, const wxBitmap& bitmap);
  void setBitmap(const wxBitmap& bitmap);

 private:
  wxBitmap bitmap_;
};

// A drawing surface with a 1-pixel static edge that shows a prepared bitmap (or its background
// colour), with optional lines of text drawn over it.
class DrawingSurface : public wxWindow {
 public:
  DrawingSurface(wxWindow* parent, int id, const wxRect& rect, const wxColour& background);

  // Shows `picture` (client size) and, over it, each text at its position, white on `textBack`.
  struct Caption {
    wxPoint position;
    wxString text;
  };
  void show(const wxBitmap& picture, std::vector<Caption> captions, const wxColour& textBack);
  void clear();  // background colour only
  const std::vector<Caption>& captions() const { return captions_; }
  bool showsPicture() const { return picture_.IsOk(); }

 private:
  void paint();

  wxColour background_;
  wxBitmap picture_;
  std::vector<Caption> captions_;
  wxColour textBack_;
};

}  // namespace tarn
