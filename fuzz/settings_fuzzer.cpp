// The tolerant settings reader over any file content.
#include <cstdint>
#include <string>

#include "common/settings.h"
#include "shell/settings_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tarn::Settings settings;
  tarn::loadSettingsText(std::string(reinterpret_cast<const char*>(data), size), settings);
  for (const std::string* folder : {&settings.tempStreamFolder, &settings.movieFolder}) {
    for (const char c : *folder) {
      if (static_cast<unsigned char>(c) < 0x20) __builtin_trap();  // garbled folders read empty
    }
  }
  return 0;
}
