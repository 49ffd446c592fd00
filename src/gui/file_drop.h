#pragma once

#include <wx/dnd.h>

#include <functional>
#include <string>

namespace tarn {

// A drop target for files: a drop of exactly one file hands its path to `take`, whose answer
// tells the desktop whether the drop was taken. Window thread.
class FileDrop : public wxFileDropTarget {
 public:
  explicit FileDrop(std::function<bool(const std::string& path)> take) : take_(std::move(take)) {}

  bool OnDropFiles(wxCoord, wxCoord, const wxArrayString& files) override {
    return files.size() == 1 && take_(files[0].utf8_string());
  }

 private:
  std::function<bool(const std::string&)> take_;
};

}  // namespace tarn
