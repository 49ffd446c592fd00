// The window program: start-up, the main window's event loop, and the exit sequence that the
// window runs before it closes.
#include <wx/app.h>

#include <memory>

#include "common/paths.h"
#include "gui/converter_program.h"

namespace {

class ConverterApp : public wxApp {
 public:
  bool OnInit() override {
    // No command-line options: the base class's parsing is left out on purpose.
    tarn::ProgramOptions options;
    options.exeFolder = tarn::runningExeFolder();
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
