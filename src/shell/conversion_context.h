#pragma once

#include "conversion/conversion_run.h"
#include "shell/application.h"

namespace tarn {

// The records of `app` that a conversion run works with, shown through `frontend`.
ConversionContext conversionContext(Application& app, Frontend& frontend);

}  // namespace tarn
