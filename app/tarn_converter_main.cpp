// The window program: start-up, the main window's event loop, and the exit sequence that the
// window runs before it closes.
#include <wx/app.h>

#include <filesystem>
#include <memory>

#include "common/paths.h"
#include "gui/converter_program.h"

namespace {

class ConverterApp : public wxApp {
 public:
  bool OnInit() override {
    // No options; one movie file may be given ("Open With"). The base class's parsing is left
    // out on purpose.
    tarn::ProgramOptions options;
    options.exeFolder = tarn::runningExeFolder();
    if (argc > 1) {
      std::error_code error;
      const std::filesystem::path movie(argv[1].utf8_string());
      options.openAtStart = std::filesystem::absolute(movie, error).string();
    }
    program_ = std::make_unique<tarn::ConverterProgram>(std::move(options));
    program_->start();
    return true;
  }

  int OnExit() override {
    program_.reset();  // waits for the program's own threads
    return wxApp::OnExit();
  }

 private:
  std::unique_ptr<tarn::ConverterProgram> program_;
};

}  // namespace

wxIMPLEMENT_APP(ConverterApp);
