#include "gui/dialogs.h"

#include <wx/button.h>
#include <wx/choice.h>
#include <wx/dcbuffer.h>
#include <wx/statbmp.h>
#include <wx/statline.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/utils.h>

#include "common/text.h"
#include "gui/widgets.h"
#include "resources/resources.h"

namespace tarn {
namespace {

constexpr const char* kProductName = "Kestrova Tarn Video Converter";

wxButton* flatButton(wxWindow* parent, int id, const wxString& text, const wxRect& rect) {
  auto* button = new wxButton(parent, id, text, rect.GetPosition(), rect.GetSize(), wxBU_EXACTFIT);
  button->SetFont(parent->GetFont());
  makeFlatButton(button);
  return button;
}

// Ends a dialog whether it runs modally or (answered by a test hook) was never shown.
void finish(wxDialog* dialog, int code) {
  if (dialog->IsModal()) {
    dialog->EndModal(code);
  } else {
    dialog->SetReturnCode(code);
  }
}

void setClientRect(wxDialog* dialog, int width, int height) {
  dialog->SetClientSize(width, height);
  dialog->CentreOnScreen();
}

}  // namespace

void openAddress(const std::string& address) {
  wxLaunchDefaultBrowser(wxString::FromUTF8(address), wxBROWSER_NOBUSYCURSOR);
}

wxArrayString qualityItems() {
  wxArrayString items;
  items.Add("Default");
  items.Add("1:Max size");
  for (int value = 2; value <= 20; ++value) items.Add(wxString::Format("%d:", value));
  items.Add("21:Min size");
  return items;
}

// ---------------------------------------------------------------------------------------------

SplashWindow::SplashWindow(const Resources& resources)
    : wxDialog(nullptr, wxID_ANY, kProductName, wxDefaultPosition, wxDefaultSize,
               wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX) {
  SetFont(windowFont());
  SetIcons(resources.videoIcons());
  SetBackgroundColour(wxColour(0xFF, 0xFF, 0xFF));
  SetForegroundColour(wxColour(0xFF, 0x00, 0x00));
  const wxFont font = timesFont(12, true);

  new wxStaticBitmap(this, wxID_ANY, resources.bitmap("TITLE"), wxPoint(dluX(5), dluY(5)));

  auto* prompt = new wxStaticText(
      this, 2001, "See a more of free Apps at:", dluRect(15, 102, 120, 12).GetPosition(),
      dluRect(15, 102, 120, 12).GetSize(), wxST_NO_AUTORESIZE);
  prompt->SetFont(font);
  prompt->SetForegroundColour(wxColour(0, 0, 0));

  auto* link = new PaintedLabel(this, 2000, MakerTexts::webSite, dluRect(138, 102, 200, 12),
                                PaintedLabel::plain, wxColour(0, 0, 0xFF), *wxWHITE);
  link->setFont(font);
  link->SetCursor(resources.autorCursor());
  link->onClick([] { openAddress(MakerTexts::webSite); });

  wxButton* start = flatButton(this, 2005, "Start", dluRect(360, 102, 70, 14));
  start->SetFont(font);
  start->SetCursor(resources.autorCursor());
  start->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { finish(this, 2005); });
  start->SetDefault();
  start->SetFocus();
  Bind(wxEVT_CLOSE_WINDOW, [this](wxCloseEvent&) { finish(this, wxID_CLOSE); });

  setClientRect(this, dluX(437), dluY(120));
}

// ---------------------------------------------------------------------------------------------

AboutWindow::AboutWindow(wxWindow* owner, const Resources& resources)
    : wxDialog(owner, wxID_ANY, "About", wxDefaultPosition, wxDefaultSize,
               wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX) {
  const wxColour blue(0x14, 0x32, 0xC3);
  SetFont(windowFont());
  SetIcons(resources.videoIcons());
  SetBackgroundColour(blue);
  SetForegroundColour(wxColour(0xFF, 0, 0));
  SetBackgroundStyle(wxBG_STYLE_PAINT);

  // The plate, the line, the version and the legal notice are painted here so that their
  // overlapping rectangles stay readable.
  const wxBitmap plate = resources.bitmap("patent");
  Bind(wxEVT_PAINT, [this, plate, blue](wxPaintEvent&) {
    wxAutoBufferedPaintDC dc(this);
    dc.SetBackground(wxBrush(blue));
    dc.Clear();
    dc.DrawBitmap(plate, dluX(5), dluY(40));
    const wxRect line = dluRect(10, 40, 190, 2);
    dc.SetPen(wxPen(wxColour(10, 25, 100)));
    dc.DrawLine(line.x, line.y, line.GetRight(), line.y);
    dc.SetPen(wxPen(wxColour(120, 140, 230)));
    dc.DrawLine(line.x, line.y + 1, line.GetRight(), line.y + 1);
    dc.SetFont(GetFont());
    // Legal notice (label 2005): two lines at the bottom of its rectangle.
    const wxRect legal = dluRect(106, 44, 98, 28);
    dc.SetTextForeground(wxColour(0xC8, 0xD2, 0x5F));
    const int lineHeight = dc.GetCharHeight();
    dc.DrawText(MakerTexts::legalLine1, legal.x, legal.GetBottom() - 2 * lineHeight);
    dc.DrawText(MakerTexts::legalLine2, legal.x, legal.GetBottom() - lineHeight);
    // Version (label 101), black at the top of its rectangle.
    const wxRect version = dluRect(130, 48, 70, 10);
    dc.SetTextForeground(wxColour(0, 0, 0));
    dc.DrawText(" v1.0 Build 002.02", version.x, version.y);
  });

  new wxStaticBitmap(this, wxID_ANY, resources.videoIcon(32), wxPoint(dluX(10), dluY(5)));
  const wxRect titleRect = dluRect(35, 5, 160, 30);
  auto* title = new wxStaticText(this, 2001, wxString(kProductName) + "\n" + MakerTexts::credit,
                                 titleRect.GetPosition(), titleRect.GetSize(),
                                 wxALIGN_CENTRE_HORIZONTAL | wxST_NO_AUTORESIZE);
  title->SetForegroundColour(wxColour(0xB4, 0xAA, 0x5F));
  title->SetBackgroundColour(blue);

  const wxColour linkText(0xDC, 0xD2, 0x78);
  const wxColour linkBack(0, 0, 0x7F);
  auto* web = new PaintedLabel(this, 2004, MakerTexts::webSite, dluRect(70, 169, 141, 11),
                               PaintedLabel::sunken | PaintedLabel::centred, linkText, linkBack);
  web->SetCursor(resources.autorCursor());
  web->onClick([] { openAddress(MakerTexts::webSite); });
  auto* mail = new PaintedLabel(this, 2002, wxString("email: ") + MakerTexts::mailHandle,
                                dluRect(0, 169, 70, 11),
                                PaintedLabel::sunken | PaintedLabel::centred, linkText, linkBack);
  mail->SetCursor(resources.autorCursor());
  mail->onClick(
      [] { openAddress(wxString::Format("mailto:%s", MakerTexts::supportMail).utf8_string()); });

  Bind(wxEVT_CLOSE_WINDOW, [this](wxCloseEvent&) { finish(this, wxID_CLOSE); });
  // The close box is the only way out: Escape does nothing here.
  Bind(wxEVT_CHAR_HOOK, [](wxKeyEvent& event) {
    if (event.GetKeyCode() != WXK_ESCAPE) event.Skip();
  });
  setClientRect(this, dluX(210), dluY(180));
}

// ---------------------------------------------------------------------------------------------

HelpWindow::HelpWindow(wxWindow* owner, const Resources& resources, std::function<void()> playTick)
    : wxDialog(owner, wxID_ANY, "Help", wxDefaultPosition, wxDefaultSize,
               wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX | wxMINIMIZE_BOX) {
  SetFont(windowFont());
  SetIcons(resources.videoIcons());
  SetBackgroundColour(wxColour(0xA7, 0xA7, 0xA7));
  SetForegroundColour(wxColour(0, 0, 0));

  auto* heading = new PaintedLabel(this, 100, "  Instruction:", wxRect(0, 0, 510, 38),
                                   PaintedLabel::plain, wxColour(0, 0, 0), *wxWHITE);
  heading->setFont(timesFont(20, true));
  auto* text = new wxStaticText(this, 101, instructionText(), wxPoint(10, 45), wxSize(500, 172),
                                wxST_NO_AUTORESIZE);
  text->SetForegroundColour(wxColour(0, 0, 0));
  wxButton* exit = flatButton(this, 107, "Exit Help", wxRect(445, 200, 50, 20));
  exit->Bind(wxEVT_BUTTON, [this, playTick](wxCommandEvent&) {
    if (playTick) playTick();
    finish(this, 107);
  });
  Bind(wxEVT_CLOSE_WINDOW, [this](wxCloseEvent&) { finish(this, wxID_CLOSE); });
  setClientRect(this, 510, 230);
}

wxString HelpWindow::instructionText() {
  const char* const lines[] = {
      " 1. Load any cylindrical video. Press the button [Load Movie]",
      " 2. If you need, then you can to add any rectangular format logo for the nadir",
      " 3. Convert the video to spherical format. Press the button [Convert Movie]",
      "",
      " Also, you can choose:",
      " a) video format for output movie (MP4,FLV,AVI, etc.)",
      " b) quality mode for output movie format",
  };
  wxString text;
  for (const char* line : lines) {
    if (!text.empty()) text += "\n";  // the toolkit's line break
    text += line;
  }
  return text;
}

// ---------------------------------------------------------------------------------------------

ProgressDialog::ProgressDialog(wxWindow* owner, const Resources& resources, ProgressWindowKind kind)
    : wxDialog(owner, wxID_ANY, "", wxDefaultPosition, wxDefaultSize, wxCAPTION),
      resources_(resources) {
  const bool encode = kind == ProgressWindowKind::encode;
  const wxColour grey(119, 119, 119);
  const wxColour band(85, 85, 85);
  SetFont(windowFont());
  SetBackgroundColour(grey);
  SetForegroundColour(*wxWHITE);
  SetTitle(encode ? "Output Movie Compression" : "Movie Conversion");

  // The dark band goes first so that the squares and the clock stay on top of it.
  if (encode) {
    new PaintedLabel(this, 250, "", dluRect(0, 34, 250, 50), PaintedLabel::plain, band, band);
  }
  const wxSize squareSize = encode ? wxSize(dluX(9), dluY(8)) : wxSize(dluX(8), dluY(7));
  const int squareX[] = {5, 17, 29, 41, 53};
  for (int k = 0; k < 5; ++k) {
    squares_[static_cast<size_t>(k)] =
        new PaintedLabel(this, 201 + k, "", wxRect(wxPoint(dluX(squareX[k]), dluY(40)), squareSize),
                         PaintedLabel::sunken, wxColour(0, 0, 0), wxColour(20, 50, 195));
  }
  timeLabel_ =
      new PaintedLabel(this, 320, "", dluRect(160, 40, 90, 10), PaintedLabel::plain,
                       encode ? wxColour(192, 192, 192) : wxColour(0, 0, 0), encode ? band : grey);
  const wxRect waitRect = dluRect(65, 5, 150, 30);
  auto* wait = new wxStaticText(this, 207, "Please wait...", waitRect.GetPosition(),
                                waitRect.GetSize(), wxALIGN_CENTRE_HORIZONTAL | wxST_NO_AUTORESIZE);
  wait->SetFont(timesFont(20, false));
  wait->SetForegroundColour(*wxWHITE);
  const wxRect line = dluRect(1, 34, 248, 1);
  new wxStaticLine(this, wxID_ANY, line.GetPosition(), wxSize(line.width, 2));
  picture_ = new StretchedPicture(this, 101, dluRect(5, 5, 26, 25), resources.bitmap("load1"));

  SetClientSize(dluX(250), dluY(52));
  CentreOnScreen();
}

void ProgressDialog::showState(const ProgressWindowState& state) {
  for (size_t k = 0; k < squares_.size(); ++k) {
    const int green = std::clamp(state.squareGreen[k], 0, 255);
    squares_[k]->setColours(wxColour(0, 0, 0),
                            wxColour(20, static_cast<unsigned char>(green), 195));
  }
  if (state.animationFrame != animationFrame_ && state.animationFrame >= 1 &&
      state.animationFrame <= 4) {
    animationFrame_ = state.animationFrame;
    picture_->setBitmap(resources_.bitmap("load" + std::to_string(animationFrame_)));
  }
  timeLabel_->setText(wxString::FromUTF8(state.timeText));
}

ProgressWindowHandle::ProgressWindowHandle(ProgressDialog* dialog) : dialog_(dialog) {}

ProgressWindowHandle::~ProgressWindowHandle() {
  if (dialog_) dialog_->Destroy();
}

void ProgressWindowHandle::update(const ProgressWindowState& state) {
  if (dialog_) dialog_->showState(state);
}

// ---------------------------------------------------------------------------------------------

ReencodeDialog::ReencodeDialog(wxWindow* owner, const Resources& resources,
                               const std::string& currentPath, ReencodeLinks links)
    : wxDialog(owner, wxID_ANY, "Save a Video with another compression", wxDefaultPosition,
               wxDefaultSize, wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX),
      links_(std::move(links)),
      provisional_(currentPath) {
  SetFont(windowFont());
  SetIcons(resources.videoIcons());
  SetBackgroundColour(wxColour(88, 88, 88));
  SetForegroundColour(wxColour(255, 0, 0));
  const wxColour labelBack(128, 128, 128);

  wxButton* select = flatButton(this, 100, "  Select file path", wxRect(5, 5, 110, 16));
  makeFlatButton(select, labelBack, *wxWHITE);
  select->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { selectFilePath(); });

  pathEdit_ = new wxTextCtrl(this, 101, wxString::FromUTF8(currentPath), wxPoint(5, 23),
                             wxSize(470, 17), wxBORDER_SIMPLE);
  pathEdit_->SetBackgroundColour(*wxWHITE);
  pathEdit_->SetForegroundColour(wxColour(0, 0, 255));

  new PaintedLabel(this, 102, "  Select quality", wxRect(5, 45, 110, 16), PaintedLabel::plain,
                   *wxWHITE, labelBack);
  qualityList_ = new wxChoice(this, 213, wxPoint(5, 64), wxSize(110, -1), qualityItems());
  qualityList_->SetBackgroundColour(wxColour(0, 0, 0));
  qualityList_->SetForegroundColour(*wxWHITE);
  const int quality = links_.qualityIndex ? links_.qualityIndex() : -1;
  if (quality >= 0 && quality < static_cast<int>(qualityList_->GetCount())) {
    qualityList_->SetSelection(quality);
  }
  qualityList_->Bind(wxEVT_CHOICE,
                     [this](wxCommandEvent& event) { chooseQuality(event.GetSelection()); });

  new PaintedLabel(this, 103, "  Resize output video", wxRect(118, 45, 110, 16),
                   PaintedLabel::plain, *wxWHITE, labelBack);
  wxArrayString sizes;
  for (const char* text :
       {"Natural size", "Resize 90%", "Resize 80%", "Resize 70%", "Resize 60%", "Resize 50%"}) {
    sizes.Add(text);
  }
  resizeList_ = new wxChoice(this, 870, wxPoint(118, 64), wxSize(110, -1), sizes);
  resizeList_->SetBackgroundColour(wxColour(0, 0, 0));
  resizeList_->SetForegroundColour(*wxWHITE);
  const int resize = links_.resizeIndex ? links_.resizeIndex() : 0;
  if (resize >= 0 && resize < static_cast<int>(resizeList_->GetCount())) {
    resizeList_->SetSelection(resize);
  }
  resizeList_->Bind(wxEVT_CHOICE,
                    [this](wxCommandEvent& event) { chooseResize(event.GetSelection()); });

  wxButton* save = flatButton(this, 2002, "Save Video", wxRect(260, 80, 100, 25));
  save->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { pressSave(); });
  wxButton* cancel = flatButton(this, 2004, "Exit/Cancel", wxRect(368, 80, 100, 25));
  cancel->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { pressCancel(); });

  Bind(wxEVT_CLOSE_WINDOW, [this](wxCloseEvent&) { pressCancel(); });
  // Escape leaves with the provisional result: the current path, or the chooser's last answer.
  Bind(wxEVT_CHAR_HOOK, [this](wxKeyEvent& event) {
    if (event.GetKeyCode() != WXK_ESCAPE) {
      event.Skip();
      return;
    }
    result_ = provisional_;
    finish(this, wxID_CANCEL);
  });
  setClientRect(this, 480, 112);
}

std::string ReencodeDialog::run() {
  result_.clear();
  ShowModal();
  return result_;
}

void ReencodeDialog::selectFilePath() {
  const std::string text = pathEdit_->GetValue().utf8_string();
  const size_t cut = text.find_last_of("/\\:");
  const std::string folder = cut == std::string::npos ? std::string() : text.substr(0, cut);
  const std::string chosen = links_.chooseOutput ? links_.chooseOutput(this, folder) : "";
  provisional_ = chosen;
  if (!trimBlanks(chosen).empty()) pathEdit_->ChangeValue(wxString::FromUTF8(chosen));
}

void ReencodeDialog::chooseQuality(int index) {
  if (index < 0 || index >= static_cast<int>(qualityList_->GetCount())) return;
  qualityList_->SetSelection(index);
  if (links_.qualityChosen) links_.qualityChosen(index);
}

void ReencodeDialog::chooseResize(int index) {
  if (index < 0 || index >= static_cast<int>(resizeList_->GetCount())) return;
  resizeList_->SetSelection(index);
  if (links_.resizeChosen) links_.resizeChosen(index);
}

void ReencodeDialog::pressSave() {
  result_ = pathEdit_->GetValue().utf8_string();
  finish(this, 2002);
}

void ReencodeDialog::pressCancel() {
  result_.clear();
  finish(this, 2004);
}

}  // namespace tarn
