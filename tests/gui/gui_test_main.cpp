// Runs the window tests inside the toolkit's event loop, on the window thread, with nothing
// modal able to stop an unattended run.
#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/log.h>

namespace {

class TestApp : public wxApp {
 public:
  bool OnInit() override {
    // Log messages and failed checks go to the console, never into a dialog.
    delete wxLog::SetActiveTarget(new wxLogStderr);
    SetExitOnFrameDelete(false);
    CallAfter([this] {
      result_ = RUN_ALL_TESTS();
      ExitMainLoop();
    });
    return true;
  }

  void OnAssertFailure(const wxChar* file, int line, const wxChar* function,
                       const wxChar* condition, const wxChar* message) override {
    ADD_FAILURE() << "wx assertion at " << wxString(file).utf8_string() << ":" << line << " in "
                  << wxString(function).utf8_string() << ": " << wxString(condition).utf8_string()
                  << " " << wxString(message).utf8_string();
  }

  int result() const { return result_; }

 private:
  int result_ = 1;
};

}  // namespace

wxIMPLEMENT_APP_NO_MAIN(TestApp);

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  if (!wxEntryStart(argc, argv)) return 1;
  int result = 1;
  if (wxTheApp->CallOnInit()) {
    wxTheApp->OnRun();
    result = static_cast<TestApp*>(wxTheApp)->result();
    wxTheApp->OnExit();
  }
  wxEntryCleanup();
  return result;
}
