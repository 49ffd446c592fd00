#include "gui/widgets.h"

#include <gtk/gtk.h>
#include <wx/dcbuffer.h>
#include <wx/fontenum.h>
#include <wx/menuitem.h>

namespace tarn {

wxFont windowFont() {
  // Nimbus Sans has Helvetica's metrics, close to the 8 pt bitmap face the layouts were made for;
  // the usual GTK fallback (DejaVu Sans) is a good deal wider.
  for (const char* face :
       {"MS Sans Serif", "Microsoft Sans Serif", "Nimbus Sans", "Liberation Sans"}) {
    if (wxFontEnumerator::IsValidFacename(face)) return wxFont(wxFontInfo(8).FaceName(face));
  }
  return wxFont(wxFontInfo(8).Family(wxFONTFAMILY_SWISS));
}

wxFont timesFont(int points, bool boldItalic) {
  wxFontInfo info(points);
  info.Family(wxFONTFAMILY_ROMAN).FaceName("Times New Roman");
  if (boldItalic) info.Bold().Italic();
  return wxFont(info);
}

int dluX(int units) {
  return (units * 6 + 2) / 4;
}
int dluY(int units) {
  return (units * 13 + 4) / 8;
}
wxRect dluRect(int x, int y, int width, int height) {
  return wxRect(dluX(x), dluY(y), dluX(width), dluY(height));
}

void installCompactControlStyle() {
  static const char* const css =
      "button, combobox button, entry { min-height: 0; padding-top: 0; padding-bottom: 0; }"
      "button { padding-left: 4px; padding-right: 4px; }"
      "combobox button { padding-left: 3px; padding-right: 3px; }"
      "check { min-width: 12px; min-height: 12px; }"
      "checkbutton { padding: 0; }";
  GtkCssProvider* provider = gtk_css_provider_new();
  gtk_css_provider_load_from_data(provider, css, -1, nullptr);
  GdkScreen* screen = gdk_screen_get_default();
  if (screen) {
    gtk_style_context_add_provider_for_screen(screen, GTK_STYLE_PROVIDER(provider),
                                              GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
  }
  g_object_unref(provider);
}

void makeFlatButton(wxWindow* button, const wxColour& face, const wxColour& text) {
  GtkWidget* widget = button->GetHandle();
  if (!widget) return;
  const wxString faceCss = face.IsOk() ? face.GetAsString(wxC2S_HTML_SYNTAX) : "#f0f0f0";
  const wxString hoverCss =
      face.IsOk() ? face.ChangeLightness(115).GetAsString(wxC2S_HTML_SYNTAX) : "#e5f1fb";
  const wxString textCss = text.IsOk() ? text.GetAsString(wxC2S_HTML_SYNTAX) : "#000000";
  const wxString css = wxString::Format(
      "button { border-radius: 0; border: 1px solid #707070; box-shadow: none; text-shadow: none;"
      " background-image: none; background-color: %s; color: %s; padding: 0 4px; }"
      "button:hover { background-color: %s; border-color: #3c7fb1; }"
      "button:active { background-color: #cce4f7; }"
      "button label { color: %s; }",
      faceCss, textCss, hoverCss, textCss);
  GtkCssProvider* provider = gtk_css_provider_new();
  gtk_css_provider_load_from_data(provider, css.utf8_str(), -1, nullptr);
  gtk_style_context_add_provider(gtk_widget_get_style_context(widget), GTK_STYLE_PROVIDER(provider),
                                 GTK_STYLE_PROVIDER_PRIORITY_APPLICATION + 10);
  GtkWidget* child = gtk_bin_get_child(GTK_BIN(widget));
  if (child) {
    gtk_style_context_add_provider(gtk_widget_get_style_context(child),
                                   GTK_STYLE_PROVIDER(provider),
                                   GTK_STYLE_PROVIDER_PRIORITY_APPLICATION + 10);
  }
  g_object_unref(provider);
}

void showMenuKeyText(wxMenuItem* item, int wxKeyCode, bool ctrl, bool alt) {
  GtkWidget* widget = item ? item->GetMenuItem() : nullptr;
  if (!widget || !GTK_IS_BIN(widget)) return;
  GtkWidget* label = gtk_bin_get_child(GTK_BIN(widget));
  if (!label || !GTK_IS_ACCEL_LABEL(label)) return;
  guint key = 0;
  if (wxKeyCode >= WXK_F1 && wxKeyCode <= WXK_F12) {
    key = GDK_KEY_F1 + static_cast<guint>(wxKeyCode - WXK_F1);
  } else {
    key = gdk_unicode_to_keyval(static_cast<guint32>(wxTolower(wxKeyCode)));
  }
  int modifiers = 0;
  if (ctrl) modifiers |= GDK_CONTROL_MASK;
  if (alt) modifiers |= GDK_MOD1_MASK;
  gtk_accel_label_set_accel(GTK_ACCEL_LABEL(label), key, static_cast<GdkModifierType>(modifiers));
}

// ---------------------------------------------------------------------------------------------

PaintedLabel::PaintedLabel(wxWindow* parent, int id, const wxString& text, const wxRect& rect,
                           int style, const wxColour& textColour, const wxColour& background)
    : wxWindow(parent, id, rect.GetPosition(), rect.GetSize(), wxBORDER_NONE),
      text_(text),
      style_(style),
      textColour_(textColour),
      background_(background) {
  SetBackgroundStyle(wxBG_STYLE_PAINT);
  SetFont(parent->GetFont());
  Bind(wxEVT_PAINT, [this](wxPaintEvent&) { paint(); });
  Bind(wxEVT_LEFT_UP, [this](wxMouseEvent&) {
    if (clickAction_) clickAction_();
  });
}

void PaintedLabel::setText(const wxString& text) {
  if (text == text_) return;
  text_ = text;
  Refresh(false);
}

void PaintedLabel::setColours(const wxColour& textColour, const wxColour& background) {
  textColour_ = textColour;
  background_ = background;
  Refresh(false);
}

void PaintedLabel::setFont(const wxFont& font) {
  SetFont(font);
  Refresh(false);
}

void PaintedLabel::paint() {
  wxAutoBufferedPaintDC dc(this);
  const wxSize size = GetClientSize();
  dc.SetPen(*wxTRANSPARENT_PEN);
  dc.SetBrush(wxBrush(background_));
  dc.DrawRectangle(0, 0, size.x, size.y);
  int inset = 0;
  if (style_ & (sunken | staticEdge)) {
    dc.SetPen(wxPen(wxColour(128, 128, 128)));
    dc.DrawLine(0, 0, size.x, 0);
    dc.DrawLine(0, 0, 0, size.y);
    dc.SetPen(wxPen(wxColour(255, 255, 255)));
    dc.DrawLine(0, size.y - 1, size.x, size.y - 1);
    dc.DrawLine(size.x - 1, 0, size.x - 1, size.y);
    inset = 1;
  }
  if (text_.empty()) return;
  dc.SetFont(GetFont());
  dc.SetTextForeground(textColour_);
  const int room = size.x - 2 * inset - 2;
  wxString shown = text_;
  if (style_ & middleEllipsis) {
    shown = wxControl::Ellipsize(text_, dc, wxELLIPSIZE_MIDDLE, room);
  }
  wxCoord width = 0, height = 0;
  dc.GetTextExtent(shown, &width, &height);
  const int y = (size.y - height) / 2;
  const int x = (style_ & centred) ? (size.x - width) / 2 : inset + 1;
  dc.SetClippingRegion(inset, inset, size.x - 2 * inset, size.y - 2 * inset);
  dc.DrawText(shown, x, y);
}

// ---------------------------------------------------------------------------------------------

PictureButton::PictureButton(wxWindow* parent, int id, const wxPoint& position,
                             const std::array<wxBitmap, 3>& bitmaps)
    : wxWindow(parent, id, position, bitmaps[0].GetSize(), wxBORDER_NONE), bitmaps_(bitmaps) {
  SetBackgroundStyle(wxBG_STYLE_PAINT);
  Bind(wxEVT_PAINT, [this](wxPaintEvent&) { paint(); });
  Bind(wxEVT_ENTER_WINDOW, [this](wxMouseEvent&) {
    if (hoverAction_) hoverAction_(true);
  });
  Bind(wxEVT_LEAVE_WINDOW, [this](wxMouseEvent&) {
    if (hoverAction_) hoverAction_(false);
  });
  Bind(wxEVT_LEFT_UP, [this](wxMouseEvent& event) {
    if (!IsEnabled() || !GetClientRect().Contains(event.GetPosition())) return;
    wxCommandEvent command(wxEVT_MENU, GetId());
    command.SetEventObject(this);
    wxPostEvent(GetParent(), command);
  });
}

void PictureButton::showState(int state) {
  if (state < 1 || state > 3 || state == state_) return;
  state_ = state;
  Refresh(false);
}

bool PictureButton::Enable(bool enable) {
  const bool changed = wxWindow::Enable(enable);
  Refresh(false);
  return changed;
}

void PictureButton::paint() {
  wxAutoBufferedPaintDC dc(this);
  const wxBitmap& bitmap = bitmaps_[state_ - 1];
  if (!IsEnabled()) {
    dc.DrawBitmap(bitmap.ConvertToDisabled(), 0, 0);
  } else {
    dc.DrawBitmap(bitmap, 0, 0);
  }
}

// ---------------------------------------------------------------------------------------------

StretchedPicture::StretchedPicture(wxWindow* parent, int id, const wxRect& rect,
                                   const wxBitmap& bitmap)
    : wxWindow(parent, id, rect.GetPosition(), rect.GetSize(), wxBORDER_NONE), bitmap_(bitmap) {
  SetBackgroundStyle(wxBG_STYLE_PAINT);
  Bind(wxEVT_PAINT, [this](wxPaintEvent&) {
    wxPaintDC dc(this);
    const wxSize size = GetClientSize();
    if (!bitmap_.IsOk() || size.x <= 0 || size.y <= 0) return;
    const wxImage scaled = bitmap_.ConvertToImage().Scale(size.x, size.y, wxIMAGE_QUALITY_BILINEAR);
    dc.DrawBitmap(wxBitmap(scaled), 0, 0);
  });
}

void StretchedPicture::setBitmap(const wxBitmap& bitmap) {
  bitmap_ = bitmap;
  Refresh(false);
}

// ---------------------------------------------------------------------------------------------

DrawingSurface::DrawingSurface(wxWindow* parent, int id, const wxRect& rect,
                               const wxColour& background)
    : wxWindow(parent, id, rect.GetPosition(), rect.GetSize(), wxBORDER_NONE),
      background_(background) {
  SetBackgroundStyle(wxBG_STYLE_PAINT);
  SetFont(parent->GetFont());
  Bind(wxEVT_PAINT, [this](wxPaintEvent&) { paint(); });
}

void DrawingSurface::show(const wxBitmap& picture, std::vector<Caption> captions,
                          const wxColour& textBack) {
  picture_ = picture;
  captions_ = std::move(captions);
  textBack_ = textBack;
  Refresh(false);
}

void DrawingSurface::clear() {
  picture_ = wxBitmap();
  captions_.clear();
  Refresh(false);
}

void DrawingSurface::paint() {
  wxAutoBufferedPaintDC dc(this);
  const wxSize size = GetClientSize();
  dc.SetPen(*wxTRANSPARENT_PEN);
  dc.SetBrush(wxBrush(background_));
  dc.DrawRectangle(0, 0, size.x, size.y);
  if (picture_.IsOk()) dc.DrawBitmap(picture_, 0, 0);
  if (!captions_.empty()) {
    dc.SetFont(GetFont());
    dc.SetTextForeground(*wxWHITE);
    dc.SetTextBackground(textBack_);
    dc.SetBackgroundMode(wxBRUSHSTYLE_SOLID);
    for (const Caption& caption : captions_) dc.DrawText(caption.text, caption.position);
    dc.SetBackgroundMode(wxBRUSHSTYLE_TRANSPARENT);
  }
  // Static edge: one dark line top and left, one light line bottom and right.
  dc.SetPen(wxPen(wxColour(128, 128, 128)));
  dc.DrawLine(0, 0, size.x, 0);
  dc.DrawLine(0, 0, 0, size.y);
  dc.SetPen(wxPen(wxColour(255, 255, 255)));
  dc.DrawLine(0, size.y - 1, size.x, size.y - 1);
  dc.DrawLine(size.x - 1, 0, size.x - 1, size.y);
}

}  // namespace tarn
