// The window program. Until the main window exists it runs start-up and the exit sequence.
#include "common/paths.h"
#include "shell/application.h"
#include "shell/shutdown.h"
#include "shell/startup.h"

int main() {
  tarn::Application app;
  tarn::runStartup(app, tarn::runningExeFolder());
  tarn::shutDown(app);
  return 0;
}
