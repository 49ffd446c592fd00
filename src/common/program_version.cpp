#include "common/program_version.h"

#ifndef TARN_VERSION
#error "TARN_VERSION comes from the build (the project version)"
#endif

namespace tarn {

const char* programVersion() {
  return TARN_VERSION;
}

}  // namespace tarn
