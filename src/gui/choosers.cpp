#include "gui/choosers.h"

#include <wx/dirdlg.h>
#include <wx/filedlg.h>

#include <cctype>
#include <filesystem>

#include "common/text.h"

namespace tarn {
namespace {

std::vector<FileFilter> outputFilters() {
  const char* const entries[][2] = {
      {" FLV video files (*.FLV)", "*.flv"}, {" AVI 2.0 video files (*.AVI)", "*.avi"},
      {" MOV video files (*.MOV)", "*.mov"}, {" MP4 video files (*.MP4)", "*.mp4"},
      {" M4V video files (*.M4V)", "*.m4v"}, {" OGG video files (*.OGG)", "*.ogg"},
      {" OGV video files (*.OGV)", "*.ogv"}, {" WEBM video files (*.WEBM)", "*.webm"},
  };
  std::vector<FileFilter> filters;
  for (const auto& entry : entries) {
    filters.push_back({std::string("Rectangular Video") + entry[0], entry[1]});
  }
  return filters;
}

class ToolkitChoosers : public Choosers {
 public:
  std::string chooseFile(wxWindow* owner, const FileRequest& request) override {
    long style = request.mode == FileRequest::Mode::open ? wxFD_OPEN : wxFD_SAVE;
    if (request.mustExist && request.mode == FileRequest::Mode::open) style |= wxFD_FILE_MUST_EXIST;
    if (request.overwritePrompt) style |= wxFD_OVERWRITE_PROMPT;
    if (request.multiple) style |= wxFD_MULTIPLE;
    // A name made only of wildcards would be taken literally by the toolkit's chooser.
    const std::string name =
        request.initialName.find('*') == std::string::npos ? request.initialName : "";
    wxFileDialog dialog(owner, wxString::FromUTF8(request.title),
                        wxString::FromUTF8(request.initialFolder), wxString::FromUTF8(name),
                        wxString::FromUTF8(wildcardFor(request.filters)), style);
    dialog.SetFilterIndex(0);
    if (dialog.ShowModal() != wxID_OK) return {};
    if (request.multiple) {
      wxArrayString paths;
      dialog.GetPaths(paths);
      if (paths.empty()) return {};
      return paths.size() > 1 ? dialog.GetDirectory().utf8_string() : paths[0].utf8_string();
    }
    return dialog.GetPath().utf8_string();
  }

  std::string chooseFolder(wxWindow* owner, const std::string& title,
                           const std::string& startFolder) override {
    wxDirDialog dialog(owner, wxString::FromUTF8(title), wxString::FromUTF8(startFolder),
                       wxDD_DEFAULT_STYLE | wxDD_DIR_MUST_EXIST);
    if (dialog.ShowModal() != wxID_OK) return {};
    std::string path = dialog.GetPath().utf8_string();
    while (path.size() > 1 && (path.back() == '/' || path.back() == '\\')) path.pop_back();
    return path;
  }
};

std::string upperPatterns(const std::string& pattern) {
  std::string upper = pattern;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return upper == pattern ? pattern : pattern + ";" + upper;
}

}  // namespace

std::unique_ptr<Choosers> makeToolkitChoosers() {
  return std::make_unique<ToolkitChoosers>();
}

FileRequest movieRequest(const std::string& movieFolder) {
  FileRequest request;
  request.mode = FileRequest::Mode::open;
  request.title = "Load Video";
  request.initialFolder = movieFolder;
  request.mustExist = true;
  request.filters = {
      {"All video files",
       "*.avi;*.asf;*.mpg;*.mpeg;*.mov;*.qt;*.mkv;*.m2ts;*.mts;*.ts;*.m2t;*.tod;*.mp4;*.flv;*.f4v;"
       "*.m4v"},
      {"MOV video files (*.MOV)", "*.mov"},
      {"AVI video files (*.AVI)", "*.avi"},
      {"MP4 video files (*.MP4)", "*.mp4"},
      {"ASF video files (*.ASF)", "*.asf"},
      {"MPG video files (*.MPG, *.MPEG)", "*.mpg;*.mpeg"},
      {"QT video files (*.QT)", "*.qt"},
      {"M2TS video files (*.M2TS)", "*.m2ts"},
      {"MTS video files (*.MTS)", "*.mts"},
      {"TS video files (*.TS)", "*.ts"},
      {"M2T video files (*.M2T)", "*.m2t"},
      {"MKV video files (*.MKV)", "*.mkv"},
      {"TOD video files (*.TOD)", "*.tod"},
      {"FLV video files (*.FLV)", "*.flv"},
      {"F4V video files (*.F4V)", "*.f4v"},
      {"M4V video files (*.M4V)", "*.m4v"},
  };
  return request;
}

FileRequest logoRequest(const std::string& logoFolder) {
  FileRequest request;
  request.mode = FileRequest::Mode::open;
  request.title = "Load Video";
  request.initialName = "*.jpg";
  request.initialFolder = logoFolder;
  request.mustExist = true;
  request.multiple = true;
  request.filters = {{"Logo Images (*.jpg)", "*.jpg"}};
  return request;
}

FileRequest outputRequest(const std::string& movieFolder, const std::string& moviePath) {
  FileRequest request;
  request.mode = FileRequest::Mode::save;
  request.title = "Save Rectangular Video";
  request.initialName = unwrappedName(moviePath);
  request.initialFolder = movieFolder;
  request.overwritePrompt = true;
  request.filters = outputFilters();
  return request;
}

bool offeredBy(const FileRequest& request, const std::string& path) {
  std::error_code error;
  if (path.empty() || !std::filesystem::is_regular_file(path, error)) return false;
  const auto lower = [](std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
  };
  const std::string name = lower(std::filesystem::path(path).filename().string());
  for (const FileFilter& filter : request.filters) {
    size_t start = 0;
    while (start <= filter.pattern.size()) {
      size_t end = filter.pattern.find(';', start);
      if (end == std::string::npos) end = filter.pattern.size();
      const std::string pattern = lower(filter.pattern.substr(start, end - start));
      // Every pattern of the program's choosers is "*" and an extension.
      if (pattern.size() > 1 && pattern[0] == '*' && name.size() >= pattern.size() &&
          name.compare(name.size() - (pattern.size() - 1), pattern.size() - 1, pattern, 1) == 0) {
        return true;
      }
      start = end + 1;
    }
  }
  return false;
}

FileRequest reencodeRequest(const std::string& folder) {
  FileRequest request;
  request.mode = FileRequest::Mode::save;
  request.title = "Save Rectangular Video";
  request.initialFolder = folder.empty() ? std::filesystem::current_path().string() : folder;
  request.overwritePrompt = true;
  request.filters = outputFilters();
  return request;
}

std::string unwrappedName(const std::string& moviePath) {
  // Both separators: a path typed on another system still gives its plain name.
  const size_t slash = moviePath.find_last_of("/\\");
  std::string name = slash == std::string::npos ? moviePath : moviePath.substr(slash + 1);
  const size_t dot = name.find_last_of('.');
  if (dot != std::string::npos) name.erase(dot);
  return name + "_Unwrapped";
}

std::string wildcardFor(const std::vector<FileFilter>& filters) {
  std::string wildcard;
  for (const FileFilter& filter : filters) {
    if (!wildcard.empty()) wildcard += "|";
    wildcard += filter.description + "|" + upperPatterns(filter.pattern);
  }
  return wildcard;
}

std::string folderOf(const std::string& path) {
  const std::filesystem::path parent = std::filesystem::path(path).parent_path();
  return parent.empty() ? std::filesystem::current_path().string() : parent.string();
}

}  // namespace tarn
