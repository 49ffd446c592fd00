#pragma once

#include <wx/bitmap.h>
#include <wx/cursor.h>
#include <wx/iconbndl.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class wxGraphicsContext;

namespace tarn {

// The program's icon ("VIDEO"), drawn into a square of `size` x `size` units from the top left
// corner; transparent where it draws nothing. The window's icons and the desktop's icon files
// (rendered at build time) both come from here.
void drawVideoIcon(wxGraphicsContext& gc, double size);

// Every picture, icon, pointer and sound of the program, drawn in code once at start-up and kept
// for the whole run, under the resource names the windows ask for: "b_load1".."b_load3",
// "b_pause*", "b_convert*", "b_save*", "b_stopt*", "b_logo*", "help1".."help3", "tomline",
// "load1".."load4", "TITLE", "patent". Nothing is read from files beside the executable.
// Window thread only (drawing needs the initialised toolkit).
class Resources {
 public:
  static std::unique_ptr<Resources> draw();

  // An unknown name gives an empty (invalid) bitmap, like a missing resource.
  const wxBitmap& bitmap(std::string_view name) const;
  bool hasBitmap(std::string_view name) const;
  const wxIconBundle& videoIcons() const { return videoIcons_; }  // "VIDEO" in 16, 32, 48 px
  wxIcon videoIcon(int size) const;
  const wxCursor& autorCursor() const { return autorCursor_; }  // the "autor" pointer
  const std::vector<uint8_t>& tickWave() const { return tickWave_; }

 private:
  std::map<std::string, wxBitmap, std::less<>> bitmaps_;
  wxIconBundle videoIcons_;
  wxCursor autorCursor_;
  std::vector<uint8_t> tickWave_;
};

}  // namespace tarn
