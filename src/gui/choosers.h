#pragma once

#include <memory>
#include <string>
#include <vector>

class wxWindow;

namespace tarn {

struct FileFilter {
  std::string description;
  std::string pattern;  // ";"-separated, as written ("*.mpg;*.mpeg")
};

// One file chooser as the program asks for it.
struct FileRequest {
  enum class Mode { open, save };
  Mode mode = Mode::open;
  std::string title;
  std::string initialName;
  std::string initialFolder;
  std::vector<FileFilter> filters;
  bool mustExist = false;
  bool overwritePrompt = false;
  bool multiple = false;
  friend bool operator==(const FileRequest&, const FileRequest&) = default;
};

// The file and folder choosers. Window thread only. Tests answer them through their own
// implementation; the program uses the toolkit's dialogs.
class Choosers {
 public:
  virtual ~Choosers() = default;
  // The chosen path, or "" when cancelled. With `multiple`, a choice of several files gives only
  // their folder.
  virtual std::string chooseFile(wxWindow* owner, const FileRequest& request) = 0;
  // The chosen folder without a trailing separator, or "" when cancelled.
  virtual std::string chooseFolder(wxWindow* owner, const std::string& title,
                                   const std::string& startFolder) = 0;
};

std::unique_ptr<Choosers> makeToolkitChoosers();

// The program's choosers.
FileRequest movieRequest(const std::string& movieFolder);
FileRequest logoRequest(const std::string& logoFolder);
FileRequest outputRequest(const std::string& movieFolder, const std::string& moviePath);
FileRequest reencodeRequest(const std::string& folder);

// "pano_Unwrapped" for ".../pano.mp4": the movie's name without folder and extension.
std::string unwrappedName(const std::string& moviePath);

// The toolkit's wildcard text for `filters`. File systems here tell case apart, so every
// pattern is offered in lower and upper case ("*.mov;*.MOV").
std::string wildcardFor(const std::vector<FileFilter>& filters);

// Whether the chooser of `request` would let `path` be picked: an existing file (not a folder)
// whose name matches a pattern of one of its filters, in either case. Files handed to the
// program otherwise (dropped, or given on the command line) pass this check first.
bool offeredBy(const FileRequest& request, const std::string& path);

// The folder of a chosen file, as the platform's dialogs would leave it current.
std::string folderOf(const std::string& path);

}  // namespace tarn
