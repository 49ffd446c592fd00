#pragma once

#include "shell/application.h"

namespace tarn {

// Saves the settings record to the settings path, creating the user's settings folder when the
// program keeps its files there. A failure is reported to the user (a message box through the
// frontend, else standard error) and returns false; the old file is then left as it was.
// Window thread (the report is modal there).
bool storeSettings(Application& app);

}  // namespace tarn
