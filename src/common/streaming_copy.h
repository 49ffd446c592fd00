#pragma once

#include <cstddef>

namespace tarn {

// Copies `size` bytes like memcpy, but stores around the caches where the processor can: for
// megabytes that are not read again soon (a frame placed into a file image that then goes to disk
// by a direct transfer), which saves reading the destination in and evicting useful data.
// The ranges must not overlap.
void copyStreaming(void* destination, const void* source, size_t size);

}  // namespace tarn
