#include "gui_harness.h"

#include <wx/app.h>
#include <wx/evtloop.h>
#include <wx/generic/msgdlgg.h>
#include <wx/window.h>

#include <fstream>
#include <sstream>
#include <thread>

#include "gui/main_window.h"

namespace tarn::test {

int DialogAnswers::Enter(wxDialog* dialog) {
  Asked asked{dialog->GetTitle().utf8_string(), ""};
  if (auto* box = dynamic_cast<wxGenericMessageDialog*>(dialog)) {
    asked.message = box->GetMessage().utf8_string();
    asked_.push_back(asked);
    if (answers_.empty()) return wxID_OK;
    const int answer = answers_.front();
    answers_.pop_front();
    return answer;
  }
  asked_.push_back(asked);
  return handler_ ? handler_(dialog) : wxID_CANCEL;
}

std::vector<std::string> DialogAnswers::messages() const {
  std::vector<std::string> texts;
  for (const Asked& asked : asked_) {
    if (!asked.message.empty()) texts.push_back(asked.message);
  }
  return texts;
}

std::string ScriptedChoosers::chooseFile(wxWindow*, const FileRequest& request) {
  state_->fileRequests.push_back(request);
  if (state_->files.empty()) return {};
  std::string answer = state_->files.front();
  state_->files.pop_front();
  return answer;
}

std::string ScriptedChoosers::chooseFolder(wxWindow*, const std::string&,
                                           const std::string& start) {
  state_->folderStarts.push_back(start);
  if (state_->folders.empty()) return {};
  std::string answer = state_->folders.front();
  state_->folders.pop_front();
  return answer;
}

bool pumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    wxTheApp->Yield(true);
    wxTheApp->ProcessPendingEvents();
    wxTheApp->ProcessIdle();  // deletes windows whose Destroy() was called
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

void pumpFor(std::chrono::milliseconds duration) {
  pumpUntil([] { return false; }, duration);
}

ProgramFolder::ProgramFolder() {
  std::error_code error;
  std::filesystem::create_directory_symlink(binDir() / "PLUG-IN", path() / "PLUG-IN", error);
}

std::string ProgramFolder::log() const {
  std::ifstream file(path() / "TarnConverter.log", std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

RunningProgram::RunningProgram(const ProgramFolder& folder, bool splash) {
  ProgramOptions options;
  options.exeFolder = folder.path();
  options.showSplash = splash;
  options.choosers = std::make_unique<ScriptedChoosers>(choosers);
  program = std::make_unique<ConverterProgram>(std::move(options));
  window = program->start();
  pumpFor(std::chrono::milliseconds(50));
}

RunningProgram::~RunningProgram() {
  if (program->window()) {
    // Leave no window behind for the next test, whatever this one did.
    program->window()->Destroy();
    pumpUntil([this] { return program->window() == nullptr; });
  }
  program.reset();
}

bool RunningProgram::closeConfirmed(DialogAnswers& answers) {
  answers.queue(wxID_OK);
  program->window()->Close();
  return pumpUntil([this] { return program->window() == nullptr; });
}

}  // namespace tarn::test
