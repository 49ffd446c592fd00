#pragma once

#include <wx/modalhook.h>
#include <wx/timer.h>

#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "gui/choosers.h"
#include "gui/converter_program.h"
#include "support/conversion_rig.h"
#include "support/test_media.h"

class wxDialog;

namespace tarn::test {

// Answers every modal dialog of the window program without showing it: message boxes from a
// queue of answers (OK when the queue is empty), other dialogs through an optional handler.
// Records what was asked.
class DialogAnswers : public wxModalDialogHook {
 public:
  struct Asked {
    std::string title;
    std::string message;  // message boxes only
  };

  DialogAnswers() { Register(); }
  ~DialogAnswers() override { Unregister(); }

  void queue(int answer) { answers_.push_back(answer); }
  // Called for dialogs that are not message boxes; its result is the dialog's return code.
  void onDialog(std::function<int(wxDialog*)> handler) { handler_ = std::move(handler); }
  const std::vector<Asked>& asked() const { return asked_; }
  std::vector<std::string> messages() const;

 protected:
  int Enter(wxDialog* dialog) override;
  void Exit(wxDialog*) override {}

 private:
  std::deque<int> answers_;
  std::function<int(wxDialog*)> handler_;
  std::vector<Asked> asked_;
};

// File and folder choosers answered from queues ("" = cancelled), recording every request.
class ScriptedChoosers : public Choosers {
 public:
  struct State {
    std::deque<std::string> files;
    std::deque<std::string> folders;
    std::vector<FileRequest> fileRequests;
    std::vector<std::string> folderStarts;
  };
  explicit ScriptedChoosers(std::shared_ptr<State> state) : state_(std::move(state)) {}

  std::string chooseFile(wxWindow*, const FileRequest& request) override;
  std::string chooseFolder(wxWindow*, const std::string&, const std::string& start) override;

 private:
  std::shared_ptr<State> state_;
};

// Handles window events until `done` holds or `timeout` passes; returns whether it holds.
bool pumpUntil(const std::function<bool()>& done,
               std::chrono::milliseconds timeout = std::chrono::seconds(20));
// Handles window events for about `duration`.
void pumpFor(std::chrono::milliseconds duration);

// Runs `action` once, on the window thread, as soon as `condition` holds: checked every 20 ms
// whenever window events are handled, also inside a command that keeps the window alive.
class WhenReady {
 public:
  WhenReady(std::function<bool()> condition, std::function<void()> action);
  ~WhenReady();
  bool fired() const { return fired_; }

 private:
  wxTimer timer_;
  std::function<bool()> condition_;
  std::function<void()> action_;
  bool fired_ = false;
};

// Sets an environment variable for one scope and restores what was there.
class ScopedEnvironment {
 public:
  ScopedEnvironment(const char* name, const std::string& value);
  ~ScopedEnvironment();
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

// Processes of this process's own (running or not yet reaped), and its threads.
std::vector<int> childProcesses();
// Threads of this process's own: those that carry the process's name (the toolkit's helper
// threads carry names of their own), the main thread not counted.
int ownThreadCount();
// Names of the frame files (temp*.bmp) and sound file in `folder`.
std::vector<std::string> tempStreamFiles(const std::filesystem::path& folder);

// A program folder for one test: the encoder tool linked in from the build, everything else
// fresh.
class ProgramFolder {
 public:
  ProgramFolder();
  const std::filesystem::path& path() const { return scratch_.path(); }
  std::string log() const;  // the run log's text

 private:
  ScratchDir scratch_;
};

// A started window program on a program folder, with scripted choosers.
struct RunningProgram {
  // `toolkitChoosers`: the toolkit's own file dialogs instead of the scripted ones.
  explicit RunningProgram(const ProgramFolder& folder, bool splash = false,
                          bool toolkitChoosers = false);
  // With the options changed by `adjust` before the start (no splash, scripted choosers).
  RunningProgram(const ProgramFolder& folder, const std::function<void(ProgramOptions&)>& adjust);
  ~RunningProgram();
  // Closes the window through its close request, answering the confirmation with OK, and waits
  // until it has ended.
  bool closeConfirmed(DialogAnswers& answers);

  std::shared_ptr<ScriptedChoosers::State> choosers = std::make_shared<ScriptedChoosers::State>();
  std::unique_ptr<ConverterProgram> program;
  MainWindow* window = nullptr;
};

// Loads `movie` through the Load command and waits until it plays (its frame size shown).
void loadAndPlay(RunningProgram& running, const std::filesystem::path& movie,
                 const std::string& frameSize);

}  // namespace tarn::test
