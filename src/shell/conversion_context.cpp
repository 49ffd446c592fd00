#include "shell/conversion_context.h"

namespace tarn {

ConversionContext conversionContext(Application& app, Frontend& frontend) {
  return ConversionContext{frontend,
                           app.runLog,
                           app.paths.exeFolder.string(),
                           app.settings,
                           app.outputOptions,
                           app.frameSource,
                           app.frameGeometry,
                           app.logo,
                           app.resampleTables,
                           app.conversionRun,
                           app.encoderRuns,
                           app.aviCopies,
                           {}};
}

}  // namespace tarn
