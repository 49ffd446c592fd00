#include "gui_harness.h"

#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/evtloop.h>
#include <wx/generic/msgdlgg.h>
#include <wx/window.h>

#include <dirent.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include "gui/main_window.h"
#include "gui/widgets.h"
#include "support/conversion_rig.h"

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

WhenReady::WhenReady(std::function<bool()> condition, std::function<void()> action)
    : condition_(std::move(condition)), action_(std::move(action)) {
  timer_.Bind(wxEVT_TIMER, [this](wxTimerEvent&) {
    if (fired_ || !condition_()) return;
    fired_ = true;
    timer_.Stop();
    action_();
  });
  timer_.Start(20);
}

WhenReady::~WhenReady() {
  timer_.Stop();
}

ScopedEnvironment::ScopedEnvironment(const char* name, const std::string& value) : name_(name) {
  if (const char* old = std::getenv(name)) old_ = old;
  setenv(name, value.c_str(), 1);
}

ScopedEnvironment::~ScopedEnvironment() {
  if (old_) {
    setenv(name_, old_->c_str(), 1);
  } else {
    unsetenv(name_);
  }
}

std::vector<int> childProcesses() {
  std::vector<int> children;
  const int self = static_cast<int>(getpid());
  DIR* proc = opendir("/proc");
  if (!proc) return children;
  while (const dirent* entry = readdir(proc)) {
    const std::string name = entry->d_name;
    if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::ifstream stat("/proc/" + name + "/stat");
    std::string line;
    std::getline(stat, line);
    // pid (command) state ppid ...: the command may hold blanks and parentheses.
    const size_t close = line.rfind(')');
    if (close == std::string::npos) continue;
    std::istringstream fields(line.substr(close + 1));
    std::string state;
    int parent = 0;
    fields >> state >> parent;
    if (parent == self) children.push_back(std::stoi(name));
  }
  closedir(proc);
  return children;
}

int ownThreadCount() {
  const auto nameOf = [](const std::string& task) {
    std::ifstream file("/proc/self/task/" + task + "/comm");
    std::string name;
    std::getline(file, name);
    return name;
  };
  const std::string self = std::to_string(getpid());
  const std::string processName = nameOf(self);
  int count = 0;
  DIR* tasks = opendir("/proc/self/task");
  if (!tasks) return 0;
  while (const dirent* entry = readdir(tasks)) {
    const std::string task = entry->d_name;
    if (task[0] == '.' || task == self) continue;
    if (nameOf(task) == processName) ++count;
  }
  closedir(tasks);
  return count;
}

std::vector<std::string> tempStreamFiles(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    const std::string name = entry.path().filename().string();
    if ((name.rfind("temp", 0) == 0 && entry.path().extension() == ".bmp") || name == "temp.wav") {
      names.push_back(name);
    }
  }
  return names;
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

RunningProgram::RunningProgram(const ProgramFolder& folder, bool splash, bool toolkitChoosers) {
  ProgramOptions options;
  options.exeFolder = folder.path();
  options.showSplash = splash;
  if (!toolkitChoosers) options.choosers = std::make_unique<ScriptedChoosers>(choosers);
  program = std::make_unique<ConverterProgram>(std::move(options));
  window = program->start();
  pumpFor(std::chrono::milliseconds(50));
}

RunningProgram::RunningProgram(const ProgramFolder& folder,
                               const std::function<void(ProgramOptions&)>& adjust) {
  ProgramOptions options;
  options.exeFolder = folder.path();
  options.showSplash = false;
  options.choosers = std::make_unique<ScriptedChoosers>(choosers);
  adjust(options);
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

void loadAndPlay(RunningProgram& running, const std::filesystem::path& movie,
                 const std::string& frameSize) {
  running.choosers->files.push_back(movie.string());
  running.window->runCommand(command::load);
  Application& app = running.program->app();
  ASSERT_TRUE(pumpUntil([&] {
    return running.window->infoLabel(InfoLabel::frameSize)->text() == frameSize &&
           app.frameSource.currentGraph() != nullptr && app.frameSource.streamState.load() == 1;
  }));
}

}  // namespace tarn::test
