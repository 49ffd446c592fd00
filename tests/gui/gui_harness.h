#pragma once

#include <wx/modalhook.h>

#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "gui/choosers.h"
#include "gui/converter_program.h"
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
  explicit RunningProgram(const ProgramFolder& folder, bool splash = false);
  ~RunningProgram();
  // Closes the window through its close request, answering the confirmation with OK, and waits
  // until it has ended.
  bool closeConfirmed(DialogAnswers& answers);

  std::shared_ptr<ScriptedChoosers::State> choosers = std::make_shared<ScriptedChoosers::State>();
  std::unique_ptr<ConverterProgram> program;
  MainWindow* window = nullptr;
};

}  // namespace tarn::test
