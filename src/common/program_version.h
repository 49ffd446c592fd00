#pragma once

namespace tarn {

// The version of this build ("0.1.0"), set once by the build; the packages and the AppStream
// metadata carry the same. The window's own title and About texts keep their fixed version text.
const char* programVersion();

}  // namespace tarn
